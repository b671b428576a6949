// Hand-made ASF files for the engine's tests, each object built from its
// fields, and the reader and editor handles that open them.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "asf/ObjectGuids.h"
#include "asf/WMRuntime.h"
#include "support/TestSupport.h"

namespace zm::test::asf {

using namespace zm::asf;

inline Bytes Cat(const std::vector<Bytes>& parts) {
    Bytes out;
    for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}
inline Bytes G(const ObjectGuid& guid) { return Bytes(guid.begin(), guid.end()); }
// UTF-16LE with the terminating zero.
inline Bytes Wide(const std::u16string& text) {
    Bytes out;
    for (char16_t c : text + u'\0') out.insert(out.end(), {uint8_t(c), uint8_t(c >> 8)});
    return out;
}
inline Bytes Object(const ObjectGuid& guid, const Bytes& body) { return Cat({G(guid), Le(24 + body.size(), 8), body}); }
// Where needle first starts in haystack; its size when nowhere.
inline size_t Find(const Bytes& haystack, const Bytes& needle) {
    return size_t(std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) - haystack.begin());
}

// Play duration in 100 ns, preroll in ms, flags 2: seekable. AsfFile sets the file size.
inline Bytes FileProperties(uint64_t play = 40'000'000, uint64_t preroll = 3000, uint32_t flags = 2,
                            uint32_t maxBitrate = 64000) {
    return Object(kFileProperties, Cat({Bytes(16, 0xF1), Bytes(16, 0), Le(5, 8), Le(play, 8), Le(play, 8),
                                        Le(preroll, 8), Le(flags, 4), Le(3200, 4), Le(3200, 4), Le(maxBitrate, 4)}));
}
inline Bytes StreamProperties(const ObjectGuid& type, uint16_t number = 1) {
    return Object(kStreamProperties, Cat({G(type), G({}), Le(0, 8), Le(4, 4), Le(2, 4), Le(number, 2), Le(0, 4),
                                          {1, 2, 3, 4, 5, 6}}));
}
// Title, Author, Copyright, Description, Rating; an empty text is left out.
inline Bytes ContentDescription(const std::vector<std::u16string>& texts) {
    Bytes lengths, data;
    for (const auto& text : texts) {
        Bytes wide = text.empty() ? Bytes{} : Wide(text);
        lengths = Cat({lengths, Le(wide.size(), 2)}), data = Cat({data, wide});
    }
    return Object(kContentDescription, Cat({lengths, data}));
}

// An attribute of a descriptor list; code is the list's type code.
struct Entry { std::u16string name; uint16_t code; Bytes value; uint16_t stream = 0, language = 0; };
inline Bytes ExtendedContent(const std::vector<Entry>& entries) {
    Bytes body = Le(entries.size(), 2);
    for (const Entry& e : entries)
        body = Cat({body, Le(Wide(e.name).size(), 2), Wide(e.name), Le(e.code, 2), Le(e.value.size(), 2), e.value});
    return Object(kExtendedContentDescription, body);
}
// Metadata or Metadata Library.
inline Bytes MetadataList(const ObjectGuid& guid, const std::vector<Entry>& entries) {
    Bytes body = Le(entries.size(), 2);
    for (const Entry& e : entries)
        body = Cat({body, Le(e.language, 2), Le(e.stream, 2), Le(Wide(e.name).size(), 2), Le(e.code, 2),
                    Le(e.value.size(), 4), Wide(e.name), e.value});
    return Object(guid, body);
}
inline Bytes HeaderExtension(const std::vector<Bytes>& children) {
    Bytes data = Cat(children);
    return Object(kHeaderExtension, Cat({G(kHeaderExtensionReserved), Le(6, 2), Le(data.size(), 4), data}));
}
inline Bytes Padding(size_t size) { return Object(kPadding, Bytes(size - 24, 0)); }
// An object no part of the engine knows, to be kept byte for byte.
inline Bytes Unknown() { return Object(ParseGuid("12345678-9ABC-DEF0-1234-56789ABCDEF0"), ToBytes("kept as it is")); }

