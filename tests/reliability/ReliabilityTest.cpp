// What a host does to files of every format (MP3 and Ogg rebuilt through the temporary file, Windows Media
// changed in place and by rewrite) under failing file calls, SIGKILL and concurrent updates: the file on disk
// is always the complete old one or the complete new one.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <optional>
#include <random>
#include <sstream>
#include <thread>

#include "platform/FaultInjection.h"
#include "platform/Trace.h"
#include "support/Session.h"
#include "support/TestSupport.h"

namespace zm::reliability {
namespace {

using namespace std::string_literals;
using test::Bytes;
using Clock = std::chrono::steady_clock;
namespace fault = platform::fault;

constexpr char kTempName[] = "VOYdklna7tG.tmp";

struct Edit { int kind, id; std::string value; };

enum class Source { MP3, Ogg, WMA, WMARoom };  // WMA has no room in its header, WMARoom has padding

struct Scenario {
    const char* name;
    Source source;
    std::vector<Edit> edits;  // then MDUpdate
};

enum { kMP3, kOgg, kWMInPlace, kWMRewrite, kOggGrows };
const Scenario kScenarios[] = {
    {"MP3", Source::MP3,
     {{MD_KIND_ID3V2, MD_ID3V2_TIT2, "\x00" "New title"s}, {MD_KIND_ID3V1, MD_ID3V1_TITLE, "New v1 title"}}},
    {"Ogg", Source::Ogg, {{MD_KIND_OGG, MD_OGG_TITLE, "New title"}, {MD_KIND_OGG, MD_OGG_ARTIST, "New artist"}}},
    {"WMInPlace", Source::WMARoom, {{MD_KIND_WM, MD_WM_TITLE, "New title\0"s}}},
    {"WMRewrite", Source::WMA, {{MD_KIND_WM, MD_WM_ALBUMTITLE, std::string(290, 'a') + '\0'}}},  // past the room
    // Header pages that grow by a page: every later page is renumbered.
    {"OggGrows", Source::Ogg, {{MD_KIND_OGG, MD_OGG_COMMENT, std::string(70000, 'c')}}},
};

Bytes ReadWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);  // in one read: files here run to megabytes
    Bytes bytes(in ? size_t(in.tellg()) : 0);
    in.seekg(0).read(reinterpret_cast<char*>(bytes.data()), std::streamsize(bytes.size()));
    return bytes;
}

// The source file, made once per run by real encoders (MP3: ID3v2.3 and ID3v1).
const Bytes& SourceBytes(Source source) {
    static std::map<Source, Bytes> made;
    static test::TempDir folder;
    if (auto it = made.find(source); it != made.end()) return it->second;
    std::string path = folder.File("source-" + std::to_string(int(source))), quoted = test::Quote(path);
    std::vector<std::string> tags = {"title=Old title", "artist=Old artist", "album=Old album"};
    bool ok = source == Source::MP3
                  ? test::Run("ffmpeg -nostdin -y -loglevel error -f lavfi -i 'sine=frequency=440:duration=1' -ac 1 "
                              "-c:a libmp3lame -b:a 64k -write_xing 0 -id3v2_version 3 -write_id3v1 1 -metadata "
                              "title='Old title' -metadata artist='Old artist' -metadata album='Old album' -metadata "
                              "comment='Old comment' -metadata track=3 -f mp3 " + quoted + " 2>&1").status == 0
              : source == Source::Ogg ? test::MakeOgg(path, {"TITLE=Old title", "ARTIST=Old artist", "ALBUM=Old album"})
                                      : test::MakeWma(path, tags);
    if (ok && source == Source::WMARoom)  // a Padding Object, so that small changes fit in place
        ok = test::Run((test::FileExists("/usr/bin/python3") ? "/usr/bin/python3"s : "python3"s) +
                       " -c 'import sys, mutagen.asf as a; f = a.ASF(sys.argv[1]); "
                       "f.save(padding=lambda info: 4096)' " + quoted).status == 0;
    if (!ok) ADD_FAILURE() << "could not make the source file " << path;
    return made[source] = ReadWhole(path);
}

