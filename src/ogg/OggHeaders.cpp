// The identification page must be the file's first page, alone on it, and
// the comment page must follow it directly; the header packets after it are
// walked from as many pages of the same stream as they span (PacketCursor):
// first the pages alone, for the packets' sizes, then the comment list, every
// length and count checked against the comment packet.
//
// Header pages that go on with other packets after the last header packet
// are read but marked, so that the writer never rebuilds them: the bytes
// behind the header packets would be lost.
#include "ogg/OggHeaders.h"

#include <cstring>

#include "platform/Trace.h"

namespace zm::ogg {
namespace {

using platform::ByteView;

constexpr size_t kCapturePatternSize = sizeof kCapturePattern;

HeadersFound Refuse(const char* why) {
    platform::TraceLine("ReadOGGFromFile %s", why);
    return HeadersFound::NotOurs;
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

// Notes the room a recognised entry's value takes and, when its field takes
// it, where it lies; the cursor stands after the entry's head.
void NoteValue(const PacketCursor& cursor, const EntryStart& entry, HeaderPages& pages) {
    FieldValue& value = pages.values[entry.row];
    uint64_t size = entry.ValueSize();
    if (!value.found || value.size == 0) {
        uint64_t entryStart = cursor.Position() - entry.headSize;
        value = {true, entryStart + OGGFieldNames[entry.row].length + 1, size, pages.fieldBytes};
    }
    pages.fieldBytes += size;
}

// Checks the comment packet and the start of the setup packet behind it,
// the cursor at the comment packet's start, and notes where the list and the
// fields' values lie and the room the recognised values take: the reader
// then reads the values without walking the list again.
HeadersFound CheckPackets(PacketCursor& cursor, const CodecLayout& codec, HeaderPages& pages) {
    bool good = ReadCommentStart(cursor, codec, pages.commentSize, pages.entryCount);
    pages.listStart = cursor.Position();
    good = good && ForEachEntry(cursor, pages.entryCount, pages.commentSize, [&](const EntryStart& entry) {
               if (entry.row >= 0) NoteValue(cursor, entry, pages);
               return true;
           });
    pages.listEnd = cursor.Position();
    if (good && codec.framingBit) {
        uint8_t framing = 0;
        good = pages.listEnd < pages.commentSize && cursor.Read({&framing, 1}) && (framing & kFramingBit);
    }
    if (good && codec.setupMagic) {
        uint8_t magic[kLongestMagic];
        good = codec.magicSize <= sizeof magic && pages.setupSize >= codec.magicSize &&
               cursor.Skip(pages.commentSize - cursor.Position()) && cursor.Read({magic, codec.magicSize}) &&
               std::memcmp(magic, codec.setupMagic, codec.magicSize) == 0;
    }
    if (cursor.Status() != HeadersFound::Yes) return cursor.Status();
    return good ? HeadersFound::Yes : Refuse("header packets are not well-formed");
}

}  // namespace

HeadersFound ReadHeaderPages(platform::File& file, ByteView head, HeaderPages& out) {
    uint64_t commentStart = 0;
    uint32_t serial = 0;
    const CodecLayout* codec = ReadIdentificationPage(head, commentStart, serial);
    if (!codec || !CommentPageStartsInHead(head, commentStart, *codec)) return HeadersFound::NotOurs;
    uint32_t packetCount = HeaderPacketCount(*codec);

    PacketCursor walk(file, commentStart, serial, packetCount, head);
    walk.SkipToEnd();
    if (walk.Status() != HeadersFound::Yes) return walk.Status();
    const WalkedPages& walked = walk.Walked();
    HeaderPages pages;
    pages.codec = codec->codec;
    pages.commentSize = walked.packetBytes[0];
    pages.setupSize = walked.packetBytes[1];
    pages.range = {commentStart, walked.end};
    pages.pageCount = walked.count;
    pages.serial = serial;
    pages.firstSequence = walked.firstSequence;
    pages.lastPageEndsStream = walked.endsStream;
    pages.rebuildable = !walked.moreAfterPackets;

    PacketCursor cursor(file, commentStart, serial, packetCount, head);
    HeadersFound checked = CheckPackets(cursor, *codec, pages);
    if (checked != HeadersFound::Yes) return checked;
    if (walked.moreAfterPackets) platform::TraceLine("ReadOGGFromFile last header page holds more, kept as it is");
    pages.found = true;
    out = pages;
    return HeadersFound::Yes;
}

}  // namespace zm::ogg
