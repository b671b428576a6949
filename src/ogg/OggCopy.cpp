// The copy of the pages behind rebuilt header pages whose count changed. Each
// page of the stream gets its sequence number moved by the change, and its
// checksum moved by exactly what that changes (the checksum is linear in the
// page's bits): a page whose checksum was right stays right, and one that was
// damaged stays recognisably damaged instead of being given a checksum that
// vouches for it.
//
// Pages of other streams pass unchanged. Renumbering ends with the stream's
// last page (a chained stream after it numbers its own pages), or where the
// bytes stop being whole pages (a trailing tag, a file cut short): from
// there the rest of the file is copied as it is.
#include <algorithm>
#include <cstring>

#include "ogg/OggLayout.h"
#include "platform/FileCopy.h"
#include "platform/Trace.h"

namespace zm::ogg {
namespace {

constexpr size_t kSequenceSize = 4;
constexpr size_t kCapturePatternSize = sizeof kCapturePattern;

// The size of the whole page at the start of bytes; 0 when bytes do not
// start with a whole page.
size_t WholePageSize(platform::ByteView bytes) {
    auto layout = ReadPageLayout(bytes);
    if (!layout || !bytes.Equals(0, kCapturePattern, kCapturePatternSize) || bytes.size() < layout->Size()) return 0;
    return layout->Size();
}

// Moves the page's sequence number and its checksum along.
void Renumber(std::span<uint8_t> page, uint32_t shift) {
    uint8_t* sequence = page.data() + kSequenceOffset;
    uint32_t old = platform::LoadLE32(sequence);
    platform::StoreLE32(sequence, old + shift);
    uint8_t change[kSequenceSize];
    for (size_t i = 0; i < kSequenceSize; ++i) change[i] = uint8_t(sequence[i] ^ uint8_t(old >> (8 * i)));
    uint8_t* checksum = page.data() + kChecksumOffset;
    size_t after = page.size() - kSequenceOffset - kSequenceSize;
    platform::StoreLE32(checksum, platform::LoadLE32(checksum) ^ OGGChecksumChange(change, after));
}

CopyOutcome Outcome(platform::CopyResult result) {
    switch (result) {
        case platform::CopyResult::Copied: return CopyOutcome::Copied;
        case platform::CopyResult::NoMemory: return CopyOutcome::NoMemory;
        case platform::CopyResult::Failed: break;
    }
    return CopyOutcome::Failed;
}

}  // namespace

CopyOutcome CopyOGGPages(platform::File& from, platform::File& to, platform::FileRange range,
                         const HeaderPages& headers, int64_t shift) {
    platform::Buffer buffer;
    if (!buffer.AllocateUnfilled(platform::kCopyChunk)) return CopyOutcome::NoMemory;
    if (!from.Seek(range.start)) return CopyOutcome::Failed;
    platform::WriteBehind writeBehind(to);
    uint64_t next = range.start;  // the first byte not yet in the buffer
    size_t held = 0;
    bool renumbering = true;
    while (renumbering && next < range.end) {
        auto space = buffer.span().subspan(held, size_t(std::min<uint64_t>(buffer.size() - held, range.end - next)));
        int64_t got = from.Read(space);
        if (got <= 0) return CopyOutcome::Failed;
        next += uint64_t(got);
        held += size_t(got);
        // Whole pages are renumbered and go out; a page cut by the buffer's
        // end waits at its start for the rest. A page never fills the buffer.
        size_t at = 0;
        while (renumbering) {
            std::span<uint8_t> rest = buffer.span().subspan(at, held - at);
            size_t size = WholePageSize(platform::ByteView(rest));
            if (size == 0) {
                renumbering = next < range.end && rest.size() < kMaxPageSize;
                break;
            }
            std::span<uint8_t> page = rest.first(size);
            if (platform::LoadLE32(page.data() + kSerialOffset) == headers.serial) {
                Renumber(page, uint32_t(shift));
                renumbering = !(page[kHeaderTypeOffset] & kLastPage);
            }
            at += size;
        }
        size_t out = renumbering ? at : held;
        if (!to.WriteAll(buffer.span().first(out))) return CopyOutcome::Failed;
        writeBehind.Wrote(out);
        std::memmove(buffer.data(), buffer.data() + out, held - out);
        held -= out;
    }
    if (held != 0) return CopyOutcome::Failed;
    if (next < range.end) platform::TraceLine("CopyOGGPages the rest is copied as it is");
    return Outcome(platform::CopyRange(from, to, {next, range.end}));
}

}  // namespace zm::ogg
