// The attribute writer: the name table, what one field's value does to the
// file's attributes, writing all fields back, text to values and messages.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>

#include "WMFiles.h"
#include "wm/WMFieldNames.h"
#include "wm/WMReader.h"
#include "wm/WMWriter.h"

namespace zm::test::wm {
namespace {

using namespace zm::wm;
using zm::asf::WMT_TYPE_BINARY;
using zm::asf::WMT_TYPE_BOOL;
using zm::asf::WMT_TYPE_DWORD;
using zm::asf::WMT_TYPE_QWORD;
using zm::asf::WMT_TYPE_STRING;
using zm::asf::WMT_TYPE_WORD;

// A record whose field id holds text (with its terminator) in a value buffer.
struct Edited {
    std::unique_ptr<MDRecord> record;
    WMState state;
};

void SetField(Edited& e, int id, const std::string& text, int size) {
    e.state.values[id].Allocate(kValueSize);
    std::memcpy(e.state.values[id].data(), text.c_str(), text.size() + 1);
    e.record->fields[id].data = e.state.values[id].data();
    e.record->fields[id].size = size;
}

HRESULT WriteOne(const std::string& path, int id, const std::string& text, int size) {
    Edited e{RecordFor(path), {}};
    SetField(e, id, text, size);
    return WriteWMIntoFile(*e.record, id);
}

std::vector<std::string> Texts(const std::string& path, const std::u16string& name) {
    std::vector<std::string> texts;
    for (const Stored& a : Attributes(path, name)) {
        EXPECT_EQ(a.type, WMT_TYPE_STRING);
        std::string text;
        for (size_t i = 0; i + 1 < a.value.size() && a.value[i]; i += 2) text += char(a.value[i]);
        texts.push_back(text);
    }
    return texts;
}

TEST(WMWriterTest, NameTableHoldsEachFieldsAttributeInAZeroFilledSlot) {
    ASSERT_EQ(WMFieldNames.size(), 17u);
    for (int id = 0; id <= kFieldCount; ++id) {
        std::string name = WMAttributeNameOf(id);
        const char16_t* slot = WMFieldNames[size_t(id)].name;
        EXPECT_EQ(std::u16string(slot), Wide(name));
        for (size_t i = name.size(); i < kNameSlot; ++i) ASSERT_EQ(slot[i], 0);
    }
    EXPECT_STREQ(WMAttributeNameOf(1), "Title");
    EXPECT_STREQ(WMAttributeNameOf(2), "EMPTY");
    EXPECT_STREQ(WMAttributeNameOf(6), "WM/TrackNumber");
    EXPECT_STREQ(WMAttributeNameOf(16), "Copyright");
    EXPECT_EQ(WMAttributeNameOf(17), nullptr);
    EXPECT_EQ(WMAttributeNameOf(-1), nullptr);
}

TEST(WMWriterTest, OneFieldIsModifiedAddedOrDeletedAsText) {
    TempDir dir;
    std::string path = CopyOfBase(dir);
    Store(path, {{u"WM/Genre", WMT_TYPE_STRING, Utf16("Rock")},
                 {u"WM/Genre", WMT_TYPE_STRING, Utf16("Pop")},
                 {u"WM/Genre", WMT_TYPE_STRING, Utf16("Jazz")},
                 {u"WM/Year", WMT_TYPE_DWORD, Number(1999, 4)},
                 {u"WM/Composer", WMT_TYPE_STRING, Utf16("Bach")}});
    // A year added, then changed in place; a number rewritten as text.
    EXPECT_EQ(WriteOne(path, 3, "2001", 5), 0);
    EXPECT_EQ(Texts(path, u"WM/OriginalReleaseYear"), std::vector<std::string>{"2001"});
    EXPECT_EQ(WriteOne(path, 3, "2002", 5), 0);
    EXPECT_EQ(Texts(path, u"WM/OriginalReleaseYear"), std::vector<std::string>{"2002"});
    EXPECT_EQ(WriteOne(path, 5, "1998", 5), 0);
    EXPECT_EQ(Texts(path, u"WM/Year"), std::vector<std::string>{"1998"});
    // Only the first of three is changed.
    EXPECT_EQ(WriteOne(path, 7, "Blues", 6), 0);
    EXPECT_EQ(Texts(path, u"WM/Genre"), (std::vector<std::string>{"Blues", "Pop", "Jazz"}));
    // Empty text deletes the first of its name, or adds an empty one.
    EXPECT_EQ(WriteOne(path, 9, "", 1), 0);
    EXPECT_TRUE(Attributes(path, u"WM/Composer").empty());
    EXPECT_EQ(WriteOne(path, 8, "", 1), 0);
    EXPECT_EQ(Texts(path, u"WM/Publisher"), std::vector<std::string>{""});
    // Field 2 has no attribute of its own.
    EXPECT_EQ(WriteOne(path, 2, "01:02:03:004", 13), 0);
    EXPECT_EQ(Texts(path, u"EMPTY"), std::vector<std::string>{"01:02:03:004"});
}

TEST(WMWriterTest, AFieldWithoutValueChangesNothing) {
    TempDir dir;
    std::string path = CopyOfBase(dir);
    Bytes before = ReadFile(path);
    EXPECT_EQ(WriteOne(path, 1, "ignored", 0), 0);
    EXPECT_EQ(ReadFile(path), before);
    auto record = RecordFor(path);
    EXPECT_EQ(uint32_t(WriteWMIntoFile(*record, 17)), 0x80070057u);
    EXPECT_EQ(ReadFile(path), before);
}

// Reading and writing every field back turns numbers into the text the
// reader made of them and leaves the encoding time alone.
TEST(WMWriterTest, WritingAllFieldsAfterReadingStoresTheirText) {
    TempDir dir;
    std::string path = CopyOfBase(dir);
    Store(path, {{u"Title", WMT_TYPE_STRING, Utf16("Song")},
                 {u"WM/TrackNumber", WMT_TYPE_DWORD, Number(12, 4)},
                 {u"WM/EncodingTime", WMT_TYPE_QWORD, Number(126'227'808'000'000'000, 8)}});
    auto record = RecordFor(path);
    WMState state;
    ASSERT_EQ(ReadWMFromFile(*record, state, path.c_str(), nullptr), 0);
    ASSERT_EQ(WriteWMIntoFile(*record, 0), 0);
    EXPECT_EQ(Texts(path, u"Title"), std::vector<std::string>{"Song"});
    EXPECT_EQ(Texts(path, u"WM/TrackNumber"), std::vector<std::string>{"12\n"});
    EXPECT_TRUE(Attributes(path, u"EMPTY").empty());
    EXPECT_TRUE(Attributes(path, u"WM/Genre").empty());
}

TEST(WMWriterTest, OpeningTheEditorRefusesMissingPathsAndFiles) {
    zm::asf::ComPtr<zm::asf::IWMMetadataEditor> editor;
    zm::asf::ComPtr<zm::asf::IWMHeaderInfo3> info;
    EXPECT_EQ(uint32_t(OpenWMEditor(nullptr, editor.Put(), info.Put())), 0x80070057u);
    EXPECT_EQ(uint32_t(OpenWMEditor(u"x.wma", nullptr, info.Put())), 0x80070057u);
    EXPECT_LT(OpenWMEditor(u"/nonexistent/x.wma", editor.Put(), info.Put()), 0);
    EXPECT_FALSE(info);
    auto record = std::make_unique<MDRecord>();
    std::strcpy(record->filePath, "/nonexistent/x.wma");
    EXPECT_LT(WriteWMIntoFile(*record, 0), 0);
}

TEST(WMWriterTest, TextBecomesNumbersTheWayTheRuntimeLibraryReadsThem) {
    constexpr int32_t kMax = std::numeric_limits<int32_t>::max(), kMin = std::numeric_limits<int32_t>::min();
    struct Case {
        const char16_t* text;
        int32_t value;
    } cases[] = {{u"42", 42},         {u" \t\n42abc", 42},   {u"-7", -7},          {u"+5", 5},
                 {u"abc", 0},         {u"", 0},              {u"- 3", 0},          {u"2147483647", kMax},
                 {u"2147483648", kMax}, {u"-2147483648", kMin}, {u"-99999999999", kMin}};
    for (const Case& c : cases) EXPECT_EQ(WideToInt(c.text), c.value) << std::u16string(c.text).size();
    EXPECT_EQ(WideToInt64(u"9223372036854775807"), std::numeric_limits<int64_t>::max());
    EXPECT_EQ(WideToInt64(u"99999999999999999999"), std::numeric_limits<int64_t>::max());
    EXPECT_EQ(WideToInt64(u"-9223372036854775808"), std::numeric_limits<int64_t>::min());
    EXPECT_EQ(WideToInt64(u"-123456789012"), -123456789012);
    EXPECT_EQ(WideToInt(nullptr), 0);
}

TEST(WMWriterTest, TypedValuesFromTextAndTheMessagesOnStandardOutput) {
    TempDir dir;
    std::string path = CopyOfBase(dir);
    zm::asf::ComPtr<zm::asf::IWMMetadataEditor> editor;
    zm::asf::ComPtr<zm::asf::IWMHeaderInfo3> info;
    ASSERT_EQ(OpenWMEditor(Wide(path).c_str(), editor.Put(), info.Put()), 0);
    struct Case {
        const char16_t* name;
        zm::asf::WMT_ATTR_DATATYPE type;
        const char16_t* text;
        Bytes stored;
    } cases[] = {
        {u"A/Dword", WMT_TYPE_DWORD, u" 42x", Number(42, 4)},
        {u"A/Bool", WMT_TYPE_BOOL, u"1", Number(1, 4)},
        {u"A/Qword", WMT_TYPE_QWORD, u"-2", Number(uint64_t(-2), 8)},
        {u"A/Word", WMT_TYPE_WORD, u"70000", Number(70000 & 0xFFFF, 2)},
        {u"A/Text", WMT_TYPE_STRING, u"hi", Utf16("hi")},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(SetWMAttribute(info.get(), 0, c.name, c.type, c.text, 0), 0);
        ASSERT_EQ(SetWMAttribute(info.get(), 0, c.name, c.type, c.text, 0), 0);  // now modified
    }
    EXPECT_EQ(uint32_t(AddWMAttribute(info.get(), 0, nullptr, WMT_TYPE_STRING, u"x", 0)), 0x80070057u);
    EXPECT_EQ(uint32_t(AddWMAttribute(info.get(), 0, u"A/X", WMT_TYPE_STRING, nullptr, 0)), 0x80070057u);

    ASSERT_EQ(SetWMAttribute(info.get(), 0, u"A/Binary", WMT_TYPE_STRING, u"text", 0), 0);
    IndexList indices;
    uint16_t count = 0;
    ASSERT_EQ(FindWMAttribute(info.get(), 0, u"A/Binary", 0, &indices, &count), 0);
    ASSERT_EQ(count, 1);

    testing::internal::CaptureStdout();
    EXPECT_EQ(ModifyWMAttribute(info.get(), 0, indices[0], WMT_TYPE_BINARY, u"ignored", 0), 0);
    HRESULT deleted = DeleteWMAttribute(info.get(), 0, 999);
    std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_LT(deleted, 0);
    char expected[200];
    std::snprintf(expected, sizeof expected,
                  "Unsupported data type for SetAttribute\n"
                  "DeleteAttribute failed for stream = 0 and index = 999 ( hr=0x%08x ).\n",
                  unsigned(deleted));
    EXPECT_EQ(printed, expected);
    ASSERT_GE(editor->Flush(), 0);
    editor->Close();
    for (const Case& c : cases) {
        std::vector<Stored> found = Attributes(path, c.name);
        ASSERT_EQ(found.size(), 1u);
        EXPECT_EQ(found[0].type, c.type);
        EXPECT_EQ(Hex(found[0].value), Hex(c.stored));
    }
    std::vector<Stored> binary = Attributes(path, u"A/Binary");
    ASSERT_EQ(binary.size(), 1u);
    EXPECT_EQ(binary[0].type, WMT_TYPE_BINARY);
    EXPECT_TRUE(binary[0].value.empty());
}

}  // namespace
}  // namespace zm::test::wm
