// The byte layout of an Ogg page and of the Vorbis comment packet, and the
// walks over them that the reader, the writer and the editor share.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "ogg/Ogg.h"
#include "platform/Bytes.h"

namespace zm::ogg {

// Page header, offsets from the capture pattern.
inline constexpr uint8_t kCapturePattern[4] = {'O', 'g', 'g', 'S'};
inline constexpr size_t kHeaderTypeOffset = 5;
inline constexpr size_t kChecksumOffset = 22;
inline constexpr size_t kSegmentCountOffset = 26;
inline constexpr size_t kSegmentTableOffset = 27;
inline constexpr uint8_t kContinuedPacket = 0x01;  // header type flag
inline constexpr uint32_t kFullSegment = 255;       // a lacing value that does not end a packet
inline constexpr uint32_t kMaxSegments = 255;

// Comment packet, offsets from its first byte.
inline constexpr size_t kVendorLengthOffset = 7;
inline constexpr size_t kVendorOffset = 11;
inline constexpr char kVendorPrefix[] = "Xiph.Org libVorbis";
inline constexpr size_t kVendorPrefixLength = sizeof kVendorPrefix - 1;
inline constexpr size_t kCommentCountSize = 4;
inline constexpr size_t kEntryLengthSize = 4;
inline constexpr uint8_t kFramingByte = 0x01;

// Only this much of the start of a file is searched for the comment page,
// and the comments read must lie within it.
inline constexpr size_t kHeadBytes = 10240;

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

// Steps over one entry of a comment list (32-bit length, then the text) at
// offset: the text, with offset moved past it, or nothing when the entry
// does not fit in list.
std::optional<platform::ByteView> NextEntry(platform::ByteView list, size_t& offset);

enum class Walk {
    Complete,  // every counted entry was visited
    Cut,       // the packet continues past the bytes given; entries up to there were visited
    Invalid    // not a comment packet we can edit
};

// Walks the comment packet in packet (possibly only its first bytes, when
// mayBeCut), checking the vendor and every length against the bytes given,
// and calls visit(row, value) for every entry whose name OGGFieldNames knows.
template <typename Visit>
Walk WalkComments(platform::ByteView packet, bool mayBeCut, Visit&& visit) {
    auto vendorLength = packet.LE32(kVendorLengthOffset);
    if (!vendorLength || int32_t(*vendorLength) < 1 || !packet.Has(kVendorOffset, *vendorLength) ||
        !packet.Equals(kVendorOffset, kVendorPrefix, kVendorPrefixLength))
        return Walk::Invalid;
    size_t offset = kVendorOffset + *vendorLength;
    auto count = packet.LE32(offset);
    if (!count || int32_t(*count) < 0) return Walk::Invalid;
    offset += kCommentCountSize;
    for (uint32_t i = 0; i < *count; ++i) {
        auto entry = NextEntry(packet, offset);
        if (!entry) return mayBeCut ? Walk::Cut : Walk::Invalid;
        int row = FindOGGFieldName({entry->data(), entry->size()});
        if (row < 0) continue;
        size_t nameLength = OGGFieldNames[row].length + 1;
        visit(row, *entry->Sub(nameLength, entry->size() - nameLength));
    }
    return Walk::Complete;
}

}  // namespace zm::ogg
