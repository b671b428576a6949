// The attribute reader: what each field of a Windows Media record receives,
// which stored types fail the read, and the text and time conversions.
#include <gtest/gtest.h>

#include <cstring>

#include "../asf/AsfFiles.h"
#include "wm/WMReader.h"
#include "wm/WMTime.h"

namespace zm::test::wm {
namespace {

using namespace zm::wm;
using namespace zm::test::asf;

constexpr uint16_t kText = 0, kDword = 3, kQword = 4, kWord = 5;  // the descriptors' type codes
constexpr uint64_t kTicksPerSecond = 10'000'000;
constexpr uint64_t kMidnight2001 = 126'227'808'000'000'000;  // 1 January 2001 UTC

Bytes FileWith(const std::vector<Entry>& entries) {
    return AsfFile({FileProperties(), StreamProperties(zm::asf::kAudioMedia), ExtendedContent(entries)});
}

struct Read {
    HRESULT hr = ZMTAGIO_E_FAIL;
    MDRecord record{};
    WMState state;
    MDRecord* out = nullptr;
};

std::unique_ptr<Read> ReadFrom(const std::string& path) {
    auto r = std::make_unique<Read>();
    r->hr = ReadWMFromFile(r->record, r->state, path.c_str(), &r->out);
    return r;
}

std::unique_ptr<Read> ReadFrom(const TempDir& dir, const Bytes& file) {
    WriteFile(dir.File("r.wma"), file);
    return ReadFrom(dir.File("r.wma"));
}

// The record is packed: its pointers are read by value, never bound to references.
const uint8_t* DataOf(const MDRecord& record, int id) { return record.fields[id].data; }
std::string FieldText(const MDRecord& record, int id) {
    return DataOf(record, id) ? reinterpret_cast<const char*>(DataOf(record, id)) : "";
}

TEST(WMReaderTest, AFileWithoutListedAttributesGetsEmptyFieldsAndMidnight) {
    TempDir dir;
    auto r = ReadFrom(dir, FileWith({{u"WM/EncodingSettings", kText, Wide(u"Lavf")}}));
    ASSERT_EQ(r->hr, 0);
    EXPECT_EQ(r->out, &r->record);
    for (int id = 1; id <= kFieldCount; ++id) {
        ASSERT_EQ(DataOf(r->record, id), r->state.values[id].data()) << id;
        EXPECT_EQ(r->state.values[id].size(), size_t(kValueSize)) << id;
        EXPECT_EQ(r->record.fields[id].size, 0) << id;
        EXPECT_EQ(FieldText(r->record, id), id == 2 ? "00:00:00:000" : "") << id;
    }
}

TEST(WMReaderTest, EachFieldReceivesItsAttributeAsAnsiText) {
    std::string album;
    for (int i = 0; i < 400; ++i) album += char('a' + i % 26);
    TempDir dir;
    auto r = ReadFrom(dir, AsfFile({FileProperties(), ContentDescription({u"Caf\u00e9", u"Ann", u"", u"", u""}),
                                    ExtendedContent({
                                        {u"Description", kText, Wide(u"")},
                                        {u"WM/Year", kText, Wide(u"2001")},
                                        {u"WM/AlbumTitle", kText, Wide(std::u16string(album.begin(), album.end()))},
                                        {u"WM/EncodingTime", kQword,
                                         Le(kMidnight2001 + (7 * 3600 + 8 * 60 + 9) * kTicksPerSecond + 100'000, 8)},
                                        {u"WM/Track", kWord, Le(3, 2)},
                                        {u"Signature_Name", kDword, Le(1, 4)},  // harmless: the file is not trusted
                                    })}));
    ASSERT_EQ(r->hr, 0);
    struct Row {
        int id;
        std::string text;
        int size;
    } rows[] = {
        {1, "Caf\xe9", 5}, {14, "Ann", 4}, {10, "", 0}, {5, "2001", 5}, {13, album.substr(0, 299), 300},
        {2, "07:08:09:010", 0},  // shown, never written back unless changed
    };
    for (const Row& row : rows) {
        EXPECT_EQ(FieldText(r->record, row.id), row.text) << row.id;
        EXPECT_EQ(r->record.fields[row.id].size, row.size) << row.id;
    }
}

TEST(WMReaderTest, TrackNumberStoredAsTextOrAsANumber) {
    struct Case {
        Entry stored;
        std::string text;
    } cases[] = {{{u"WM/TrackNumber", kText, Wide(u"12")}, "12"},
                 {{u"WM/TrackNumber", kDword, Le(12, 4)}, "12\n"},
                 {{u"WM/TrackNumber", kWord, Le(0xFFFF, 2)}, "65535\n"},
                 {{u"WM/TrackNumber", kDword, Le(0xFFFFFFFF, 4)}, "-1\n"}};
    TempDir dir;
    for (const Case& c : cases) {
        auto r = ReadFrom(dir, FileWith({c.stored}));
        ASSERT_EQ(r->hr, 0);
        EXPECT_EQ(FieldText(r->record, 6), c.text);
        EXPECT_EQ(r->record.fields[6].size, int(c.text.size() + 1));
    }
}

TEST(WMReaderTest, ATextAttributeStoredAsANumberFailsTheWholeRead) {
    TempDir dir;
    for (const char16_t* name : {u"WM/Year", u"WM/Director", u"Title"}) {
        auto r = ReadFrom(dir, FileWith({{u"WM/Genre", kText, Wide(u"Rock")}, {name, kDword, Le(2001, 4)}}));
        EXPECT_EQ(uint32_t(r->hr), 0x80070057u);
        EXPECT_EQ(r->out, nullptr);
        for (int id = 1; id <= kFieldCount; ++id) {
            EXPECT_EQ(DataOf(r->record, id), nullptr);
            EXPECT_EQ(r->record.fields[id].size, 0);
        }
    }
}

TEST(WMReaderTest, UnreadableFilesAndLongPathsFailBeforeAnythingIsFilled) {
    TempDir dir;
    WriteFile(dir.File("x.wma"), ToBytes("not a Windows Media file at all, just text"));
    for (const std::string& path : {dir.File("x.wma"), dir.File("missing.wma")}) {
        auto r = ReadFrom(path);
        EXPECT_LT(r->hr, 0) << path;
        EXPECT_EQ(DataOf(r->record, 1), nullptr);
    }
    EXPECT_EQ(uint32_t(ReadFrom(dir.File(std::string(270, 'n') + ".wma"))->hr), 0x80004005u);
}

// What the typed lookup leaves in a destination wider or narrower than the
// stored value.
TEST(WMReaderTest, TypedLookupWritesOnlyTheStoredWidthIntoTheDestination) {
    TempDir dir;
    WriteFile(dir.File("t.wma"), FileWith({{u"A/Word", kWord, Le(0xBEEF, 2)},
                                           {u"A/Qword", kQword, Le(0x1122334455667788, 8)},
                                           {u"A/Text", kText, Wide(u"99")}}));
    auto reader = OpenReader(dir.File("t.wma"));
    ASSERT_GE(reader.hr, 0);
    struct Case {
        const char16_t* name;
        uint32_t expected;
    } cases[] = {{u"A/Word", 0xAAAABEEF}, {u"A/Qword", 0x55667788}, {u"A/Text", 0xAAAAAAAA}, {u"A/None", 0xAAAAAAAA}};
    for (const Case& c : cases) {
        uint32_t destination = 0xAAAAAAAA;
        EXPECT_GE(GetWMAttribute(reader.info.get(), c.name, {reinterpret_cast<uint8_t*>(&destination), 4}, 0), 0);
        EXPECT_EQ(destination, c.expected);
    }
    CWMString text;
    EXPECT_EQ(uint32_t(GetWMStringAttribute(reader.info.get(), u"A/Word", text, 0)), 0x80070057u);
    char buffer[4] = "xyz";
    EXPECT_EQ(text.CopyToAnsi(buffer, 4), 0);  // still no text
}

TEST(WMReaderTest, FileTimesBecomeCalendarTimes) {
    struct Case {
        uint64_t fileTime;
        SystemTime expected;
    } cases[] = {
        {0, {1601, 1, 1, 1, 0, 0, 0, 0}},
        {116'444'736'000'000'000, {1970, 1, 4, 1, 0, 0, 0, 0}},
        {kMidnight2001 - 1, {2000, 12, 0, 31, 23, 59, 59, 999}},
        {125'962'560'000'000'000 + 12'345'678, {2000, 2, 2, 29, 0, 0, 1, 234}},
        {0x7FFFFFFFFFFFFFFF, {30828, 9, 4, 14, 2, 48, 5, 477}},
    };
    for (const Case& c : cases) {
        SystemTime t{};
        ASSERT_TRUE(FileTimeToSystemTime(c.fileTime, t)) << c.fileTime;
        EXPECT_EQ(std::memcmp(&t, &c.expected, sizeof t), 0)
            << c.fileTime << ": " << t.year << "-" << t.month << "-" << t.day << " (" << t.dayOfWeek << ") " << t.hour
            << ":" << t.minute << ":" << t.second << "." << t.milliseconds;
    }
    SystemTime t{};
    EXPECT_FALSE(FileTimeToSystemTime(uint64_t(1) << 63, t));
}

}  // namespace
}  // namespace zm::test::wm