struct Outcome {
    HRESULT init = 0, update = 0;
    std::vector<HRESULT> edits;
    bool Complete() const {
        auto ok = [](HRESULT hr) { return hr == ZMTAGIO_S_OK; };
        return init >= 0 && ok(update) && std::all_of(edits.begin(), edits.end(), ok);
    }
    bool Defined() const {  // no positive result other than S_FALSE
        auto wrong = [](HRESULT hr) { return hr > ZMTAGIO_S_FALSE; };
        return !wrong(init) && !wrong(update) && std::none_of(edits.begin(), edits.end(), wrong);
    }
    std::string Describe() const {
        std::ostringstream out;
        out << std::hex << "MDInit " << unsigned(init) << ", edits";
        for (HRESULT hr : edits) out << ' ' << unsigned(hr);
        out << ", MDUpdate " << unsigned(update);
        return out.str();
    }
};

// What a host does: MDInit (stopping if it fails), the edits (an ID3v2 title on a file found untagged),
// MDUpdate; afterEachCall runs after every call.
Outcome RunHost(const Scenario& scenario, const std::string& path, const std::function<void()>& afterEachCall = [] {}) {
    static const std::vector<Edit> kAddTag = {{MD_KIND_ID3V2, MD_ID3V2_TIT2, "\x00" "New title"s}};
    Outcome outcome;
    test::Session session;
    MDRecord* record = nullptr;
    outcome.init = session.Open(path, &record, "eng");
    afterEachCall();
    if (outcome.init < 0) return outcome;
    for (const Edit& edit : outcome.init == ZMTAGIO_S_FALSE && !record->isASF ? kAddTag : scenario.edits) {
        outcome.edits.push_back(session.Edit(edit.id, edit.kind, edit.value, "eng"));
        afterEachCall();
    }
    outcome.update = session.MDUpdate(0);
    afterEachCall();
    return outcome;
}

std::vector<std::string> OtherFiles(const std::string& folder, const std::vector<std::string>& expected = {}) {
    std::vector<std::string> others;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (auto name = entry.path().filename().string(); std::count(expected.begin(), expected.end(), name) == 0)
            others.push_back(name);
    return others;
}

// Every test: the sources made (before TMPDIR moves), a folder for the file "song" and TMPDIR on a folder of
// its own for the test's lifetime.
class Files : public ::testing::Test {
protected:
    Files() {
        for (Source source : {Source::MP3, Source::Ogg, Source::WMA, Source::WMARoom}) SourceBytes(source);
        std::filesystem::create_directory(folder);
        std::filesystem::create_directory(tmp);
        if (const char* now = std::getenv("TMPDIR")) previous = now;
        ::setenv("TMPDIR", tmp.c_str(), 1);
    }
    ~Files() override { previous ? ::setenv("TMPDIR", previous->c_str(), 1) : ::unsetenv("TMPDIR"); }

    // The contents the file takes, in order, when nothing fails.
    std::vector<Bytes> CleanStates(const Scenario& scenario, const Bytes& source) {
        std::string clean = folder + "/clean";
        test::WriteFile(clean, source);
        std::vector<Bytes> states = {source};
        Outcome outcome = RunHost(scenario, clean, [&] {
            if (Bytes now = ReadWhole(clean); now != states.back()) states.push_back(std::move(now));
        });
        EXPECT_TRUE(outcome.Complete()) << scenario.name << " does not succeed when nothing fails";
        std::filesystem::remove(clean);
        return states;
    }

    test::TempDir work;
    std::string folder = work.File("music"), tmp = work.File("tmp"), path = folder + "/song";
    std::optional<std::string> previous;
};

// Every file call of a read, the edits and an update fails in turn, in each way the file layer can fail: the
// result is documented, the file holds one of its clean contents, and no temporary file stays unless the source
// could not be replaced after it was finished (then it holds the complete new file).
class FaultWalk : public Files, public ::testing::WithParamInterface<int> {};

