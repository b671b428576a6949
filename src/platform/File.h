// Files as the component uses them: a read handle that lets other readers in,
// a write handle that nobody else may share, whole-file operations and the
// temporary directory. One interface over POSIX and Win32.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "platform/ReadWindows.h"

#ifdef _WIN32
#include <windows.h>
// windows.h makes DeleteFile a macro for DeleteFileA; below and wherever this
// header is seen, DeleteFile is the component's own.
#undef DeleteFile
#endif

namespace zm::platform {

class File {
public:
    enum class Mode {
        Read,         // existing file, read access, other readers allowed
        CreateWrite,  // create or truncate, write access, no sharing
        Update        // existing file, read and write access, no sharing, nothing truncated
    };

    File() = default;
    ~File() { Close(); }
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // A closed File when the path cannot be opened in that mode.
    static File Open(const char* path, Mode mode);
    // A new file for writing in the folder of target, which ReplaceTarget
    // then puts in target's place. Until then nobody can open it and it does
    // not outlive its handle, so a process killed before the replace leaves
    // nothing beside target: on Linux it has no name yet; on Windows it is
    // deleted when its handle closes. Where the system offers neither, it
    // has a fresh name beside target that Close removes.
    static File CreateBeside(const char* target);

    bool IsOpen() const;
    // Up to buffer.size() bytes; 0 at the end of the file, -1 on an error.
    int64_t Read(std::span<uint8_t> buffer);
    // Bytes written (fewer than asked when the disk is full), -1 on an error.
    int64_t Write(std::span<const uint8_t> bytes);
    // Write everything or report failure.
    bool WriteAll(std::span<const uint8_t> bytes);
    bool Seek(uint64_t offset);
    bool SeekFromEnd(int64_t back);  // back bytes before the end
    int64_t Size();                  // -1 on an error
    bool Flush();                    // to stable storage
    void Close();
    // Puts this file (opened with CreateWrite) in the place of target while
    // it is still held, so that no other writer can slip in between. Where
    // the two lie on different file systems the content is copied next to
    // target and renamed over it; target always holds its old or new bytes.
    bool ReplaceTarget(const char* target);
    // Gives this file the permission bits and, where allowed, the owner of
    // the file at path (its attributes on Windows).
    bool TakePermissionsOf(const char* path);

#ifdef _WIN32
    using Native = void*;
#else
    using Native = int;
#endif
    // A read handle's reads do not move the handle's own offset: use
    // positioned calls on it.
    Native NativeHandle() const { return handle_; }

private:
    std::string path_;  // kept for ReplaceTarget
    // A file made by CreateBeside and not yet in its place: one that goes
    // with its handle (no name, or marked for deletion), or one whose name
    // Close removes.
    enum class Staged : uint8_t { No, GoesWithHandle, Named } staged_ = Staged::No;
#ifdef _WIN32
    Native handle_ = reinterpret_cast<void*>(-1);
#else
    Native handle_ = -1;
    // A read handle keeps its position itself, so a seek costs no system
    // call, and reads through the windows it last read.
    bool positioned_ = false;
    uint64_t position_ = 0;
    int64_t size_ = -1;  // as last measured; -1 before
    ReadWindows windows_;
    int64_t ReadAtPosition(std::span<uint8_t> buffer);
    int64_t ReadDirect(uint64_t offset, std::span<uint8_t> buffer, bool* ended);
    void TakePosition(File& other);
#endif
};

// The longest path, in bytes without its terminator, that the file calls
// take: the ANSI calls of Windows stop below 260 bytes; POSIX systems set
// their own limits, which their calls report.
#ifdef _WIN32
inline constexpr size_t kPathLimit = 259;
#else
inline constexpr size_t kPathLimit = SIZE_MAX - 1;
#endif

bool DeleteFile(const char* path);
// The temporary directory with a trailing separator: TMPDIR, else /tmp/
// (GetTempPath on Windows).
std::string TempPath();
// Whether the caller may replace the file at path: it has a write bit, and
// the caller may write it and its directory.
bool CanReplace(const char* path);

}  // namespace zm::platform
