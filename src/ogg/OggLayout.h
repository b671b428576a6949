// The byte layout of Ogg pages and of the header packets of the two codecs we
// tag. The header packets themselves are walked where they lie in the file
// (OggCursor.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "ogg/Ogg.h"
#include "platform/Bytes.h"

namespace zm::ogg {

// Page header, offsets from the capture pattern.
inline constexpr uint8_t kCapturePattern[4] = {'O', 'g', 'g', 'S'};
inline constexpr size_t kVersionOffset = 4;
inline constexpr size_t kHeaderTypeOffset = 5;
inline constexpr size_t kGranuleOffset = 6;
inline constexpr size_t kSerialOffset = 14;
inline constexpr size_t kSequenceOffset = 18;
inline constexpr size_t kChecksumOffset = 22;
inline constexpr size_t kSegmentCountOffset = 26;
inline constexpr size_t kSegmentTableOffset = 27;
inline constexpr uint8_t kContinuedPacket = 0x01;  // header type flags
inline constexpr uint8_t kFirstPage = 0x02;
inline constexpr uint8_t kLastPage = 0x04;
inline constexpr uint32_t kFullSegment = 255;  // a lacing value that does not end a packet
inline constexpr uint32_t kMaxSegments = 255;
inline constexpr size_t kMaxPageSize = kSegmentTableOffset + kMaxSegments * (1 + kFullSegment);
// A page on which no packet ends has no granule position.
inline constexpr uint64_t kNoGranule = ~uint64_t(0);

// Comment packet: a codec's magic, the vendor string with its 32-bit length,
// the 32-bit entry count, then each entry as a 32-bit length and its text.
inline constexpr size_t kLengthSize = 4;
inline constexpr uint8_t kFramingBit = 0x01;

// The comment and setup packets together are held to this many bytes (room
// for a cover picture of about 24 MB). They stay in the file, read through a
// small buffer, so the bound is not one of memory: it keeps the walk over
// hostile pages short. A file whose header packets are longer is not one we
// edit.
inline constexpr uint64_t kMaxHeaderPacketBytes = 32u << 20;
// The comment packet, then the setup packet (Vorbis).
inline constexpr uint32_t kMaxHeaderPacketCount = 2;

// Only this much of the start of a file decides whether it is an Ogg file we
// tag: its identification page and the start of its comment page.
inline constexpr size_t kHeadBytes = 10240;

inline constexpr size_t kLongestMagic = 8;  // "OpusHead"

// What tells the codecs apart, and how their header packets differ.
struct CodecLayout {
    Codec codec;
    const char* identificationMagic;
    size_t magicSize;  // of every magic below
    size_t identificationMinSize;
    const char* commentMagic;
    const char* setupMagic;  // null: no setup packet follows the comments
    bool framingBit;         // the comment list is followed by a byte with bit 0 set
};

// The codec whose identification packet this is, when it is one we tag.
const CodecLayout* IdentifyCodec(platform::ByteView packet);
const CodecLayout& LayoutOf(Codec codec);
// Header packets after the identification packet: the comments, the setup.
inline uint32_t HeaderPacketCount(const CodecLayout& layout) { return layout.setupMagic ? 2 : 1; }

// How a page's segment table divides its body: the first packet, then the
// bytes of whatever packets follow it on the page.
struct PageLayout {
    uint32_t segments = 0;        // lacing values on the page
    uint32_t packetSegments = 0;  // of them, the first packet's
    uint32_t packetBytes = 0;
    uint32_t restBytes = 0;
    bool packetEnds = false;  // a lacing value below 255 closes the first packet here

    size_t HeaderSize() const { return kSegmentTableOffset + segments; }
    size_t Size() const { return HeaderSize() + packetBytes + restBytes; }
};

// The layout of the page that starts page; nothing when its header and
// segment table do not lie within page (its body may run past it).
std::optional<PageLayout> ReadPageLayout(platform::ByteView page);

// Steps over one length-prefixed entry of a list in memory (the staged
// entries) at offset: the text, with offset moved past it, or nothing when it
// does not fit in list.
std::optional<platform::ByteView> NextEntry(platform::ByteView list, size_t& offset);

}  // namespace zm::ogg
