// The identification page must be the file's first page, alone on it, and
// the comment page must follow it directly; the header packets after it are
// read from as many pages of the same stream as they span. Every page is
// checked (capture pattern, version, serial number, continuation flag, room
// in the file) before its bytes are taken, and the packets together are held
// to kMaxHeaderPacketBytes, so a hostile length never makes us allocate or
// read more than the file and that bound allow.
//
// Header pages that go on with other packets after the last header packet
// are read but marked, so that the writer never rebuilds them: the bytes
// behind the header packets would be lost.
#include "ogg/OggHeaders.h"

#include <algorithm>

#include "platform/Trace.h"

namespace zm::ogg {
namespace {

using platform::ByteView;

constexpr size_t kCapturePatternSize = sizeof kCapturePattern;
constexpr uint32_t kMaxHeaderPacketCount = 2;
// Taggers lay header packets out in pages of any size, down to a few hundred
// bytes, so the walk is held to the bytes its pages take rather than to a
// count of pages: twice what the packets may hold leaves room for the page
// headers of the smallest pages.
constexpr uint64_t kMaxHeaderPageBytes = 2 * kMaxHeaderPacketBytes;

// The bytes of the file at an offset, from its first bytes where they hold them.
class Source {
public:
    Source(platform::File& file, ByteView head, uint64_t size) : file_(file), head_(head), size_(size) {}
    uint64_t Size() const { return size_; }
    bool Failed() const { return failed_; }
    // All of out, or false; the range must lie within the file's size, so
    // a read that stops short is a failure of the file, not its end.
    bool Read(uint64_t offset, std::span<uint8_t> out) {
        if (offset > size_ || out.size() > size_ - offset) return false;
        size_t inHead = offset < head_.size() ? size_t(std::min<uint64_t>(out.size(), head_.size() - offset)) : 0;
        std::copy_n(head_.data() + offset, inHead, out.data());
        auto rest = out.subspan(inHead);
        failed_ = !rest.empty() && !file_.Seek(offset + inHead);
        while (!failed_ && !rest.empty()) {
            int64_t n = file_.Read(rest);
            failed_ = n <= 0;
            if (n > 0) rest = rest.subspan(size_t(n));
        }
        return !failed_;
    }

private:
    platform::File& file_;
    ByteView head_;
    uint64_t size_;
    bool failed_ = false;
};

struct Walked {
    uint64_t end = 0;  // of the last header page
    uint32_t pages = 0;
    uint32_t firstSequence = 0;
    uint64_t packetBytes[kMaxHeaderPacketCount] = {};
    bool endsStream = false;
    bool moreAfterPackets = false;  // the last page goes on past the header packets
};

HeadersFound Refuse(const char* why) {
    platform::TraceLine("ReadOGGFromFile %s", why);
    return HeadersFound::NotOurs;
}

// Walks the pages from start until packetCount packets have ended and calls
// visit(body offset, bytes) with the header packets' bytes on each page,
// which begin its body. visit returns false when it could not take them.
template <typename Visit>
HeadersFound WalkHeaderPages(Source& source, uint64_t start, uint32_t serial, uint32_t packetCount, Walked& walked,
                             Visit&& visit) {
    uint64_t offset = start, total = 0;
    uint32_t done = 0;
    bool inPacket = false;
    while (done < packetCount) {
        if (offset - start > kMaxHeaderPageBytes) return Refuse("header pages too long to be held");
        uint8_t raw[kSegmentTableOffset + kMaxSegments];
        size_t want = size_t(std::min<uint64_t>(sizeof raw, source.Size() - offset));
        if (!source.Read(offset, {raw, want}))
            return source.Failed() ? HeadersFound::Unreadable : Refuse("file ends in a header page");
        ByteView header(raw, want);
        auto layout = ReadPageLayout(header);
        if (!layout || !header.Equals(0, kCapturePattern, kCapturePatternSize) || raw[kVersionOffset] != 0 ||
            header.LE32(kSerialOffset) != serial)
            return Refuse("header pages are not one stream's pages");
        uint8_t flags = raw[kHeaderTypeOffset];
        if ((flags & kFirstPage) || bool(flags & kContinuedPacket) != inPacket)
            return Refuse("header pages are not one stream's pages");
        if (layout->Size() > source.Size() - offset) return Refuse("file ends in a header page");
        uint32_t bytes = 0;
        for (uint32_t i = 0; i < layout->segments; ++i) {
            if (done == packetCount) {
                walked.moreAfterPackets = true;
                break;
            }
            uint32_t lacing = raw[kSegmentTableOffset + i];
            bytes += lacing;
            walked.packetBytes[done] += lacing;
            inPacket = lacing == kFullSegment;
            if (!inPacket) ++done;
        }
        total += bytes;
        if (total > kMaxHeaderPacketBytes) return Refuse("header packets too long to be held");
        if (walked.pages++ == 0) walked.firstSequence = *header.LE32(kSequenceOffset);
        walked.endsStream = (flags & kLastPage) != 0;
        if (!visit(offset + layout->HeaderSize(), bytes)) return HeadersFound::Unreadable;
        offset += layout->Size();
    }
    walked.end = offset;
    return HeadersFound::Yes;
}

// The identification page: the file's first page, starting the stream, with
// one complete packet of a codec we tag.
const CodecLayout* ReadIdentificationPage(ByteView head, uint64_t& commentStart, uint32_t& serial) {
    auto layout = ReadPageLayout(head);
    if (!layout || !head.Equals(0, kCapturePattern, kCapturePatternSize) || *head.U8(kVersionOffset) != 0 ||
        !(*head.U8(kHeaderTypeOffset) & kFirstPage) || !layout->packetEnds || layout->packetSegments != layout->segments ||
        !head.Has(0, layout->Size()))
        return nullptr;
    commentStart = layout->Size();
    serial = *head.LE32(kSerialOffset);
    return IdentifyCodec(*head.Sub(layout->HeaderSize(), layout->packetBytes));
}

// The comment packet's start must be among the first bytes.
bool CommentPageStartsInHead(ByteView head, uint64_t commentStart, const CodecLayout& codec) {
    ByteView page = *head.Sub(commentStart, head.size() - commentStart);
    auto layout = ReadPageLayout(page);
    return layout && page.Equals(layout->HeaderSize(), codec.commentMagic, codec.magicSize);
}

bool PacketsAreWellFormed(const CodecLayout& codec, const HeaderPages& pages) {
    ByteView all(pages.packets.span());
    ByteView comment = *all.Sub(0, pages.commentSize);
    ByteView setup = *all.Sub(pages.commentSize, all.size() - pages.commentSize);
    return SplitComments(codec, comment) && (!codec.setupMagic || setup.Equals(0, codec.setupMagic, codec.magicSize));
}

}  // namespace

HeadersFound ReadHeaderPages(platform::File& file, ByteView head, HeaderPages& out) {
    uint64_t commentStart = 0;
    uint32_t serial = 0;
    const CodecLayout* codec = ReadIdentificationPage(head, commentStart, serial);
    if (!codec || !CommentPageStartsInHead(head, commentStart, *codec)) return HeadersFound::NotOurs;
    int64_t size = file.Size();
    if (size < 0) return HeadersFound::Unreadable;
    Source source(file, head, uint64_t(size));
    uint32_t packetCount = HeaderPacketCount(*codec);

    // First the page headers alone, for the packets' sizes; then their bodies
    // into a block of that size.
    Walked sized;
    HeadersFound found = WalkHeaderPages(source, commentStart, serial, packetCount, sized,
                                         [](uint64_t, uint32_t) { return true; });
    if (found != HeadersFound::Yes) return found;
    uint64_t total = sized.packetBytes[0] + sized.packetBytes[1];
    if (!out.packets.AllocateUnfilled(size_t(total))) return Refuse("no memory for the header packets");
    size_t at = 0;
    Walked filled;
    found = WalkHeaderPages(source, commentStart, serial, packetCount, filled, [&](uint64_t body, uint32_t bytes) {
        if (bytes > total - at || !source.Read(body, out.packets.span().subspan(at, bytes))) return false;
        at += bytes;
        return true;
    });
    if (found != HeadersFound::Yes || at != total || filled.end != sized.end) {
        out.packets.Reset();
        return found == HeadersFound::NotOurs ? found : HeadersFound::Unreadable;
    }

    out.codec = codec->codec;
    out.commentSize = size_t(sized.packetBytes[0]);
    out.range = {commentStart, sized.end};
    out.pageCount = sized.pages;
    out.serial = serial;
    out.firstSequence = sized.firstSequence;
    out.lastPageEndsStream = sized.endsStream;
    out.rebuildable = !sized.moreAfterPackets;
    if (sized.moreAfterPackets) platform::TraceLine("ReadOGGFromFile last header page holds more, kept as it is");
    if (!PacketsAreWellFormed(*codec, out)) {
        out.packets.Reset();
        return Refuse("header packets are not well-formed");
    }
    return HeadersFound::Yes;
}

}  // namespace zm::ogg
