// Several processes, each with several threads and one session object per
// thread, update their own files at the same time, all with the one
// temporary name in one temporary directory. Every update either succeeds
// with exactly the content it asked for, or fails with E_FAIL and leaves
// its file byte for byte as it was.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <iostream>
#include <map>
#include <thread>

#include "reliability/Scenarios.h"

namespace zm::reliability {
namespace {

constexpr int kProcesses = 3;
constexpr int kThreads = 3;
constexpr int kRounds = 20;

struct Counts {
    int updates = 0, succeeded = 0, refused = 0, damaged = 0;
};

// Each writer changes the title to a value of its own in every round.
Scenario Retitle(const Scenario& base, int process, int thread, int round) {
    Scenario scenario = base;
    Edit& edit = scenario.edits.front();
    edit.value = edit.kind == MD_KIND_ID3V2 ? std::string(1, '\0') : std::string();
    for (int part : {process, thread, round}) edit.value.append(" ").append(std::to_string(part));
    scenario.edits.resize(1);
    return scenario;
}

const Scenario& BaseFor(int thread) { return ScenarioNamed(thread % 2 ? "Ogg" : "MP3"); }

// The title a writer sets in a round; unique among all writers and rounds.
std::string Key(int process, int thread, int round) {
    return Retitle(BaseFor(thread), process, thread, round).edits.front().value;
}

// What every update must produce, made one at a time before the race.
std::map<std::string, Bytes> ExpectedFiles(const std::string& folder) {
    std::map<std::string, Bytes> expected;
    for (int p = 0; p < kProcesses; ++p)
        for (int t = 0; t < kThreads; ++t)
            for (int r = 0; r < kRounds; ++r) {
                const Scenario& base = BaseFor(t);
                std::vector<Bytes> states = CleanStates(Retitle(base, p, t, r), SourceBytes(base.source), folder);
                expected[Key(p, t, r)] = states.back();
            }
    return expected;
}

void Writer(int process, int thread, const std::string& folder, const std::map<std::string, Bytes>& expected,
            Counts& counts) {
    const Scenario& base = BaseFor(thread);
    const Bytes& source = SourceBytes(base.source);
    std::string path = folder + "/writer" + std::to_string(process * kThreads + thread);
    for (int round = 0; round < kRounds; ++round) {
        test::WriteFile(path, source);
        Outcome outcome = RunHost(Retitle(base, process, thread, round), path);
        Bytes now = ReadWhole(path);
        ++counts.updates;
        if (outcome.Complete() && now == expected.at(Key(process, thread, round))) {
            ++counts.succeeded;
        } else if (outcome.update == ZMTAGIO_E_FAIL && now == source) {
            ++counts.refused;
        } else {
            ++counts.damaged;
            std::cerr << path << " round " << round << ": update " << std::hex << outcome.update << std::dec
                      << ", the file is " << (now == source ? "unchanged" : "neither old nor the expected new") << "\n";
        }
    }
}

// One process: its threads, then its counts through the pipe.
Counts RunProcess(int process, const std::string& folder, const std::map<std::string, Bytes>& expected) {
    std::vector<Counts> perThread(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back(Writer, process, t, std::cref(folder), std::cref(expected), std::ref(perThread[t]));
    for (auto& thread : threads) thread.join();
    Counts total;
    for (const Counts& c : perThread) {
        total.updates += c.updates;
        total.succeeded += c.succeeded;
        total.refused += c.refused;
        total.damaged += c.damaged;
    }
    return total;
}

TEST(ConcurrencyTest, UpdatesSharingTheTemporaryNameNeverMixFiles) {
    for (const char* name : {"MP3", "Ogg"}) SourceBytes(ScenarioNamed(name).source);
    test::TempDir work;
    std::string folder = work.File("music"), tempFolder = work.File("tmp");
    std::filesystem::create_directory(folder);
    std::filesystem::create_directory(tempFolder);
    ScopedTempDirectory tmpdir(tempFolder);
    auto expected = ExpectedFiles(folder);

    std::vector<std::pair<pid_t, int>> children;
    for (int p = 0; p < kProcesses; ++p) {
        int pipeFds[2];
        ASSERT_EQ(pipe(pipeFds), 0);
        pid_t pid = fork();
        if (pid == 0) {
            close(pipeFds[0]);
            Counts counts = RunProcess(p, folder, expected);
            bool sent = write(pipeFds[1], &counts, sizeof counts) == ssize_t(sizeof counts);
            _exit(sent ? 0 : 1);
        }
        close(pipeFds[1]);
        children.emplace_back(pid, pipeFds[0]);
    }
    Counts total;
    for (auto [pid, fd] : children) {
        Counts counts;
        bool received = read(fd, &counts, sizeof counts) == ssize_t(sizeof counts);
        close(fd);
        int status = 0;
        waitpid(pid, &status, 0);
        ASSERT_TRUE(received && WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a writer process failed";
        total.updates += counts.updates;
        total.succeeded += counts.succeeded;
        total.refused += counts.refused;
        total.damaged += counts.damaged;
    }
    std::cout << "concurrency: " << total.updates << " updates by " << kProcesses << " processes x " << kThreads
              << " threads, " << total.succeeded << " succeeded, " << total.refused << " refused with E_FAIL, "
              << total.damaged << " files damaged\n";
    RecordProperty("updates", total.updates);
    RecordProperty("damaged", total.damaged);
    EXPECT_EQ(total.updates, kProcesses * kThreads * kRounds);
    EXPECT_EQ(total.damaged, 0);
    EXPECT_GT(total.succeeded, 0);
    EXPECT_TRUE(OtherFiles(tempFolder).empty()) << "a temporary file outlived every update";
}

}  // namespace
}  // namespace zm::reliability
