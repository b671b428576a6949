// Working on the files of a walk in parallel: workers, each with a tag
// session of its own, take files in walk order, and the calling thread prints
// what each file came to in that same order, whole, one file after another.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "Host.h"
#include "Progress.h"
#include "Walk.h"

namespace zmtagio {

// What one file came to.
struct FileReport {
    std::string out;  // whole lines for standard output
    std::string err;  // whole lines for standard error
    bool failed = false;
    unsigned tags = 0;  // the kinds of tags found, one bit per kind, for a summary

    // Adds "zmtagio: message" to the error lines and marks the file failed.
    void Fail(const std::string& message);
    // Empty again, keeping the memory its text had.
    void Clear();
};

// Runs on the workers, with the worker's own session: fills report, which
// comes empty with the memory of the report of an earlier file, so that a
// report costs no allocation once the window has been round.
using FileWork = std::function<void(TagSession& session, const WalkedFile& file, FileReport& report)>;
// Runs on the calling thread, for each report once it is printed.
using ReportSeen = std::function<void(const FileReport& report)>;

// The number of failed files and unreadable folders; nothing when a session
// could not be created and no file was touched. jobs 0 means one worker per
// processor.
std::optional<size_t> RunOverFiles(FileWalk& walk, unsigned jobs, const FileWork& work, const ReportSeen& seen,
                                   Progress& progress);

// For the commands that change files: the walk leaves links in folders
// alone, no progress is drawn, and the answer is the exit status.
int ChangeFiles(const std::vector<std::string>& paths, unsigned jobs, const FileWork& work);

}  // namespace zmtagio
