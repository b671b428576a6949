// Rebuilding the comment page. The new page takes exactly the place of the
// old one: its header (serial number, sequence number, granule position,
// flags) and whatever follows the comment packet on it stay as they were, so
// no other page of the file changes.
//
// The packet is rebuilt only when the fields and the staged entries agree:
// each field changed since reading has exactly one staged entry of its size,
// and no other field has one. Anything else would write a comment count that
// does not match the entries, so the page is refused instead.
#include <algorithm>

#include "ogg/OggLayout.h"
#include "platform/Trace.h"

namespace zm::ogg {
namespace {

using platform::ByteView;

// Packet bytes besides the vendor string and the entries: type and magic,
// vendor length, comment count, framing byte.
constexpr uint64_t kPacketOverhead = kVendorOffset + kCommentCountSize + 1;

bool TakesPart(const MDField& field) { return field.size > 0; }
bool IsStaged(const MDField& field) { return field.size > 0 && field.data == nullptr; }

bool StagedEntriesMatchFields(const MDRecord& record, ByteView staged) {
    uint32_t seen = 0;
    for (size_t offset = 0; offset < staged.size();) {
        auto entry = NextEntry(staged, offset);
        if (!entry) return false;
        int row = FindOGGFieldName({entry->data(), entry->size()});
        if (row < 0) return false;
        const MDField& field = record.fields[row + 1];
        uint32_t bit = 1u << row;
        if (!IsStaged(field) || (seen & bit) ||
            entry->size() != OGGFieldNames[row].length + 1 + uint64_t(field.size))
            return false;
        seen |= bit;
    }
    for (int row = 0; row < kOGGFieldCount; ++row)
        if (IsStaged(record.fields[row + 1]) && !(seen & (1u << row))) return false;
    return true;
}

uint64_t PacketSize(const MDRecord& record, uint32_t vendorLength) {
    uint64_t size = kPacketOverhead + vendorLength;
    for (int row = 0; row < kOGGFieldCount; ++row) {
        const MDField& field = record.fields[row + 1];
        if (TakesPart(field)) size += kEntryLengthSize + OGGFieldNames[row].length + 1 + uint64_t(field.size);
    }
    return size;
}

// Appends bytes at a moving position of a buffer sized in advance.
class Filler {
public:
    explicit Filler(std::span<uint8_t> target) : target_(target) {}
    void Put(const void* bytes, size_t count) {
        std::copy_n(static_cast<const uint8_t*>(bytes), count, target_.data() + at_);
        at_ += count;
    }
    void PutByte(uint8_t b) { Put(&b, 1); }
    void PutLE32(uint32_t value) {
        uint8_t bytes[4];
        platform::StoreLE32(bytes, value);
        Put(bytes, sizeof bytes);
    }

private:
    std::span<uint8_t> target_;
    size_t at_ = 0;
};

void PutUnchangedEntries(const MDRecord& record, Filler& body) {
    for (int row = 0; row < kOGGFieldCount; ++row) {
        const MDField& field = record.fields[row + 1];
        if (!TakesPart(field) || IsStaged(field)) continue;
        const OGGFieldName& name = OGGFieldNames[row];
        body.PutLE32(name.length + 1 + uint32_t(field.size));
        body.Put(name.name, name.length);
        body.PutByte('=');
        body.Put(field.data, size_t(field.size));
    }
}

uint32_t CountEntries(const MDRecord& record) {
    uint32_t count = 0;
    for (int id = 1; id <= kOGGFieldCount; ++id) count += TakesPart(record.fields[id]) ? 1 : 0;
    return count;
}

bool Refuse(const char* why) {
    platform::TraceLine("WriteOGGIntoFile %s", why);
    return false;
}

}  // namespace

bool WriteOGGIntoFile(const MDRecord& record, const OggState& state,
                      std::span<const uint8_t> stagedEntries, platform::File& out) {
    platform::TraceLine("WriteOGGIntoFile Start");
    if (state.savedPage.empty()) return Refuse("no comment page");
    if (!state.rebuildable) return Refuse("comment page cannot be rebuilt");
    ByteView page(state.savedPage.span());
    auto layout = ReadPageLayout(page);
    if (!layout || !layout->packetEnds || layout->Size() != page.size())
        return Refuse("comment page cannot be rebuilt");
    size_t bodyStart = layout->HeaderSize();
    ByteView oldPacket = *page.Sub(bodyStart, layout->packetBytes);
    auto vendorLength = oldPacket.LE32(kVendorLengthOffset);
    if (!vendorLength || int32_t(*vendorLength) < 1 || !oldPacket.Has(kVendorOffset, *vendorLength))
        return Refuse("comment page cannot be rebuilt");
    ByteView staged(stagedEntries);
    if (!StagedEntriesMatchFields(record, staged)) return Refuse("staged comments do not match the fields");

    uint64_t packetSize = PacketSize(record, *vendorLength);
    uint64_t packetSegments = packetSize / kFullSegment + 1;
    uint32_t keptSegments = layout->segments - layout->packetSegments;
    if (packetSegments + keptSegments > kMaxSegments) return Refuse("comments do not fit one page");
    uint32_t segments = uint32_t(packetSegments) + keptSegments;

    platform::Buffer header, body;
    if (!header.Allocate(kSegmentTableOffset + segments) ||
        !body.Allocate(size_t(packetSize) + layout->restBytes))
        return Refuse("out of memory");
    Filler head(header.span());
    head.Put(page.data(), kSegmentCountOffset);
    head.PutByte(uint8_t(segments));
    for (uint64_t i = 1; i < packetSegments; ++i) head.PutByte(uint8_t(kFullSegment));
    head.PutByte(uint8_t(packetSize % kFullSegment));
    head.Put(page.data() + kSegmentTableOffset + layout->packetSegments, keptSegments);

    Filler fill(body.span());
    fill.Put(oldPacket.data(), kVendorOffset + *vendorLength);
    fill.PutLE32(CountEntries(record));
    PutUnchangedEntries(record, fill);
    fill.Put(staged.data(), staged.size());
    fill.PutByte(kFramingByte);
    fill.Put(page.data() + bodyStart + layout->packetBytes, layout->restBytes);

    OGGPageChecksum(header.span(), body.span());
    if (!out.WriteAll(header.span()) || !out.WriteAll(body.span())) return Refuse("write failed");
    platform::TraceLine("WriteOGGIntoFile End");
    return true;
}

}  // namespace zm::ogg
