#include "Report.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "Fields.h"
#include "Host.h"
#include "ID3Text.h"
#include "JsonWriter.h"

namespace zmtagio {
namespace {

std::string ValueText(const FieldView& view) {
    std::string shown;
    if (!view.text) {
        shown.append("[binary, ").append(std::to_string(view.bytes.size())).append(" bytes");
        if (!view.binaryType.empty()) shown.append(", ").append(ForTerminal(view.binaryType));
        return shown.append("]");
    }
    if (view.language) shown.append("[").append(ForTerminal(*view.language)).append("] ");
    if (view.description && !view.description->empty()) shown.append(ForTerminal(*view.description)).append(": ");
    shown.append(ForTerminal(*view.text));
    if (view.kind == MD_KIND_ID3V1 && view.id == MD_ID3V1_GENRE && !view.bytes.empty())
        if (const char* genre = ID3V1GenreName(view.bytes[0])) shown.append(" (").append(genre).append(")");
    return shown;
}

// What the file system says of a path that could not be read, or nothing
// when the file is there to be read: the component's result alone does not
// tell a missing file from a damaged one.
std::string FileProblem(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return std::strerror(errno);
    if (S_ISDIR(st.st_mode)) return "it is a folder";
    if (!S_ISREG(st.st_mode)) return "it is not a regular file";
    if (::access(path.c_str(), R_OK) != 0) return std::strerror(errno);
    return {};
}

// The members that open a field's object, its id, kind and name, are the
// same for a slot from file to file. Each is written once and then copied
// whole: member by member, they cost as much as the rest of a short value.
class FieldHeads {
public:
    std::string_view For(const FieldView& view) {
        Head& head = heads_[size_t(view.kind)][size_t(view.id)];
        // Compared as bytes in line: a general comparison call costs as much
        // as copying the head.
        bool sameName = head.name.size() == view.name.size() &&
                        std::memcmp(head.name.data(), view.name.data(), view.name.size()) == 0;
        if (head.json.empty() || !sameName) {
            head.name.assign(view.name);
            head.json.clear();
            JsonWriter json(head.json);
            json.BeginObject();
            json.Number("id", view.id);
            json.String("kind", view.kindName);
            json.String("name", view.name);
        }
        return head.json;
    }

private:
    static constexpr size_t kKinds = MD_KIND_WM + 1;
    static constexpr size_t kIds = MD_ID3V1_GENRE + 1;
    struct Head {
        std::string name;  // an ID3v2 slot without a name of its own takes its frame's id
        std::string json;
    };
    std::array<std::array<Head, kIds>, kKinds> heads_;
};

}  // namespace

void AppendJsonLine(std::string& out, const std::string& path, HRESULT hr, const MDRecord* record, uint32_t codePage,
                    FieldList& fields, bool allHex) {
    static const MDRecord kNoRecord{};
    const MDRecord& shown = record ? *record : kNoRecord;
    JsonWriter json(out);
    json.BeginObject();
    json.String("path", path);
    json.String("result", ResultName(hr));
    json.String("hr", ResultHex(hr));
    json.Bool("hasID3v1", shown.hasID3v1 != 0);
    json.Bool("hasID3v2", shown.hasID3v2 != 0);
    json.Bool("isOgg", shown.isOgg != 0);
    json.Bool("isASF", shown.isASF != 0);
    json.Number("id3v2Version", shown.id3v2Version);
    json.Number("id3v2Flags", shown.id3v2Flags);
    json.BeginArray("fields");
    thread_local FieldHeads heads;
    for (const FieldView& view : fields.Read(shown, codePage)) {
        json.Raw(heads.For(view));
        json.Number("size", int64_t(view.bytes.size()));
        // Whatever bytes the file holds, the line stays valid JSON: text that
        // is not UTF-8 is printed with U+FFFD, and then "hex" keeps the exact
        // bytes, as it does for every value that is not text.
        bool faithful = view.text && json.String("text", *view.text);
        if (allHex || !faithful) json.Hex("hex", view.bytes);
        if (view.language) json.String("lang", *view.language);
        if (view.description) json.String("description", *view.description);
        json.EndObject();
    }
    json.EndArray();
    json.EndObject();
}

void AppendSummaryLine(std::string& line, const std::string& path, HRESULT hr, const MDRecord* record,
                       const std::string* oggCodec) {
    line.append(ForTerminal(path));
    if (Failed(hr) || record == nullptr) {
        line.append(": cannot read tags (").append(ResultName(hr)).append(")");
        if (std::string problem = FileProblem(path); !problem.empty()) line.append(": ").append(problem);
        return;
    }
    line.append(": ").append(DescribeTags(path, *record, oggCodec));
}

std::string SummaryLine(const std::string& path, HRESULT hr, const MDRecord* record) {
    std::string line;
    AppendSummaryLine(line, path, hr, record);
    return line;
}

std::string TextReport(const std::string& path, HRESULT hr, const MDRecord* record, uint32_t codePage) {
    std::string out = SummaryLine(path, hr, record) + "\n";
    if (Failed(hr) || record == nullptr) return out;
    FieldList fields;
    std::vector<FieldView> views = fields.Read(*record, codePage);
    std::erase_if(views, [](const FieldView& view) { return view.bytes.empty(); });
    size_t width = 0;
    for (const FieldView& view : views) width = std::max(width, view.name.size());
    for (const FieldView& view : views) {
        char id[16];
        std::snprintf(id, sizeof id, "%5d  ", view.id);
        out += id + ForTerminal(view.name) + std::string(width - view.name.size() + 2, ' ') + ValueText(view) + "\n";
    }
    return out;
}

}  // namespace zmtagio
