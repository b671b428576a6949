// Every file call that a read, the edits and an update make is failed in
// turn, in each way the file layer can fail. Whatever fails, the result is
// a documented one, the file holds one of the contents it has when nothing
// fails, and no temporary file stays behind unless the source could not be
// replaced after it was finished (then it holds the complete new file).
#include <fcntl.h>
#include <unistd.h>

#include <iostream>

#include "platform/FaultInjection.h"
#include "platform/Trace.h"
#include "reliability/Scenarios.h"

namespace zm::reliability {
namespace {

namespace fault = platform::fault;

class FaultWalk : public ::testing::TestWithParam<const char*> {};

TEST_P(FaultWalk, EveryFailingCallLeavesTheFileWhole) {
    const Scenario& scenario = ScenarioNamed(GetParam());
    SourceBytes(scenario.source);  // made by the encoders before TMPDIR moves
    test::TempDir work;
    std::string folder = work.File("music"), tmp = work.File("tmp"), path = folder + "/song", kept = tmp + "/" + kTempName;
    std::filesystem::create_directory(folder);
    std::filesystem::create_directory(tmp);
    ScopedTempDirectory tmpdir(tmp);
    std::vector<Bytes> states = CleanStates(scenario, SourceBytes(scenario.source), folder);
    const Bytes &source = states.front(), &finished = states.back();
    ASSERT_GT(states.size(), 1u) << "the scenario changes nothing";

    test::WriteFile(path, source);
    fault::Arm(UINT64_MAX, fault::Kind::Error);
    RunHost(scenario, path);
    uint64_t calls = fault::Calls();
    fault::Reset();
    ASSERT_GT(calls, 0u);

    int trace = ::open(work.File("trace").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    platform::SetTrace(true, trace);
    std::vector<std::string> problems;
    int damaged = 0, keptCount = 0;
    for (auto [kind, kindName] : std::initializer_list<std::pair<fault::Kind, const char*>>{
             {fault::Kind::Error, "error"}, {fault::Kind::ShortRead, "short read"},
             {fault::Kind::ShortWrite, "short write"}, {fault::Kind::DiskFull, "disk full"}}) {
        for (uint64_t n = 1; n <= calls; ++n) {
            auto problem = [&](const std::string& what) { problems.push_back(kindName + " at call "s + std::to_string(n) + ": " + what); };
            test::WriteFile(path, source);
            if (ftruncate(trace, 0) != 0) ADD_FAILURE() << "cannot clear the trace";
            fault::Arm(n, kind);
            Outcome outcome = RunHost(scenario, path);
            fault::Reset();

            if (!outcome.Defined()) problem("undocumented result " + outcome.Describe());
            Bytes now = ReadWhole(path);
            if (std::find(states.begin(), states.end(), now) == states.end())
                ++damaged, problem("the file holds neither its old nor its new content after " + outcome.Describe());
            else if (outcome.Complete() && now != finished)
                problem("every call succeeded but the file is not the new one");
            if (auto others = OtherFiles(folder, {"song"}); !others.empty()) problem("left " + others.front() + " beside the file");

            // The failure table keeps the finished temporary file when the
            // source could not be replaced, and says where it is. An update
            // through the Windows Media writer ends by deleting the empty
            // temporary file: when that call fails, the file stays.
            auto temporaries = OtherFiles(tmp);
            bool onlyKept = temporaries == std::vector<std::string>{kTempName};
            Bytes log = ReadWhole(work.File("trace"));
            if (onlyKept && std::string(log.begin(), log.end()).find("Can't MoveFile File") != std::string::npos) {
                ++keptCount;
                if (ReadWhole(kept) != finished || now != source) problem("the kept temporary file is not the complete new file");
            } else if (!temporaries.empty() && !(n == calls && onlyKept && ReadWhole(kept).empty())) {
                problem("left " + temporaries.front() + " in the temporary directory");
            }
            for (const auto& name : temporaries) std::filesystem::remove(tmp + "/" + name);
        }
    }
    platform::SetTrace(false, -1);
    ::close(trace);
    std::cout << "fault walk " << scenario.name << ": " << calls << " calls x 4 kinds, " << damaged << " files damaged, "
              << keptCount << " finished temporary files kept\n";
    RecordProperty("calls", int(calls));
    RecordProperty("damaged", damaged);
    for (size_t i = 0; i < problems.size() && i < 20; ++i) ADD_FAILURE() << problems[i];
    EXPECT_TRUE(problems.empty()) << problems.size() << " problems";
}

INSTANTIATE_TEST_SUITE_P(Formats, FaultWalk, ::testing::Values("MP3", "Ogg", "WMInPlace", "WMRewrite"),
                         [](const auto& info) { return std::string(info.param); });

}  // namespace
}  // namespace zm::reliability
