// The files a command works on: the paths named on its command line and
// every file under the folders among them, handed out one at a time. The
// walk holds one open folder per level of depth and never a list of what it
// found, so its memory stays the same however many files there are.
#pragma once

#include <dirent.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zmtagio {

struct WalkedFile {
    std::string path;
    bool named = false;    // given on the command line rather than found in a folder
    std::string problem;   // set for a folder that could not be read: no file to work on
};

// What a walk does with a symbolic link it finds in a folder. A named path
// is always followed.
enum class FolderLinks {
    FilesTaken,  // a link to a file is taken as that file; links to folders are not followed
    Skipped,     // a command that writes changes nothing outside the folders it was given
};

class FileWalk {
public:
    FileWalk(const std::vector<std::string>& paths, FolderLinks links);
    ~FileWalk();
    FileWalk(const FileWalk&) = delete;
    FileWalk& operator=(const FileWalk&) = delete;

    // The next file in the order the file system lists them, or nothing when
    // the walk is over.
    std::optional<WalkedFile> Next();

private:
    struct Level {
        DIR* dir;
        std::string prefix;  // the folder's path and a slash
    };

    std::optional<WalkedFile> Enter(const std::string& folder);
    std::optional<WalkedFile> NextInFolder();

    std::vector<std::string> roots_;
    size_t nextRoot_ = 0;
    std::vector<Level> levels_;
    FolderLinks links_;
};

}  // namespace zmtagio
