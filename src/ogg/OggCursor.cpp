// Every page is checked (capture pattern, version, serial number,
// continuation flag, room in the file) before its bytes are taken, and the
// walk is held to kMaxHeaderPacketBytes of packets and kMaxHeaderPageBytes of
// pages, so a hostile length never makes it read more than the file and those
// bounds allow. The bytes come through one buffer: a read fills it ahead, a
// skip reads page headers only, so that a picture that is stepped over is
// never read.
#include "ogg/OggCursor.h"

#include <algorithm>
#include <cstring>

#include "platform/Trace.h"

namespace zm::ogg {
namespace {

using platform::ByteView;

constexpr size_t kCapturePatternSize = sizeof kCapturePattern;
constexpr size_t kMaxPageHeaderSize = kSegmentTableOffset + kMaxSegments;
// Taggers lay header packets out in pages of any size, down to a few hundred
// bytes, so the walk is held to the bytes its pages take rather than to a
// count of pages: twice what the packets may hold leaves room for the page
// headers of the smallest pages.
constexpr uint64_t kMaxHeaderPageBytes = 2 * kMaxHeaderPacketBytes;
constexpr size_t kBufferSize = 64 << 10;
// What a skip reads at a page header: the header, and the next headers of
// small pages with it. After a page under kSmallPage a skip reads the
// buffer's worth: the bodies of such pages cost little more to read than
// their headers, and a read per page would cost a system call each.
constexpr size_t kSkipAhead = 4 << 10;
constexpr uint64_t kSmallPage = 16 << 10;

bool Fits(const PacketCursor& cursor, uint64_t limit, uint64_t count) {
    return cursor.Position() <= limit && count <= limit - cursor.Position();
}

}  // namespace

PacketCursor::PacketCursor(platform::File& file, uint64_t start, uint32_t serial, uint32_t packetCount,
                           ByteView head)
    : file_(file), head_(head), start_(start), serial_(serial), packetCount_(packetCount), next_(start) {
    int64_t size = file.Size();
    if (size < 0) status_ = HeadersFound::Unreadable;
    fileSize_ = size < 0 ? 0 : uint64_t(size);
}

PacketCursor::PacketCursor(platform::File& file, const HeaderPages& headers, ByteView head)
    : PacketCursor(file, headers.range.start, headers.serial, HeaderPacketCount(LayoutOf(headers.codec)), head) {}

bool PacketCursor::Stop(HeadersFound why, const char* trace) {
    if (trace) platform::TraceLine("ReadOGGFromFile %s", trace);
    status_ = why;
    return false;
}

// [offset, offset + count) where the head or the buffer holds it, else null.
const uint8_t* PacketCursor::InHand(uint64_t offset, size_t count) const {
    if (offset < head_.size() && count <= head_.size() - offset) return head_.data() + offset;
    if (offset >= bufferStart_ && offset - bufferStart_ <= buffered_ && count <= buffered_ - (offset - bufferStart_))
        return buffer_.data() + (offset - bufferStart_);
    return nullptr;
}

// [offset, offset + count) from the head or the buffer, else read into the
// buffer with up to ahead bytes more; count and ahead are at most the
// buffer's size.
std::optional<ByteView> PacketCursor::FileBytes(uint64_t offset, size_t count, size_t ahead) {
    if (const uint8_t* held = InHand(offset, count)) return ByteView(held, count);
    if (offset > fileSize_ || count > fileSize_ - offset) {
        Stop(HeadersFound::NotOurs, "file ends in a header page");
        return std::nullopt;
    }
    if (buffer_.empty() && !buffer_.AllocateUnfilled(kBufferSize)) {
        Stop(HeadersFound::Unreadable, "no memory for the header pages");
        return std::nullopt;
    }
    buffered_ = 0;
    size_t want = size_t(std::min<uint64_t>(std::max(count, ahead), fileSize_ - offset));
    // The range lies within the file's size, so a read that stops short is a
    // failure of the file, not its end.
    bool failed = !file_.Seek(offset);
    while (!failed && buffered_ < want) {
        int64_t n = file_.Read(buffer_.span().subspan(buffered_, want - buffered_));
        failed = n <= 0;
        if (n > 0) buffered_ += size_t(n);
    }
    bufferStart_ = offset;
    if (failed) {
        buffered_ = 0;
        Stop(HeadersFound::Unreadable);
        return std::nullopt;
    }
    return ByteView(buffer_.data(), count);
}

// Steps onto the next page and counts the header packets' bytes on it, which
// begin its body.
bool PacketCursor::NextPage() {
    if (status_ != HeadersFound::Yes || packetsDone_ == packetCount_) return false;
    if (next_ - start_ > kMaxHeaderPageBytes) return Stop(HeadersFound::NotOurs, "header pages too long to be held");
    size_t want = size_t(std::min<uint64_t>(kMaxPageHeaderSize, fileSize_ - std::min(next_, fileSize_)));
    bool smallPages = walked_.count > 0 && lastPageSize_ < kSmallPage;
    auto header = FileBytes(next_, want, skipping_ && !smallPages ? kSkipAhead : kBufferSize);
    if (!header) return false;
    auto layout = ReadPageLayout(*header);
    if (!layout || !header->Equals(0, kCapturePattern, kCapturePatternSize) || *header->U8(kVersionOffset) != 0 ||
        *header->LE32(kSerialOffset) != serial_)
        return Stop(HeadersFound::NotOurs, "header pages are not one stream's pages");
    uint8_t flags = *header->U8(kHeaderTypeOffset);
    if ((flags & kFirstPage) || bool(flags & kContinuedPacket) != inPacket_)
        return Stop(HeadersFound::NotOurs, "header pages are not one stream's pages");
    if (layout->Size() > fileSize_ - next_) return Stop(HeadersFound::NotOurs, "file ends in a header page");
    uint32_t bytes = 0;
    for (uint32_t i = 0; i < layout->segments; ++i) {
        if (packetsDone_ == packetCount_) {
            walked_.moreAfterPackets = true;
            break;
        }
        uint32_t lacing = *header->U8(kSegmentTableOffset + i);
        bytes += lacing;
        walked_.packetBytes[packetsDone_] += lacing;
        inPacket_ = lacing == kFullSegment;
        if (!inPacket_) ++packetsDone_;
    }
    if (walked_.packetBytes[0] + walked_.packetBytes[1] > kMaxHeaderPacketBytes)
        return Stop(HeadersFound::NotOurs, "header packets too long to be held");
    if (walked_.count++ == 0) walked_.firstSequence = *header->LE32(kSequenceOffset);
    walked_.endsStream = (flags & kLastPage) != 0;
    at_ = next_ + layout->HeaderSize();
    leftOnPage_ = bytes;
    lastPageSize_ = layout->Size();
    next_ += layout->Size();
    walked_.end = next_;
    return true;
}

ByteView PacketCursor::Take(size_t count) {
    while (leftOnPage_ == 0)
        if (!NextPage()) return {};
    size_t n = std::min({count, size_t(leftOnPage_), kBufferSize});
    // What the buffer holds of it, rather than a read for the rest.
    if (at_ >= bufferStart_ && at_ - bufferStart_ < buffered_) n = std::min(n, size_t(bufferStart_ + buffered_ - at_));
    auto bytes = FileBytes(at_, n, kBufferSize);
    if (!bytes) return {};
    at_ += n;
    leftOnPage_ -= uint32_t(n);
    position_ += n;
    return *bytes;
}

// The next count bytes of this page when the head or the buffer holds them
// already, else null: most reads of a comment list are a few bytes of a page
// that is read.
const uint8_t* PacketCursor::Held(size_t count) const {
    return count == 0 || count > leftOnPage_ ? nullptr : InHand(at_, count);
}

bool PacketCursor::Read(std::span<uint8_t> out) {
    if (const uint8_t* held = Held(out.size())) {
        std::copy_n(held, out.size(), out.data());
        at_ += out.size();
        leftOnPage_ -= uint32_t(out.size());
        position_ += out.size();
        return true;
    }
    for (size_t done = 0; done < out.size();) {
        ByteView bytes = Take(out.size() - done);
        if (bytes.size() == 0) return false;
        std::copy_n(bytes.data(), bytes.size(), out.data() + done);
        done += bytes.size();
    }
    return true;
}

std::optional<uint32_t> PacketCursor::ReadLE32() {
    uint8_t bytes[kLengthSize];
    if (!Read(bytes)) return std::nullopt;
    return platform::LoadLE32(bytes);
}

bool PacketCursor::Skip(uint64_t count) {
    skipping_ = true;
    while (count > 0) {
        while (leftOnPage_ == 0)
            if (!NextPage()) return skipping_ = false;
        uint32_t n = uint32_t(std::min<uint64_t>(count, leftOnPage_));
        at_ += n;
        leftOnPage_ -= n;
        position_ += n;
        count -= n;
    }
    skipping_ = false;
    return true;
}

// Every step is bounded by the walk's own limits.
void PacketCursor::SkipToEnd() { Skip(UINT64_MAX); }

bool ReadCommentStart(PacketCursor& cursor, const CodecLayout& codec, uint64_t commentSize, uint32_t& count) {
    uint8_t magic[kLongestMagic];
    if (codec.magicSize > sizeof magic || !Fits(cursor, commentSize, codec.magicSize) ||
        !cursor.Read({magic, codec.magicSize}) || std::memcmp(magic, codec.commentMagic, codec.magicSize) != 0)
        return false;
    auto vendor = Fits(cursor, commentSize, kLengthSize) ? cursor.ReadLE32() : std::nullopt;
    if (!vendor || !Fits(cursor, commentSize, *vendor) || !cursor.Skip(*vendor)) return false;
    auto entries = Fits(cursor, commentSize, kLengthSize) ? cursor.ReadLE32() : std::nullopt;
    if (!entries || int32_t(*entries) < 0) return false;
    count = *entries;
    return true;
}

bool ReadEntryStart(PacketCursor& cursor, uint64_t listLimit, EntryStart& entry) {
    auto length = Fits(cursor, listLimit, kLengthSize) ? cursor.ReadLE32() : std::nullopt;
    if (!length || !Fits(cursor, listLimit, *length)) return false;
    entry.length = *length;
    entry.headSize = std::min<size_t>(*length, kEntryHeadBytes);
    if (!cursor.Read({entry.head, entry.headSize})) return false;
    entry.row = FindOGGFieldName({entry.head, entry.headSize});
    return true;
}

bool StandAtList(PacketCursor& cursor, const HeaderPages& headers) { return cursor.Skip(headers.listStart); }

}  // namespace zm::ogg
