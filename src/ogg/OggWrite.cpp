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
// pages after them are not part of the block. The plan walks the old list for
// the new one's size; the writing walks it again and fills the pages one at a
// time from the old packets and the staged entries, so that no more than a
// page and the cursor's buffer are held, whatever the size of the packets.
//
// The staged entries must agree with the fields: each field changed since
// reading has exactly one staged entry of its size, and no other field has
// one. Anything else means an edit was lost, so nothing is built.
#include <algorithm>

#include "ogg/OggCursor.h"
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

// Calls carry(entry) for every entry of the file's list that the new list
// keeps, the cursor standing after the entry's head, and put(whole entry) for
// every staged entry, in the new list's order.
template <typename Carry, typename Put>
bool ForEachNewEntry(PacketCursor& cursor, const HeaderPages& headers, ByteView staged, uint32_t editedRows,
                     Carry&& carry, Put&& put) {
    uint32_t placed = 0;  // edited rows the file had an entry of
    bool walked = ForEachEntry(cursor, headers.entryCount, headers.listEnd, [&](const EntryStart& entry) {
        if (entry.row < 0 || !HasBit(editedRows, entry.row)) return carry(entry);
        if (HasBit(placed, entry.row)) return true;
        placed |= 1u << entry.row;
        auto replacement = StagedEntryOf(staged, entry.row);
        return !replacement || put(*replacement);
    });
    for (size_t offset = 0; walked && offset < staged.size();) {
        ByteView entry = NextWholeEntry(staged, offset);
        if (!HasBit(placed, RowOf(entry))) walked = put(entry);
    }
    return walked;
}

bool Copy(PacketCursor& cursor, PageWriter& pages, uint64_t count) {
    while (count > 0) {
        ByteView bytes = cursor.Take(size_t(std::min<uint64_t>(count, SIZE_MAX)));
        if (bytes.size() == 0 || !pages.Put(bytes)) return false;
        count -= bytes.size();
    }
    return true;
}

bool Refuse(const char* why) {
    platform::TraceLine("WriteOGGIntoFile %s", why);
    return false;
}

}  // namespace

bool PlanOGGHeaderPages(platform::File& file, const MDRecord& record, const OggState& state,
                        std::span<const uint8_t> stagedEntries, bool keepEntries, NewHeaderPages& out) {
    platform::TraceLine("WriteOGGIntoFile Start");
    const HeaderPages& headers = state.headers;
    if (!headers.found) return Refuse("no header pages");
    if (!headers.rebuildable) return Refuse("header pages cannot be rebuilt");
    ByteView staged(stagedEntries);
    if (keepEntries && !StagedEntriesMatchFields(record, state.editedRows, staged))
        return Refuse("staged comments do not match the fields");

    NewHeaderPages plan;
    plan.keepEntries = keepEntries;
    uint64_t entryBytes = 0;
    if (keepEntries) {
        PacketCursor cursor(file, headers);
        auto count = [&](uint64_t bytes) {
            ++plan.entryCount;
            entryBytes += bytes;
            return true;
        };
        if (!StandAtList(cursor, headers) ||
            !ForEachNewEntry(
                cursor, headers, staged, state.editedRows,
                [&](const EntryStart& entry) { return count(kLengthSize + uint64_t(entry.length)); },
                [&](ByteView entry) { return count(entry.size()); }))
            return Refuse("the file's comments could not be read");
    }
    plan.commentSize = headers.listStart + entryBytes + (headers.commentSize - headers.listEnd);
    const uint64_t sizes[] = {plan.commentSize, headers.setupSize};
    uint32_t pages = 0;
    plan.size = PagedSize({sizes, headers.setupSize ? 2u : 1u}, pages);
    plan.replaced = headers.range;
    plan.pageShift = int64_t(pages) - int64_t(headers.pageCount);
    out = plan;
    return true;
}

bool WriteOGGHeaderPages(platform::File& file, const OggState& state, std::span<const uint8_t> stagedEntries,
                         const NewHeaderPages& plan, const PageOut& out) {
    const HeaderPages& headers = state.headers;
    const uint64_t sizes[] = {plan.commentSize, headers.setupSize};
    PageWriter pages({sizes, headers.setupSize ? 2u : 1u},
                     {headers.serial, headers.firstSequence, headers.lastPageEndsStream}, out);
    PacketCursor cursor(file, headers);
    // The magic and vendor string, the new count, the entries, then the
    // packet's tail and the setup packet as they are.
    bool written = Copy(cursor, pages, headers.listStart - kLengthSize) && cursor.Skip(kLengthSize) &&
                   pages.PutLE32(plan.entryCount);
    uint32_t count = 0;
    if (written && plan.keepEntries)
        written = ForEachNewEntry(
            cursor, headers, ByteView(stagedEntries), state.editedRows,
            [&](const EntryStart& entry) {
                ++count;
                return pages.PutLE32(entry.length) && pages.Put(entry.Head()) &&
                       Copy(cursor, pages, entry.length - entry.headSize);
            },
            [&](ByteView entry) {
                ++count;
                return pages.Put(entry);
            });
    written = written && count == plan.entryCount && cursor.Position() <= headers.listEnd &&
              cursor.Skip(headers.listEnd - cursor.Position()) &&
              Copy(cursor, pages, headers.commentSize - headers.listEnd + headers.setupSize) && pages.Finished();
    if (!written) return Refuse("the header pages could not be written");
    platform::TraceLine("WriteOGGIntoFile End");
    return true;
}

}  // namespace zm::ogg
