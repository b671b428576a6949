#include "Fields.h"

#include <array>
#include <cstring>
#include <span>

#include "ID3Text.h"
#include "OggComments.h"

namespace zmtagio {
namespace {

constexpr int kFirstField = 1;
constexpr int kFirstID3V1Field = MD_ID3V1_TITLE;
constexpr int kLastID3V1Field = MD_ID3V1_GENRE;
constexpr size_t kWMValueBuffer = 300;

// The slots each kind of tag uses, and its name in the output.
struct KindRange {
    LONG kind;
    std::string_view name;
    int first;
    int last;
};

constexpr KindRange kWMRange = {MD_KIND_WM, "wm", kFirstField, kLastWMField};
constexpr KindRange kOggRange = {MD_KIND_OGG, "ogg", kFirstField, kLastOggField};
constexpr KindRange kMP3Ranges[] = {{MD_KIND_ID3V2, "id3v2", kFirstField, kLastID3V2Field},
                                    {MD_KIND_ID3V1, "id3v1", kFirstID3V1Field, kLastID3V1Field}};

std::span<const KindRange> RangesOf(const MDRecord& record) {
    if (record.isASF) return {&kWMRange, 1};
    if (record.isOgg) return {&kOggRange, 1};
    std::span<const KindRange> mp3 = kMP3Ranges;
    if (!record.hasID3v2) mp3 = mp3.subspan(1);
    if (!record.hasID3v1) mp3 = mp3.first(mp3.size() - 1);
    return mp3;
}

// The component's names of each kind's ids, asked once: a call into the
// component and the length of its answer for every field of every file cost
// more than the rest of the field's view.
constexpr int kKinds = MD_KIND_WM + 1;
constexpr int kIds = kLastID3V1Field + 1;
using NameTable = std::array<std::array<std::string_view, kIds>, kKinds>;

const NameTable& ComponentNames() {
    static const NameTable names = [] {
        NameTable table;
        for (int kind = 0; kind < kKinds; ++kind)
            for (int id = 0; id < kIds; ++id)
                if (const char* name = zmTagIOFieldName(kind, id)) table[kind][id] = name;
        return table;
    }();
    return names;
}

std::string_view NameOf(const KindRange& range, int id, const MDField& field) {
    std::string_view name = ComponentNames()[range.kind][id];
    if (name.data() == nullptr && range.kind == MD_KIND_ID3V2)
        return std::string_view(field.frameId, strnlen(field.frameId, sizeof field.frameId));
    return name;
}

// A Windows Media slot is there when it has its value buffer, even empty:
// an empty read and a failed one must look different.
bool IsPresent(LONG kind, const MDField& field) {
    return field.data != nullptr && (field.size > 0 || kind == MD_KIND_WM);
}

// Filled in place: a view is large, and a list is read for every file. ID3
// text is read in codePage, Windows Media values in the host code page.
void FillView(const MDRecord& record, const KindRange& range, int id, uint32_t codePage, TextStore& store,
              FieldView& view) {
    const MDField& field = record.fields[id];
    view.id = id;
    view.kind = range.kind;
    view.kindName = range.name;
    view.name = NameOf(range, id, field);
    view.bytes = Bytes(field.data, field.size > 0 ? size_t(field.size) : 0);
    switch (range.kind) {
        case MD_KIND_ID3V2: InterpretID3V2(record.id3v2Version, codePage, view, store); break;
        case MD_KIND_ID3V1: InterpretID3V1(codePage, view, store); break;
        case MD_KIND_OGG: view.text = AsText(view.bytes); break;
        case MD_KIND_WM: {
            // Most of a file's slots are empty, and an empty text needs no conversion.
            std::string_view text(reinterpret_cast<const char*>(field.data),
                                  strnlen(reinterpret_cast<const char*>(field.data), kWMValueBuffer));
            view.text = text.empty() ? text : CodePageText(AsBytes(text), zmTagIOGetHostCodePage(), store);
            break;
        }
    }
}

std::string ID3V2Version(const MDRecord& record) { return "ID3v2." + std::to_string(record.id3v2Version); }

}  // namespace

bool WMValuesRead(const MDRecord& record) {
    for (int id = kFirstField; id <= kLastWMField; ++id)
        if (record.fields[id].data != nullptr) return true;
    return false;
}

TagFamily FamilyOf(const MDRecord& record) {
    if (record.isASF) return TagFamily::WM;
    if (record.isOgg) return TagFamily::Ogg;
    if (record.hasID3v1 || record.hasID3v2) return TagFamily::MP3;
    return TagFamily::None;
}

std::string DescribeTags(const std::string& path, const MDRecord& record, const std::string* oggCodec) {
    switch (FamilyOf(record)) {
        case TagFamily::WM:
            return WMValuesRead(record) ? "Windows Media" : "Windows Media (attributes could not be read)";
        case TagFamily::Ogg: return "Ogg " + (oggCodec ? *oggCodec : OggCodec(path));
        case TagFamily::MP3:
            if (record.hasID3v1 && record.hasID3v2) return ID3V2Version(record) + ", ID3v1";
            return record.hasID3v2 ? ID3V2Version(record) : "ID3v1";
        case TagFamily::None: break;
    }
    return "no tags";
}

void FieldList::Clear() {
    views_.clear();
    store_.Clear();
}

const std::vector<FieldView>& FieldList::Read(const MDRecord& record, uint32_t codePage) {
    Clear();
    for (const KindRange& range : RangesOf(record)) {
        // A copy the views filled in the loop cannot change, so the compiler
        // keeps it in a register instead of reading it for every slot.
        LONG kind = range.kind;
        for (int id = range.first; id <= range.last; ++id)
            if (IsPresent(kind, record.fields[id]))
                FillView(record, range, id, codePage, store_, views_.emplace_back());
    }
    return views_;
}

const FieldView* FieldList::Find(const MDRecord& record, LONG kind, int id, uint32_t codePage) {
    Clear();
    for (const KindRange& range : RangesOf(record))
        if (range.kind == kind && id >= range.first && id <= range.last &&
            IsPresent(kind, record.fields[id])) {
            FillView(record, range, id, codePage, store_, views_.emplace_back());
            return &views_.back();
        }
    return nullptr;
}

}  // namespace zmtagio