TEST_P(FaultWalk, EveryFailingCallLeavesTheFileWhole) {
    const Scenario& scenario = kScenarios[GetParam()];
    std::vector<Bytes> states = CleanStates(scenario, SourceBytes(scenario.source));
    const Bytes &source = states.front(), &finished = states.back();
    ASSERT_GT(states.size(), 1u) << "the scenario changes nothing";
    test::WriteFile(path, source);
    fault::Arm(UINT64_MAX, fault::Kind::Error);
    RunHost(scenario, path);
    uint64_t calls = fault::Calls();
    fault::Reset();
    ASSERT_GT(calls, 0u);

    std::string kept = tmp + "/" + kTempName, tracePath = work.File("trace");
    int trace = ::open(tracePath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    platform::SetTrace(true, trace);
    std::vector<std::string> problems;
    int damaged = 0, keptCount = 0;
    for (auto [kind, kindName] : std::initializer_list<std::pair<fault::Kind, const char*>>{
             {fault::Kind::Error, "error"}, {fault::Kind::ShortRead, "short read"},
             {fault::Kind::ShortWrite, "short write"}, {fault::Kind::DiskFull, "disk full"}}) {
        for (uint64_t n = 1; n <= calls; ++n) {
            auto problem = [&](const std::string& what) {
                problems.push_back(kindName + " at call "s + std::to_string(n) + ": " + what);
            };
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
            if (auto others = OtherFiles(folder, {"song"}); !others.empty())
                problem("left " + others.front() + " beside the file");

            // The failure table keeps the finished temporary file when the source could not be replaced, and
            // says where it is. An update through the Windows Media writer ends by deleting the empty temporary
            // file: when that call fails, the file stays.
            auto temporaries = OtherFiles(tmp);
            bool onlyKept = temporaries == std::vector<std::string>{kTempName};
            Bytes log = ReadWhole(tracePath);
            if (onlyKept && std::string(log.begin(), log.end()).find("Can't MoveFile File") != std::string::npos) {
                ++keptCount;
                if (ReadWhole(kept) != finished || now != source)
                    problem("the kept temporary file is not the complete new file");
            } else if (!temporaries.empty() && !(n == calls && onlyKept && ReadWhole(kept).empty())) {
                problem("left " + temporaries.front() + " in the temporary directory");
            }
            for (const auto& name : temporaries) std::filesystem::remove(tmp + "/" + name);
        }
    }
    platform::SetTrace(false, -1);
    ::close(trace);
    std::cout << "fault walk " << scenario.name << ": " << calls << " calls x 4 kinds, " << damaged
              << " files damaged, " << keptCount << " finished temporary files kept\n";
    RecordProperty("calls", int(calls));
    RecordProperty("damaged", damaged);
    for (size_t i = 0; i < problems.size() && i < 20; ++i) ADD_FAILURE() << problems[i];
    EXPECT_TRUE(problems.empty()) << problems.size() << " problems";
}

INSTANTIATE_TEST_SUITE_P(Formats, FaultWalk, ::testing::Range(0, 5),
                         [](const auto& info) { return std::string(kScenarios[info.param].name); });

// A child rewrites a large file and is killed with SIGKILL at moments spread over its whole run, past the
// replace: the path always holds one complete content, old or new. A file built beside the source has no name until
// the moment before it is renamed over the old one, so only a kill that lands between the two leaves it behind: a
// few kills in a run at the most, where a file named from the start stays after about half of them. What a killed
// update leaves in the temporary directory (the fixed name that the next update reuses) is counted.
constexpr int kTrials = 50;
constexpr double kBeyondTheEnd = 2.0;  // the later kills land after the replace

// A child that does what a host does, and when it started: it says so through a pipe.
std::pair<pid_t, Clock::time_point> Start(const Scenario& scenario, const std::string& path, const std::string& tmp) {
    int ready[2];
    char go = 1;
    if (pipe(ready) != 0) throw std::runtime_error("pipe");
    pid_t pid = fork();
    if (pid == 0) {
        ::setenv("TMPDIR", tmp.c_str(), 1);
        if (write(ready[1], &go, 1) == 1) RunHost(scenario, path);
        _exit(0);
    }
    close(ready[1]);
    bool started = read(ready[0], &go, 1) == 1;
    close(ready[0]);
    if (pid < 0 || !started) throw std::runtime_error("the child did not start");
    return {pid, Clock::now()};
}

class CrashSafety : public Files, public ::testing::WithParamInterface<std::pair<int, bool>> {};  // elsewhere

TEST_P(CrashSafety, KilledUpdateLeavesOldOrNewFile) {
    auto [index, elsewhere] = GetParam();
    const Scenario& scenario = kScenarios[index];
    if (elsewhere) {  // the temporary directory on another file system
        struct stat shm, here;
        if (stat("/dev/shm", &shm) != 0 || stat(work.path().c_str(), &here) != 0 || shm.st_dev == here.st_dev)
            GTEST_SKIP() << "no second file system";
        tmp = "/dev/shm/zmtagio-crash-" + std::to_string(getpid());
        std::filesystem::create_directory(tmp);
        ::setenv("TMPDIR", tmp.c_str(), 1);
    }
    // 4 MB of random audio, before the ID3v1 block of MP3, so that the copy and the flush take a while.
    Bytes source = SourceBytes(scenario.source), filler(4 << 20);
    std::mt19937_64 random(7);
    for (uint8_t& byte : filler) byte = uint8_t(random());
    source.insert(source.end() - (scenario.source == Source::MP3 ? 128 : 0), filler.begin(), filler.end());
    std::vector<Bytes> states = CleanStates(scenario, source);
    ASSERT_GT(states.size(), 1u);

    // When an undisturbed run puts the new file in place (the median of a few runs): the kills are spread
    // from the child's start to past it.
    std::vector<Clock::duration> runs;
    for (int i = 0; i < 5; ++i) {
        test::WriteFile(path, source);
        struct stat before, now;
        stat(path.c_str(), &before);
        auto [pid, started] = Start(scenario, path, tmp);
        Clock::duration replaced{};
        for (bool exited = false; !exited; std::this_thread::sleep_for(std::chrono::microseconds(50))) {
            exited = waitpid(pid, nullptr, WNOHANG) == pid;
            bool moved = stat(path.c_str(), &now) == 0 && now.st_ino != before.st_ino;
            if (replaced == Clock::duration{} && (exited || moved)) replaced = Clock::now() - started;
        }
        runs.push_back(replaced);
    }
    std::sort(runs.begin(), runs.end());

    int counts[4] = {}, besideTheFile = 0, inTheTemporaryDirectory = 0;  // old, between, new, lost
    for (int i = 0; i < kTrials; ++i) {
        test::WriteFile(path, source);
        auto delay = std::chrono::duration_cast<Clock::duration>(runs[runs.size() / 2] * kBeyondTheEnd * i / kTrials);
        auto [pid, started] = Start(scenario, path, tmp);
        std::this_thread::sleep_until(started + delay);
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);

        Bytes now = ReadWhole(path);
        auto state = std::find(states.begin(), states.end(), now);
        ++counts[state == states.end() ? 3 : state == states.begin() ? 0 : state + 1 == states.end() ? 2 : 1];
        if (state == states.end())
            ADD_FAILURE() << scenario.name << ": killed after "
                          << std::chrono::duration<double, std::milli>(delay).count() << " ms, the file holds "
                          << now.size() << " bytes of neither content";
        for (const auto& left : OtherFiles(folder, {"song"}))
            ++besideTheFile, std::filesystem::remove(folder + "/" + left);
        for (const auto& left : OtherFiles(tmp)) ++inTheTemporaryDirectory, std::filesystem::remove(tmp + "/" + left);
    }
    if (elsewhere) std::filesystem::remove_all(tmp);
    std::cout << "crash safety " << scenario.name << (elsewhere ? " (temporary on another file system)" : "") << ": "
              << kTrials << " kills, " << counts[0] << " old, " << counts[2] << " new, " << counts[1]
              << " between two complete updates, " << counts[3] << " lost, files left: " << inTheTemporaryDirectory
              << " in the temporary directory, " << besideTheFile << " beside the file\n";
    RecordProperty("kills", kTrials);
    RecordProperty("lost", counts[3]);
    EXPECT_EQ(counts[3], 0);
    EXPECT_LT(besideTheFile, kTrials / 10);
}

