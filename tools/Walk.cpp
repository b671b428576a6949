#include "Walk.h"

#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <unordered_set>

namespace zmtagio {
namespace {

bool IsFolder(const std::string& path) {
    struct stat status;
    return ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

// The path with its links and dots resolved, or the path itself when it
// cannot be resolved (a missing file, which then fails on its own).
std::string Canonical(const std::string& path) {
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) ? std::string(resolved) : path;
}

bool Inside(const std::string& path, const std::string& folder) {
    return path.size() > folder.size() && path.starts_with(folder) &&
           (folder.ends_with('/') || path[folder.size()] == '/');
}

// Each file is worked on once, however often it is named: a path named twice,
// or lying under a folder that is named too, is dropped. Two workers must
// never change one file at the same time.
std::vector<std::string> DistinctRoots(const std::vector<std::string>& paths) {
    std::vector<std::string> canonical, folders;
    for (const std::string& path : paths) {
        canonical.push_back(Canonical(path));
        if (IsFolder(path)) folders.push_back(canonical.back());
    }
    std::vector<std::string> roots;
    std::unordered_set<std::string> seen;
    for (size_t i = 0; i < paths.size(); ++i) {
        bool covered = false;
        for (const std::string& folder : folders) covered = covered || Inside(canonical[i], folder);
        if (!covered && seen.insert(canonical[i]).second) roots.push_back(paths[i]);
    }
    return roots;
}

// The type of an entry, asked of the file system when the folder listing
// does not tell it; nothing when the entry is gone since it was listed.
std::optional<unsigned char> EntryType(const dirent& entry, const std::string& path) {
    if (entry.d_type != DT_UNKNOWN) return entry.d_type;
    struct stat status;
    if (::lstat(path.c_str(), &status) != 0) return std::nullopt;
    if (S_ISDIR(status.st_mode)) return DT_DIR;
    if (S_ISLNK(status.st_mode)) return DT_LNK;
    return S_ISREG(status.st_mode) ? DT_REG : DT_UNKNOWN;
}

bool LinksToFile(const std::string& path) {
    struct stat status;
    return ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

}  // namespace

FileWalk::FileWalk(const std::vector<std::string>& paths, FolderLinks links)
    : roots_(DistinctRoots(paths)), links_(links) {}

FileWalk::~FileWalk() {
    for (Level& level : levels_) ::closedir(level.dir);
}

std::optional<WalkedFile> FileWalk::Next() {
    while (true) {
        if (!levels_.empty()) {
            if (std::optional<WalkedFile> file = NextInFolder()) return file;
            continue;
        }
        if (nextRoot_ == roots_.size()) return std::nullopt;
        const std::string& root = roots_[nextRoot_++];
        if (!IsFolder(root)) return WalkedFile{root, true, {}};
        if (std::optional<WalkedFile> problem = Enter(root)) return problem;
    }
}

// A folder that cannot be read is reported, and the walk goes on without it.
std::optional<WalkedFile> FileWalk::Enter(const std::string& folder) {
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return WalkedFile{folder, false, std::strerror(errno)};
    levels_.push_back({dir, folder.ends_with('/') ? folder : folder + '/'});
    return std::nullopt;
}

// The next file of the deepest open folder, entering the folders it holds;
// nothing when that folder is done (and closed) or a folder was entered.
std::optional<WalkedFile> FileWalk::NextInFolder() {
    Level& level = levels_.back();
    errno = 0;
    const dirent* entry = ::readdir(level.dir);
    if (entry == nullptr) {
        std::optional<WalkedFile> problem;
        if (errno != 0) problem = WalkedFile{level.prefix, false, std::strerror(errno)};
        ::closedir(level.dir);
        levels_.pop_back();
        return problem;
    }
    std::string_view name = entry->d_name;
    if (name == "." || name == "..") return std::nullopt;
    std::string path = level.prefix;
    path += name;
    std::optional<unsigned char> type = EntryType(*entry, path);
    if (type == DT_DIR) return Enter(path);
    if (type == DT_REG || (type == DT_LNK && links_ == FolderLinks::FilesTaken && LinksToFile(path)))
        return WalkedFile{std::move(path), false, {}};
    return std::nullopt;
}

}  // namespace zmtagio
