// Editing and writing back any file: edits of every kind, an update, a second opening that must read
// what was set; then one kind of tag is removed and the result checked against the file it came from.
#include <optional>

#include "fuzz/FuzzSupport.h"

namespace {

using namespace std::string_literals;
using namespace zm::fuzz;

enum Family { MP3, Ogg, WM };

struct Edit {
    Family family;
    int kind, id;
    std::string value;                    // as the host passes it
    std::optional<std::string> readBack;  // what the next MDInit gives, then zeros only;
};                                        // "" the field is gone, nullopt unchecked

// Every text rule: plain and UTF-16 text, comment and year rules, values past one lacing segment and
// past the ASF padding, a field edited twice, deletions (a kept frame of the id may take their place).
const Edit kEdits[] = {
    {MP3, MD_KIND_ID3V1, MD_ID3V1_TITLE, "Fuzz title", "Fuzz title"},
    {MP3, MD_KIND_ID3V1, MD_ID3V1_YEAR, "1999", "1999"},
    {MP3, MD_KIND_ID3V1, MD_ID3V1_GENRE, "\x11", "\x11"},
    {MP3, MD_KIND_ID3V2, MD_ID3V2_TIT2, "\x00" "Fuzz"s, {}},
    {MP3, MD_KIND_ID3V2, MD_ID3V2_TIT2, "\x00" "Fuzz title"s, "\x00" "Fuzz title"s},
    {MP3, MD_KIND_ID3V2, MD_ID3V2_TPE1, "\x01" "Fuzz artist \xc3\xa9"s, "\x01" "Fuzz artist \xc3\xa9"s},
    {MP3, MD_KIND_ID3V2, MD_ID3V2_COMM, "\x00" "Fuzz comment"s, "\x00" "eng\x00" "Fuzz comment"s},
    {MP3, MD_KIND_ID3V2, MD_ID3V2_TYER, "\x03" "1999"s, "\x00" "1999"s},
    {MP3, MD_KIND_ID3V2, MD_ID3V2_TALB, "\x00"s, {}},
    {Ogg, MD_KIND_OGG, MD_OGG_TITLE, "Fuzz", {}},
    {Ogg, MD_KIND_OGG, MD_OGG_TITLE, "Fuzz title", "Fuzz title"},
    {Ogg, MD_KIND_OGG, MD_OGG_ARTIST, "Fuzz artist \xc3\xa9", "Fuzz artist \xc3\xa9"},
    {Ogg, MD_KIND_OGG, MD_OGG_COMMENT, std::string(300, 'c'), std::string(300, 'c')},
    {Ogg, MD_KIND_OGG, MD_OGG_GENRE, "", ""},
    {WM, MD_KIND_WM, MD_WM_TITLE, "Fuzz title\0"s, "Fuzz title"},
    {WM, MD_KIND_WM, MD_WM_AUTHOR, "Fuzz artist\0"s, "Fuzz artist"},
    {WM, MD_KIND_WM, MD_WM_ALBUMTITLE, std::string(250, 'a') + '\0', std::string(250, 'a')},
    {WM, MD_KIND_WM, MD_WM_DESCRIPTION, "\0"s, {}},
};

Family FamilyOf(const MDRecord& record) { return record.isASF ? WM : record.isOgg ? Ogg : MP3; }

// The edits of a family (all of them when none is given) that the session took.
std::vector<const Edit*> Apply(zm::test::Session& session, std::optional<Family> family) {
    std::vector<const Edit*> taken;
    for (const Edit& edit : kEdits)
        if ((!family || edit.family == *family) && session.Edit(edit.id, edit.kind, edit.value, "eng") == ZMTAGIO_S_OK)
            taken.push_back(&edit);
    return taken;
}

// Whether whole[0, end) ends with part[from, to).
bool EndsWith(const Bytes& whole, size_t end, const Bytes& part, size_t from, size_t to) {
    return from <= to && to - from <= end &&
           std::equal(part.begin() + long(from), part.begin() + long(to), whole.begin() + long(end - (to - from)));
}

// After a removal the file is the old audio (what stood before the 128-byte ID3v1 block) and the other tag.
void RemoveOneKind(Family family, size_t inputSize) {
    const auto& workspace = Workspace::Get();
    int kind = family == Ogg ? MD_KIND_OGG : (inputSize & 1) ? MD_KIND_ID3V1 : MD_KIND_ID3V2;
    Bytes before = ReadAll(workspace.input);
    zm::test::Session session;
    MDRecord* record;
    Check(OpenChecked(session, record, "eng") == ZMTAGIO_S_OK, "our own file does not open");
    session.MDRemoveTag(kind, 0);
    HRESULT hr = session.MDUpdate(0);
    workspace.CheckNothingLeft("a temporary file outlived the removal");
    Bytes after = ReadAll(workspace.input);
    if (hr != ZMTAGIO_S_OK) return Check(after == before, "a failed removal changed the file");
    if (family == Ogg) {
        Check(OpenChecked(session, record, "eng") == ZMTAGIO_S_OK && record->isOgg,
              "the Ogg file does not open after its comments were removed");
        for (int id = 1; id <= 16; ++id)
            Check(record->fields[id].size == 0, "a removed comment is still there", std::to_string(id));
        return;
    }
    Check(before.size() >= 128, "the updated file lost its ID3v1 block");
    if (kind == MD_KIND_ID3V1) {
        Check(after.size() >= 10 && std::equal(after.begin(), after.begin() + 3, "ID3"),
              "the ID3v2 tag is gone with the ID3v1 block");
        size_t tag = 10;  // the header, then the syncsafe size of what follows it
        for (int i = 6; i < 10; ++i) tag += size_t(after[i] & 0x7F) << (7 * (9 - i));
        return Check(tag <= after.size() && EndsWith(before, before.size() - 128, after, tag, after.size()),
                     "removing the ID3v1 block changed the audio");
    }
    Check(after.size() >= 128, "removing the ID3v2 tag lost the ID3v1 block");
    std::string block = "TAG" + kEdits[0].value;  // the title, 30 bytes wide
    block.resize(33);
    Check(std::equal(block.begin(), block.end(), after.end() - 128), "removing the ID3v2 tag changed the ID3v1 block");
    Check(EndsWith(before, before.size() - 128, after, 0, after.size() - 128),
          "removing the ID3v2 tag changed the audio");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto& workspace = Workspace::Get();
    workspace.WriteInput(data, size);
    zm::test::Session session;
    MDRecord* record;
    if (OpenChecked(session, record, "eng") < 0) {
        // A host that ignores a failed MDInit and goes on must not bring the process down.
        Apply(session, std::nullopt);
        session.MDUpdate(0);
        for (const std::string& name : workspace.Leftovers()) fs::remove(name);
        return 0;
    }
    Family family = FamilyOf(*record);
    std::vector<const Edit*> taken = Apply(session, family);
    HRESULT hr = session.MDUpdate(0);
    workspace.CheckNothingLeft("a temporary file outlived the update");
    if (family != WM && hr != ZMTAGIO_S_OK)
        return Check(ReadAll(workspace.input) == Bytes(data, data + size), "a failed update changed the file"), 0;

    zm::test::Session reader;
    Check(OpenChecked(reader, record, "eng") == (family == WM ? ZMTAGIO_S_FALSE : ZMTAGIO_S_OK),
          "the updated file does not open");
    Check(FamilyOf(*record) == family, "the update changed the file's format");
    Check(!record->hasID3v2 || record->id3v2Version == 3, "the rewritten ID3v2 tag is not version 2.3");
    for (const Edit* edit : taken) {
        const MDField& field = record->fields[edit->id];
        std::string where = "kind " + std::to_string(edit->kind) + " id " + std::to_string(edit->id);
        if (edit->readBack && edit->readBack->empty()) Check(field.size == 0, "deleted value read back", where);
        else if (edit->readBack) Check(Holds(field, *edit->readBack), "value not read back", where);
    }
    if (family != WM) RemoveOneKind(family, size);
    return 0;
}
