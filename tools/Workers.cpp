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
// A worker takes up to this many files of the walk at a time, and marks them
// done together: the lock the workers share is taken twice per claim, not
// twice per file, which keeps two workers from waiting on each other. A
// worker's claims start at one file and double, so that a few files are
// still shared among the workers.
constexpr size_t kClaim = 16;
// At most this many files are between the walk and the printer. A file that
// takes long holds back the printing of those after it, and the workers wait
// when the window is full: memory stays bounded whatever the walk holds.
constexpr size_t kWindow = 1024;

// Files get tickets in walk order; a report is made in its ticket's slot of
// the window, and printed from there. A slot keeps its report's memory for
// the file that comes to it next, and neither thread frees what the other
// allocated.
class Pipeline {
public:
    Pipeline(FileWalk& walk, const FileWork& work) : walk_(walk), work_(work), slots_(kWindow) {}

    void Work(TagSession& session) {
        std::vector<WalkedFile> files;
        size_t claim = 1;
        std::unique_lock<std::mutex> lock(mutex_);
        while (true) {
            room_.wait(lock, [&] { return next_ + claim - printed_ <= kWindow; });
            size_t first = next_;
            files.clear();
            while (files.size() < claim && !walkDone_) {
                std::optional<WalkedFile> file = walk_.Next();
                if (file)
                    files.push_back(std::move(*file));
                else
                    walkDone_ = true;
            }
            next_ += files.size();
            claim = std::min(2 * claim, kClaim);
            if (files.empty()) {
                ready_.notify_one();
                return;
            }
            lock.unlock();
            // The printer leaves a slot alone until it is done: only this
            // worker touches these now.
            for (size_t i = 0; i < files.size(); ++i) Make(session, files[i], slots_[(first + i) % kWindow].report);
            lock.lock();
            for (size_t i = 0; i < files.size(); ++i) slots_[(first + i) % kWindow].done = true;
            done_ += files.size();
            if (Printable()) ready_.notify_one();
        }
    }

    size_t PrintAll(const ReportSeen& seen, Progress& progress) {
        size_t failures = 0;
        std::unique_lock<std::mutex> lock(mutex_);
        while (true) {
            ready_.wait_for(lock, kProgressInterval, [&] { return Printable(); });
            size_t from = printed_, to = printed_;
            while (to - from < kWindow && slots_[to % kWindow].done) ++to;
            bool finished = walkDone_ && to == next_ && done_ == next_;
            size_t total = walkDone_ ? next_ : 0;
            lock.unlock();
            // The workers fill only slots past these until printed_ moves.
            if (to > from) progress.Clear();
            for (size_t ticket = from; ticket < to; ++ticket) {
                const FileReport& report = slots_[ticket % kWindow].report;
                Print(report);
                failures += report.failed;
                seen(report);
            }
            std::fflush(stdout);
            progress.Draw(to, total);
            lock.lock();
            for (size_t ticket = from; ticket < to; ++ticket) slots_[ticket % kWindow].done = false;
            printed_ = to;
            room_.notify_all();
            if (finished) return failures;
        }
    }

private:
    void Make(TagSession& session, const WalkedFile& file, FileReport& report) {
        report.Clear();
        if (file.problem.empty())
            work_(session, file, report);
        else
            report.Fail(file.path + ": the folder cannot be read: " + file.problem);
    }

    struct Slot {
        FileReport report;
        bool done = false;  // the report is made and not yet printed
    };

    // A batch's worth of reports is ready from the next one to print on.
    bool Printable() const {
        return (walkDone_ && done_ == next_) || (slots_[printed_ % kWindow].done && done_ - printed_ >= kPrintBatch);
    }

    static void Print(const FileReport& report) {
        std::fwrite(report.out.data(), 1, report.out.size(), stdout);
        if (report.err.empty()) return;
        std::fflush(stdout);
        std::fwrite(report.err.data(), 1, report.err.size(), stderr);
    }

    FileWalk& walk_;
    const FileWork& work_;
    std::vector<Slot> slots_;
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

void FileReport::Clear() {
    out.clear();
    err.clear();
    failed = false;
    tags = 0;
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
