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

std::string DirectoryOf(const char* path) {
    std::string p(path);
    auto slash = p.find_last_of("\\/");
    return slash == std::string::npos ? std::string(".") : p.substr(0, slash);
}

}  // namespace

File::File(File&& other) noexcept
    : path_(std::move(other.path_)), staged_(std::exchange(other.staged_, Staged::No)), handle_(other.handle_) {
    other.handle_ = INVALID_HANDLE_VALUE;
}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        Close();
        path_ = std::move(other.path_);
        staged_ = std::exchange(other.staged_, Staged::No);
        handle_ = other.handle_;
        other.handle_ = INVALID_HANDLE_VALUE;
    }
    return *this;
}

File File::Open(const char* path, Mode mode) {
    File file;
    if (path == nullptr || fault::Hit(fault::Op::Open)) return file;
    if (mode == Mode::Read)
        file.handle_ = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
    else if (mode == Mode::Update)
        file.handle_ = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
    else {
        // DELETE access lets ReplaceTarget rename the file while it is held.
        file.handle_ = CreateFileA(path, GENERIC_WRITE | DELETE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file.IsOpen()) file.path_ = path;
    }
    return file;
}

File File::CreateBeside(const char* target) {
    File file;
    if (target == nullptr || fault::Hit(fault::Op::Open)) return file;
    std::string stem = DirectoryOf(target) + "\\.zmtagio-" + std::to_string(GetCurrentProcessId()) + "-";
    for (int attempt = 0; attempt < kNameAttempts && !file.IsOpen(); ++attempt) {
        std::string name = stem + std::to_string(GetTickCount()) + "-" + std::to_string(attempt);
        file.handle_ = CreateFileA(name.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
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

void File::Close() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
    if (staged_ == Staged::Named) DeleteFileA(path_.c_str());
    staged_ = Staged::No;
}

bool File::ReplaceTarget(const char* target) {
    if (path_.empty() || fault::Hit(fault::Op::Move)) return false;
    int units = ::MultiByteToWideChar(CP_ACP, 0, target, -1, nullptr, 0);
    if (units <= 0) return false;
    size_t bytes = sizeof(FILE_RENAME_INFO) + size_t(units) * sizeof(WCHAR);
    auto block = std::make_unique<uint8_t[]>(bytes);
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(block.get());
    info->ReplaceIfExists = TRUE;
    info->RootDirectory = nullptr;
    info->FileNameLength = DWORD((units - 1) * sizeof(WCHAR));
    ::MultiByteToWideChar(CP_ACP, 0, target, -1, info->FileName, units);
    // A file marked for deletion cannot be renamed: it is kept from here on.
    if (staged_ == Staged::GoesWithHandle && !MarkForDeletion(handle_, false)) return false;
    if (SetFileInformationByHandle(handle_, FileRenameInfo, info, DWORD(bytes))) {
        staged_ = Staged::No;
        return true;
    }
    DWORD error = GetLastError();
    if (staged_ == Staged::GoesWithHandle) MarkForDeletion(handle_, true);
    if (error != ERROR_NOT_SAME_DEVICE || staged_ != Staged::No) return false;
    // Another volume: copy beside the target, then replace it in one step.
    std::string staging = std::string(target) + ".zmtagio";
    if (!CopyFileA(path_.c_str(), staging.c_str(), FALSE)) return false;
    if (!MoveFileExA(staging.c_str(), target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileA(staging.c_str());
        return false;
    }
    MarkForDeletion(handle_, true);
    return true;
}

bool DeleteFile(const char* path) {
    if (fault::Hit(fault::Op::Delete)) return false;
    return DeleteFileA(path) != 0;
}

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
