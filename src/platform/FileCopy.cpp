#include "platform/FileCopy.h"

#include <algorithm>
#include <optional>

#include "platform/Bytes.h"
#include "platform/FaultInjection.h"

#ifdef __linux__
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace zm::platform {
namespace {

size_t ChunkOf(FileRange range, uint64_t done) {
    return size_t(std::min<uint64_t>(range.end - range.start - done, kCopyChunk));
}

// The bytes that the kernel copied from range.start on, or nothing when an
// injected fault failed the copy. The kernel stops at the first call that
// copies nothing (another file system, an older kernel, the end of the
// source, an error) and the buffered copy goes on from there and decides.
// Each chunk counts as one read and one write for fault injection, and a
// fault acts as it would on those calls.
std::optional<uint64_t> KernelCopy([[maybe_unused]] File& from, [[maybe_unused]] File& to,
                                   [[maybe_unused]] FileRange range,
                                   [[maybe_unused]] WriteBehind& writeBehind) {
    uint64_t done = 0;
#ifdef __linux__
    while (range.start + done < range.end) {
        size_t chunk = ChunkOf(range, done);
        fault::Kind kind;
        if (fault::Hit(fault::Op::Read, &kind)) {
            if (kind != fault::Kind::ShortRead) return std::nullopt;
            chunk = std::max<size_t>(chunk / 2, 1);
        }
        if (fault::Hit(fault::Op::Write, &kind)) return std::nullopt;
        loff_t offset = loff_t(range.start + done);
        ssize_t n = ::copy_file_range(from.NativeHandle(), &offset, to.NativeHandle(), nullptr, chunk, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += uint64_t(n);
        writeBehind.Wrote(uint64_t(n));
    }
#endif
    return done;
}

CopyResult CopyThroughBuffer(File& from, File& to, FileRange range, WriteBehind& writeBehind) {
    if (range.start == range.end) return CopyResult::Copied;
    Buffer transfer;
    if (!transfer.Allocate(ChunkOf(range, 0))) return CopyResult::NoMemory;
    if (!from.Seek(range.start)) return CopyResult::Failed;
    for (uint64_t done = 0; range.start + done < range.end;) {
        int64_t got = from.Read(transfer.span().first(ChunkOf(range, done)));
        if (got <= 0) return CopyResult::Failed;
        if (!to.WriteAll(transfer.span().first(size_t(got)))) return CopyResult::Failed;
        done += uint64_t(got);
        writeBehind.Wrote(uint64_t(got));
    }
    return CopyResult::Copied;
}

}  // namespace

void WriteBehind::Wrote(uint64_t bytes) {
    pending_ += bytes;
    if (pending_ < kStep) return;
    pending_ = 0;
#ifdef __linux__
    ::sync_file_range(to_.NativeHandle(), 0, 0, SYNC_FILE_RANGE_WRITE);
#endif
}

CopyResult CopyRange(File& from, File& to, FileRange range) {
    if (range.end < range.start) return CopyResult::Failed;
    WriteBehind writeBehind(to);
    std::optional<uint64_t> copied = KernelCopy(from, to, range, writeBehind);
    if (!copied) return CopyResult::Failed;
    return CopyThroughBuffer(from, to, {range.start + *copied, range.end}, writeBehind);
}

}  // namespace zm::platform
