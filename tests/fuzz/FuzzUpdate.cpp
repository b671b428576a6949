// Editing and writing back any file: a fixed set of edits of every kind, an
// update, and a second opening that must read what was set. Then one kind of
// tag is removed and the result checked against the file it came from.
#include <algorithm>
#include <string>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "platform/Bytes.h"
#include "support/Session.h"

namespace {

using namespace std::string_literals;
using zm::fuzz::Bytes;
using zm::fuzz::Check;
using zm::fuzz::Workspace;

constexpr char kEnglish[4] = {'e', 'n', 'g', 0};
constexpr size_t kID3V1Size = 128;
constexpr size_t kID3V2HeaderSize = 10;
constexpr size_t kID3V2SizeOffset = 6;
constexpr size_t kID3V1TitleOffset = 3;
constexpr size_t kID3V1TitleWidth = 30;
constexpr char kID3V1Title[] = "Fuzz title";

enum class Expect { Value, Gone, Unchecked };

struct Edit {
    int kind;
    int id;
    std::string value;     // as the host passes it
    Expect expect;
    std::string readBack;  // what the next MDInit gives, then zeros only
};

// Every text rule of each format: plain and UTF-16 text, the comment and
// the year rules, values past one lacing segment and past the ASF padding,
// a field edited twice, deletions.
const std::vector<Edit> kMP3Edits = {
    {MD_KIND_ID3V1, MD_ID3V1_TITLE, kID3V1Title, Expect::Value, kID3V1Title},
    {MD_KIND_ID3V1, MD_ID3V1_YEAR, "1999", Expect::Value, "1999"},
    {MD_KIND_ID3V1, MD_ID3V1_GENRE, "\x11", Expect::Value, "\x11"},
    {MD_KIND_ID3V2, MD_ID3V2_TIT2, "\x00" "Fuzz"s, Expect::Unchecked, ""},
    {MD_KIND_ID3V2, MD_ID3V2_TIT2, "\x00" "Fuzz title"s, Expect::Value, "\x00" "Fuzz title"s},
    {MD_KIND_ID3V2, MD_ID3V2_TPE1, "\x01" "Fuzz artist \xc3\xa9"s, Expect::Value,
     "\x01" "Fuzz artist \xc3\xa9"s},
    {MD_KIND_ID3V2, MD_ID3V2_COMM, "\x00" "Fuzz comment"s, Expect::Value,
     "\x00" "eng\x00" "Fuzz comment"s},
    {MD_KIND_ID3V2, MD_ID3V2_TYER, "\x03" "1999"s, Expect::Value, "\x00" "1999"s},
    // A kept frame of the same id may take the deleted one's place.
    {MD_KIND_ID3V2, MD_ID3V2_TALB, "\x00"s, Expect::Unchecked, ""},
};

const std::vector<Edit> kOggEdits = {
    {MD_KIND_OGG, MD_OGG_TITLE, "Fuzz", Expect::Unchecked, ""},
    {MD_KIND_OGG, MD_OGG_TITLE, "Fuzz title", Expect::Value, "Fuzz title"},
    {MD_KIND_OGG, MD_OGG_ARTIST, "Fuzz artist \xc3\xa9", Expect::Value, "Fuzz artist \xc3\xa9"},
    {MD_KIND_OGG, MD_OGG_COMMENT, std::string(300, 'c'), Expect::Value, std::string(300, 'c')},
    {MD_KIND_OGG, MD_OGG_GENRE, "", Expect::Gone, ""},
};

const std::vector<Edit> kWMEdits = {
    {MD_KIND_WM, MD_WM_TITLE, "Fuzz title\0"s, Expect::Value, "Fuzz title"},
    {MD_KIND_WM, MD_WM_AUTHOR, "Fuzz artist\0"s, Expect::Value, "Fuzz artist"},
    {MD_KIND_WM, MD_WM_ALBUMTITLE, std::string(250, 'a') + '\0', Expect::Value, std::string(250, 'a')},
    // Another attribute of the same name may take the deleted one's place.
    {MD_KIND_WM, MD_WM_DESCRIPTION, "\0"s, Expect::Unchecked, ""},
};

enum class Family { MP3, Ogg, WM };

Family FamilyOf(const MDRecord& record) {
    if (record.isASF) return Family::WM;
    return record.isOgg ? Family::Ogg : Family::MP3;
}

const std::vector<Edit>& EditsFor(Family family) {
    switch (family) {
        case Family::Ogg: return kOggEdits;
        case Family::WM: return kWMEdits;
        default: return kMP3Edits;
    }
}

// Edits that the session took.
std::vector<const Edit*> Apply(zm::test::Session& session, const std::vector<Edit>& edits) {
    std::vector<const Edit*> taken;
    for (const Edit& edit : edits)
        if (session.Edit(edit.id, edit.kind, edit.value, kEnglish) == ZMTAGIO_S_OK) taken.push_back(&edit);
    return taken;
}

// An update leaves nothing behind: no temporary file, no staging copy.
void CheckNothingLeft() {
    auto left = Workspace::Get().Leftovers();
    Check(left.empty(), "a temporary file outlived the update", left.empty() ? "" : left.front());
}

void CheckReadBack(const MDRecord& record, const std::vector<const Edit*>& taken) {
    for (const Edit* edit : taken) {
        const MDField& field = record.fields[edit->id];
        std::string where = "kind " + std::to_string(edit->kind) + " id " + std::to_string(edit->id) +
                            ", read " + zm::fuzz::Describe(field);
        if (edit->expect == Expect::Value) Check(zm::fuzz::Holds(field, edit->readBack), "value not read back", where);
        if (edit->expect == Expect::Gone) Check(field.size == 0, "deleted value read back", where);
    }
}

uint32_t Syncsafe(const uint8_t* p) {
    return uint32_t(p[0] & 0x7F) << 21 | uint32_t(p[1] & 0x7F) << 14 | uint32_t(p[2] & 0x7F) << 7 | (p[3] & 0x7F);
}

bool EndsWith(const Bytes& whole, size_t wholeEnd, const Bytes& part, size_t partBegin, size_t partEnd) {
    size_t n = partEnd - partBegin;
    return partEnd >= partBegin && wholeEnd >= n &&
           std::equal(part.begin() + long(partBegin), part.begin() + long(partEnd), whole.begin() + long(wholeEnd - n));
}

// After MDRemoveTag the new file is the old audio with the other tag only:
// the audio is a tail of what stood before the old ID3v1 block.
void CheckMP3Removal(int kind, const Bytes& before, const Bytes& after) {
    Check(before.size() >= kID3V1Size, "the updated file lost its ID3v1 block");
    size_t audioEnd = before.size() - kID3V1Size;
    if (kind == MD_KIND_ID3V1) {
        Check(after.size() >= kID3V2HeaderSize && std::equal(after.begin(), after.begin() + 3, "ID3"),
              "the ID3v2 tag is gone with the ID3v1 block");
        size_t tag = kID3V2HeaderSize + Syncsafe(&after[kID3V2SizeOffset]);
        Check(tag <= after.size() && EndsWith(before, audioEnd, after, tag, after.size()),
              "removing the ID3v1 block changed the audio");
    } else {
        Check(after.size() >= kID3V1Size, "removing the ID3v2 tag lost the ID3v1 block");
        size_t block = after.size() - kID3V1Size;
        std::string title(kID3V1Title);
        title.resize(kID3V1TitleWidth);
        Check(std::equal(after.begin() + long(block), after.begin() + long(block) + 3, "TAG") &&
                  std::equal(title.begin(), title.end(), after.begin() + long(block + kID3V1TitleOffset)),
              "removing the ID3v2 tag changed the ID3v1 block");
        Check(EndsWith(before, audioEnd, after, 0, block), "removing the ID3v2 tag changed the audio");
    }
}

void RemoveOneKind(Family family, size_t inputSize) {
    const auto& workspace = Workspace::Get();
    int kind = family == Family::Ogg ? MD_KIND_OGG : (inputSize & 1) ? MD_KIND_ID3V1 : MD_KIND_ID3V2;
    Bytes before = zm::fuzz::ReadAll(workspace.Input());
    zm::test::Session session;
    MDRecord* record = nullptr;
    Check(session.Open(workspace.Input(), &record, kEnglish) == ZMTAGIO_S_OK, "our own file does not open");
    session.MDRemoveTag(kind, 0);
    HRESULT hr = session.MDUpdate(0);
    CheckNothingLeft();
    Bytes after = zm::fuzz::ReadAll(workspace.Input());
    if (hr != ZMTAGIO_S_OK) {
        Check(after == before, "a failed removal changed the file");
        return;
    }
    if (family == Family::MP3) return CheckMP3Removal(kind, before, after);
    Check(session.Open(workspace.Input(), &record, kEnglish) == ZMTAGIO_S_OK && record->isOgg,
          "the Ogg file does not open after its comments were removed");
    for (int id = 1; id <= 16; ++id)
        Check(record->fields[id].size == 0, "a removed comment is still there", std::to_string(id));
}

// A host that ignores a failed MDInit and goes on must not bring the
// process down; nothing else is promised for such a file.
void EditAfterFailedOpen(zm::test::Session& session) {
    for (const auto* edits : {&kMP3Edits, &kOggEdits, &kWMEdits}) Apply(session, *edits);
    session.MDUpdate(0);
    Workspace::Get().ClearLeftovers();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto& workspace = Workspace::Get();
    workspace.WriteInput(data, size);
    zm::test::Session session;
    MDRecord* record = nullptr;
    HRESULT hr = session.Open(workspace.Input(), &record, kEnglish);
    if (hr != ZMTAGIO_S_OK && hr != ZMTAGIO_S_FALSE) {
        EditAfterFailedOpen(session);
        return 0;
    }
    Family family = FamilyOf(*record);
    std::vector<const Edit*> taken = Apply(session, EditsFor(family));
    hr = session.MDUpdate(0);
    CheckNothingLeft();
    if (family != Family::WM && hr != ZMTAGIO_S_OK) {
        Check(zm::fuzz::ReadAll(workspace.Input()) == Bytes(data, data + size), "a failed update changed the file");
        return 0;
    }

    zm::test::Session reader;
    HRESULT opened = family == Family::WM ? ZMTAGIO_S_FALSE : ZMTAGIO_S_OK;
    Check(reader.Open(workspace.Input(), &record, kEnglish) == opened, "the updated file does not open");
    zm::fuzz::ReadLikeAHost(*record);
    Check(FamilyOf(*record) == family, "the update changed the file's format");
    CheckReadBack(*record, taken);
    if (family != Family::WM) RemoveOneKind(family, size);
    return 0;
}
