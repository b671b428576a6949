#include "Plan.h"

#include <strings.h>

#include <algorithm>

#include "Values.h"

namespace zmtagio {
namespace {

// Where each common name lands in each kind of tag.
struct CommonField {
    const char* name;
    int id3v2;
    int id3v1;
    int ogg;
    int wm;
};

constexpr CommonField kCommonFields[] = {
    {"title", MD_ID3V2_TIT2, MD_ID3V1_TITLE, MD_OGG_TITLE, MD_WM_TITLE},
    {"artist", MD_ID3V2_TPE1, MD_ID3V1_ARTIST, MD_OGG_ARTIST, MD_WM_AUTHOR},
    {"album", MD_ID3V2_TALB, MD_ID3V1_ALBUM, MD_OGG_ALBUM, MD_WM_ALBUMTITLE},
    {"year", MD_ID3V2_TYER, MD_ID3V1_YEAR, MD_OGG_DATE, MD_WM_YEAR},
    {"genre", MD_ID3V2_TCON, MD_ID3V1_GENRE, MD_OGG_GENRE, MD_WM_GENRE},
    {"track", MD_ID3V2_TRCK, MD_ID3V1_TRACK, MD_OGG_TRACKNUMBER, MD_WM_TRACKNUMBER},
    {"comment", MD_ID3V2_COMM, MD_ID3V1_COMMENT, MD_OGG_COMMENT, MD_WM_DESCRIPTION},
};

// The ids --field may name, by kind. Windows Media field 2 has no attribute
// of its own.
struct NamedRange {
    LONG kind;
    int first;
    int last;
};
constexpr NamedRange kID3V2Names = {MD_KIND_ID3V2, 1, kLastID3V2Field};
constexpr NamedRange kOggNames = {MD_KIND_OGG, 1, kLastOggField};
constexpr NamedRange kWMNames = {MD_KIND_WM, MD_WM_ENCODINGTIME + 1, kLastWMField};
constexpr NamedRange kWMTitle = {MD_KIND_WM, MD_WM_TITLE, MD_WM_TITLE};

struct Target {
    LONG kind;
    int id;
    std::string text;
};

// Only frames whose body is plain text can take a value from the command
// line: text frames other than TXXX, and comments.
bool Settable(LONG kind, std::string_view name) {
    if (kind != MD_KIND_ID3V2) return true;
    return (name.starts_with('T') && name != "TXXX") || name == "COMM";
}

std::vector<NamedRange> NameRanges(TagFamily family) {
    switch (family) {
        case TagFamily::Ogg: return {kOggNames};
        case TagFamily::WM: return {kWMTitle, kWMNames};
        default: return {kID3V2Names};
    }
}

std::optional<Target> FindNamed(TagFamily family, const std::string& name) {
    for (const NamedRange& range : NameRanges(family))
        for (int id = range.first; id <= range.last; ++id) {
            const char* known = zmTagIOFieldName(range.kind, id);
            if (known && strcasecmp(known, name.c_str()) == 0 && Settable(range.kind, known))
                return Target{range.kind, id, {}};
        }
    return std::nullopt;
}

void AddCommon(const CommonField& common, const MDRecord& record, TagFamily family, bool id3v1,
               const std::string& text, std::vector<Target>& targets) {
    switch (family) {
        case TagFamily::Ogg: targets.push_back({MD_KIND_OGG, common.ogg, text}); break;
        case TagFamily::WM: targets.push_back({MD_KIND_WM, common.wm, text}); break;
        default:
            targets.push_back({MD_KIND_ID3V2, common.id3v2, text});
            if (record.hasID3v1 || id3v1) targets.push_back({MD_KIND_ID3V1, common.id3v1, text});
    }
}

std::string Resolve(const SetOptions& options, const MDRecord& record, TagFamily family,
                    std::vector<Target>& targets) {
    bool mp3 = family == TagFamily::MP3 || family == TagFamily::None;
    if (options.id3v1 && !mp3) return "--id3v1 applies to MP3 files only";
    for (const FieldRequest& request : options.requests) {
        if (!IsValidUtf8(request.value)) return "the value for " + request.name + " is not valid UTF-8";
        if (request.common) {
            auto common = std::find_if(std::begin(kCommonFields), std::end(kCommonFields),
                                       [&](const CommonField& f) { return request.name == f.name; });
            AddCommon(*common, record, family, options.id3v1, request.value, targets);
            continue;
        }
        std::optional<Target> named = FindNamed(family, request.name);
        if (!named) return "no field named " + request.name + " can be set in this file";
        named->text = request.value;
        targets.push_back(*named);
    }
    return {};
}

// The last value of a field wins.
void KeepLastValues(std::vector<Target>& targets) {
    std::vector<Target> kept;
    for (Target& target : targets) {
        std::erase_if(kept, [&](const Target& k) { return k.kind == target.kind && k.id == target.id; });
        kept.push_back(std::move(target));
    }
    targets = std::move(kept);
}

Encoded EncodeFor(const Target& target, uint32_t codePage) {
    switch (target.kind) {
        case MD_KIND_ID3V2: return EncodeID3V2(target.id, target.text, codePage);
        case MD_KIND_ID3V1: return EncodeID3V1(target.id, target.text, codePage);
        case MD_KIND_OGG: return EncodeOgg(target.text);
        default: return EncodeWM(target.text, zmTagIOGetHostCodePage());
    }
}

std::string LabelOf(LONG kind, int id) {
    const char* name = zmTagIOFieldName(kind, id);
    std::string label = name ? name : "field " + std::to_string(id);
    return kind == MD_KIND_ID3V1 ? "ID3v1 " + label : label;
}

Edit* FindEdit(std::vector<Edit>& edits, int id) {
    auto found = std::find_if(edits.begin(), edits.end(),
                              [&](const Edit& edit) { return edit.kind == MD_KIND_ID3V1 && edit.id == id; });
    return found == edits.end() ? nullptr : &*found;
}

Edit SilentID3V1Edit(int id, std::vector<uint8_t> value, std::string expected) {
    Edit edit;
    edit.kind = MD_KIND_ID3V1;
    edit.id = id;
    edit.label = LabelOf(MD_KIND_ID3V1, id);
    edit.value = std::move(value);
    edit.expected = std::move(expected);
    edit.shown = false;
    return edit;
}

// The block keeps a track number in the last two bytes of the comment, and
// only behind a comment: a track needs a comment of at most 28 bytes (an
// empty one is written as 28 zero bytes). A new block gets genre 255, "none",
// unless one is given.
std::string KeepID3V1Consistent(const MDRecord& record, std::vector<Edit>& edits) {
    if (std::none_of(edits.begin(), edits.end(), [](const Edit& e) { return e.kind == MD_KIND_ID3V1; })) return {};
    const MDField& oldComment = record.fields[MD_ID3V1_COMMENT];
    const MDField& oldTrack = record.fields[MD_ID3V1_TRACK];
    Edit* track = FindEdit(edits, MD_ID3V1_TRACK);
    Edit* comment = FindEdit(edits, MD_ID3V1_COMMENT);
    bool hasTrack = track ? !track->value.empty() && track->value[0] != 0
                          : record.hasID3v1 && oldTrack.size > 0 && oldTrack.data && oldTrack.data[0] != 0;
    size_t commentSize = comment ? comment->value.size() : record.hasID3v1 ? size_t(std::max(oldComment.size, 0)) : 0;
    if (hasTrack && commentSize > kID3V1CommentWidthWithTrack)
        return comment ? "the ID3v1 comment holds 28 bytes next to a track number"
                       : "the ID3v1 comment fills the bytes of the track number; shorten it with --comment";
    if (hasTrack && commentSize == 0) {
        std::vector<uint8_t> zeros(kID3V1CommentWidthWithTrack, 0);
        if (comment)
            comment->value = zeros;
        else
            edits.push_back(SilentID3V1Edit(MD_ID3V1_COMMENT, zeros, {}));
    }
    if (!record.hasID3v1 && !FindEdit(edits, MD_ID3V1_GENRE))
        edits.push_back(SilentID3V1Edit(MD_ID3V1_GENRE, {kID3V1NoGenre}, std::to_string(kID3V1NoGenre)));
    return {};
}

}  // namespace

Plan PlanEdits(const SetOptions& options, const MDRecord& record, TagFamily family, uint32_t codePage) {
    Plan plan;
    std::vector<Target> targets;
    plan.error = Resolve(options, record, family, targets);
    if (!plan.error.empty()) return plan;
    KeepLastValues(targets);
    FieldList fields;
    for (const Target& target : targets) {
        Edit edit;
        edit.kind = target.kind;
        edit.id = target.id;
        edit.label = LabelOf(target.kind, target.id);
        Encoded encoded = EncodeFor(target, codePage);
        if (!encoded.error.empty()) {
            plan.error = "the value for " + edit.label + " " + encoded.error;
            return plan;
        }
        edit.value = std::move(encoded.value);
        edit.expected = std::move(encoded.expected);
        edit.shortened = encoded.shortened;
        if (const FieldView* old = fields.Find(record, target.kind, target.id, codePage)) edit.before = old->text;
        plan.edits.push_back(std::move(edit));
    }
    plan.error = KeepID3V1Consistent(record, plan.edits);
    return plan;
}

}  // namespace zmtagio