INSTANTIATE_TEST_SUITE_P(Formats, CrashSafety,
                         ::testing::Values(std::pair{kMP3, false}, std::pair{kMP3, true}, std::pair{kOgg, false},
                                           std::pair{kWMRewrite, false}, std::pair{kOggGrows, false}),
                         [](const auto& info) {
                             return std::string(kScenarios[info.param.first].name) +
                                    (info.param.second ? "Elsewhere" : "");
                         });

// Processes with threads (a session each) update their own files at once, with one temporary name in one
// temporary directory: every update succeeds with exactly its content, or fails with E_FAIL and leaves its file
// as it was.
constexpr int kProcesses = 3, kThreads = 3, kRounds = 20;
enum { kSucceeded, kRefused, kDamaged };  // what became of an update

// MP3 and Ogg by turns; each writer sets a title of its own, unique among all writers and rounds.
Scenario Retitle(int process, int thread, int round) {
    Scenario scenario = kScenarios[thread % 2 ? kOgg : kMP3];
    Edit& edit = scenario.edits.front();
    edit.value = edit.kind == MD_KIND_ID3V2 ? std::string(1, '\0') : std::string();
    for (int part : {process, thread, round}) edit.value.append(" ").append(std::to_string(part));
    scenario.edits.resize(1);
    return scenario;
}

