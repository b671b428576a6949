#ifdef _WIN32
#include <windows.h>

#include <algorithm>
#include <memory>
#include <string>

#include "platform/FaultInjection.h"
#include "platform/File.h"

namespace zm::platform {
File::File(File&& other) noexcept : path_(std::move(other.path_)), handle_(other.handle_) {
    other.handle_ = INVALID_HANDLE_VALUE;
}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        Close();
        path_ = std::move(other.path_);
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
    if (SetFileInformationByHandle(handle_, FileRenameInfo, info, DWORD(bytes))) return true;
    if (GetLastError() != ERROR_NOT_SAME_DEVICE) return false;
    // Another volume: copy beside the target, then replace it in one step.
    std::string staging = std::string(target) + ".zmtagio";
    if (!CopyFileA(path_.c_str(), staging.c_str(), FALSE)) return false;
    if (!MoveFileExA(staging.c_str(), target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileA(staging.c_str());
        return false;
    }
    FILE_DISPOSITION_INFO dispose{TRUE};
    SetFileInformationByHandle(handle_, FileDispositionInfo, &dispose, sizeof dispose);
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

bool CopyPermissions(const char* from, const char* to) {
    DWORD attributes = GetFileAttributesA(from);
    return attributes != INVALID_FILE_ATTRIBUTES && SetFileAttributesA(to, attributes) != 0;
}

bool CanReplace(const char* path) {
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_READONLY);
}

}  // namespace zm::platform
#endif
