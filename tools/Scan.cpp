#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <thread>

#include "Commands.h"
#include "JsonWriter.h"
#include "Progress.h"
#include "Report.h"

namespace zmtagio {
namespace {

namespace fs = std::filesystem;

constexpr auto kProgressInterval = std::chrono::milliseconds(100);
// Results are printed in batches: waking the printer for every file would
// cost two thread switches per file, more than reading the file.
constexpr size_t kPrintBatch = 256;

struct Tally {
    size_t files = 0, id3v1 = 0, id3v2 = 0, ogg = 0, wm = 0, untagged = 0, failed = 0;
};

// The counts of the JSON summary, in its order.
struct SummaryCount {
    JsonKey name;
    size_t Tally::*count;
};
constexpr SummaryCount kSummaryCounts[] = {
    {"files", &Tally::files}, {"id3v1", &Tally::id3v1},       {"id3v2", &Tally::id3v2}, {"ogg", &Tally::ogg},
    {"wm", &Tally::wm},       {"untagged", &Tally::untagged}, {"failed", &Tally::failed}};

struct FileResult {
    std::string line;
    HRESULT hr = 0;
    bool id3v1 = false, id3v2 = false, ogg = false, wm = false;
};

// The folders are walked with readdir rather than std::filesystem, whose
// paths split themselves into components on the heap: a third of the cost of
// reading a small file. As its walk does, this one skips folders it may not
// read, does not follow links to folders, takes links to files and passes
// over broken ones, and stops at the first other error.
void Walk(const std::string& folder, std::vector<std::string>& files, std::error_code& error) {
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) {
        if (errno != EACCES) error.assign(errno, std::generic_category());
        return;
    }
    std::string prefix = folder.ends_with('/') ? folder : folder + '/';
    while (const dirent* entry = readdir(dir)) {
        std::string_view name = entry->d_name;
        if (name == "." || name == "..") continue;
        std::string path = prefix;
        path += name;
        unsigned char type = entry->d_type;
        struct stat status;
        if (type == DT_UNKNOWN) {
            if (lstat(path.c_str(), &status) != 0) continue;  // gone since it was listed
            type = S_ISDIR(status.st_mode) ? DT_DIR : S_ISLNK(status.st_mode) ? DT_LNK : DT_REG;
        }
        if (type == DT_LNK) {
            if (stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode)) files.push_back(std::move(path));
        } else if (type == DT_DIR) {
            Walk(path, files, error);
            if (error) break;
        } else if (type == DT_REG) {
            files.push_back(std::move(path));
        }
    }
    closedir(dir);
}

std::vector<std::string> CollectFiles(const std::vector<std::string>& folders, size_t& missing) {
    std::vector<std::string> files;
    for (const std::string& folder : folders) {
        std::error_code error;
        if (fs::is_regular_file(folder, error)) {
            files.push_back(folder);
            continue;
        }
        if (!fs::is_directory(folder, error)) {
            PrintError(folder + ": no such folder");
            ++missing;
            continue;
        }
        Walk(folder, files, error);
        if (error) {
            PrintError(folder + ": " + error.message());
            ++missing;
        }
    }
    std::sort(files.begin(), files.end());
    files.erase(std::unique(files.begin(), files.end()), files.end());
    return files;
}

void Count(const FileResult& result, Tally& tally) {
    ++tally.files;
    if (Failed(result.hr)) {
        ++tally.failed;
        return;
    }
    tally.id3v1 += result.id3v1;
    tally.id3v2 += result.id3v2;
    tally.ogg += result.ogg;
    tally.wm += result.wm;
    tally.untagged += !(result.id3v1 || result.id3v2 || result.ogg || result.wm);
}

std::string SummaryText(const Tally& tally) {
    return std::to_string(tally.files) + " files: " + std::to_string(tally.id3v2) + " ID3v2, " +
           std::to_string(tally.id3v1) + " ID3v1, " + std::to_string(tally.ogg) + " Ogg Vorbis, " +
           std::to_string(tally.wm) + " Windows Media, " + std::to_string(tally.untagged) + " untagged, " +
           std::to_string(tally.failed) + " failed";
}

