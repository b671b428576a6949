#include "Workers.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "Commands.h"

namespace zmtagio {
namespace {

constexpr auto kProgressInterval = std::chrono::milliseconds(100);
// Reports are printed in batches: waking the printer for every file would
// cost two thread switches per file, more than reading a small file.
constexpr size_t kPrintBatch = 128;
// At most this many files are between the walk and the printer. A file that
// takes long holds back the printing of those after it, and the workers wait
// when the window is full: memory stays bounded whatever the walk holds.
constexpr size_t kWindow = 1024;

// Files get tickets in walk order; a report waits in its ticket's slot of
// the window until the printer takes it.
class Pipeline {
public:
    Pipeline(FileWalk& walk, const FileWork& work) : walk_(walk), work_(work), slots_(kWindow) {}

    void Work(TagSession& session) {
        std::unique_lock<std::mutex> lock(mutex_);
        while (true) {
            room_.wait(lock, [&] { return next_ - printed_ < kWindow; });
            std::optional<WalkedFile> file = walk_.Next();
            if (!file) {
                walkDone_ = true;
                ready_.notify_one();
                return;
            }
            size_t ticket = next_++;
            lock.unlock();
            FileReport report;
            if (file->problem.empty())
                report = work_(session, *file);
            else
                report.Fail(file->path + ": the folder cannot be read: " + file->problem);
            lock.lock();
            slots_[ticket % kWindow] = std::move(report);
            ++done_;
            if (Printable()) ready_.notify_one();
        }
    }

    size_t PrintAll(const ReportSeen& seen, Progress& progress) {
        size_t failures = 0;
        std::vector<FileReport> batch;
        std::unique_lock<std::mutex> lock(mutex_);
        while (true) {
            ready_.wait_for(lock, kProgressInterval, [&] { return Printable(); });
            while (std::optional<FileReport>& slot = slots_[printed_ % kWindow]) {
                batch.push_back(std::move(*slot));
                slot.reset();
                ++printed_;
            }
            bool finished = Finished();
            size_t total = walkDone_ ? next_ : 0;
            lock.unlock();
            room_.notify_all();
            if (!batch.empty()) progress.Clear();
            for (const FileReport& report : batch) {
                Print(report);
                failures += report.failed;
                seen(report);
            }
            batch.clear();
            std::fflush(stdout);
            progress.Draw(printed_, total);
            if (finished) return failures;
            lock.lock();
        }
    }

private:
    bool Finished() const { return walkDone_ && printed_ == next_ && done_ == next_; }
    // A batch's worth of reports is ready from the next one to print on.
    bool Printable() const {
        return (walkDone_ && done_ == next_) || (slots_[printed_ % kWindow] && done_ - printed_ >= kPrintBatch);
    }

    static void Print(const FileReport& report) {
        std::fwrite(report.out.data(), 1, report.out.size(), stdout);
        if (report.err.empty()) return;
        std::fflush(stdout);
        std::fwrite(report.err.data(), 1, report.err.size(), stderr);
    }

    FileWalk& walk_;
    const FileWork& work_;
    std::vector<std::optional<FileReport>> slots_;
    size_t next_ = 0, done_ = 0, printed_ = 0;
    bool walkDone_ = false;
    std::mutex mutex_;
    std::condition_variable ready_, room_;
};

}  // namespace

void FileReport::Fail(const std::string& message) {
    err += "zmtagio: " + message + "\n";
    failed = true;
}

std::optional<size_t> RunOverFiles(FileWalk& walk, unsigned jobs, const FileWork& work, const ReportSeen& seen,
                                   Progress& progress) {
    if (jobs == 0) jobs = std::max(1u, std::thread::hardware_concurrency());
    std::vector<std::unique_ptr<TagSession>> sessions;
    for (unsigned i = 0; i < jobs; ++i) {
        sessions.push_back(CreateSession());
        if (!sessions.back()) return std::nullopt;
    }
    Pipeline pipeline(walk, work);
    std::vector<std::thread> workers;
    for (auto& session : sessions) workers.emplace_back([&pipeline, &session] { pipeline.Work(*session); });
    size_t failures = pipeline.PrintAll(seen, progress);
    for (std::thread& worker : workers) worker.join();
    progress.Clear();
    return failures;
}

int ChangeFiles(const std::vector<std::string>& paths, unsigned jobs, const FileWork& work) {
    FileWalk walk(paths, FolderLinks::Skipped);
    Progress none(false);
    std::optional<size_t> failures = RunOverFiles(walk, jobs, work, [](const FileReport&) {}, none);
    return failures && *failures == 0 ? kExitOk : kExitFailed;
}

}  // namespace zmtagio
