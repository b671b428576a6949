// Every file call that a read, the edits and an update make is failed in
// turn, in each way the file layer can fail. Whatever fails, the result is
// a documented one, the file holds one of the contents it has when nothing
// fails, and no temporary file stays behind unless the source could not be
// replaced after it was finished (then it holds the complete new file).
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <iostream>

#include "platform/FaultInjection.h"
#include "platform/Trace.h"
#include "reliability/Scenarios.h"

namespace zm::reliability {
namespace {

namespace fault = platform::fault;

// Collects the trace lines written while it lives.
class TraceCapture {
public:
    TraceCapture() : file_(std::tmpfile()) { platform::SetTrace(true, fileno(file_)); }
    ~TraceCapture() {
        platform::SetTrace(false, -1);
        std::fclose(file_);
    }
    TraceCapture(const TraceCapture&) = delete;
    TraceCapture& operator=(const TraceCapture&) = delete;
    void Clear() {
        std::fflush(file_);
        if (ftruncate(fileno(file_), 0) != 0) ADD_FAILURE() << "cannot clear the trace";
        std::rewind(file_);
    }
    bool Contains(const std::string& line) {
        std::fflush(file_);
        std::string text;
        std::rewind(file_);
        for (int c; (c = std::fgetc(file_)) != EOF;) text += char(c);
        return text.find(line) != std::string::npos;
    }

private:
    std::FILE* file_;
};

const fault::Kind kKinds[] = {fault::Kind::Error, fault::Kind::ShortRead, fault::Kind::ShortWrite,
                              fault::Kind::DiskFull};
const char* const kKindNames[] = {"error", "short read", "short write", "disk full"};

std::string Describe(const Outcome& outcome) {
    char text[32];
    std::string out = "MDInit";
    auto add = [&](HRESULT hr) {
        std::snprintf(text, sizeof text, " %08x", unsigned(hr));
        out += text;
    };
    add(outcome.init);
    out += ", edits";
    for (HRESULT hr : outcome.edits) add(hr);
    out += ", MDUpdate";
    add(outcome.update);
    return out;
}

class FaultWalk : public ::testing::TestWithParam<const char*> {};

TEST_P(FaultWalk, EveryFailingCallLeavesTheFileWhole) {
    const Scenario& scenario = ScenarioNamed(GetParam());
    SourceBytes(scenario.source);  // made by the encoders before TMPDIR moves
    test::TempDir work;
    std::string folder = work.File("music"), tempFolder = work.File("tmp"), path = folder + "/song";
    std::filesystem::create_directory(folder);
    std::filesystem::create_directory(tempFolder);
    ScopedTempDirectory tmpdir(tempFolder);
    std::vector<Bytes> states = CleanStates(scenario, SourceBytes(scenario.source), folder);
    const Bytes& source = states.front();
    const Bytes& finished = states.back();
    ASSERT_GT(states.size(), 1u) << "the scenario changes nothing";

    test::WriteFile(path, source);
    fault::Arm(UINT64_MAX, fault::Kind::Error);
    RunHost(scenario, path);
    uint64_t calls = fault::Calls();
    fault::Reset();
    ASSERT_GT(calls, 0u);

    TraceCapture trace;
    std::vector<std::string> problems;
    int damaged = 0, kept = 0;
    for (size_t k = 0; k < std::size(kKinds); ++k) {
        for (uint64_t n = 1; n <= calls; ++n) {
            std::string where = std::string(kKindNames[k]) + " at call " + std::to_string(n) + ": ";
            test::WriteFile(path, source);
            trace.Clear();
            fault::Arm(n, kKinds[k]);
            Outcome outcome = RunHost(scenario, path);
            fault::Reset();

            bool defined = Defined(outcome.init) && Defined(outcome.update);
            for (HRESULT hr : outcome.edits) defined = defined && Defined(hr);
            if (!defined) problems.push_back(where + "undocumented result " + Describe(outcome));

            Bytes now = ReadWhole(path);
            if (std::find(states.begin(), states.end(), now) == states.end()) {
                ++damaged;
                problems.push_back(where + "the file holds neither its old nor its new content after " +
                                   Describe(outcome));
            } else if (outcome.Complete() && now != finished) {
                problems.push_back(where + "every call succeeded but the file is not the new one");
            }
            if (auto others = OtherFiles(folder, {"song"}); !others.empty())
                problems.push_back(where + "left " + others.front() + " beside the file");

            // The failure table keeps the finished temporary file when the
            // source could not be replaced, and says where it is.
            auto temporaries = OtherFiles(tempFolder);
            if (trace.Contains("Can't MoveFile File") && temporaries == std::vector<std::string>{kTempName}) {
                ++kept;
                if (ReadWhole(tempFolder + "/" + kTempName) != finished || now != source)
                    problems.push_back(where + "the kept temporary file is not the complete new file");
            } else if (n == calls && temporaries == std::vector<std::string>{kTempName} &&
                       ReadWhole(tempFolder + "/" + kTempName).empty()) {
                // An update through the Windows Media writer ends by deleting
                // the empty temporary file; when that deletion is the call
                // that fails, the file stays.
            } else if (!temporaries.empty()) {
                problems.push_back(where + "left " + temporaries.front() + " in the temporary directory");
            }
            for (const auto& name : temporaries) std::filesystem::remove(tempFolder + "/" + name);
        }
    }
    std::cout << "fault walk " << scenario.name << ": " << calls << " calls x " << std::size(kKinds)
              << " kinds, " << damaged << " files damaged, " << kept << " finished temporary files kept\n";
    RecordProperty("calls", int(calls));
    RecordProperty("damaged", damaged);
    for (size_t i = 0; i < problems.size() && i < 20; ++i) ADD_FAILURE() << problems[i];
    EXPECT_TRUE(problems.empty()) << problems.size() << " problems";
}

INSTANTIATE_TEST_SUITE_P(Formats, FaultWalk, ::testing::Values("MP3", "Ogg", "WMInPlace", "WMRewrite"),
                         [](const auto& info) { return std::string(info.param); });

}  // namespace
}  // namespace zm::reliability
