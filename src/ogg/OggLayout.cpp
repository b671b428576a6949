#include "ogg/OggLayout.h"

namespace zm::ogg {
namespace {

constexpr size_t kVorbisMagicSize = 7;  // packet type and "vorbis"
constexpr size_t kOpusMagicSize = 8;
constexpr size_t kVorbisIdentificationSize = 30;
constexpr size_t kOpusIdentificationMinSize = 19;

constexpr CodecLayout kCodecs[] = {
    {Codec::Vorbis, "\x01vorbis", kVorbisMagicSize, kVorbisIdentificationSize, "\x03vorbis", "\x05vorbis", true},
    {Codec::Opus, "OpusHead", kOpusMagicSize, kOpusIdentificationMinSize, "OpusTags", nullptr, false},
};

// Opus versions whose upper four bits are not zero are not laid out as we know.
constexpr size_t kOpusVersionOffset = 8;
constexpr uint8_t kOpusMajorVersion = 0xF0;

}  // namespace

const CodecLayout* IdentifyCodec(platform::ByteView packet) {
    for (const CodecLayout& layout : kCodecs) {
        if (!packet.Equals(0, layout.identificationMagic, layout.magicSize) ||
            packet.size() < layout.identificationMinSize)
            continue;
        if (layout.codec == Codec::Opus && (*packet.U8(kOpusVersionOffset) & kOpusMajorVersion) != 0) return nullptr;
        return &layout;
    }
    return nullptr;
}

const CodecLayout& LayoutOf(Codec codec) {
    for (const CodecLayout& layout : kCodecs)
        if (layout.codec == codec) return layout;
    return kCodecs[0];
}

std::optional<PageLayout> ReadPageLayout(platform::ByteView page) {
    auto segments = page.U8(kSegmentCountOffset);
    if (!segments) return std::nullopt;
    auto table = page.Sub(kSegmentTableOffset, *segments);
    if (!table) return std::nullopt;
    PageLayout layout;
    layout.segments = *segments;
    for (uint32_t i = 0; i < layout.segments; ++i) {
        uint32_t lacing = *table->U8(i);
        if (layout.packetEnds) {
            layout.restBytes += lacing;
            continue;
        }
        layout.packetBytes += lacing;
        ++layout.packetSegments;
        layout.packetEnds = lacing < kFullSegment;
    }
    return layout;
}

std::optional<platform::ByteView> NextEntry(platform::ByteView list, size_t& offset) {
    auto length = list.LE32(offset);
    if (!length) return std::nullopt;
    auto text = list.Sub(offset + kLengthSize, *length);
    if (text) offset += kLengthSize + *length;
    return text;
}

// A negative count (as a signed number) is not a list we edit, nor is one
// that claims entries the packet does not hold, nor a Vorbis list without
// its framing bit.
std::optional<CommentParts> SplitComments(const CodecLayout& layout, platform::ByteView packet) {
    if (!packet.Equals(0, layout.commentMagic, layout.magicSize)) return std::nullopt;
    size_t offset = layout.magicSize;
    if (!NextEntry(packet, offset)) return std::nullopt;
    CommentParts parts;
    parts.prefix = *packet.Sub(0, offset);
    auto count = packet.LE32(offset);
    if (!count || int32_t(*count) < 0) return std::nullopt;
    parts.count = *count;
    offset += kLengthSize;
    size_t listStart = offset;
    for (uint32_t i = 0; i < parts.count; ++i)
        if (!NextEntry(packet, offset)) return std::nullopt;
    parts.entries = *packet.Sub(listStart, offset - listStart);
    parts.tail = *packet.Sub(offset, packet.size() - offset);
    if (layout.framingBit && !(parts.tail.U8(0).value_or(0) & kFramingBit)) return std::nullopt;
    return parts;
}

}  // namespace zm::ogg
