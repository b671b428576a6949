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

}  // namespace zm::ogg
