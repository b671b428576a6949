// Files as the component uses them: a read handle that lets other readers in,
// a write handle that nobody else may share, whole-file operations and the
// temporary directory. One interface over POSIX and Win32.
//
// Only regular files are opened for reading or updating: a folder, a FIFO, a
// device or a socket is refused, and opening one never waits (a FIFO without
// a writer would block a plain open for ever).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "platform/ReadWindows.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace zm::platform {

class File {
public:
    enum class Mode {
        Read,         // existing regular file, read access, other readers allowed
        CreateWrite,  // create or truncate, write access, no sharing
        // Existing regular file, read and write access, nothing truncated.
        // One holder at a time: a second Update of the same file fails at
        // once, and OpenFailedBusy() says so.
        Update
    };

    File() = default;
    ~File() { Close(); }
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // A closed File when the path cannot be opened in that mode.
    static File Open(const char* path, Mode mode);
    // A new file for writing the new content of target (a path that
    // FollowLinks resolved), which ReplaceTarget then puts in target's place.
    // It is made in the temporary folder when that lies on target's file
    // system, else in target's own folder, so that the replace is one
    // rename. Until then nobody can open it and it does not outlive its
    // handle, so a process killed before the replace leaves nothing behind:
    // on Linux it has no name yet; on Windows it is deleted when its handle
    // closes. Where the system offers neither, it has a fresh name of its
    // own that Close removes. Updates of different files never share a name.
    static File CreateReplacement(const char* target);

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
    bool FlushData();                // the bytes to stable storage, not the times
    // Writes bytes at offset in one call: a kill lands before or after a
    // write that stays within one page of the file; the system may cut a
    // longer one at a page boundary. False unless every byte went in.
    bool WriteAt(uint64_t offset, std::span<const uint8_t> bytes);
    // Which file this is and how it stood when measured: what tells a file
    // that another writer replaced or changed from the one read before.
    struct Stamp {
        uint64_t volume = 0, index = 0, size = 0;
        int64_t modified = 0;
        bool operator==(const Stamp&) const = default;
    };
    bool GetStamp(Stamp& stamp);
    void Close();
    // Puts this file (made by CreateReplacement for target) in the place of
    // target; target always holds its old or its new bytes. held, the
    // source's own handle and lock if the caller has one, is closed after
    // the rename, so that no other writer can slip in between; on Windows,
    // which renames over no open file, just before it. Where the rename
    // cannot cross from the temporary folder (a bind mount) the content is
    // copied into target's folder and renamed from there.
    bool ReplaceTarget(const char* target, File* held = nullptr);
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
    static File CreateIn(const std::string& folder);
    bool CopyOver(const char* target);
    // A file made by CreateReplacement and not yet in its place: one that
    // goes with its handle (no name, or marked for deletion), or one whose
    // name Close removes.
    enum class Staged : uint8_t { No, GoesWithHandle, Named } staged_ = Staged::No;
    std::string path_;    // its name, once it has one
    std::string folder_;  // where it was made
#ifdef _WIN32
    Native handle_ = reinterpret_cast<void*>(-1);
#else
    Native handle_ = -1;
    // A read handle keeps its position itself, so a seek costs no system
    // call, and reads through the windows it last read.
    bool positioned_ = false;
    uint64_t position_ = 0;
    int64_t size_ = -1;  // as last measured; -1 before
    Stamp stamp_;        // as the open measured it
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

// The folder part of a path: "." for a bare name.
std::string FolderOf(const std::string& path);
// Whether the last Open failed because another Update holds the file.
bool OpenFailedBusy();
// The file an update of path changes: a symbolic link (or a chain of them)
// is followed to the file it points to, which is rebuilt in its own folder
// and renamed over, so that the link stays a link. Any other path is itself.
// Empty when a link leads nowhere.
std::string FollowLinks(const char* path);
// The temporary directory with a trailing separator: TMPDIR, else /tmp/
// (GetTempPath on Windows).
std::string TempPath();
// Whether the caller may replace the file at path: it has a write bit, and
// the caller may write it and its directory.
bool CanReplace(const char* path);

}  // namespace zm::platform
