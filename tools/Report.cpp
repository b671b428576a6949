#include "Report.h"

#include <algorithm>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "Fields.h"
#include "Host.h"
#include "ID3Text.h"

namespace zmtagio {
namespace {

using Json = nlohmann::ordered_json;

Json FieldJson(const FieldView& view) {
    Json field;
    field["id"] = view.id;
    field["kind"] = view.kindName;
    field["name"] = view.name;
    field["size"] = view.bytes.size();
    field["hex"] = Hex(view.bytes);
    if (view.text) field["text"] = *view.text;
    if (view.language) field["lang"] = *view.language;
    if (view.description) field["description"] = *view.description;
    return field;
}

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

}  // namespace

std::string JsonLine(const std::string& path, HRESULT hr, const MDRecord* record, uint32_t codePage) {
    MDRecord empty{};
    const MDRecord& shown = record ? *record : empty;
    Json line;
    line["path"] = path;
    line["result"] = ResultName(hr);
    line["hr"] = ResultHex(hr);
    line["hasID3v1"] = shown.hasID3v1 != 0;
    line["hasID3v2"] = shown.hasID3v2 != 0;
    line["isOgg"] = shown.isOgg != 0;
    line["isASF"] = shown.isASF != 0;
    line["id3v2Version"] = shown.id3v2Version;
    line["id3v2Flags"] = shown.id3v2Flags;
    line["fields"] = Json::array();
    for (const FieldView& view : ListFields(shown, codePage)) line["fields"].push_back(FieldJson(view));
    // Whatever bytes the file holds, the line stays valid JSON: text that is
    // not UTF-8 is printed with U+FFFD, and "hex" keeps the exact bytes.
    return line.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::string SummaryLine(const std::string& path, HRESULT hr, const MDRecord* record) {
    if (Failed(hr) || record == nullptr) return ForTerminal(path) + ": cannot read tags (" + ResultName(hr) + ")";
    return ForTerminal(path) + ": " + DescribeTags(*record);
}

std::string TextReport(const std::string& path, HRESULT hr, const MDRecord* record, uint32_t codePage) {
    std::string out = SummaryLine(path, hr, record) + "\n";
    if (Failed(hr) || record == nullptr) return out;
    std::vector<FieldView> views = ListFields(*record, codePage);
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
