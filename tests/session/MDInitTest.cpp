// Opening files: results, flags and trace lines of MDInit that do not depend
// on a tag format, and the record layout hosts rely on.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstddef>
#include <cstdio>

#include "platform/Trace.h"
#include "support/Session.h"
#include "support/TestSupport.h"

namespace zm {
namespace {

using test::Bytes;
using test::Session;
using test::TempDir;

TEST(RecordLayoutTest, MembersSitWhereHostsReadThem) {
    constexpr size_t widen = sizeof(void*) - 4;
    EXPECT_EQ(offsetof(MDRecord, hasID3v1), 264u);
    EXPECT_EQ(offsetof(MDRecord, isASF), 276u);
    EXPECT_EQ(offsetof(MDRecord, presetWords), 344u);
    EXPECT_EQ(offsetof(MDRecord, fields), 420u);
    EXPECT_EQ(offsetof(MDRecord, tagBuffer), 6180u + 120 * widen);
    EXPECT_EQ(offsetof(MDRecord, id3v2Version), 6184u + 121 * widen);
    EXPECT_EQ(offsetof(MDRecord, id3v2Flags), 6186u + 121 * widen);
    EXPECT_EQ(sizeof(MDRecord), 6220u + 121 * widen);
    EXPECT_EQ(offsetof(MDField, data), 4u);
    EXPECT_EQ(offsetof(MDField, frameId), 8u + widen);
    EXPECT_EQ(offsetof(MDField, frameFlags), 14u + widen);
    EXPECT_EQ(sizeof(MDField), 48u + widen);
}

// Collects the trace lines written while it lives.
class TraceCapture {
public:
    TraceCapture() : file_(tmpfile()) { platform::SetTrace(true, fileno(file_)); }
    ~TraceCapture() {
        platform::SetTrace(false, -1);
        fclose(file_);
    }
    std::string Text() {
        fflush(file_);
        std::string text;
        rewind(file_);
        for (int c; (c = fgetc(file_)) != EOF;) text += char(c);
        return text;
    }

private:
    FILE* file_;
};

bool AllZero(const void* p, size_t n) {
    auto b = static_cast<const uint8_t*>(p);
    for (size_t i = 0; i < n; ++i)
        if (b[i]) return false;
    return true;
}

TEST(MDInitTest, MissingFileFailsAndLeavesOutAlone) {
    Session session;
    TraceCapture trace;
    MDRecord* out = reinterpret_cast<MDRecord*>(0x1);
    EXPECT_EQ(session.Open("/no/such/file.mp3", &out), ZMTAGIO_E_FAIL);
    EXPECT_EQ(out, reinterpret_cast<MDRecord*>(0x1));
    EXPECT_EQ(trace.Text(), "MDInit /no/such/file.mp3 \n");
}

TEST(MDInitTest, UntaggedFileGivesAnEmptyRecord) {
    TempDir dir;
    std::string path = dir.File("plain.bin");
    test::WriteFile(path, Bytes(5000, 0x55));
    Session session;
    TraceCapture trace;
    MDRecord* record = nullptr;
    ASSERT_EQ(session.Open(path, &record), ZMTAGIO_S_FALSE);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(trace.Text(), "MDInit " + path + " \nMDInit GetSize=0 \n");
    EXPECT_STREQ(record->filePath, path.c_str());
    EXPECT_EQ(uint32_t(record->presetWords[0]), 15u);
    EXPECT_EQ(uint32_t(record->presetWords[3]), 2u);
    EXPECT_EQ(uint32_t(record->hasID3v1 | record->hasID3v2 | record->isOgg | record->isASF), 0u);
    EXPECT_TRUE(AllZero(record->fields, sizeof record->fields));
    EXPECT_EQ(static_cast<void*>(record->tagBuffer), nullptr);
}

TEST(MDInitTest, PresetSizeSkipsTheProbesEvenForASF) {
    TempDir dir;
    std::string path = dir.File("x.wma");
    Bytes asf = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11};
    asf.resize(200);
    test::WriteFile(path, asf);
    Session session;
    TraceCapture trace;
    MDRecord* record = nullptr;
    ASSERT_EQ(session.MDInit(100, path.c_str(), &record, nullptr, 0), ZMTAGIO_S_OK);
    EXPECT_EQ(trace.Text(), "MDInit " + path + " \nMDInit GetSize=100 \n");
    EXPECT_EQ(uint32_t(record->isASF), 0u);
    ASSERT_NE(static_cast<void*>(record->tagBuffer), nullptr);
    EXPECT_TRUE(AllZero(record->tagBuffer, 100));
}

TEST(MDInitTest, ASFSignatureMarksTheRecordWhateverTheReaderFinds) {
    TempDir dir;
    std::string path = dir.File("broken.wma");
    test::WriteFile(path, Bytes{0x30, 0x26, 0xB2, 0x75, 1, 2, 3});
    Session session;
    MDRecord* record = nullptr;
    ASSERT_EQ(session.Open(path, &record), ZMTAGIO_S_FALSE);
    EXPECT_EQ(uint32_t(record->isASF), 1u);
    EXPECT_EQ(static_cast<void*>(record->tagBuffer), nullptr);
}

TEST(MDInitTest, PathsTooLongForTheRecordAreRefused) {
    TempDir dir;
    std::string longName = dir.path() + "/" + std::string(260 - dir.path().size() - 1, 'a');
    ASSERT_EQ(longName.size(), 260u);
    test::WriteFile(longName, Bytes(10, 1));
    Session session;
    MDRecord* record = nullptr;
    EXPECT_EQ(session.Open(longName, &record), ZMTAGIO_E_FAIL);
    EXPECT_EQ(session.MDInit(0, nullptr, &record, nullptr, 0), ZMTAGIO_E_FAIL);
    std::string fits = longName.substr(0, 259);
    test::WriteFile(fits, Bytes(10, 1));
    EXPECT_EQ(session.Open(fits, &record), ZMTAGIO_S_FALSE);
    EXPECT_EQ(record->filePath[258], 'a');
    EXPECT_EQ(record->filePath[259], '\0');
}

TEST(MDInitTest, SecondInitStartsFromAFreshRecord) {
    TempDir dir;
    std::string a = dir.File("a.bin"), b = dir.File("b.bin");
    test::WriteFile(a, Bytes(300, 1));
    test::WriteFile(b, Bytes(300, 2));
    Session session;
    MDRecord* first = nullptr;
    MDRecord* second = nullptr;
    ASSERT_EQ(session.Open(a, &first), ZMTAGIO_S_FALSE);
    ASSERT_EQ(session.Open(b, &second), ZMTAGIO_S_FALSE);
    EXPECT_STREQ(second->filePath, b.c_str());
    EXPECT_EQ(session.MDUninit(), ZMTAGIO_S_OK);
    EXPECT_EQ(session.MDUninit(), ZMTAGIO_S_OK);
}

TEST(MDEditFieldTest, EditsThatWouldPickTheWrongRecipeAreRefused) {
    TempDir dir;
    std::string path = dir.File("plain.bin");
    test::WriteFile(path, Bytes(300, 1));
    Session session;
    EXPECT_EQ(session.Edit(17, MD_KIND_ID3V2, "\x00x"), ZMTAGIO_E_FAIL);  // no record yet
    MDRecord* record = nullptr;
    ASSERT_EQ(session.Open(path, &record), ZMTAGIO_S_FALSE);
    EXPECT_EQ(session.Edit(1, MD_KIND_OGG, "x"), ZMTAGIO_E_INVALIDARG);
    EXPECT_EQ(session.Edit(1, MD_KIND_WM, std::string("x\0", 2)), ZMTAGIO_E_INVALIDARG);
    EXPECT_EQ(session.Edit(85, MD_KIND_ID3V2, "\x00x"), ZMTAGIO_E_INVALIDARG);
    EXPECT_EQ(session.Edit(109, MD_KIND_ID3V1, "x"), ZMTAGIO_E_INVALIDARG);
    EXPECT_EQ(session.MDEditField(17, nullptr, MD_KIND_ID3V2, nullptr, 0, 0), ZMTAGIO_E_INVALIDARG);
    EXPECT_EQ(session.Edit(3, 5, "x"), ZMTAGIO_S_OK);  // unknown kinds change nothing
    EXPECT_EQ(session.MDRemoveTag(10, 0), ZMTAGIO_E_INVALIDARG);
    EXPECT_EQ(session.MDRemoveTag(-1, 0), ZMTAGIO_E_INVALIDARG);
    EXPECT_EQ(session.MDRemoveTag(9, 0), ZMTAGIO_S_OK);
    EXPECT_EQ(uint32_t(record->isOgg | record->isASF), 0u);
}

}  // namespace
}  // namespace zm
