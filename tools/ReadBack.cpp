#include "ReadBack.h"

#include "OggComments.h"

namespace zmtagio {
namespace {

// A deleted field reads as absent or empty; an ID3v1 track as 0. Deleting
// the comment of one language may bring another language's comment into the
// slot, which is fine as long as it is not the deleted one.
bool ShowsDeletion(const Edit& edit, const FieldView* found) {
    std::string_view text = found ? found->text.value_or(std::string_view()) : std::string_view();
    if (text.empty()) return true;
    if (edit.kind == MD_KIND_ID3V1 && edit.id == MD_ID3V1_TRACK) return text == "0";
    return edit.kind == MD_KIND_ID3V2 && edit.id == MD_ID3V2_COMM && edit.before != text;
}

}  // namespace

std::string MissingEdit(const MDRecord& record, const std::vector<Edit>& edits, uint32_t codePage) {
    FieldList fields;
    for (const Edit& edit : edits) {
        const FieldView* found = fields.Find(record, edit.kind, edit.id, codePage);
        bool reached = edit.expected.empty() ? ShowsDeletion(edit, found)
                                             : found && found->text == edit.expected;
        if (!reached) {
            std::string now = found && found->text ? QuotedForTerminal(*found->text) : "nothing";
            return edit.label + " did not reach the file (it reads " + now + ")";
        }
    }
    return {};
}

std::string ChangedOggEntry(const std::string& path, const std::vector<OggEntry>& before,
                            const std::vector<Edit>& edits) {
    std::vector<std::string> names;
    for (const Edit& edit : edits)
        if (const char* name = zmTagIOFieldName(MD_KIND_OGG, edit.id); name && edit.kind == MD_KIND_OGG)
            names.push_back(name);
    std::optional<std::vector<OggEntry>> after = OggEntries(path);
    if (!after) return "the comments cannot be read back";
    std::optional<std::string> changed = ChangedOtherEntry(before, *after, names);
    return changed ? "the comment " + QuotedForTerminal(*changed) + " changed, though it was not to be" : std::string();
}

bool HasTag(const std::string& path, const MDRecord& record, LONG kind) {
    switch (kind) {
        case MD_KIND_ID3V1: return record.hasID3v1 != 0;
        case MD_KIND_ID3V2: return record.hasID3v2 != 0;
        case MD_KIND_OGG: {
            if (!record.isOgg) return false;
            std::optional<std::vector<OggEntry>> entries = OggEntries(path);
            return !entries || !entries->empty();
        }
        default: return false;
    }
}

const char* TagName(LONG kind) {
    switch (kind) {
        case MD_KIND_ID3V1: return "ID3v1 tag";
        case MD_KIND_ID3V2: return "ID3v2 tag";
        default: return "Ogg comments";
    }
}

}  // namespace zmtagio
