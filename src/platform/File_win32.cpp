#ifdef _WIN32
#include <windows.h>

#include <algorithm>
#include <memory>
#include <string>
#include <utility>

#include "platform/FaultInjection.h"
#include "platform/File.h"

namespace zm::platform {
namespace {

constexpr int kNameAttempts = 100;

// Whether the file goes when its last handle closes.
bool MarkForDeletion(HANDLE handle, bool doomed) {
    FILE_DISPOSITION_INFO dispose{BOOLEAN(doomed)};
    return SetFileInformationByHandle(handle, FileDispositionInfo, &dispose, sizeof dispose) != 0;
}

std::string VolumeOf(const std::string& path) {
    char volume[MAX_PATH + 1] = {};
    return GetVolumePathNameA(path.c_str(), volume, sizeof volume) ? std::string(volume) : std::string();
}

// The temporary folder when it lies on target's volume, so that the rename
// from it stays on one volume; else target's folder.
std::string StagingFolder(const std::string& target) {
    std::string temp = TempPath(), volume = VolumeOf(temp);
    temp.pop_back();  // the trailing separator
    return !volume.empty() && lstrcmpiA(volume.c_str(), VolumeOf(target).c_str()) == 0 ? temp : FolderOf(target);
}

// A file opened for reading or updating must be a file on a disk: a device
// or a pipe is let go at once. A folder does not open without backup
// semantics.
File RefuseUnlessDisk(File file) {
    if (file.IsOpen() && GetFileType(file.NativeHandle()) != FILE_TYPE_DISK) {
        file.Close();
        SetLastError(ERROR_BAD_FILE_TYPE);
    }
    return file;
}

}  // namespace

File::File(File&& other) noexcept
    : staged_(std::exchange(other.staged_, Staged::No)), path_(std::move(other.path_)),
      folder_(std::move(other.folder_)), handle_(other.handle_) {
    other.handle_ = INVALID_HANDLE_VALUE;
}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        Close();
        staged_ = std::exchange(other.staged_, Staged::No);
        path_ = std::move(other.path_);
        folder_ = std::move(other.folder_);
        handle_ = other.handle_;
        other.handle_ = INVALID_HANDLE_VALUE;
    }
    return *this;
}

File File::Open(const char* path, Mode mode) {
    File file;
    if (path == nullptr || fault::Hit(fault::Op::Open)) return file;
    if (mode == Mode::Read) {
        file.handle_ = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
        return RefuseUnlessDisk(std::move(file));
    }
    if (mode == Mode::Update) {
        // No sharing: a second Update fails with a sharing violation.
        file.handle_ = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
        return RefuseUnlessDisk(std::move(file));
    }
    file.handle_ = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    return file;
}

File File::CreateReplacement(const char* target) {
    if (target == nullptr) return File();
    return CreateIn(StagingFolder(target));
}

// Readable as well, so that a rename that cannot cross copies from it;
// DELETE access lets ReplaceTarget rename it while it is held.
File File::CreateIn(const std::string& folder) {
    File file;
    if (fault::Hit(fault::Op::Open)) return file;
    file.folder_ = folder;
    std::string stem = folder + "\\.zmtagio-" + std::to_string(GetCurrentProcessId()) + "-";
    static LONG serial = 0;
    for (int attempt = 0; attempt < kNameAttempts && !file.IsOpen(); ++attempt) {
        std::string name = stem + std::to_string(GetTickCount()) + "-" + std::to_string(InterlockedIncrement(&serial));
        file.handle_ = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file.IsOpen()) file.path_ = std::move(name);
        else if (GetLastError() != ERROR_FILE_EXISTS) break;
    }
    if (file.IsOpen()) file.staged_ = MarkForDeletion(file.handle_, true) ? Staged::GoesWithHandle : Staged::Named;
    return file;
}

bool File::IsOpen() const { return handle_ != INVALID_HANDLE_VALUE; }

int64_t File::Read(std::span<uint8_t> buffer) {
    fault::Kind kind;
    size_t want = buffer.size();
    if (fault::Hit(fault::Op::Read, &kind)) {
        if (kind != fault::Kind::ShortRead) return -1;
        want /= 2;
    }
    size_t got = 0;
    while (got < want) {
        DWORD chunk = DWORD(std::min<size_t>(want - got, 1u << 30)), n = 0;
        if (!ReadFile(handle_, buffer.data() + got, chunk, &n, nullptr)) return got ? int64_t(got) : -1;
        if (n == 0) break;
        got += n;
    }
    return int64_t(got);
}

int64_t File::Write(std::span<const uint8_t> bytes) {
    fault::Kind kind;
    size_t want = bytes.size();
    if (fault::Hit(fault::Op::Write, &kind)) {
        if (kind == fault::Kind::Error) return -1;
        want /= 2;
    }
    size_t done = 0;
    while (done < want) {
        DWORD chunk = DWORD(std::min<size_t>(want - done, 1u << 30)), n = 0;
        if (!WriteFile(handle_, bytes.data() + done, chunk, &n, nullptr) || n == 0)
            return done ? int64_t(done) : -1;
        done += n;
    }
    return int64_t(done);
}

