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
#include "platform/FileCopy.h"

namespace zm::platform {
namespace {

constexpr int kNameAttempts = 100;

std::string DirectoryOf(const char* path) {
    std::string p(path);
    auto slash = p.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : p.substr(0, slash);
}

// Makes a rename in the directory of path durable.
void SyncDirectory(const char* path) {
    int dir = ::open(DirectoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return;
    ::fsync(dir);
    ::close(dir);
}

// A file made beside target lies in target's folder, so that the rename that
// puts it in place is atomic.
std::string StagingName(const char* target) { return DirectoryOf(target) + "/.zmtagio-"; }

// An unnamed file is given its name through /proc; without /proc it could
// never be put in place, and a named one is made instead.
bool CanNameUnnamedFiles() {
    static const bool can = ::access("/proc/self/fd", X_OK) == 0;
    return can;
}

// Gives the unnamed file fd a fresh name beside target; empty when it cannot.
std::string NameBeside(int fd, const char* target) {
    static std::atomic<unsigned> serial{0};
    std::string proc = "/proc/self/fd/" + std::to_string(fd);
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        std::string name = StagingName(target) + std::to_string(::getpid()) + "-" + std::to_string(serial++);
        if (::linkat(AT_FDCWD, proc.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) return name;
        if (errno != EEXIST) break;
    }
    return {};
}

// Copies `from` into a new file beside `to`, then puts it in the place of
// `to`, so that `to` always holds either its old or its new content.
bool CopyThenRename(const char* from, const char* to) {
    File source = File::Open(from, File::Mode::Read);
    int64_t size = source.IsOpen() ? source.Size() : -1;
    File staged = File::CreateBeside(to);
    bool ok = size >= 0 && staged.IsOpen() &&
              CopyRange(source, staged, {0, uint64_t(size)}) == CopyResult::Copied && staged.Flush() &&
              staged.TakePermissionsOf(from) && staged.ReplaceTarget(to);
    source.Close();
    if (ok) ::unlink(from);
    return ok;
}

}  // namespace

File::File(File&& other) noexcept
    : path_(std::move(other.path_)), staged_(std::exchange(other.staged_, Staged::No)), handle_(other.handle_) {
    other.handle_ = -1;
    TakePosition(other);
}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        Close();
        path_ = std::move(other.path_);
        staged_ = std::exchange(other.staged_, Staged::No);
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
    other.positioned_ = false;
    other.windows_.Clear();
}

File File::Open(const char* path, Mode mode) {
    File file;
    if (path == nullptr || fault::Hit(fault::Op::Open)) return file;
    if (mode == Mode::Read) {
        file.handle_ = ::open(path, O_RDONLY | O_CLOEXEC);
        file.positioned_ = file.handle_ >= 0;
        return file;
    }
    if (mode == Mode::Update) {
        int fd = ::open(path, O_RDWR | O_CLOEXEC);
        if (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            ::close(fd);
            errno = EBUSY;
            fd = -1;
        }
        file.handle_ = fd;
        return file;
    }
    // "No sharing": an exclusive lock taken before truncating, so that a
    // second writer fails instead of destroying what the first one writes.
    // The lock must be on the file that the path names now: a holder may
    // have renamed or removed it between our open and our lock.
    int fd = ::open(path, O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return file;
    struct stat held, named;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::fstat(fd, &held) != 0 || ::stat(path, &named) != 0 ||
        held.st_ino != named.st_ino || held.st_dev != named.st_dev || ::ftruncate(fd, 0) != 0) {
        ::close(fd);
        errno = EBUSY;
        return file;
    }
    file.handle_ = fd;
    file.path_ = path;
    return file;
}

File File::CreateBeside(const char* target) {
    File file;
    if (target == nullptr || fault::Hit(fault::Op::Open)) return file;
#ifdef O_TMPFILE
    if (CanNameUnnamedFiles()) {
        file.handle_ = ::open(DirectoryOf(target).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
        if (file.handle_ >= 0) {
            file.staged_ = Staged::GoesWithHandle;
            return file;
        }
    }
#endif
    // The folder's file system keeps no unnamed files.
    std::string name = StagingName(target) + "XXXXXX";
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

bool File::ReplaceTarget(const char* target) {
    bool unnamed = staged_ == Staged::GoesWithHandle;
    if ((path_.empty() && !unnamed) || fault::Hit(fault::Op::Move)) return false;
    std::string from = unnamed ? NameBeside(handle_, target) : path_;
    if (from.empty()) return false;
    // A staged file lies beside target, so only the session's own temporary
    // file can be on another file system.
    bool replaced = ::rename(from.c_str(), target) == 0 ||
                    (errno == EXDEV && staged_ == Staged::No && CopyThenRename(from.c_str(), target));
    if (!replaced) {
        if (unnamed) ::unlink(from.c_str());
        return false;
    }
    staged_ = Staged::No;
    SyncDirectory(target);
    return true;
}

bool File::TakePermissionsOf(const char* path) {
    struct stat st;
    if (::stat(path, &st) != 0) return false;
    // The owner only follows where we may give it (running as root).
    if (::fchown(handle_, st.st_uid, st.st_gid) != 0) errno = 0;
    return ::fchmod(handle_, st.st_mode & 07777) == 0;
}

bool DeleteFile(const char* path) {
    if (fault::Hit(fault::Op::Delete)) return false;
    return ::unlink(path) == 0;
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
    return ::access(path, W_OK) == 0 && ::access(DirectoryOf(path).c_str(), W_OK | X_OK) == 0;
}

}  // namespace zm::platform
#endif
