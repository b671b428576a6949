// The attribute writer: what one field's value does to the file's
// attributes, writing all fields back, text to values and the messages.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>

#include "../asf/AsfFiles.h"
#include "wm/WMFieldNames.h"
#include "wm/WMReader.h"
#include "wm/WMWriter.h"

namespace zm::test::wm {
namespace {

using namespace zm::wm;
using namespace zm::test::asf;
using zm::asf::WMT_ATTR_DATATYPE;

constexpr uint16_t kText = 0, kDword = 3, kQword = 4;  // the descriptors' type codes

// A record for path whose field id holds text in its value buffer.
struct Edited {
    MDRecord record{};
    WMState state;
};

HRESULT WriteOne(const std::string& path, int id, const std::string& text, int size) {
    auto e = std::make_unique<Edited>();
    path.copy(e->record.filePath, sizeof e->record.filePath - 1);
    e->state.values[id].Allocate(kValueSize);
    std::memcpy(e->state.values[id].data(), text.c_str(), text.size() + 1);
    e->record.fields[id].data = e->state.values[id].data();
    e->record.fields[id].size = size;
    return WriteWMIntoFile(e->record, id);
}

// The first attribute of the name and how many there are.
struct Found {
    Value first;
    size_t count;
};

Found Find(const std::string& path, const std::u16string& name) {
    auto reader = OpenReader(path);
    EXPECT_GE(reader.hr, 0);
    return {Get(reader.info.get(), name), Indices(reader.info.get(), name).size()};
}

void ExpectText(const std::string& path, const std::u16string& name, const std::u16string& text, size_t count = 1) {
    Found found = Find(path, name);
    EXPECT_EQ(found.first.type, zm::asf::WMT_TYPE_STRING) << std::string(name.begin(), name.end());
    EXPECT_EQ(Hex(found.first.bytes), Hex(Wide(text))) << std::string(name.begin(), name.end());
    EXPECT_EQ(found.count, count) << std::string(name.begin(), name.end());
}

TEST(WMWriterTest, OneFieldIsModifiedAddedOrDeletedAsText) {
    TempDir dir;
    std::string path = dir.File("w.wma");
    WriteFile(path, AsfFile({FileProperties(), ContentDescription({u"Old", u"", u"", u"", u""}),
                             ExtendedContent({{u"WM/Genre", kText, Wide(u"Rock")},
                                              {u"WM/Genre", kText, Wide(u"Pop")},
                                              {u"WM/Genre", kText, Wide(u"Jazz")},
                                              {u"WM/Year", kDword, Le(1999, 4)},
                                              {u"WM/Composer", kText, Wide(u"Bach")}})}));
    EXPECT_EQ(WriteOne(path, 3, "2001", 5), 0);  // added
    ExpectText(path, u"WM/OriginalReleaseYear", u"2001");
    EXPECT_EQ(WriteOne(path, 3, "2002", 5), 0);  // then changed in place
    ExpectText(path, u"WM/OriginalReleaseYear", u"2002");
    EXPECT_EQ(WriteOne(path, 5, "1998", 5), 0);  // a number rewritten as text
    ExpectText(path, u"WM/Year", u"1998");
    EXPECT_EQ(WriteOne(path, 1, "New", 4), 0);
    ExpectText(path, u"Title", u"New");
    EXPECT_EQ(WriteOne(path, 7, "Blues", 6), 0);  // only the first of three
    ExpectText(path, u"WM/Genre", u"Blues", 3);
    Bytes file = ReadFile(path);
    for (const Bytes& kept : {Wide(u"Pop"), Wide(u"Jazz")})
        EXPECT_NE(std::search(file.begin(), file.end(), kept.begin(), kept.end()), file.end());
    EXPECT_EQ(WriteOne(path, 9, "", 1), 0);  // empty text deletes
    EXPECT_EQ(Find(path, u"WM/Composer").count, 0u);
    EXPECT_EQ(WriteOne(path, 8, "", 1), 0);  // or adds an empty text
    ExpectText(path, u"WM/Publisher", u"");
    EXPECT_EQ(WriteOne(path, 2, "01:02:03:004", 13), 0);  // field 2 has no attribute of its own
    ExpectText(path, u"EMPTY", u"01:02:03:004");
    EXPECT_STREQ(WMAttributeNameOf(2), "EMPTY");
    EXPECT_EQ(WMAttributeNameOf(17), nullptr);
}

TEST(WMWriterTest, AFieldWithoutValueOrBeyondTheTableChangesNothing) {
    TempDir dir;
    std::string path = dir.File("n.wma");
    Bytes before = AsfFile({FileProperties(), ExtendedContent({{u"WM/Genre", kText, Wide(u"Rock")}})});
    WriteFile(path, before);
    EXPECT_EQ(WriteOne(path, 1, "ignored", 0), 0);
    auto record = std::make_unique<MDRecord>();
    path.copy(record->filePath, sizeof record->filePath - 1);
    EXPECT_EQ(uint32_t(WriteWMIntoFile(*record, 17)), 0x80070057u);
    EXPECT_EQ(uint32_t(WriteWMIntoFile(*record, -1)), 0x80070057u);
    EXPECT_EQ(ReadFile(path), before);
    std::strcpy(record->filePath, "/nonexistent/x.wma");
    EXPECT_LT(WriteWMIntoFile(*record, 0), 0);
}

// Reading and writing every field back turns numbers into the text the
// reader made of them and leaves the encoding time alone.
TEST(WMWriterTest, WritingAllFieldsAfterReadingStoresTheirText) {
    TempDir dir;
    std::string path = dir.File("a.wma");
    WriteFile(path, AsfFile({FileProperties(), ContentDescription({u"Song", u"", u"", u"", u""}),
                             ExtendedContent({{u"WM/TrackNumber", kDword, Le(12, 4)},
                                              {u"WM/EncodingTime", kQword, Le(126'227'808'000'000'000, 8)}})}));
    auto e = std::make_unique<Edited>();
    ASSERT_EQ(ReadWMFromFile(e->record, e->state, path.c_str(), nullptr), 0);
    path.copy(e->record.filePath, sizeof e->record.filePath - 1);
    ASSERT_EQ(WriteWMIntoFile(e->record, 0), 0);
    ExpectText(path, u"Title", u"Song");
    ExpectText(path, u"WM/TrackNumber", u"12\n");
    EXPECT_EQ(Find(path, u"EMPTY").count, 0u);
    EXPECT_EQ(Find(path, u"WM/Genre").count, 0u);
}

TEST(WMWriterTest, TextBecomesNumbersTheWayTheRuntimeLibraryReadsThem) {
    constexpr int32_t kMax = std::numeric_limits<int32_t>::max(), kMin = std::numeric_limits<int32_t>::min();
    struct Case {
        const char16_t* text;
        int32_t value;
    } cases[] = {{u"42", 42},  {u" \t\n42abc", 42}, {u"-7", -7},           {u"+5", 5},
                 {u"abc", 0},  {u"", 0},           {u"- 3", 0},           {u"2147483647", kMax},
                 {u"2147483648", kMax}, {u"-2147483648", kMin}, {u"-99999999999", kMin}};
    for (const Case& c : cases) EXPECT_EQ(WideToInt(c.text), c.value) << c.value;
    EXPECT_EQ(WideToInt64(u"99999999999999999999"), std::numeric_limits<int64_t>::max());
    EXPECT_EQ(WideToInt64(u"-9223372036854775808"), std::numeric_limits<int64_t>::min());
    EXPECT_EQ(WideToInt64(u"-123456789012"), -123456789012);
}

TEST(WMWriterTest, TypedValuesFromTextAndTheMessagesOnStandardOutput) {
    TempDir dir;
    std::string path = dir.File("t.wma");
    WriteFile(path, AsfFile({FileProperties()}));
    zm::asf::ComPtr<zm::asf::IWMMetadataEditor> editor;
    zm::asf::ComPtr<zm::asf::IWMHeaderInfo3> info;
    ASSERT_EQ(OpenWMEditor(WidePath(path).c_str(), editor.Put(), info.Put()), 0);
    struct Case {
        const char16_t* name;
        WMT_ATTR_DATATYPE type;
        const char16_t* text;
        Bytes stored;
    } cases[] = {
        {u"A/Dword", zm::asf::WMT_TYPE_DWORD, u" 42x", Le(42, 4)},
        {u"A/Bool", zm::asf::WMT_TYPE_BOOL, u"1", Le(1, 4)},
        {u"A/Qword", zm::asf::WMT_TYPE_QWORD, u"-2", Le(uint64_t(-2), 8)},
        {u"A/Word", zm::asf::WMT_TYPE_WORD, u"70000", Le(70000 & 0xFFFF, 2)},
        {u"A/Text", zm::asf::WMT_TYPE_STRING, u"hi", Wide(u"hi")},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(SetWMAttribute(info.get(), 0, c.name, c.type, c.text, 0), 0);  // added
        ASSERT_EQ(SetWMAttribute(info.get(), 0, c.name, c.type, c.text, 0), 0);  // modified
    }
    EXPECT_EQ(uint32_t(AddWMAttribute(info.get(), 0, nullptr, zm::asf::WMT_TYPE_STRING, u"x", 0)), 0x80070057u);
    EXPECT_EQ(uint32_t(AddWMAttribute(info.get(), 0, u"A/X", zm::asf::WMT_TYPE_STRING, nullptr, 0)), 0x80070057u);
    ASSERT_EQ(SetWMAttribute(info.get(), 0, u"A/Binary", zm::asf::WMT_TYPE_STRING, u"text", 0), 0);
    IndexList indices;
    uint16_t count = 0;
    ASSERT_EQ(FindWMAttribute(info.get(), 0, u"A/Binary", 0, &indices, &count), 0);
    ASSERT_EQ(count, 1);

    testing::internal::CaptureStdout();
    EXPECT_EQ(ModifyWMAttribute(info.get(), 0, indices[0], zm::asf::WMT_TYPE_BINARY, u"ignored", 0), 0);
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
        Found found = Find(path, c.name);
        EXPECT_EQ(found.count, 1u);
        EXPECT_EQ(found.first.type, c.type);
        EXPECT_EQ(Hex(found.first.bytes), Hex(c.stored));
    }
    Found binary = Find(path, u"A/Binary");
    EXPECT_EQ(binary.first.type, zm::asf::WMT_TYPE_BINARY);
    EXPECT_TRUE(binary.first.bytes.empty());
}

}  // namespace
}  // namespace zm::test::wm