std::string SummaryJson(const Tally& tally) {
    std::string out;
    {
        JsonWriter json(out);
        json.BeginObject();
        json.BeginObject("summary");
        for (const auto& [name, count] : kSummaryCounts) json.Number(name, int64_t(tally.*count));
        json.EndObject();
        json.EndObject();
    }
    return out;
}

// Workers take files by index; the main thread prints the results in path
// order as they complete and draws the progress bar.
class Scan {
public:
    Scan(std::vector<std::string> files, bool json) : files_(std::move(files)), results_(files_.size()), json_(json) {}

    void Work(TagSession& session) {
        uint32_t codePage = CurrentCodePage();
        FieldList fields;
        std::string line;
        for (size_t index = next_++; index < files_.size(); index = next_++) {
            FileResult result;
            result.hr = session.Open(files_[index], Language{});
            const MDRecord* record = session.Record();
            if (json_) {
                // Built in a buffer kept from file to file, then copied once
                // at its final size.
                line.clear();
                AppendJsonLine(line, files_[index], result.hr, record, codePage, fields);
                result.line = line;
            } else {
                result.line = SummaryLine(files_[index], result.hr, record);
            }
            if (record) {
                result.id3v1 = record->hasID3v1;
                result.id3v2 = record->hasID3v2;
                result.ogg = record->isOgg;
                result.wm = record->isASF;
            }
            bool wake;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                results_[index] = std::move(result);
                wake = ++done_ == files_.size() || done_ % kPrintBatch == 0;
            }
            if (wake) changed_.notify_one();
        }
    }

    Tally PrintAll(Progress& progress) {
        Tally tally;
        std::unique_lock<std::mutex> lock(mutex_);
        for (size_t printed = 0; printed < files_.size();) {
            changed_.wait_for(lock, kProgressInterval, [&] {
                return done_ == files_.size() || (results_[printed] && done_ >= printed + kPrintBatch);
            });
            if (printed < files_.size() && results_[printed]) progress.Clear();
            for (; printed < files_.size() && results_[printed]; ++printed) {
                const std::string& line = results_[printed]->line;
                std::fwrite(line.data(), 1, line.size(), stdout);
                std::fputc('\n', stdout);
                Count(*results_[printed], tally);
                results_[printed].reset();
            }
            std::fflush(stdout);
            progress.Draw(done_, files_.size());
        }
        progress.Clear();
        return tally;
    }

private:
    std::vector<std::string> files_;
    std::vector<std::optional<FileResult>> results_;
    bool json_;
    std::atomic<size_t> next_{0};
    size_t done_ = 0;
    std::mutex mutex_;
    std::condition_variable changed_;
};

}  // namespace

int RunScan(const ScanOptions& options) {
    size_t missing = 0;
    std::vector<std::string> files = CollectFiles(options.folders, missing);
    unsigned jobs = options.jobs ? options.jobs : std::max(1u, std::thread::hardware_concurrency());
    jobs = unsigned(std::clamp<size_t>(files.size(), 1, jobs));
    std::vector<std::unique_ptr<TagSession>> sessions;
    for (unsigned i = 0; i < jobs; ++i) {
        sessions.push_back(CreateSession());
        if (!sessions.back()) return kExitFailed;
    }
    Scan scan(std::move(files), options.json);
    std::vector<std::thread> workers;
    for (auto& session : sessions) workers.emplace_back([&scan, &session] { scan.Work(*session); });
    Progress progress(isatty(STDERR_FILENO) == 1);
    Tally tally = scan.PrintAll(progress);
    for (std::thread& worker : workers) worker.join();
    std::printf("%s\n", options.json ? SummaryJson(tally).c_str() : SummaryText(tally).c_str());
    return tally.failed > 0 || missing > 0 ? kExitFailed : kExitOk;
}

}  // namespace zmtagio
