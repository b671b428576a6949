// Windows Media record fields: what the reader fills them with and when it
// fills nothing, what writing fields does to the file's attributes, and the
// writer's messages. (Every field is written as text: no number conversion
// reaches a file.)
#include <gtest/gtest.h>

#include <cstring>
#include <map>

#include "../asf/AsfFiles.h"
#include "wm/WMReader.h"
#include "wm/WMWriter.h"

namespace zm::test::wm {
namespace {

using namespace zm::wm;
using namespace zm::test::asf;

constexpr uint16_t kText = 0, kDword = 3, kQword = 4, kWord = 5;  // the descriptors' type codes
constexpr uint64_t kMidnight2001 = 126'227'808'000'000'000;      // 1 January 2001 UTC, in 100 ns

struct Record {
    MDRecord record{};
    WMState state;
    MDRecord* out = nullptr;
    // The record is packed: its pointers are read by value, never bound to references.
    const uint8_t* Data(int id) const { return record.fields[id].data; }
};
std::unique_ptr<Record> Read(const std::string& path, HRESULT* hr) {
    auto r = std::make_unique<Record>();
    zm::platform::File file = zm::platform::File::Open(path.c_str(), zm::platform::File::Mode::Read);
    *hr = ReadWMFromFile(r->record, r->state, path.c_str(), file, &r->out);
    return r;
}

// Every field gets its own value buffer and its attribute as text of the host
// code page (UTF-8) cut to whole characters within the buffer, its size
// counting the terminator; the encoding time is shown with size 0, never
// written back unless changed. A text attribute stored as a number fails the
// whole read, which fills nothing; one too long for the 16-bit lookup gives
// its start and is marked cut.
TEST(WMReaderTest, EachFieldReceivesItsAttributeAsHostTextInItsOwnBuffer) {
    std::u16string album, euros, url = u"http://example.org/" + std::u16string(70000, u'u');
    for (int i = 0; i < 400; ++i) album += char16_t('a' + i % 26);
    for (int i = 0; i < 200; ++i) euros += u"a\u20AC";  // 1 and 3 bytes: 297 of 299 bytes are whole characters
    std::string eurosCut;
    for (int i = 0; i < 74; ++i) eurosCut += "a\xE2\x82\xAC";
    // The fields not listed are empty, field 2 midnight.
    struct Case {
        std::vector<Entry> entries;
        std::map<int, std::pair<std::string, int>> fields;
        uint32_t hr = 0;
        std::vector<Entry> library = {};  // a Metadata Library's, whose lengths are 32-bit
        uint32_t cut = 0;
    };
    Case cases[] = {
        {{{u"WM/EncodingSettings", kText, Wide(u"Lavf")}}, {}},
        {{{u"Description", kText, Wide(u"")}, {u"WM/Year", kText, Wide(u"2001")},
          {u"WM/AlbumTitle", kText, Wide(album)}, {u"WM/Track", kWord, Le(3, 2)},
          {u"WM/EncodingTime", kQword, Le(kMidnight2001 + (7 * 3600 + 8 * 60 + 9) * 10'000'000ull + 100'000, 8)},
          {u"Signature_Name", kDword, Le(1, 4)}},  // harmless: the file is not trusted
         {{1, {"Caf\xc3\xa9", 6}}, {14, {"Ann", 4}}, {5, {"2001", 5}}, {2, {"07:08:09:010", 0}},
          {13, {std::string(album.begin(), album.begin() + 299), 300}}}},
        {{{u"WM/Composer", kText, Wide(euros)}, {u"WM/Genre", kText, Wide(u"\u041F\u0435\u0441\u043D\u044F \U0001F3B5")}},
         {{9, {eurosCut + "a", 300}}, {7, {"\xD0\x9F\xD0\xB5\xD1\x81\xD0\xBD\xD1\x8F \xF0\x9F\x8E\xB5", 16}}}},
        {{{u"WM/Genre", kText, Wide(u"Rock")}},
         {{7, {"Rock", 5}}, {12, {Narrow(url.substr(0, 299)), 300}}},
         0,
         {{u"WM/AlbumCoverURL", kText, Wide(url)}, {u"WM/EncodingTime", 1 /* binary */, Bytes(70000, 7)}},
         1u << 12},
        {{}, {}, 0x80070057, {{u"WM/AlbumTitle", 1 /* binary */, Bytes(70000, 7)}}},
        {{{u"WM/EncodingTime", kQword, Le(kMidnight2001 - 1, 8)}}, {{2, {"23:59:59:999", 0}}}},
        {{{u"WM/EncodingTime", kQword, Le(0x7FFFFFFFFFFFFFFF, 8)}}, {{2, {"02:48:05:477", 0}}}},
        {{{u"WM/EncodingTime", kQword, Le(1ull << 63, 8)}}, {{2, {"", 0}}}},  // beyond the calendar
        {{{u"WM/TrackNumber", kText, Wide(u"12")}}, {{6, {"12", 3}}}},
        {{{u"WM/TrackNumber", kDword, Le(12, 4)}}, {{6, {"12\n", 4}}}},
        {{{u"WM/TrackNumber", kWord, Le(0xFFFF, 2)}}, {{6, {"65535\n", 7}}}},
        {{{u"WM/TrackNumber", kDword, Le(0xFFFFFFFF, 4)}}, {{6, {"-1\n", 4}}}},
        {{{u"WM/Genre", kText, Wide(u"Rock")}, {u"WM/Year", kDword, Le(2001, 4)}}, {}, 0x80070057},
        {{{u"WM/Genre", kText, Wide(u"Rock")}, {u"WM/Director", kDword, Le(2001, 4)}}, {}, 0x80070057},
        {{{u"WM/Genre", kText, Wide(u"Rock")}, {u"Title", kDword, Le(2001, 4)}}, {}, 0x80070057},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(&c - cases);
        std::vector<Bytes> children = {FileProperties(), StreamProperties(kAudioMedia), ExtendedContent(c.entries)};
        if (c.fields.count(1)) children.push_back(ContentDescription({u"Caf\u00e9", u"Ann", u"", u"", u""}));
        if (!c.library.empty()) children.push_back(HeaderExtension({MetadataList(kMetadataLibrary, c.library)}));
        WriteFile(dir.File("r.wma"), AsfFile(children));
        HRESULT hr;
        auto r = Read(dir.File("r.wma"), &hr);
        ASSERT_EQ(uint32_t(hr), c.hr);
        EXPECT_EQ(r->out, c.hr ? nullptr : &r->record);
        for (int id = 1; id <= kFieldCount; ++id) {
            auto [text, size] = c.fields.count(id) ? c.fields.at(id)
                                                   : std::pair<std::string, int>{id == 2 ? "00:00:00:000" : "", 0};
            ASSERT_EQ(r->Data(id), c.hr ? nullptr : r->state.Value(id)) << id;
            EXPECT_EQ(r->Data(id) ? reinterpret_cast<const char*>(r->Data(id)) : "", c.hr ? "" : text) << id;
            EXPECT_EQ(r->record.fields[id].size, size) << id;
        }
        EXPECT_EQ(r->state.cutFields, c.cut);
    }
}

// Writes text (with its terminator, or size bytes of it) as field id of a record for path.
HRESULT WriteOne(const std::string& path, int id, const std::string& text, int size = -1) {
    auto r = std::make_unique<Record>();
    r->state.values.Allocate(kFieldCount * kValueSize);
    std::memcpy(r->state.Value(id), text.c_str(), text.size() + 1);
    r->record.fields[id].data = r->state.Value(id);
    r->record.fields[id].size = size < 0 ? int(text.size() + 1) : size;
    return WriteWMIntoFile(r->record, r->state, path.c_str(), id);
}

// How many attributes of the name there are; the first is the text.
void ExpectText(const std::string& path, const std::u16string& name, const std::string& text, size_t count = 1) {
    SCOPED_TRACE(Narrow(name));
    auto reader = OpenReader(path);
    ASSERT_GE(reader.hr, 0);
    ASSERT_EQ(Indices(reader.info.get(), name).size(), count);
    if (count == 0) return;
    Value first = Get(reader.info.get(), name);
    EXPECT_EQ(first.type, WMT_TYPE_STRING);
    EXPECT_EQ(Hex(first.bytes), Hex(Wide(Widen(text))));
}

TEST(WMWriterTest, FieldsAreModifiedAddedOrDeletedAsText) {
    const Bytes url = Wide(u"http://example.org/" + std::u16string(70000, u'u'));  // read in part
    TempDir dir;
    std::string path = dir.File("w.wma");
    WriteFile(path, AsfFile({FileProperties(), ContentDescription({u"Old", u"", u"", u"", u""}),
                             ExtendedContent({{u"WM/Genre", kText, Wide(u"Rock")}, {u"WM/Genre", kText, Wide(u"Pop")},
                                              {u"WM/Genre", kText, Wide(u"Jazz")}, {u"WM/Year", kDword, Le(1999, 4)},
                                              {u"WM/Composer", kText, Wide(u"Bach")},
                                              {u"WM/TrackNumber", kDword, Le(12, 4)},
                                              {u"WM/EncodingTime", kQword, Le(kMidnight2001, 8)}}),
                             HeaderExtension({MetadataList(kMetadataLibrary, {{u"WM/AlbumCoverURL", kText, url}})})}));
    struct Step { int id; std::string text; std::u16string name; size_t count; } steps[] = {
        {3, "2001", u"WM/OriginalReleaseYear", 1},  // added
        {3, "2002", u"WM/OriginalReleaseYear", 1},  // then changed in place
        {5, "1998", u"WM/Year", 1},                 // a number rewritten as text
        {1, "New", u"Title", 1},
        {7, "Blues", u"WM/Genre", 3},      // only the first of three
        {9, "", u"WM/Composer", 0},        // empty text deletes
        {8, "", u"WM/Publisher", 1},       // or adds an empty text
        {2, "01:02:03:004", u"EMPTY", 1},  // field 2 has no attribute of its own
    };
    for (const Step& step : steps) {
        EXPECT_EQ(WriteOne(path, step.id, step.text), 0) << step.id;
        ExpectText(path, step.name, step.text, step.count);
    }
    Bytes file = ReadFile(path);
    for (auto kept : {u"Pop", u"Jazz"}) EXPECT_NE(Find(file, Wide(kept)), file.size()) << Narrow(kept);
    // A field without a value, or beyond the table, changes nothing.
    EXPECT_EQ(WriteOne(path, 1, "ignored", 0), 0);
    auto record = std::make_unique<MDRecord>();
    WMState state;
    EXPECT_EQ(uint32_t(WriteWMIntoFile(*record, state, path.c_str(), 17)), 0x80070057u);
    EXPECT_EQ(uint32_t(WriteWMIntoFile(*record, state, path.c_str(), -1)), 0x80070057u);
    EXPECT_EQ(ReadFile(path), file);
    EXPECT_LT(WriteWMIntoFile(*record, state, "/nonexistent/x.wma", 0), 0);
    // Reading and writing every field back turns numbers into the text the
    // reader made of them, leaves the encoding time and a value read in part
    // alone and adds nothing.
    HRESULT hr;
    auto r = Read(path, &hr);
    ASSERT_EQ(hr, 0);
    ASSERT_EQ(WriteWMIntoFile(r->record, r->state, path.c_str(), 0), 0);
    ExpectText(path, u"WM/TrackNumber", "12\n");
    ExpectText(path, u"EMPTY", "01:02:03:004");
    ExpectText(path, u"WM/Composer", "", 0);
    ExpectText(path, u"WM/Genre", "Blues", 3);
    EXPECT_NE(Find(ReadFile(path), url), ReadFile(path).size());
}

// The two messages, verbatim; a type without a text form still reaches the
// runtime, with no value.
TEST(WMWriterTest, MessagesOnStandardOutput) {
    TempDir dir;
    std::string path = dir.File("t.wma");
    WriteFile(path, AsfFile({FileProperties(), ExtendedContent({{u"A/Binary", kText, Wide(u"text")}})}));
    ComPtr<IWMMetadataEditor> editor;
    ComPtr<IWMHeaderInfo3> info;
    ASSERT_EQ(OpenWMEditor(Widen(path).c_str(), editor.Put(), info.Put()), 0);
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
    Value binary = Get(OpenReader(path).info.get(), u"A/Binary");
    EXPECT_EQ(binary.type, WMT_TYPE_BINARY);
    EXPECT_TRUE(binary.bytes.empty());
}

}  // namespace
}  // namespace zm::test::wm
