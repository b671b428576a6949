#include "ogg/OggLayout.h"

namespace zm::ogg {

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
    auto text = list.Sub(offset + kEntryLengthSize, *length);
    if (text) offset += kEntryLengthSize + *length;
    return text;
}

}  // namespace zm::ogg