bool File::WriteAll(std::span<const uint8_t> bytes) {
    return Write(bytes) == int64_t(bytes.size());
}

bool File::Seek(uint64_t offset) {
    if (fault::Hit(fault::Op::Seek)) return false;
    LARGE_INTEGER to;
    to.QuadPart = LONGLONG(offset);
    return SetFilePointerEx(handle_, to, nullptr, FILE_BEGIN) != 0;
}

bool File::SeekFromEnd(int64_t back) {
    if (fault::Hit(fault::Op::Seek)) return false;
    LARGE_INTEGER to;
    to.QuadPart = -back;
    return SetFilePointerEx(handle_, to, nullptr, FILE_END) != 0;
}

int64_t File::Size() {
    if (fault::Hit(fault::Op::Size)) return -1;
    LARGE_INTEGER size;
    return GetFileSizeEx(handle_, &size) ? int64_t(size.QuadPart) : -1;
}

bool File::Flush() {
    if (fault::Hit(fault::Op::Flush)) return false;
    return FlushFileBuffers(handle_) != 0;
}

bool File::FlushData() { return Flush(); }

bool File::WriteAt(uint64_t offset, std::span<const uint8_t> bytes) {
    size_t want = bytes.size();
    if (!fault::AllowWrite(want)) return false;
    for (size_t done = 0; done < want;) {
        OVERLAPPED at{};
        at.Offset = DWORD(offset + done);
        at.OffsetHigh = DWORD((offset + done) >> 32);
        DWORD chunk = DWORD(std::min<size_t>(want - done, 1u << 30)), n = 0;
        if (!WriteFile(handle_, bytes.data() + done, chunk, &n, &at) || n == 0) return false;
        done += n;
    }
    return want == bytes.size();
}

bool File::GetStamp(Stamp& stamp) {
    if (fault::Hit(fault::Op::Size)) return false;
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(handle_, &info)) return false;
    stamp = {info.dwVolumeSerialNumber, (uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow,
             (uint64_t(info.nFileSizeHigh) << 32) | info.nFileSizeLow,
             int64_t((uint64_t(info.ftLastWriteTime.dwHighDateTime) << 32) | info.ftLastWriteTime.dwLowDateTime)};
    return true;
}

void File::Close() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
    if (staged_ == Staged::Named) DeleteFileA(path_.c_str());
    staged_ = Staged::No;
}

bool File::ReplaceTarget(const char* target, File* held) {
    if (staged_ == Staged::No || target == nullptr || fault::Hit(fault::Op::Move)) return false;
    int units = ::MultiByteToWideChar(CP_ACP, 0, target, -1, nullptr, 0);
    if (units <= 0) return false;
    size_t bytes = sizeof(FILE_RENAME_INFO) + size_t(units) * sizeof(WCHAR);
    auto block = std::make_unique<uint8_t[]>(bytes);
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(block.get());
    info->ReplaceIfExists = TRUE;
    info->RootDirectory = nullptr;
    info->FileNameLength = DWORD((units - 1) * sizeof(WCHAR));
    ::MultiByteToWideChar(CP_ACP, 0, target, -1, info->FileName, units);
    if (held) held->Close();
    // A file marked for deletion cannot be renamed: it is kept from here on.
    if (staged_ == Staged::GoesWithHandle && !MarkForDeletion(handle_, false)) return false;
    if (SetFileInformationByHandle(handle_, FileRenameInfo, info, DWORD(bytes))) {
        staged_ = Staged::No;
        return true;
    }
    DWORD error = GetLastError();
    if (staged_ == Staged::GoesWithHandle) MarkForDeletion(handle_, true);
    return error == ERROR_NOT_SAME_DEVICE && CopyOver(target);
}

std::string FolderOf(const std::string& path) {
    auto slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

bool OpenFailedBusy() {
    DWORD error = GetLastError();
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

// Links are rare on Windows and need rights to make: a path is taken as it is.
std::string FollowLinks(const char* path) { return path ? std::string(path) : std::string(); }

std::string TempPath() {
    char buffer[MAX_PATH + 1] = {};
    DWORD n = GetTempPathA(sizeof buffer, buffer);
    return (n == 0 || n > MAX_PATH) ? std::string(".\\") : std::string(buffer, n);
}

bool File::TakePermissionsOf(const char* path) {
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    FILE_BASIC_INFO info{};  // times left at 0 stay as they are
    info.FileAttributes = attributes;
    return SetFileInformationByHandle(handle_, FileBasicInfo, &info, sizeof info) != 0;
}

bool CanReplace(const char* path) {
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_READONLY);
}

}  // namespace zm::platform
#endif
