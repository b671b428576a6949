// A child process rewrites a large file and is killed with SIGKILL at
// moments spread over its whole run: while it reads, while it copies the
// audio, while the new file is flushed, around the replace and after it.
// After every kill the path holds one complete content, old or new; what a
// killed update leaves behind in the temporary directory is counted.
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <iostream>
#include <random>
#include <thread>

#include "reliability/Scenarios.h"

namespace zm::reliability {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kTrials = 50;
constexpr double kBeyondTheEnd = 2.0;  // the later kills land after the replace

// The source with 4 MB of random audio before its last 128 bytes for MP3
// (the ID3v1 block stays last), so that the copy and the flush take a while.
Bytes Enlarged(const Scenario& scenario) {
    Bytes bytes = SourceBytes(scenario.source), filler(4 << 20);
    std::mt19937_64 random(7);
    for (uint8_t& byte : filler) byte = uint8_t(random());
    size_t at = bytes.size() - (scenario.source == Source::MP3 ? 128 : 0);
    bytes.insert(bytes.begin() + long(at), filler.begin(), filler.end());
    return bytes;
}

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

class CrashSafety : public ::testing::TestWithParam<std::pair<const char*, bool>> {};  // temporary elsewhere

TEST_P(CrashSafety, KilledUpdateLeavesOldOrNewFile) {
    auto [name, elsewhere] = GetParam();
    const Scenario& scenario = ScenarioNamed(name);
    test::TempDir work;
    std::string folder = work.File("music"), path = folder + "/song", tmp = work.File("tmp");
    if (elsewhere) {
        struct stat shm, here;
        if (stat("/dev/shm", &shm) != 0 || stat(work.path().c_str(), &here) != 0 || shm.st_dev == here.st_dev)
            GTEST_SKIP() << "no second file system";
        tmp = "/dev/shm/zmtagio-crash-" + std::to_string(getpid());
    }
    std::filesystem::create_directory(folder);
    std::filesystem::create_directory(tmp);
    Bytes source = Enlarged(scenario);  // made by the encoders before TMPDIR moves
    std::vector<Bytes> states;
    {
        ScopedTempDirectory tmpdir(tmp);
        states = CleanStates(scenario, source, folder);
    }
    ASSERT_GT(states.size(), 1u);

    // When an undisturbed run puts the new file in place (the median of a
    // few runs): the kills are spread from the child's start to past it.
    std::vector<Clock::duration> runs;
    for (int i = 0; i < 5; ++i) {
        test::WriteFile(path, source);
        struct stat before, now;
        stat(path.c_str(), &before);
        auto [pid, started] = Start(scenario, path, tmp);
        Clock::duration replaced{};
        for (bool exited = false; !exited; std::this_thread::sleep_for(std::chrono::microseconds(50))) {
            exited = waitpid(pid, nullptr, WNOHANG) == pid;
            if (replaced == Clock::duration{} && (exited || (stat(path.c_str(), &now) == 0 && now.st_ino != before.st_ino)))
                replaced = Clock::now() - started;
        }
        runs.push_back(replaced);
    }
    std::sort(runs.begin(), runs.end());
    Clock::duration replaced = runs[runs.size() / 2];

    int counts[4] = {}, besideTheFile = 0, inTheTemporaryDirectory = 0;  // old, between, new, lost
    for (int i = 0; i < kTrials; ++i) {
        test::WriteFile(path, source);
        auto delay = std::chrono::duration_cast<Clock::duration>(replaced * kBeyondTheEnd * i / kTrials);
        auto child = Start(scenario, path, tmp);
        std::this_thread::sleep_until(child.second + delay);
        kill(child.first, SIGKILL);
        waitpid(child.first, nullptr, 0);

        Bytes now = ReadWhole(path);
        auto state = std::find(states.begin(), states.end(), now);
        ++counts[state == states.end() ? 3 : state == states.begin() ? 0 : state + 1 == states.end() ? 2 : 1];
        if (state == states.end())
            ADD_FAILURE() << name << ": killed after " << std::chrono::duration<double, std::milli>(delay).count()
                          << " ms, the file holds " << now.size() << " bytes of neither content";
        for (const auto& left : OtherFiles(folder, {"song"})) ++besideTheFile, std::filesystem::remove(folder + "/" + left);
        for (const auto& left : OtherFiles(tmp)) ++inTheTemporaryDirectory, std::filesystem::remove(tmp + "/" + left);
    }
    if (elsewhere) std::filesystem::remove_all(tmp);
    std::cout << "crash safety " << name << (elsewhere ? " (temporary on another file system)" : "") << ": " << kTrials
              << " kills, " << counts[0] << " old, " << counts[2] << " new, " << counts[1]
              << " between two complete updates, " << counts[3] << " lost, files left: " << inTheTemporaryDirectory
              << " in the temporary directory, " << besideTheFile << " beside the file\n";
    RecordProperty("kills", kTrials);
    RecordProperty("lost", counts[3]);
    EXPECT_EQ(counts[3], 0);
}

INSTANTIATE_TEST_SUITE_P(Formats, CrashSafety,
                         ::testing::Values(std::pair{"MP3", false}, std::pair{"MP3", true}, std::pair{"Ogg", false},
                                           std::pair{"WMRewrite", false}),
                         [](const auto& info) { return std::string(info.param.first) + (info.param.second ? "Elsewhere" : ""); });

}  // namespace
}  // namespace zm::reliability
