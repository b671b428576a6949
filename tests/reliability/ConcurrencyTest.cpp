// Several processes, each with several threads and one session object per
// thread, update their own files at the same time, all with the one
// temporary name in one temporary directory. Every update either succeeds
// with exactly the content it asked for, or fails with E_FAIL and leaves
// its file byte for byte as it was.
#include <sys/wait.h>
#include <unistd.h>

#include <iostream>
#include <thread>

#include "reliability/Scenarios.h"

namespace zm::reliability {
namespace {

constexpr int kProcesses = 3, kThreads = 3, kRounds = 20;

struct Counts {
    int updates = 0, succeeded = 0, refused = 0, damaged = 0;
    Counts& operator+=(const Counts& c) {
        updates += c.updates, succeeded += c.succeeded, refused += c.refused, damaged += c.damaged;
        return *this;
    }
};

// MP3 and Ogg by turns; each writer sets a title of its own, unique among all writers and rounds.
Scenario Retitle(int process, int thread, int round) {
    Scenario scenario = ScenarioNamed(thread % 2 ? "Ogg" : "MP3");
    Edit& edit = scenario.edits.front();
    edit.value = edit.kind == MD_KIND_ID3V2 ? std::string(1, '\0') : std::string();
    for (int part : {process, thread, round}) edit.value.append(" ").append(std::to_string(part));
    scenario.edits.resize(1);
    return scenario;
}

void Writer(int process, int thread, const std::string& folder, const std::map<std::string, Bytes>& expected,
            Counts& counts) {
    std::string path = folder + "/writer" + std::to_string(process * kThreads + thread);
    for (int round = 0; round < kRounds; ++round) {
        Scenario scenario = Retitle(process, thread, round);
        const Bytes& source = SourceBytes(scenario.source);
        test::WriteFile(path, source);
        Outcome outcome = RunHost(scenario, path);
        Bytes now = ReadWhole(path);
        ++counts.updates;
        if (outcome.Complete() && now == expected.at(scenario.edits.front().value)) {
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

TEST(ConcurrencyTest, UpdatesSharingTheTemporaryNameNeverMixFiles) {
    for (const char* name : {"MP3", "Ogg"}) SourceBytes(ScenarioNamed(name).source);
    test::TempDir work;
    std::string folder = work.File("music"), tempFolder = work.File("tmp");
    std::filesystem::create_directory(folder);
    std::filesystem::create_directory(tempFolder);
    ScopedTempDirectory tmpdir(tempFolder);
    // What every update must produce, made one at a time before the race.
    std::map<std::string, Bytes> expected;
    for (int p = 0; p < kProcesses; ++p)
        for (int t = 0; t < kThreads; ++t)
            for (int r = 0; r < kRounds; ++r) {
                Scenario scenario = Retitle(p, t, r);
                expected[scenario.edits.front().value] = CleanStates(scenario, SourceBytes(scenario.source), folder).back();
            }

    std::vector<std::pair<pid_t, int>> children;
    for (int p = 0; p < kProcesses; ++p) {
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        if (pid_t pid = fork(); pid == 0) {
            std::vector<Counts> perThread(kThreads);
            std::vector<std::thread> threads;
            for (int t = 0; t < kThreads; ++t)
                threads.emplace_back(Writer, p, t, std::cref(folder), std::cref(expected), std::ref(perThread[t]));
            Counts counts;
            for (int t = 0; t < kThreads; ++t) threads[t].join(), counts += perThread[t];
            _exit(write(fds[1], &counts, sizeof counts) == ssize_t(sizeof counts) ? 0 : 1);
        } else {
            close(fds[1]);
            children.emplace_back(pid, fds[0]);
        }
    }
    Counts total;
    for (auto [pid, fd] : children) {
        Counts counts;
        bool received = read(fd, &counts, sizeof counts) == ssize_t(sizeof counts);
        close(fd);
        int status = 0;
        waitpid(pid, &status, 0);
        ASSERT_TRUE(received && WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a writer process failed";
        total += counts;
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
