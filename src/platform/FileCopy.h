// Moving a byte range from one open file to another, as the rebuild of a
// file needs it: the bytes are copied, never looked at.
#pragma once

#include <cstddef>

#include "platform/File.h"
#include "platform/FileRange.h"

namespace zm::platform {

// Bytes of one transfer, and of the buffer where the bytes pass through ours.
inline constexpr size_t kCopyChunk = 512000;

enum class CopyResult {
    Copied,
    Failed,   // a read or a write failed, or the source ended before the range did
    NoMemory  // no transfer buffer
};

// A copy is flushed to disk when it is complete. Handing the written bytes to
// the disk every few megabytes lets the disk write while the copy goes on, so
// that the flush waits for the last few only. A hint: durability still comes
// from the flush alone.
class WriteBehind {
public:
    static constexpr uint64_t kStep = uint64_t(8) << 20;

    explicit WriteBehind(File& to) : to_(to) {}
    void Wrote(uint64_t bytes);

private:
    File& to_;
    uint64_t pending_ = 0;
};

// Copies range from `from` to the current position of `to`, which moves on by
// the bytes written. Where the kernel can copy between the two files it does,
// and the bytes never leave the page cache; the rest passes through one
// transfer buffer, a chunk at a time. The result and the bytes are the same
// either way.
CopyResult CopyRange(File& from, File& to, FileRange range);

}  // namespace zm::platform
