// Field editing: each kind's value is checked against the record it would
// change, then staged by its format (Windows Media: written at once).
//
// An edit of a kind that does not belong to the record would make MDUpdate
// rebuild the file by the wrong recipe and destroy it, so such edits are
// refused with E_INVALIDARG and change nothing: kinds 1 and 2 on an Ogg or
// Windows Media record, kind 3 on a record that is not Ogg, kind 4 on a record
// without Windows Media value buffers. Kinds 1 and 2 on an untagged record are
// how tags are added. Ids outside each kind's range are refused the same way.
#include <cstring>

#include "platform/Trace.h"
#include "session/CzmTagIO.h"

namespace zm {
namespace {

constexpr char kNoLanguage[4] = {};
constexpr LONG kLastID3V2Field = 84;
constexpr LONG kLastOGGField = 16;

bool InRange(LONG id, LONG first, LONG last) { return id >= first && id <= last; }

}  // namespace

HRESULT STDMETHODCALLTYPE CzmTagIO::MDEditField(LONG id, MDField* value, LONG kind,
                                                const char* commentLanguage, LONG, LONG) {
    platform::TraceLine("MDEditField %d %d", int(kind), int(id));
    if (!record_) return ZMTAGIO_E_FAIL;
    MDRecord& record = *record_;
    if (commentLanguage == nullptr) commentLanguage = kNoLanguage;
    bool foreign = record.isOgg || record.isASF;
    switch (kind) {
        case MD_KIND_ID3V1:
            if (!value || foreign || !InRange(id, MD_ID3V1_TITLE, MD_ID3V1_GENRE)) return ZMTAGIO_E_INVALIDARG;
            return id3::EditID3V1Field(record, id3v1EditBlock_, int(id), *value);
        case MD_KIND_ID3V2:
            if (!value || foreign || !InRange(id, 1, kLastID3V2Field)) return ZMTAGIO_E_INVALIDARG;
            return id3::EditID3V2Field(record, id3_, editedFrames_, int(id), *value, commentLanguage);
        case MD_KIND_OGG:
            if (!value || !record.isOgg || !InRange(id, 1, kLastOGGField)) return ZMTAGIO_E_INVALIDARG;
            return ogg::EditOGGField(record, ogg_, editedFrames_, int(id), *value);
        case MD_KIND_WM:
            if (!value) return ZMTAGIO_E_INVALIDARG;
            return EditWMField(int(id), *value);
        default:
            platform::TraceLine("MDEditField OK");
            return ZMTAGIO_S_OK;
    }
}

// The value is text with its terminating zero, at most the value buffer's
// 300 bytes; it is copied into the field's buffer and written into the file.
HRESULT CzmTagIO::EditWMField(int id, const MDField& value) {
    MDRecord& record = *record_;
    if (!record.isASF || !InRange(id, 1, wm::kFieldCount) || wm_.values.empty())
        return ZMTAGIO_E_INVALIDARG;
    if (value.size < 0 || value.size > wm::kValueSize) return ZMTAGIO_E_INVALIDARG;
    if (value.size > 0 && (!value.data || !std::memchr(value.data, 0, size_t(value.size))))
        return ZMTAGIO_E_INVALIDARG;
    MDField& field = record.fields[id];
    if (value.size > 0) std::memcpy(field.data, value.data, size_t(value.size));
    field.size = value.size;
    return wm::WriteWMIntoFile(record, wm_, SourcePath(), id);
}

}  // namespace zm
