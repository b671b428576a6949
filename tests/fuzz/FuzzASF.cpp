// The ASF engine on its own, as the Windows Media code drives it: read the
// attributes, change them (in place and by growing the header), flush,
// reopen and read back; then shrink and flush again. A failed flush must
// leave the file byte for byte as it was.
#include <optional>
#include <string>
#include <vector>

#include "asf/WMRuntime.h"
#include "fuzz/FuzzSupport.h"

namespace {

using namespace zm::asf;
using zm::fuzz::Bytes;
using zm::fuzz::Check;
using zm::fuzz::Workspace;

// The runtime's computed attributes and the stored ones the reader asks for.
const char16_t* const kReadNames[] = {
    u"Title", u"Author", u"Copyright", u"Description", u"Rating", u"WM/AlbumTitle", u"WM/TrackNumber",
    u"WM/Genre", u"WM/Year", u"WM/EncodingTime", u"WM/Picture", u"Duration", u"Bitrate", u"Seekable",
    u"Stridable", u"Broadcast", u"HasAudio", u"HasVideo", u"HasImage", u"HasScript", u"Is_Protected",
    u"Is_Trusted", u"CurrentBitrate", u"OptimalBitrate"};

struct Change {
    const char16_t* name;
    WMT_ATTR_DATATYPE type;
    Bytes value;          // empty: delete the first attribute of the name
    uint16_t language = 0;
};

Bytes Text(const std::u16string& text) {
    Bytes bytes;
    for (char16_t unit : text) {
        bytes.push_back(uint8_t(unit));
        bytes.push_back(uint8_t(unit >> 8));
    }
    bytes.insert(bytes.end(), {0, 0});
    return bytes;
}

const std::vector<Change> kGrow = {
    {u"Title", WMT_TYPE_STRING, Text(u"Fuzz title")},
    {u"WM/AlbumTitle", WMT_TYPE_STRING, Text(std::u16string(600, u'a'))},
    {u"WM/TrackNumber", WMT_TYPE_DWORD, {9, 0, 0, 0}},
    {u"WM/Composer", WMT_TYPE_STRING, Text(u"Library composer"), 1},
    {u"Description", WMT_TYPE_STRING, {}},
};

const std::vector<Change> kShrink = {
    {u"WM/AlbumTitle", WMT_TYPE_STRING, Text(u"a")},
    {u"Title", WMT_TYPE_STRING, {}},
};

std::u16string Widen(const std::string& path) { return std::u16string(path.begin(), path.end()); }

// The value of an attribute as a reader sees it; nullopt when it is absent
// or the header cannot be read.
std::optional<Bytes> Read(IWMHeaderInfo* info, const char16_t* name) {
    uint16_t stream = 0, length = 0;
    WMT_ATTR_DATATYPE type;
    if (info->GetAttributeByName(&stream, name, &type, nullptr, &length) < 0) return std::nullopt;
    Bytes value(length);
    uint16_t room = length;
    if (info->GetAttributeByName(&stream, name, &type, value.data(), &room) < 0) return std::nullopt;
    Check(room <= length, "an attribute grew between two reads");
    value.resize(room);
    return value;
}

void ReadEverything(IWMHeaderInfo* info) {
    for (const char16_t* name : kReadNames) Read(info, name);
}

// Applies the changes; returns those the editor took.
std::vector<const Change*> Apply(IWMHeaderInfo3* info, const std::vector<Change>& changes) {
    std::vector<const Change*> taken;
    for (const Change& change : changes) {
        uint16_t count = 0, language = change.language;
        if (info->GetAttributeIndices(0, change.name, &language, nullptr, &count) < 0) continue;
        std::vector<uint16_t> indices(count);
        if (count && info->GetAttributeIndices(0, change.name, &language, indices.data(), &count) < 0) continue;
        HRESULT hr;
        if (change.value.empty())
            hr = count ? info->DeleteAttribute(0, indices[0]) : -1;
        else if (count)
            hr = info->ModifyAttribute(0, indices[0], change.type, change.language, change.value.data(),
                                       uint32_t(change.value.size()));
        else
            hr = info->AddAttribute(0, change.name, nullptr, change.type, change.language, change.value.data(),
                                    uint32_t(change.value.size()));
        if (hr >= 0) taken.push_back(&change);
    }
    return taken;
}

// One editing round: open, change, flush, close. False when nothing was
// flushed.
bool EditAndFlush(const std::u16string& path, const std::vector<Change>& changes, std::vector<const Change*>& taken) {
    ComPtr<IWMMetadataEditor> editor;
    if (WMCreateEditor(editor.Put()) < 0 || editor->Open(path.c_str()) < 0) return false;
    ComPtr<IWMHeaderInfo3> info;
    if (editor->QueryInterface(IID_IWMHeaderInfo3, info.PutVoid()) < 0) {
        editor->Close();
        return false;
    }
    ReadEverything(info.get());
    Bytes before = zm::fuzz::ReadAll(Workspace::Get().Input());
    taken = Apply(info.get(), changes);
    HRESULT flushed = editor->Flush();
    editor->Close();
    auto left = Workspace::Get().Leftovers();
    Check(left.empty(), "a flush left a file behind", left.empty() ? "" : left.front());
    if (flushed < 0)
        Check(zm::fuzz::ReadAll(Workspace::Get().Input()) == before, "a failed flush changed the file");
    return flushed >= 0;
}

// A fresh reader sees what the editor flushed; the stored values of Title
// and the album live in one place each, so the first one read is ours.
void CheckFlushed(const std::u16string& path, const std::vector<const Change*>& taken) {
    ComPtr<IWMSyncReader> reader;
    Check(WMCreateSyncReader(nullptr, 0, reader.Put()) >= 0, "no reader");
    Check(reader->Open(path.c_str()) >= 0, "a flushed file does not open");
    ComPtr<IWMHeaderInfo> info;
    Check(reader->QueryInterface(IID_IWMHeaderInfo, info.PutVoid()) >= 0, "no header info");
    ReadEverything(info.get());
    for (const Change* change : taken) {
        if (change->language != 0) continue;
        auto value = Read(info.get(), change->name);
        if (change->value.empty() || !value) continue;
        std::string name(change->name, change->name + std::char_traits<char16_t>::length(change->name));
        Check(*value == change->value, "a flushed value does not read back", name);
    }
    reader->Close();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto& workspace = Workspace::Get();
    workspace.WriteInput(data, size);
    std::u16string path = Widen(workspace.Input());
    {
        ComPtr<IWMSyncReader> reader;
        if (WMCreateSyncReader(nullptr, 0, reader.Put()) >= 0 && reader->Open(path.c_str()) >= 0) {
            ComPtr<IWMHeaderInfo> info;
            if (reader->QueryInterface(IID_IWMHeaderInfo, info.PutVoid()) >= 0) ReadEverything(info.get());
            reader->Close();
        }
    }
    for (const auto* changes : {&kGrow, &kShrink}) {
        std::vector<const Change*> taken;
        if (!EditAndFlush(path, *changes, taken)) break;
        CheckFlushed(path, taken);
    }
    return 0;
}
