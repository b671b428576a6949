// Staging an edit of a comment: the complete entry (32-bit length, NAME=value)
// goes into the staged-entries buffer and the field is marked as changed
// (size set, data null), which is how the writer knows to take it from there.
// The field's row is marked as edited, so the writer drops the name's entries
// from the file's list: a new value takes the place of the first of them, an
// empty one removes them all.
//
// A field has at most one staged entry: a later edit of the same field before
// the update replaces it, and clearing the field drops it, so the comment
// count the writer puts in the packet always matches the entries.
#include <algorithm>

#include "ogg/OggLayout.h"
#include "platform/Trace.h"

namespace zm::ogg {
namespace {

void DropStagedEntry(platform::GrowBuffer& staged, int row) {
    platform::ByteView entries(staged.bytes());
    for (size_t offset = 0; offset < entries.size();) {
        size_t start = offset;
        auto entry = NextEntry(entries, offset);
        if (!entry) return;
        if (FindOGGFieldName({entry->data(), entry->size()}) == row) {
            platform::EraseFromBuffer(staged, uint32_t(start), uint32_t(offset - start));
            return;
        }
    }
}

HRESULT Done() {
    platform::TraceLine("MDEditField OK");
    return ZMTAGIO_S_OK;
}

}  // namespace

HRESULT EditOGGField(MDRecord& record, OggState& state, platform::GrowBuffer& stagedEntries, int id,
                     const MDField& value) {
    if (OGGFieldNameOf(id) == nullptr || (value.size > 0 && value.data == nullptr))
        return ZMTAGIO_E_INVALIDARG;
    int row = id - 1;
    MDField& field = record.fields[id];
    if (value.size < 0) return Done();
    if (value.size == 0) {
        DropStagedEntry(stagedEntries, row);
        state.editedRows |= 1u << row;
        field.size = 0;
        return Done();
    }

    const OGGFieldName& name = OGGFieldNames[row];
    uint32_t textLength = name.length + 1 + uint32_t(value.size);
    platform::Buffer entry;
    if (!entry.Allocate(kLengthSize + textLength)) return ZMTAGIO_E_OUTOFMEMORY;
    uint8_t* at = entry.data();
    platform::StoreLE32(at, textLength);
    at = std::copy_n(name.name, name.length, at + kLengthSize);
    *at++ = '=';
    std::copy_n(value.data, size_t(value.size), at);

    DropStagedEntry(stagedEntries, row);
    state.editedRows |= 1u << row;
    record.isOgg = 1;
    field.size = value.size;
    field.data = nullptr;
    // Out of memory here loses every staged entry; the writer then finds the
    // changed fields without theirs and refuses to rebuild the page.
    platform::AppendToBuffer(entry.data(), uint32_t(entry.size()), stagedEntries);
    return Done();
}

}  // namespace zm::ogg
