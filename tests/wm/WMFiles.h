// Windows Media files for the reader's and writer's tests: one small WMA made
// by ffmpeg per test program, copied for each test, with attributes of any
// type stored through the runtime's editor.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "asf/WMRuntime.h"
#include "support/TestSupport.h"
#include "wm/WM.h"

namespace zm::test::wm {

using zm::asf::WMT_ATTR_DATATYPE;

inline Bytes Utf16(const std::string& text) {
    Bytes out;
    for (unsigned char c : text) out.insert(out.end(), {c, 0});
    out.insert(out.end(), {0, 0});
    return out;
}

inline Bytes Number(uint64_t value, int width) {
    Bytes out;
    for (int i = 0; i < width; ++i) out.push_back(uint8_t(value >> (8 * i)));
    return out;
}

struct Stored {
    std::u16string name;
    WMT_ATTR_DATATYPE type;
    Bytes value;
};

inline std::u16string Wide(const std::string& text) { return std::u16string(text.begin(), text.end()); }

// Adds each attribute (another of the same name when there is one).
inline void Store(const std::string& path, const std::vector<Stored>& attributes) {
    zm::asf::ComPtr<zm::asf::IWMMetadataEditor> editor;
    zm::asf::ComPtr<zm::asf::IWMHeaderInfo3> info;
    ASSERT_GE(zm::asf::WMCreateEditor(editor.Put()), 0);
    ASSERT_GE(editor->Open(Wide(path).c_str()), 0);
    ASSERT_GE(editor->QueryInterface(zm::asf::IID_IWMHeaderInfo3, info.PutVoid()), 0);
    for (const Stored& a : attributes)
        ASSERT_GE(info->AddAttribute(0, a.name.c_str(), nullptr, a.type, 0, a.value.data(), uint32_t(a.value.size())), 0);
    ASSERT_GE(editor->Flush(), 0);
    editor->Close();
}

// Every stored attribute of the name, in order: type and bytes.
inline std::vector<Stored> Attributes(const std::string& path, const std::u16string& name) {
    zm::asf::ComPtr<zm::asf::IWMMetadataEditor> editor;
    zm::asf::ComPtr<zm::asf::IWMHeaderInfo3> info;
    std::vector<Stored> found;
    if (zm::asf::WMCreateEditor(editor.Put()) < 0 || editor->Open(Wide(path).c_str()) < 0 ||
        editor->QueryInterface(zm::asf::IID_IWMHeaderInfo3, info.PutVoid()) < 0)
        return found;
    uint16_t count = 0;
    info->GetAttributeIndices(0, name.c_str(), nullptr, nullptr, &count);
    // Each one read by deleting the ones before it from this unflushed copy.
    for (uint16_t i = 0; i < count; ++i) {
        uint16_t stream = 0, length = 0xFFFF;
        Stored a{name, zm::asf::WMT_TYPE_BINARY, Bytes(0xFFFF)};
        info->GetAttributeByName(&stream, name.c_str(), &a.type, a.value.data(), &length);
        a.value.resize(length);
        found.push_back(a);
        uint16_t indices[64], n = 64;
        info->GetAttributeIndices(0, name.c_str(), nullptr, indices, &n);
        info->DeleteAttribute(0, indices[0]);
    }
    editor->Close();
    return found;
}

// The test program's WMA, made once.
inline const std::string& BaseWma() {
    static TempDir dir;
    static std::string path = [] {
        std::string p = dir.File("base.wma");
        MakeWma(p, {}, 0.5);
        return p;
    }();
    return path;
}

// A fresh copy of the base WMA in dir.
inline std::string CopyOfBase(const TempDir& dir, const std::string& name = "t.wma") {
    std::string path = dir.File(name);
    WriteFile(path, ReadFile(BaseWma()));
    return path;
}

// A zeroed record for path, as MDInit prepares it.
inline std::unique_ptr<MDRecord> RecordFor(const std::string& path) {
    auto record = std::make_unique<MDRecord>();
    path.copy(record->filePath, sizeof record->filePath - 1);
    record->isASF = 1;
    return record;
}

// The record is packed: its pointers are read by value, never bound to references.
inline const uint8_t* DataOf(const MDRecord& record, int id) { return record.fields[id].data; }

inline std::string FieldText(const MDRecord& record, int id) {
    const MDField& f = record.fields[id];
    return f.data ? std::string(reinterpret_cast<const char*>(f.data)) : std::string();
}

}  // namespace zm::test::wm
