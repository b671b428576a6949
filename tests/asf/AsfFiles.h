// Hand-made ASF files for the engine's tests: each object built from its
// fields, a header around them and a Data Object with a recognisable payload.
#pragma once

#include <string>
#include <vector>

#include "asf/WMRuntime.h"
#include "asf/ObjectGuids.h"
#include "support/TestSupport.h"

namespace zm::test::asf {

using zm::asf::ObjectGuid;

inline void Put(Bytes& out, uint64_t value, int width) {
    for (int i = 0; i < width; ++i) out.push_back(uint8_t(value >> (8 * i)));
}
inline Bytes Le(uint64_t value, int width) {
    Bytes out;
    Put(out, value, width);
    return out;
}
inline void Put(Bytes& out, const Bytes& bytes) { out.insert(out.end(), bytes.begin(), bytes.end()); }
inline void Put(Bytes& out, const ObjectGuid& guid) { out.insert(out.end(), guid.begin(), guid.end()); }

// UTF-16LE with the terminating zero.
inline Bytes Wide(const std::u16string& text) {
    Bytes out;
    for (char16_t c : text) Put(out, c, 2);
    Put(out, 0, 2);
    return out;
}

inline Bytes Object(const ObjectGuid& guid, const Bytes& body) {
    Bytes out(guid.begin(), guid.end());
    Put(out, 24 + body.size(), 8);
    Put(out, body);
    return out;
}

struct FileFacts {
    uint64_t playDuration = 40'000'000;  // 100 ns
    uint64_t preroll = 3000;             // ms
    uint32_t flags = 2;                  // seekable
    uint32_t maxBitrate = 64000;
};

inline Bytes FileProperties(const FileFacts& facts = {}) {
    Bytes body(16, 0xF1);  // file id
    Put(body, 0, 8);       // file size, set by the file builder
    Put(body, 0, 8);       // creation date
    Put(body, 5, 8);       // packets
    Put(body, facts.playDuration, 8);
    Put(body, facts.playDuration, 8);  // send duration
    Put(body, facts.preroll, 8);
    Put(body, facts.flags, 4);
    Put(body, 3200, 4);
    Put(body, 3200, 4);
    Put(body, facts.maxBitrate, 4);
    return Object(zm::asf::kFileProperties, body);
}

inline Bytes StreamProperties(const ObjectGuid& type, uint16_t number = 1) {
    Bytes body;
    Put(body, type);
    Put(body, ObjectGuid{});  // error correction type
    Put(body, 0, 8);
    Put(body, 4, 4);  // type-specific data
    Put(body, 2, 4);  // error correction data
    Put(body, number, 2);
    Put(body, 0, 4);
    Put(body, Bytes{1, 2, 3, 4, 5, 6});
    return Object(zm::asf::kStreamProperties, body);
}

// Title, Author, Copyright, Description, Rating; an empty text is left out.
inline Bytes ContentDescription(const std::vector<std::u16string>& texts) {
    Bytes lengths, data;
    for (const auto& text : texts) {
        Bytes wide = text.empty() ? Bytes{} : Wide(text);
        Put(lengths, wide.size(), 2);
        Put(data, wide);
    }
    Put(lengths, data);
    return Object(zm::asf::kContentDescription, lengths);
}

struct Entry {
    std::u16string name;
    uint16_t code;  // the object's type code
    Bytes value;
    uint16_t stream = 0;
    uint16_t language = 0;
};

inline Bytes ExtendedContent(const std::vector<Entry>& entries) {
    Bytes body;
    Put(body, entries.size(), 2);
    for (const Entry& e : entries) {
        Bytes name = Wide(e.name);
        Put(body, name.size(), 2);
        Put(body, name);
        Put(body, e.code, 2);
        Put(body, e.value.size(), 2);
        Put(body, e.value);
    }
    return Object(zm::asf::kExtendedContentDescription, body);
}

// Metadata (no languages) or Metadata Library.
inline Bytes MetadataList(const ObjectGuid& guid, const std::vector<Entry>& entries) {
    Bytes body;
    Put(body, entries.size(), 2);
    for (const Entry& e : entries) {
        Bytes name = Wide(e.name);
        Put(body, e.language, 2);
        Put(body, e.stream, 2);
        Put(body, name.size(), 2);
        Put(body, e.code, 2);
        Put(body, e.value.size(), 4);
        Put(body, name);
        Put(body, e.value);
    }
    return Object(guid, body);
}

inline Bytes HeaderExtension(const std::vector<Bytes>& children) {
    Bytes data;
    for (const Bytes& child : children) Put(data, child);
    Bytes body;
    Put(body, zm::asf::kHeaderExtensionReserved);
    Put(body, 6, 2);
    Put(body, data.size(), 4);
    Put(body, data);
    return Object(zm::asf::kHeaderExtension, body);
}

inline Bytes Padding(size_t size) { return Object(zm::asf::kPadding, Bytes(size - 24, 0)); }

// An object no part of the engine knows, to be kept byte for byte.
inline Bytes Unknown() {
    return Object(zm::asf::ParseGuid("12345678-9ABC-DEF0-1234-56789ABCDEF0"), ToBytes("kept as it is"));
}

inline Bytes Payload() {
    Bytes payload;
    for (int i = 0; i < 777; ++i) payload.push_back(uint8_t(i * 7));
    return payload;
}

// A header around children, then a Data Object and an index behind it. The
// File Properties' file size is made right.
inline Bytes AsfFile(const std::vector<Bytes>& children) {
    Bytes header(zm::asf::kHeaderObject.begin(), zm::asf::kHeaderObject.end());
    size_t size = 30;
    for (const Bytes& child : children) size += child.size();
    Put(header, size, 8);
    Put(header, children.size(), 4);
    Put(header, Bytes{1, 2});
    for (const Bytes& child : children) Put(header, child);
    Bytes data(16, 0xF1);
    Put(data, 5, 8);
    Put(data, 0x0101, 2);
    Put(data, Payload());
    Bytes file = header;
    Put(file, Object(zm::asf::kDataObject, data));
    Put(file, Object(zm::asf::ParseGuid("33000890-E5B1-11CF-89F4-00A0C90349CB"), ToBytes("index")));
    for (size_t at = 30; at < size;) {
        uint64_t objectSize = platform::LoadLE64(file.data() + at + 16);
        if (std::equal(zm::asf::kFileProperties.begin(), zm::asf::kFileProperties.end(), file.begin() + long(at)))
            platform::StoreLE64(file.data() + at + 40, file.size());
        at += objectSize;
    }
    return file;
}

inline std::u16string WidePath(const std::string& path) { return std::u16string(path.begin(), path.end()); }

// An editor (or a reader) opened on a file, with its header interface.
template <typename Role>
struct Opened {
    zm::asf::ComPtr<Role> object;
    zm::asf::ComPtr<zm::asf::IWMHeaderInfo3> info;
    HRESULT hr = ZMTAGIO_E_FAIL;
};

inline HRESULT Create(zm::asf::IWMSyncReader** reader) { return zm::asf::WMCreateSyncReader(nullptr, 0, reader); }
inline HRESULT Create(zm::asf::IWMMetadataEditor** editor) { return zm::asf::WMCreateEditor(editor); }

template <typename Role>
Opened<Role> OpenAs(const std::string& path) {
    Opened<Role> o;
    if ((o.hr = Create(o.object.Put())) >= 0 && (o.hr = o.object->Open(WidePath(path).c_str())) >= 0)
        o.hr = o.object->QueryInterface(zm::asf::IID_IWMHeaderInfo3, o.info.PutVoid());
    return o;
}
inline auto OpenEditor(const std::string& path) { return OpenAs<zm::asf::IWMMetadataEditor>(path); }
inline auto OpenReader(const std::string& path) { return OpenAs<zm::asf::IWMSyncReader>(path); }

struct Value {
    HRESULT hr;
    zm::asf::WMT_ATTR_DATATYPE type;
    Bytes bytes;
};

inline Value Get(zm::asf::IWMHeaderInfo* info, const std::u16string& name, uint16_t stream = 0) {
    Value v{0, zm::asf::WMT_TYPE_BINARY, {}};
    uint16_t length = 0xAAAA;
    v.hr = info->GetAttributeByName(&stream, name.c_str(), &v.type, nullptr, &length);
    if (v.hr < 0) {
        v.bytes.assign(length, 0xEE);  // the length the call reported
        return v;
    }
    v.bytes.assign(length, 0);
    v.hr = info->GetAttributeByName(&stream, name.c_str(), &v.type, v.bytes.data(), &length);
    return v;
}

inline std::vector<uint16_t> Indices(zm::asf::IWMHeaderInfo3* info, const std::u16string& name,
                                     uint16_t* language = nullptr) {
    uint16_t count = 0;
    if (info->GetAttributeIndices(0, name.c_str(), language, nullptr, &count) < 0) return {};
    std::vector<uint16_t> indices(count);
    if (count && info->GetAttributeIndices(0, name.c_str(), language, indices.data(), &count) < 0) return {};
    return indices;
}

inline HRESULT AddText(zm::asf::IWMHeaderInfo3* info, const std::u16string& name, const std::u16string& text,
                       uint16_t language = 0) {
    Bytes value = Wide(text);
    return info->AddAttribute(0, name.c_str(), nullptr, zm::asf::WMT_TYPE_STRING, language, value.data(),
                              uint32_t(value.size()));
}

inline HRESULT ModifyText(zm::asf::IWMHeaderInfo3* info, uint16_t index, const std::u16string& text) {
    Bytes value = Wide(text);
    return info->ModifyAttribute(0, index, zm::asf::WMT_TYPE_STRING, 0, value.data(), uint32_t(value.size()));
}

}  // namespace zm::test::asf
