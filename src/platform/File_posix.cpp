#ifndef _WIN32
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <utility>

#include "platform/FaultInjection.h"
#include "platform/File.h"

namespace zm::platform {
namespace {

constexpr int kNameAttempts = 100;

// Makes a rename in the directory of path durable.
void SyncDirectory(const char* path) {
    int dir = ::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return;
    ::fsync(dir);
    ::close(dir);
}

// The temporary folder when the rename from it to target's folder stays on
// one file system and we may make files there; else target's folder.
std::string StagingFolder(const std::string& target) {
    std::string beside = FolderOf(target), temp = TempPath();
    temp.pop_back();  // the trailing separator
    struct stat folder, tempFolder;
    if (::stat(beside.c_str(), &folder) == 0 && ::stat(temp.c_str(), &tempFolder) == 0 &&
        folder.st_dev == tempFolder.st_dev && S_ISDIR(tempFolder.st_mode) &&
        ::access(temp.c_str(), W_OK | X_OK) == 0)
        return temp;
    return beside;
}

std::string StagingStem(const std::string& folder) { return folder + "/.zmtagio-"; }

// An unnamed file is given its name through /proc; without /proc it could
// never be put in place, and a named one is made instead.
bool CanNameUnnamedFiles() {
    static const bool can = ::access("/proc/self/fd", X_OK) == 0;
    return can;
}

// Gives the unnamed file fd a fresh name in folder; empty when it cannot.
std::string NameIn(int fd, const std::string& folder) {
    static std::atomic<unsigned> serial{0};
    std::string proc = "/proc/self/fd/" + std::to_string(fd);
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        std::string name = StagingStem(folder) + std::to_string(::getpid()) + "-" + std::to_string(serial++);
        if (::linkat(AT_FDCWD, proc.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) return name;
        if (errno != EEXIST) break;
    }
    return {};
}

// Whether st is a regular file; when not, errno says what it is instead.
bool RefuseUnlessRegular(const struct stat& st) {
    if (S_ISREG(st.st_mode)) return true;
    errno = S_ISDIR(st.st_mode) ? EISDIR : ENODEV;
    return false;
}

// Opens a regular file. O_NONBLOCK keeps the open itself from waiting on a
// FIFO or a device that a swap slipped in after the look; the descriptor's
// own fstat then refuses anything but a regular file. On a regular file the
// flag changes nothing.
int OpenRegular(const char* path, int flags, struct stat& st) {
    int fd = ::open(path, flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return -1;
    if (::fstat(fd, &st) != 0 || !RefuseUnlessRegular(st)) {
        int error = errno;
        ::close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

// Takes the file's exclusive lock without waiting, and makes sure that path
// still names the held file: a holder may have renamed another file over it,
// or removed it, between our open and our lock.
bool HoldAlone(int fd, const char* path) {
    struct stat held, named;
    return ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &held) == 0 && ::stat(path, &named) == 0 &&
           held.st_ino == named.st_ino && held.st_dev == named.st_dev;
}

File::Stamp StampOf(const struct stat& st) {
    return {uint64_t(st.st_dev), uint64_t(st.st_ino), uint64_t(st.st_size),
            int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

}  // namespace

File::File(File&& other) noexcept
    : staged_(std::exchange(other.staged_, Staged::No)), path_(std::move(other.path_)),
      folder_(std::move(other.folder_)), handle_(other.handle_) {
    other.handle_ = -1;
    TakePosition(other);
}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        Close();
        staged_ = std::exchange(other.staged_, Staged::No);
        path_ = std::move(other.path_);
        folder_ = std::move(other.folder_);
        handle_ = other.handle_;
        other.handle_ = -1;
        TakePosition(other);
    }
    return *this;
}

// The windows stay behind: a moved handle reads them again when it needs them.
void File::TakePosition(File& other) {
    positioned_ = other.positioned_;
    position_ = other.position_;
    size_ = other.size_;
    stamp_ = other.stamp_;
    other.positioned_ = false;
    other.windows_.Clear();
}

File File::Open(const char* path, Mode mode) {
    File file;
    if (path == nullptr || fault::Hit(fault::Op::Open)) return file;
    struct stat st;
    if (mode == Mode::Read) {
        // The open's own look at the file measures it: Size() costs nothing.
        file.handle_ = OpenRegular(path, O_RDONLY, st);
        file.positioned_ = file.handle_ >= 0;
        if (file.positioned_) {
            file.size_ = int64_t(st.st_size);
            file.stamp_ = StampOf(st);
        }
        return file;
    }
    if (mode == Mode::Update) {
        // A writable open of a device can act on it: the path is looked at
        // before it is opened at all.
        if (::stat(path, &st) != 0 || !RefuseUnlessRegular(st)) return file;
        int fd = OpenRegular(path, O_RDWR, st);
        if (fd >= 0 && !HoldAlone(fd, path)) {
            ::close(fd);
            errno = EBUSY;
            fd = -1;
        }
        file.handle_ = fd;
        return file;
    }
    // "No sharing": an exclusive lock taken before truncating, so that a
    // second writer fails instead of destroying what the first one writes.
    int fd = ::open(path, O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return file;
    if (!HoldAlone(fd, path) || ::ftruncate(fd, 0) != 0) {
        ::close(fd);
        errno = EBUSY;
        return file;
    }
    file.handle_ = fd;
    return file;
}

File File::CreateReplacement(const char* target) {
    if (target == nullptr) return File();
    return CreateIn(StagingFolder(target));
}

File File::CreateIn(const std::string& folder) {
    File file;
    if (fault::Hit(fault::Op::Open)) return file;
    file.folder_ = folder;
#ifdef O_TMPFILE
    if (CanNameUnnamedFiles()) {
        // Readable as well: a rename that cannot cross copies from it.
        file.handle_ = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
        if (file.handle_ >= 0) {
            file.staged_ = Staged::GoesWithHandle;
            return file;
        }
    }
#endif
    // The folder's file system keeps no unnamed files.
    std::string name = StagingStem(folder) + "XXXXXX";
    file.handle_ = ::mkostemp(name.data(), O_CLOEXEC);
    if (file.handle_ < 0) return file;
    file.path_ = std::move(name);
    file.staged_ = Staged::Named;
    return file;
}

bool File::IsOpen() const { return handle_ >= 0; }

int64_t File::Read(std::span<uint8_t> buffer) {
    fault::Kind kind;
    size_t want = buffer.size();
    if (fault::Hit(fault::Op::Read, &kind)) {
        if (kind != fault::Kind::ShortRead) return -1;
        want /= 2;
    }
    if (positioned_) return ReadAtPosition(buffer.first(want));
    size_t got = 0;
    while (got < want) {
        ssize_t n = ::read(handle_, buffer.data() + got, want - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return got ? int64_t(got) : -1;
        if (n == 0) break;
        got += size_t(n);
    }
    return int64_t(got);
}

// Reads that a window can hold go through the windows; larger ones go
// straight into the caller's buffer.
int64_t File::ReadAtPosition(std::span<uint8_t> buffer) {
    int64_t got;
    bool ended;
    if (buffer.size() > ReadWindows::kBytes) {
        got = ReadDirect(position_, buffer, &ended);
    } else if ((got = windows_.Copy(position_, buffer)) < 0) {
        auto [at, room] = windows_.Room(position_, buffer.size());
        int64_t filled = ReadDirect(at, room, &ended);
        if (filled < 0) return -1;
        windows_.Filled(size_t(filled), ended);
        // A read that an error cut short hands on what it brought.
        got = windows_.Copy(position_, buffer, true);
    }
    if (got > 0) position_ += uint64_t(got);
    return got;
}

// As many bytes as fit, up to the end of the file; the file's measured size
// says where that is, so no read is spent on finding it.
int64_t File::ReadDirect(uint64_t offset, std::span<uint8_t> buffer, bool* ended) {
    size_t got = 0;
    *ended = false;
    while (got < buffer.size()) {
        if (size_ >= 0 && offset + got >= uint64_t(size_)) {
            *ended = true;
            break;
        }
        ssize_t n = ::pread(handle_, buffer.data() + got, buffer.size() - got, off_t(offset + got));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return got ? int64_t(got) : -1;
        if (n == 0) {
            *ended = true;
            break;
        }
        got += size_t(n);
    }
    return int64_t(got);
}

int64_t File::Write(std::span<const uint8_t> bytes) {
    fault::Kind kind;
    size_t want = bytes.size();
    bool full = false;
    if (fault::Hit(fault::Op::Write, &kind)) {
        if (kind == fault::Kind::Error) return -1;
        want /= 2;
        full = kind == fault::Kind::DiskFull;
    }
    size_t done = 0;
    while (done < want) {
        ssize_t n = ::write(handle_, bytes.data() + done, want - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return done ? int64_t(done) : -1;
        done += size_t(n);
    }
    if (full) errno = ENOSPC;
    return int64_t(done);
}

bool File::WriteAll(std::span<const uint8_t> bytes) {
    return Write(bytes) == int64_t(bytes.size());
}

bool File::Seek(uint64_t offset) {
    if (fault::Hit(fault::Op::Seek)) return false;
    if (!positioned_) return ::lseek(handle_, off_t(offset), SEEK_SET) >= 0;
    if (offset > uint64_t(std::numeric_limits<off_t>::max())) return false;
    position_ = offset;
    return true;
}

bool File::SeekFromEnd(int64_t back) {
    if (fault::Hit(fault::Op::Seek)) return false;
    if (!positioned_) return ::lseek(handle_, -off_t(back), SEEK_END) >= 0;
    struct stat st;
    if (size_ < 0 && ::fstat(handle_, &st) == 0) size_ = int64_t(st.st_size);
    if (size_ < 0 || back > size_) return false;
    position_ = uint64_t(size_ - back);
    return true;
}

// A read handle measures its file once: its windows and every later look use
// that size, so that one open sees one file whoever reads through it.
int64_t File::Size() {
    if (fault::Hit(fault::Op::Size)) return -1;
    if (positioned_ && size_ >= 0) return size_;
    struct stat st;
    if (::fstat(handle_, &st) != 0) return -1;
    if (positioned_) size_ = int64_t(st.st_size);
    return int64_t(st.st_size);
}

bool File::Flush() {
    if (fault::Hit(fault::Op::Flush)) return false;
    return ::fsync(handle_) == 0;
}

bool File::FlushData() {
    if (fault::Hit(fault::Op::Flush)) return false;
    return ::fdatasync(handle_) == 0;
}

bool File::WriteAt(uint64_t offset, std::span<const uint8_t> bytes) {
    size_t want = bytes.size();
    if (!fault::AllowWrite(want)) return false;
    size_t done = 0;
    while (done < want) {
        ssize_t n = ::pwrite(handle_, bytes.data() + done, want - done, off_t(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += size_t(n);
    }
    if (done < bytes.size()) errno = ENOSPC;
    return done == bytes.size();
}

// A read handle's stamp is the one its open measured.
bool File::GetStamp(Stamp& stamp) {
    if (positioned_) {
        stamp = stamp_;
        return true;
    }
    if (fault::Hit(fault::Op::Size)) return false;
    struct stat st;
    if (::fstat(handle_, &st) != 0) return false;
    stamp = StampOf(st);
    return true;
}

void File::Close() {
    if (staged_ == Staged::Named) ::unlink(path_.c_str());
    staged_ = Staged::No;
    if (handle_ >= 0) ::close(handle_);
    handle_ = -1;
    positioned_ = false;
    position_ = 0;
    size_ = -1;
    windows_.Clear();
}

bool File::ReplaceTarget(const char* target, File* held) {
    bool unnamed = staged_ == Staged::GoesWithHandle;
    if (staged_ == Staged::No || target == nullptr || fault::Hit(fault::Op::Move)) return false;
    std::string from = unnamed ? NameIn(handle_, folder_) : path_;
    if (from.empty()) return false;
    bool renamed = ::rename(from.c_str(), target) == 0;
    int error = errno;
    if (held) held->Close();
    if (renamed) {
        staged_ = Staged::No;
        SyncDirectory(target);
        return true;
    }
    // The name given for the rename goes again; a named file keeps its own
    // until Close.
    if (unnamed) ::unlink(from.c_str());
    return error == EXDEV && CopyOver(target);
}

bool File::TakePermissionsOf(const char* path) {
    struct stat st;
    if (::stat(path, &st) != 0) return false;
    // The owner only follows where we may give it (running as root).
    if (::fchown(handle_, st.st_uid, st.st_gid) != 0) errno = 0;
    return ::fchmod(handle_, st.st_mode & 07777) == 0;
}

std::string FolderOf(const std::string& path) {
    auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool OpenFailedBusy() { return errno == EBUSY; }

std::string FollowLinks(const char* path) {
    struct stat st;
    if (path == nullptr) return {};
    if (::lstat(path, &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    char* resolved = ::realpath(path, nullptr);
    if (resolved == nullptr) return {};
    std::string target(resolved);
    std::free(resolved);
    return target;
}

std::string TempPath() {
    const char* dir = std::getenv("TMPDIR");
    std::string path = (dir && *dir) ? dir : "/tmp";
    if (path.back() != '/') path += '/';
    return path;
}

bool CanReplace(const char* path) {
    // A file without any write bit is read-only for everybody, root included,
    // as a read-only file is on Windows; access() catches the rest (other
    // owners, read-only file systems).
    struct stat st;
    if (::stat(path, &st) != 0 || (st.st_mode & 0222) == 0) return false;
    return ::access(path, W_OK) == 0 && ::access(FolderOf(path).c_str(), W_OK | X_OK) == 0;
}

}  // namespace zm::platform
#endif
