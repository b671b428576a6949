// A child process rewrites a large file and is killed with SIGKILL at
// moments spread over its whole run: while it reads, while it copies the
// audio, while the new file is flushed, around the replace and after it.
// After every kill the path holds one complete content, old or new; what a
// killed update leaves behind in the temporary directory is counted.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <random>
#include <thread>

#include "reliability/Scenarios.h"

namespace zm::reliability {
namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kFiller = 4 << 20;  // so that the copy and the flush take a while
constexpr size_t kID3V1Size = 128;
constexpr int kTrials = 50;
constexpr double kBeyondTheEnd = 2.0;  // the later kills land after the replace

// The source with megabytes of audio: the component copies it unread, so
// any bytes do.
Bytes Enlarged(const Scenario& scenario) {
    Bytes bytes = SourceBytes(scenario.source);
    std::mt19937_64 random(7);
    Bytes filler(kFiller);
    for (size_t i = 0; i + 8 <= filler.size(); i += 8) {
        uint64_t word = random();
        std::memcpy(&filler[i], &word, 8);
    }
    // The ID3v1 block must stay last.
    size_t at = scenario.source == Source::MP3 ? bytes.size() - kID3V1Size : bytes.size();
    bytes.insert(bytes.begin() + long(at), filler.begin(), filler.end());
    return bytes;
}

struct Child {
    pid_t pid;
    Clock::time_point started;
};

// The child tells the parent when it starts, then does what a host does.
Child Start(const Scenario& scenario, const std::string& path, const std::string& tempFolder) {
    int ready[2];
    if (pipe(ready) != 0) throw std::runtime_error("pipe");
    pid_t pid = fork();
    if (pid == 0) {
        close(ready[0]);
        ::setenv("TMPDIR", tempFolder.c_str(), 1);
        char go = 1;
        if (write(ready[1], &go, 1) != 1) _exit(2);
        RunHost(scenario, path);
        _exit(0);
    }
    close(ready[1]);
    char go;
    bool started = read(ready[0], &go, 1) == 1;
    close(ready[0]);
    if (pid < 0 || !started) throw std::runtime_error("the child did not start");
    return {pid, Clock::now()};
}

// How long after its start the child put a new file at path (its end when
// it never did).
Clock::duration TimeToReplace(const Child& child, const std::string& path) {
    struct stat before, now;
    stat(path.c_str(), &before);
    Clock::duration replaced{};
    for (;;) {
        bool exited = waitpid(child.pid, nullptr, WNOHANG) == child.pid;
        if (replaced == Clock::duration{} && (exited || (stat(path.c_str(), &now) == 0 && now.st_ino != before.st_ino)))
            replaced = Clock::now() - child.started;
        if (exited) return replaced;
        std::this_thread::sleep_for(std::chrono::microseconds(50));
    }
}

struct Tally {
    int trials = 0, old = 0, finished = 0, between = 0, lost = 0;
    int besideTheFile = 0, inTheTemporaryDirectory = 0;  // files a killed update left
};

void RunTrials(const Scenario& scenario, const std::string& tempFolder, Tally& tally) {
    test::TempDir work;
    std::string folder = work.File("music"), path = folder + "/song";
    std::filesystem::create_directory(folder);
    Bytes source = Enlarged(scenario);
    std::vector<Bytes> states;
    {
        ScopedTempDirectory tmpdir(tempFolder);
        states = CleanStates(scenario, source, folder);
    }
    ASSERT_GT(states.size(), 1u);

    // When an undisturbed run puts the new file in place (the median of a
    // few runs): the kills are spread from the child's start to past it.
    std::vector<Clock::duration> runs;
    for (int i = 0; i < 5; ++i) {
        test::WriteFile(path, source);
        runs.push_back(TimeToReplace(Start(scenario, path, tempFolder), path));
    }
    std::sort(runs.begin(), runs.end());
    Clock::duration replaced = runs[runs.size() / 2];

    for (int i = 0; i < kTrials; ++i) {
        test::WriteFile(path, source);
        auto delay = std::chrono::duration_cast<Clock::duration>(replaced * kBeyondTheEnd * i / kTrials);
        Child child = Start(scenario, path, tempFolder);
        std::this_thread::sleep_until(child.started + delay);
        kill(child.pid, SIGKILL);
        waitpid(child.pid, nullptr, 0);

        ++tally.trials;
        Bytes now = ReadWhole(path);
        auto state = std::find(states.begin(), states.end(), now);
        if (state == states.end()) {
            ++tally.lost;
            ADD_FAILURE() << scenario.name << ": killed after " << std::chrono::duration<double, std::milli>(delay).count()
                          << " ms, the file holds " << now.size() << " bytes of neither content";
        } else if (state == states.begin()) {
            ++tally.old;
        } else if (state + 1 == states.end()) {
            ++tally.finished;
        } else {
            ++tally.between;
        }
        for (const auto& name : OtherFiles(folder, {"song"})) {
            ++tally.besideTheFile;
            std::filesystem::remove(folder + "/" + name);
        }
        for (const auto& name : OtherFiles(tempFolder)) {
            ++tally.inTheTemporaryDirectory;
            std::filesystem::remove(tempFolder + "/" + name);
        }
    }
}

void Report(const std::string& name, const Tally& t) {
    std::cout << "crash safety " << name << ": " << t.trials << " kills, " << t.old << " old, " << t.finished
              << " new, " << t.between << " between two complete updates, " << t.lost << " lost, "
              << "files left: " << t.inTheTemporaryDirectory << " in the temporary directory, " << t.besideTheFile
              << " beside the file\n";
}

struct Case {
    const char* scenario;
    bool otherFileSystem;  // the temporary directory on another file system
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.scenario << (c.otherFileSystem ? " elsewhere" : ""); }

class CrashSafety : public ::testing::TestWithParam<Case> {};

TEST_P(CrashSafety, KilledUpdateLeavesOldOrNewFile) {
    const Scenario& scenario = ScenarioNamed(GetParam().scenario);
    SourceBytes(scenario.source);  // made by the encoders before TMPDIR moves
    test::TempDir temp;
    std::string tempFolder = temp.path();
    std::unique_ptr<test::TempDir> elsewhere;
    if (GetParam().otherFileSystem) {
        struct stat shm, here;
        if (stat("/dev/shm", &shm) != 0 || stat(tempFolder.c_str(), &here) != 0 || shm.st_dev == here.st_dev)
            GTEST_SKIP() << "no second file system";
        tempFolder = "/dev/shm/zmtagio-crash-" + std::to_string(getpid());
        std::filesystem::create_directory(tempFolder);
    }
    Tally tally;
    RunTrials(scenario, tempFolder, tally);
    if (GetParam().otherFileSystem) std::filesystem::remove_all(tempFolder);
    Report(std::string(scenario.name) + (GetParam().otherFileSystem ? " (temporary on another file system)" : ""),
           tally);
    RecordProperty("kills", tally.trials);
    RecordProperty("lost", tally.lost);
    EXPECT_EQ(tally.lost, 0);
}

INSTANTIATE_TEST_SUITE_P(Formats, CrashSafety,
                         ::testing::Values(Case{"MP3", false}, Case{"MP3", true}, Case{"Ogg", false},
                                           Case{"WMRewrite", false}),
                         [](const auto& info) {
                             return std::string(info.param.scenario) + (info.param.otherFileSystem ? "Elsewhere" : "");
                         });

}  // namespace
}  // namespace zm::reliability
