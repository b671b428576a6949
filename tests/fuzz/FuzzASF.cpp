// The ASF engine alone, as the Windows Media code drives it: read, change (in place and growing the
// header), flush, reopen and read back, shrink and flush again. A failed flush leaves the file as it was.
#include <optional>

#include "asf/WMRuntime.h"
#include "fuzz/FuzzSupport.h"

namespace {

using namespace zm::asf;
using namespace zm::fuzz;

// The runtime's computed attributes and the stored ones the reader asks for.
const char16_t* const kReadNames[] = {
    u"Title", u"Author", u"Copyright", u"Description", u"Rating", u"WM/AlbumTitle", u"WM/TrackNumber",
    u"WM/Genre", u"WM/Year", u"WM/EncodingTime", u"WM/Picture", u"Duration", u"Bitrate", u"Seekable",
    u"Stridable", u"Broadcast", u"HasAudio", u"HasVideo", u"HasImage", u"HasScript", u"Is_Protected",
    u"Is_Trusted", u"CurrentBitrate", u"OptimalBitrate", u"WM/AlbumCoverURL", u"WM/Lyrics"};

Bytes Text(const std::u16string& text) {  // UTF-16LE with its terminator
    Bytes bytes;
    for (char16_t unit : text + u'\0') bytes.insert(bytes.end(), {uint8_t(unit), uint8_t(unit >> 8)});
    return bytes;
}

struct Change {
    const char16_t* name;
    WMT_ATTR_DATATYPE type;
    Bytes value;  // empty: delete the first attribute of the name
    uint16_t language = 0;
};

// Two rounds: the header grows, then shrinks.
const std::vector<Change> kRounds[] = {
    {{u"Title", WMT_TYPE_STRING, Text(u"Fuzz title")},
     {u"WM/AlbumTitle", WMT_TYPE_STRING, Text(std::u16string(600, u'a'))},
     {u"WM/TrackNumber", WMT_TYPE_DWORD, {9, 0, 0, 0}}, {u"WM/Composer", WMT_TYPE_STRING, Text(u"Library composer"), 1},
     {u"Description", WMT_TYPE_STRING, {}}, {u"WM/Lyrics", WMT_TYPE_STRING, Text(std::u16string(40000, u'l'))}},
    {{u"WM/AlbumTitle", WMT_TYPE_STRING, Text(u"a")}, {u"Title", WMT_TYPE_STRING, {}},
     {u"WM/Lyrics", WMT_TYPE_STRING, Text(u"la")}},
};

// A value too long for the name lookup's 16-bit length, read by its index
// with a 32-bit length as the Windows Media reader does: the language-neutral
// attribute of the name, else the first.
std::optional<Bytes> ReadLong(IWMHeaderInfo* info, const char16_t* name) {
    ComPtr<IWMHeaderInfo3> indexed;
    if (info->QueryInterface(IID_IWMHeaderInfo3, indexed.PutVoid()) < 0) return std::nullopt;
    uint16_t neutral = 0, count = 0, language;
    std::vector<uint16_t> indices;
    for (uint16_t* wanted : {&neutral, static_cast<uint16_t*>(nullptr)}) {
        if (indexed->GetAttributeIndices(0, name, wanted, nullptr, &count) < 0) return std::nullopt;
        indices.resize(count);
        if (count && indexed->GetAttributeIndices(0, name, wanted, indices.data(), &count) >= 0) break;
    }
    uint32_t length = 0;
    WMT_ATTR_DATATYPE type;
    if (indices.empty() ||
        indexed->GetAttributeByIndexEx(0, indices[0], nullptr, nullptr, &type, &language, nullptr, &length) < 0)
        return std::nullopt;
    Check(length > 0xFFFF, "the name lookup refused a short value");
    Bytes value(length);
    uint32_t room = length;
    if (indexed->GetAttributeByIndexEx(0, indices[0], nullptr, nullptr, &type, &language, value.data(), &room) < 0)
        return std::nullopt;
    Check(room == length, "an attribute changed its length between two reads");
    return value;
}

// Reads every attribute a host asks for; what the editor flushed must read back (the stored Title
// and album live in one place each, so the first one read is ours).
void ReadAllAttributes(IWMHeaderInfo* info, const std::vector<const Change*>& taken = {}) {
    auto read = [&](const char16_t* name) -> std::optional<Bytes> {
        uint16_t stream = 0, length = 0, room;
        WMT_ATTR_DATATYPE type;
        HRESULT hr = info->GetAttributeByName(&stream, name, &type, nullptr, &length);
        if (hr == kE_BUFFERTOOSMALL) return ReadLong(info, name);
        if (hr < 0) return std::nullopt;
        Bytes value(room = length);
        if (info->GetAttributeByName(&stream, name, &type, value.data(), &room) < 0) return std::nullopt;
        Check(room <= length, "an attribute grew between two reads");
        return value.resize(room), value;
    };
    for (const char16_t* name : kReadNames) read(name);
    for (const Change* change : taken)
        if (auto value = change->language ? std::nullopt : read(change->name); value && !change->value.empty())
            Check(*value == change->value, "a flushed value does not read back",
                  std::string(change->name, change->name + std::char_traits<char16_t>::length(change->name)));
}

// One editing round: open, change, flush, close. False when nothing was flushed.
bool EditAndFlush(const std::u16string& path, const std::vector<Change>& changes, std::vector<const Change*>& taken) {
    ComPtr<IWMMetadataEditor> editor;
    ComPtr<IWMHeaderInfo3> info;
    if (WMCreateEditor(editor.Put()) < 0 || editor->Open(path.c_str()) < 0) return false;
    if (editor->QueryInterface(IID_IWMHeaderInfo3, info.PutVoid()) < 0) return editor->Close(), false;
    ReadAllAttributes(info.get());
    Bytes before = ReadAll(Workspace::Get().input);
    for (const Change& change : changes) {
        uint16_t count = 0, language = change.language;
        if (info->GetAttributeIndices(0, change.name, &language, nullptr, &count) < 0) continue;
        std::vector<uint16_t> indices(count);
        if (count && info->GetAttributeIndices(0, change.name, &language, indices.data(), &count) < 0) continue;
        const uint8_t* value = change.value.data();
        uint32_t size = uint32_t(change.value.size());
        HRESULT hr = change.value.empty() ? (count ? info->DeleteAttribute(0, indices[0]) : -1)
                     : count ? info->ModifyAttribute(0, indices[0], change.type, change.language, value, size)
                             : info->AddAttribute(0, change.name, nullptr, change.type, change.language, value, size);
        if (hr >= 0) taken.push_back(&change);
    }
    HRESULT flushed = editor->Flush();
    editor->Close();
    Workspace::Get().CheckNothingLeft("a flush left a file behind");
    if (flushed < 0) Check(ReadAll(Workspace::Get().input) == before, "a failed flush changed the file");
    return flushed >= 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto& workspace = Workspace::Get();
    workspace.WriteInput(data, size);
    std::u16string path(workspace.input.begin(), workspace.input.end());
    // A fresh reader on the input, then after each flush on what it wrote.
    for (int round = 0; round <= 2; ++round) {
        std::vector<const Change*> taken;
        if (round > 0 && !EditAndFlush(path, kRounds[round - 1], taken)) break;
        ComPtr<IWMSyncReader> reader;
        ComPtr<IWMHeaderInfo> info;
        bool opened = WMCreateSyncReader(nullptr, 0, reader.Put()) >= 0 && reader->Open(path.c_str()) >= 0;
        Check(opened || round == 0, "a flushed file does not open");
        if (!opened) continue;
        bool hasInfo = reader->QueryInterface(IID_IWMHeaderInfo, info.PutVoid()) >= 0;
        Check(hasInfo || round == 0, "no header info");
        if (hasInfo) ReadAllAttributes(info.get(), taken);
        reader->Close();
    }
    return 0;
}
