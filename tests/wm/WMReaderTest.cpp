// The attribute reader: what each field of a Windows Media record receives,
// which stored types fail the read, and the text and time conversions.
#include <gtest/gtest.h>

#include <cstring>

#include "WMFiles.h"
#include "wm/WMReader.h"
#include "wm/WMTime.h"

namespace zm::test::wm {
namespace {

using namespace zm::wm;
using zm::asf::WMT_TYPE_DWORD;
using zm::asf::WMT_TYPE_QWORD;
using zm::asf::WMT_TYPE_STRING;
using zm::asf::WMT_TYPE_WORD;

constexpr uint64_t kTicksPerSecond = 10'000'000;
constexpr uint64_t kMidnight2001 = 126'227'808'000'000'000;  // 1 January 2001 UTC

struct Read {
    HRESULT hr;
    std::unique_ptr<MDRecord> record;
    WMState state;
    MDRecord* out = nullptr;
};

std::unique_ptr<Read> ReadFrom(const std::string& path) {
    auto r = std::make_unique<Read>();
    r->record = RecordFor(path);
    r->hr = ReadWMFromFile(*r->record, r->state, path.c_str(), &r->out);
    return r;
}

TEST(WMReaderTest, AFileWithoutListedAttributesGetsEmptyFieldsAndMidnight) {
    TempDir dir;
    auto r = ReadFrom(CopyOfBase(dir));
    ASSERT_EQ(r->hr, 0);
    EXPECT_EQ(r->out, r->record.get());
    for (int id = 1; id <= kFieldCount; ++id) {
        ASSERT_NE(DataOf(*r->record, id), nullptr) << id;
        EXPECT_EQ(DataOf(*r->record, id), r->state.values[id].data()) << id;
        EXPECT_EQ(r->state.values[id].size(), size_t(kValueSize)) << id;
        EXPECT_EQ(r->record->fields[id].size, 0) << id;
        EXPECT_EQ(FieldText(*r->record, id), id == 2 ? "00:00:00:000" : "") << id;
    }
}

TEST(WMReaderTest, EachFieldReceivesItsAttributeAsAnsiText) {
    TempDir dir;
    std::string path = CopyOfBase(dir);
    std::string album(400, 'a');
    for (size_t i = 0; i < album.size(); ++i) album[i] = char('a' + i % 26);
    Store(path, {
                    {u"Title", WMT_TYPE_STRING, Utf16("Caf\xe9")},
                    {u"Author", WMT_TYPE_STRING, Utf16("Ann")},
                    {u"Description", WMT_TYPE_STRING, Utf16("")},
                    {u"WM/Year", WMT_TYPE_STRING, Utf16("2001")},
                    {u"WM/TrackNumber", WMT_TYPE_DWORD, Number(12, 4)},
                    {u"WM/AlbumTitle", WMT_TYPE_STRING, Utf16(album)},
                    {u"WM/EncodingTime", WMT_TYPE_QWORD,
                     Number(kMidnight2001 + (7 * 3600 + 8 * 60 + 9) * kTicksPerSecond + 10 * 10'000, 8)},
                    {u"WM/Track", WMT_TYPE_WORD, Number(3, 2)},
                    {u"Signature_Name", WMT_TYPE_DWORD, Number(1, 4)},  // harmless: the file is not trusted
                });
    auto r = ReadFrom(path);
    ASSERT_EQ(r->hr, 0);
    const MDRecord& record = *r->record;
    struct Row {
        int id;
        std::string text;
        int size;
    } rows[] = {
        {1, "Caf\xe9", 5},  {14, "Ann", 4}, {10, "", 0}, {5, "2001", 5},
        {6, "12\n", 4},  // a number stored for the track number
        {13, album.substr(0, 299), 300},
        {2, "07:08:09:010", 0},  // shown, never written back unless changed
    };
    for (const Row& row : rows) {
        EXPECT_EQ(FieldText(record, row.id), row.text) << row.id;
        EXPECT_EQ(record.fields[row.id].size, row.size) << row.id;
    }
}

TEST(WMReaderTest, TrackNumberStoredAsTextKeepsItsDigitsAlone) {
    TempDir dir;
    std::string path = CopyOfBase(dir);
    Store(path, {{u"WM/TrackNumber", WMT_TYPE_STRING, Utf16("12")}});
    auto r = ReadFrom(path);
    ASSERT_EQ(r->hr, 0);
    EXPECT_EQ(FieldText(*r->record, 6), "12");
    EXPECT_EQ(r->record->fields[6].size, 3);
}

TEST(WMReaderTest, ATextAttributeStoredAsANumberFailsTheWholeRead) {
    for (const char16_t* name : {u"WM/Year", u"WM/Director", u"Title"}) {
        TempDir dir;
        std::string path = CopyOfBase(dir);
        Store(path, {{u"WM/Genre", WMT_TYPE_STRING, Utf16("Rock")}, {name, WMT_TYPE_DWORD, Number(2001, 4)}});
        auto r = ReadFrom(path);
        EXPECT_EQ(uint32_t(r->hr), 0x80070057u);
        EXPECT_EQ(r->out, nullptr);
        for (int id = 1; id <= kFieldCount; ++id) {
            EXPECT_EQ(DataOf(*r->record, id), nullptr);
            EXPECT_EQ(r->record->fields[id].size, 0);
        }
    }
}

TEST(WMReaderTest, UnreadableFilesAndLongPathsFailBeforeAnythingIsFilled) {
    TempDir dir;
    std::string notAsf = dir.File("x.wma");
    WriteFile(notAsf, ToBytes("not a Windows Media file at all, just text"));
    std::string longPath = dir.File(std::string(270, 'n') + ".wma");
    for (const std::string& path : {notAsf, dir.File("missing.wma")}) {
        auto r = ReadFrom(path);
        EXPECT_LT(r->hr, 0) << path;
        EXPECT_EQ(DataOf(*r->record, 1), nullptr);
    }
    auto record = std::make_unique<MDRecord>();
    WMState state;
    EXPECT_EQ(uint32_t(ReadWMFromFile(*record, state, longPath.c_str(), nullptr)), 0x80004005u);
}

// What the typed lookup leaves in a destination wider or narrower than the
// stored value.
TEST(WMReaderTest, TypedLookupWritesOnlyTheStoredWidthIntoTheDestination) {
    TempDir dir;
    std::string path = CopyOfBase(dir);
    Store(path, {{u"A/Word", WMT_TYPE_WORD, Number(0xBEEF, 2)},
                 {u"A/Qword", WMT_TYPE_QWORD, Number(0x1122334455667788, 8)},
                 {u"A/Text", WMT_TYPE_STRING, Utf16("99")}});
    zm::asf::ComPtr<zm::asf::IWMSyncReader> reader;
    zm::asf::ComPtr<zm::asf::IWMHeaderInfo> info;
    ASSERT_GE(zm::asf::WMCreateSyncReader(nullptr, 0, reader.Put()), 0);
    ASSERT_GE(reader->Open(Wide(path).c_str()), 0);
    ASSERT_GE(reader->QueryInterface(zm::asf::IID_IWMHeaderInfo, info.PutVoid()), 0);
    struct Case {
        const char16_t* name;
        uint32_t expected;
    } cases[] = {{u"A/Word", 0xAAAABEEF}, {u"A/Qword", 0x55667788}, {u"A/Text", 0xAAAAAAAA}, {u"A/None", 0xAAAAAAAA}};
    for (const Case& c : cases) {
        uint32_t destination = 0xAAAAAAAA;
        EXPECT_GE(GetWMAttribute(info.get(), c.name, {reinterpret_cast<uint8_t*>(&destination), 4}, 0), 0);
        EXPECT_EQ(destination, c.expected);
    }
    CWMString text;
    EXPECT_EQ(uint32_t(GetWMStringAttribute(info.get(), u"A/Word", text, 0)), 0x80070057u);
    EXPECT_EQ(text.Wide(), nullptr);
    reader->Close();
}

TEST(WMReaderTest, CopyToAnsiPlacesTextTerminatorAndCutsToTheBuffer) {
    CWMString text;
    char buffer[8];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(text.CopyToAnsi(buffer, 8), 0);  // no text
    EXPECT_EQ(Hex(reinterpret_cast<uint8_t*>(buffer), 8), "0000000000000000");
    ASSERT_EQ(text.SetFromAnsi("na\xefve"), 0);
    EXPECT_EQ(text.Wide()[2], u'\u00ef');
    EXPECT_EQ(text.CopyToAnsi(buffer, 8), 6);
    EXPECT_STREQ(buffer, "na\xefve");
    EXPECT_EQ(text.CopyToAnsi(buffer, 4), 4);
    EXPECT_EQ(std::string(buffer, 4), std::string("na\xef", 3) + '\0');
    ASSERT_EQ(text.SetFromAnsi(""), 0);
    EXPECT_EQ(text.CopyToAnsi(buffer, 8), 0);
    WideText wide;
    EXPECT_EQ(uint32_t(AnsiToWide(nullptr, &wide)), 0x80070057u);
    EXPECT_EQ(uint32_t(AnsiToWide("a", nullptr)), 0x80070057u);
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