using ConcurrencyTest = Files;

TEST_F(ConcurrencyTest, UpdatesSharingTheTemporaryNameNeverMixFiles) {
    // What every update must produce, made one at a time before the race.
    std::map<std::string, Bytes> expected;
    for (int p = 0; p < kProcesses; ++p)
        for (int t = 0; t < kThreads; ++t)
            for (int r = 0; r < kRounds; ++r) {
                Scenario scenario = Retitle(p, t, r);
                expected[scenario.edits.front().value] = CleanStates(scenario, SourceBytes(scenario.source)).back();
            }
    auto* counts = static_cast<std::atomic<int>*>(
        mmap(nullptr, 3 * sizeof(std::atomic<int>), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
    ASSERT_NE(counts, MAP_FAILED);  // what became of the updates of every process
    auto writer = [&](int process, int thread) {
        std::string file = folder + "/writer" + std::to_string(process * kThreads + thread);
        for (int round = 0; round < kRounds; ++round) {
            Scenario scenario = Retitle(process, thread, round);
            const Bytes& source = SourceBytes(scenario.source);
            test::WriteFile(file, source);
            Outcome outcome = RunHost(scenario, file);
            Bytes now = ReadWhole(file);
            bool succeeded = outcome.Complete() && now == expected.at(scenario.edits.front().value);
            bool refused = !succeeded && outcome.update == ZMTAGIO_E_FAIL && now == source;
            ++counts[succeeded ? kSucceeded : refused ? kRefused : kDamaged];
            if (!succeeded && !refused)
                std::cerr << file << " round " << round << ": update " << std::hex << outcome.update << std::dec
                          << ", the file is " << (now == source ? "unchanged" : "neither old nor the new") << "\n";
        }
    };
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p) {
        if (pid_t pid = fork(); pid != 0) {
            children.push_back(pid);
            continue;
        }
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) threads.emplace_back(writer, p, t);
        for (auto& thread : threads) thread.join();
        _exit(0);
    }
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_TRUE(waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0)
            << "a writer process failed";
    }
    int updates = counts[kSucceeded] + counts[kRefused] + counts[kDamaged];
    std::cout << "concurrency: " << updates << " updates by " << kProcesses << " processes x " << kThreads
              << " threads, " << counts[kSucceeded] << " succeeded, " << counts[kRefused] << " refused with E_FAIL, "
              << counts[kDamaged] << " files damaged\n";
    RecordProperty("updates", updates);
    RecordProperty("damaged", counts[kDamaged].load());
    EXPECT_EQ(updates, kProcesses * kThreads * kRounds);
    EXPECT_EQ(counts[kDamaged], 0);
    EXPECT_GT(counts[kSucceeded], 0);
    EXPECT_TRUE(OtherFiles(tmp).empty()) << "a temporary file outlived every update";
    munmap(counts, 3 * sizeof(std::atomic<int>));
}

}  // namespace
}  // namespace zm::reliability