// A header around children, then a Data Object and an index.
inline Bytes AsfFile(const std::vector<Bytes>& children) {
    Bytes header = Cat({Le(children.size(), 4), {1, 2}, Cat(children)});
    Bytes data = Cat({Bytes(16, 0xF1), Le(5, 8), Le(0x0101, 2)});
    for (int i = 0; i < 777; ++i) data.push_back(uint8_t(i * 7));
    Bytes file = Cat({G(kHeaderObject), Le(24 + header.size(), 8), header, Object(kDataObject, data),
                      Object(ParseGuid("33000890-E5B1-11CF-89F4-00A0C90349CB"), ToBytes("index"))});
    if (size_t at = Find(file, G(kFileProperties)); at + 48 <= file.size())
        platform::StoreLE64(file.data() + at + 40, file.size());
    return file;
}

// ASCII text in UTF-16, and back.
inline std::u16string Widen(const std::string& text) { return std::u16string(text.begin(), text.end()); }
inline std::string Narrow(std::u16string_view text) { return std::string(text.begin(), text.end()); }

// An editor or a reader opened on a file, with its header interface.
template <typename Role>
struct Opened { ComPtr<Role> object; ComPtr<IWMHeaderInfo3> info; HRESULT hr = ZMTAGIO_E_FAIL; };
template <typename Role, typename Create>
Opened<Role> OpenWith(Create create, const std::string& path) {
    Opened<Role> o;
    if ((o.hr = create(o.object.Put())) >= 0 && (o.hr = o.object->Open(Widen(path).c_str())) >= 0)
        o.hr = o.object->QueryInterface(IID_IWMHeaderInfo3, o.info.PutVoid());
    return o;
}
inline auto OpenEditor(const std::string& path) { return OpenWith<IWMMetadataEditor>(WMCreateEditor, path); }
inline auto OpenReader(const std::string& path) {
    return OpenWith<IWMSyncReader>([](IWMSyncReader** r) { return WMCreateSyncReader(nullptr, 0, r); }, path);
}

// After a failure, bytes holds as many bytes as the length reported.
struct Value { HRESULT hr; WMT_ATTR_DATATYPE type; Bytes bytes; };
inline Value Get(IWMHeaderInfo* info, const std::u16string& name, uint16_t stream = 0) {
    Value v{0, WMT_TYPE_BINARY, {}};
    uint16_t length = 0xAAAA;
    v.hr = info->GetAttributeByName(&stream, name.c_str(), &v.type, nullptr, &length);
    v.bytes.assign(length, 0xEE);
    if (v.hr >= 0) v.hr = info->GetAttributeByName(&stream, name.c_str(), &v.type, v.bytes.data(), &length);
    return v;
}
inline std::vector<uint16_t> Indices(IWMHeaderInfo3* info, const std::u16string& name, uint16_t* language = nullptr) {
    uint16_t count = 0;
    if (info->GetAttributeIndices(0, name.c_str(), language, nullptr, &count) < 0) return {};
    std::vector<uint16_t> indices(count);
    if (count && info->GetAttributeIndices(0, name.c_str(), language, indices.data(), &count) < 0) return {};
    return indices;
}
inline HRESULT AddText(IWMHeaderInfo3* info, const std::u16string& name, const std::u16string& text,
                       uint16_t language = 0) {
    Bytes value = Wide(text);
    return info->AddAttribute(0, name.c_str(), nullptr, WMT_TYPE_STRING, language, value.data(),
                              uint32_t(value.size()));
}
inline HRESULT ModifyText(IWMHeaderInfo3* info, uint16_t index, const std::u16string& text) {
    Bytes value = Wide(text);
    return info->ModifyAttribute(0, index, WMT_TYPE_STRING, 0, value.data(), uint32_t(value.size()));
}

}  // namespace zm::test::asf
