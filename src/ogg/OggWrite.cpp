// Rebuilding the header pages. The new comment packet is the file's own: its
// magic and vendor string, then its entries in their order, each byte for
// byte, then whatever followed the list (the framing bit, or data a codec
// keeps there). An edited name's staged entry takes the place of the name's
// first entry and its other entries go; a staged name the file lacks goes at
// the end; a name cleared by an edit loses every entry. Removing the comments
// leaves the vendor string and no entry.
//
// The comment packet and the setup packet behind it are then laid out into as
// many pages as they need; the identification page before them and the audio
// pages after them are not part of the block.
//
// The staged entries must agree with the fields: each field changed since
// reading has exactly one staged entry of its size, and no other field has
// one. Anything else means an edit was lost, so nothing is built.
#include <algorithm>

#include "ogg/OggPaging.h"
#include "platform/Trace.h"

namespace zm::ogg {
namespace {

using platform::ByteView;

bool IsStaged(const MDField& field) { return field.size > 0 && field.data == nullptr; }
bool HasBit(uint32_t bits, int row) { return row >= 0 && ((bits >> row) & 1u); }

bool StagedEntriesMatchFields(const MDRecord& record, uint32_t editedRows, ByteView staged) {
    uint32_t seen = 0;
    for (size_t offset = 0; offset < staged.size();) {
        auto entry = NextEntry(staged, offset);
        if (!entry) return false;
        int row = FindOGGFieldName({entry->data(), entry->size()});
        if (row < 0) return false;
        const MDField& field = record.fields[row + 1];
        if (!IsStaged(field) || HasBit(seen, row) || !HasBit(editedRows, row) ||
            entry->size() != OGGFieldNames[row].length + 1 + uint64_t(field.size))
            return false;
        seen |= 1u << row;
    }
    for (int row = 0; row < kOGGFieldCount; ++row)
        if (IsStaged(record.fields[row + 1]) && !HasBit(seen, row)) return false;
    return true;
}

// The whole entry (length and text) at offset of a list, offset moved past it.
ByteView NextWholeEntry(ByteView list, size_t& offset) {
    size_t start = offset;
    NextEntry(list, offset);
    return *list.Sub(start, offset - start);
}

int RowOf(ByteView wholeEntry) {
    ByteView text = *wholeEntry.Sub(kLengthSize, wholeEntry.size() - kLengthSize);
    return FindOGGFieldName({text.data(), text.size()});
}

std::optional<ByteView> StagedEntryOf(ByteView staged, int row) {
    for (size_t offset = 0; offset < staged.size();) {
        ByteView entry = NextWholeEntry(staged, offset);
        if (RowOf(entry) == row) return entry;
    }
    return std::nullopt;
}

// Calls emit(whole entry) for every entry of the new list, in order.
template <typename Emit>
void ForEachNewEntry(const CommentParts& parts, ByteView staged, uint32_t editedRows, Emit&& emit) {
    uint32_t placed = 0;  // edited rows the file had an entry of
    for (size_t offset = 0; offset < parts.entries.size();) {
        ByteView entry = NextWholeEntry(parts.entries, offset);
        int row = RowOf(entry);
        if (row < 0 || !HasBit(editedRows, row)) {
            emit(entry);
        } else if (!HasBit(placed, row)) {
            placed |= 1u << row;
            if (auto replacement = StagedEntryOf(staged, row)) emit(*replacement);
        }
    }
    for (size_t offset = 0; offset < staged.size();) {
        ByteView entry = NextWholeEntry(staged, offset);
        if (!HasBit(placed, RowOf(entry))) emit(entry);
    }
}

bool Refuse(const char* why) {
    platform::TraceLine("WriteOGGIntoFile %s", why);
    return false;
}

}  // namespace

bool BuildOGGHeaderPages(const MDRecord& record, const OggState& state, std::span<const uint8_t> stagedEntries,
                         bool keepEntries, NewHeaderPages& out) {
    platform::TraceLine("WriteOGGIntoFile Start");
    const HeaderPages& headers = state.headers;
    if (headers.packets.empty()) return Refuse("no header pages");
    if (!headers.rebuildable) return Refuse("header pages cannot be rebuilt");
    ByteView packets(headers.packets.span());
    auto parts = SplitComments(LayoutOf(headers.codec), *packets.Sub(0, headers.commentSize));
    if (!parts) return Refuse("header pages cannot be rebuilt");
    ByteView staged(stagedEntries);
    if (keepEntries && !StagedEntriesMatchFields(record, state.editedRows, staged))
        return Refuse("staged comments do not match the fields");

    uint32_t count = 0;
    uint64_t entryBytes = 0;
    if (keepEntries) ForEachNewEntry(*parts, staged, state.editedRows, [&](ByteView entry) {
        ++count;
        entryBytes += entry.size();
    });
    ByteView setup = *packets.Sub(headers.commentSize, packets.size() - headers.commentSize);
    const uint64_t sizes[] = {parts->prefix.size() + kLengthSize + entryBytes + parts->tail.size(), setup.size()};
    std::span<const uint64_t> packetSizes(sizes, setup.size() ? 2 : 1);
    uint32_t pages = 0;
    uint64_t blockSize = PagedSize(packetSizes, pages);
    if (blockSize > SIZE_MAX || !out.pages.Allocate(size_t(blockSize))) return Refuse("out of memory");

    LayOutPages(packetSizes, {headers.serial, headers.firstSequence, headers.lastPageEndsStream}, out.pages.span());
    PageBodies bodies(out.pages.span());
    bodies.Put(parts->prefix);
    bodies.PutLE32(count);
    if (keepEntries) ForEachNewEntry(*parts, staged, state.editedRows, [&](ByteView entry) { bodies.Put(entry); });
    bodies.Put(parts->tail);
    bodies.Put(setup);
    StampChecksums(out.pages.span());

    out.replaced = headers.range;
    out.pageShift = int64_t(pages) - int64_t(headers.pageCount);
    platform::TraceLine("WriteOGGIntoFile End");
    return true;
}

}  // namespace zm::ogg
