// The session's own steps: the record layout; MDInit results, records and trace lines; edits refused for the wrong
// recipe; MDUpdate replacing the source, every failure leaving it byte for byte as it was.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "platform/Trace.h"
#include "support/Session.h"
#include "support/TestSupport.h"

namespace zm::test {
namespace {

// The record as hosts read it: each pointer member widens the same on 64-bit.
constexpr size_t kWiden = sizeof(void*) - 4;
static_assert(offsetof(MDRecord, hasID3v1) == 264 && offsetof(MDRecord, isASF) == 276);
static_assert(offsetof(MDRecord, presetWords) == 344 && offsetof(MDRecord, fields) == 420);
static_assert(offsetof(MDRecord, tagBuffer) == 6180 + 120 * kWiden && sizeof(MDRecord) == 6220 + 121 * kWiden);
static_assert(offsetof(MDRecord, id3v2Version) == 6184 + 121 * kWiden);
static_assert(offsetof(MDRecord, id3v2Flags) == 6186 + 121 * kWiden);
static_assert(offsetof(MDField, data) == 4 && offsetof(MDField, frameId) == 8 + kWiden);
static_assert(offsetof(MDField, frameFlags) == 14 + kWiden && sizeof(MDField) == 48 + kWiden);

// A session that opened path (with a preset size when given), and the trace lines that opening wrote.
struct Opened {
    Session session;
    MDRecord* record = reinterpret_cast<MDRecord*>(0x1);
    HRESULT hr;
    std::string trace;
    explicit Opened(const std::string& path, int32_t preset = 0) {
        FILE* file = tmpfile();
        platform::SetTrace(true, fileno(file));
        hr = preset ? session.MDInit(preset, path.c_str(), &record, nullptr, 0) : session.Open(path, &record);
        platform::SetTrace(false, -1);
        rewind(file);
        for (int c; (c = fgetc(file)) != EOF;) trace += char(c);
        fclose(file);
    }
};

TEST(MDInitTest, ResultsRecordsTraceLinesAndPaths) {
    TempDir dir;
    std::string plain = dir.File("plain.bin"), wma = dir.File("x.wma"), broken = dir.File("broken.wma");
    WriteFile(plain, Bytes(5000, 0x55));
    WriteFile(wma, Bytes{0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11} + Bytes(192, 0));
    WriteFile(broken, Bytes{0x30, 0x26, 0xB2, 0x75, 1, 2, 3});

    Opened missing("/no/such/file.mp3"), huge(std::string(2000, 'p'));
    EXPECT_EQ(missing.hr, ZMTAGIO_E_FAIL);
    EXPECT_EQ(missing.record, reinterpret_cast<MDRecord*>(0x1));  // left alone
    EXPECT_EQ(missing.trace, "MDInit /no/such/file.mp3 \n");
    EXPECT_EQ(huge.hr, ZMTAGIO_E_FAIL);
    EXPECT_EQ(huge.trace, "MDInit " + std::string(503, 'p') + " \n");  // the line cut to its 512 bytes

    Opened untagged(plain);
    ASSERT_EQ(untagged.hr, ZMTAGIO_S_FALSE);
    EXPECT_EQ(untagged.trace, "MDInit " + plain + " \nMDInit GetSize=0 \n");
    const MDRecord& empty = *untagged.record;
    EXPECT_STREQ(empty.filePath, plain.c_str());
    EXPECT_EQ(uint32_t(empty.hasID3v1 | empty.hasID3v2 | empty.isOgg | empty.isASF), 0u);
    EXPECT_EQ(std::memcmp(empty.fields, MDRecord{}.fields, sizeof empty.fields), 0);
    EXPECT_EQ(static_cast<void*>(empty.tagBuffer), nullptr);

    // A preset size skips the probes, even for ASF.
    Opened preset(wma, 100);
    ASSERT_EQ(preset.hr, ZMTAGIO_S_OK);
    EXPECT_EQ(preset.trace, "MDInit " + wma + " \nMDInit GetSize=100 \n");
    EXPECT_EQ(uint32_t(preset.record->isASF), 0u);
    uint8_t* buffer = preset.record->tagBuffer;
    ASSERT_NE(static_cast<void*>(buffer), nullptr);
    EXPECT_TRUE(std::all_of(buffer, buffer + 100, [](uint8_t b) { return b == 0; }));

    // The ASF signature marks the record whatever the reader finds.
    Opened signature(broken);
    ASSERT_EQ(signature.hr, ZMTAGIO_S_FALSE);
    EXPECT_EQ(uint32_t(signature.record->isASF), 1u);
    EXPECT_EQ(static_cast<void*>(signature.record->tagBuffer), nullptr);

    // A second MDInit starts afresh.
    Session session;
    MDRecord* record = nullptr;
    EXPECT_EQ(session.MDInit(0, nullptr, &record, nullptr, 0), ZMTAGIO_E_FAIL);
    ASSERT_EQ(session.Open(wma, &record), ZMTAGIO_S_FALSE);
    ASSERT_EQ(session.Open(plain, &record), ZMTAGIO_S_FALSE);
    EXPECT_STREQ(record->filePath, plain.c_str());
    EXPECT_EQ(session.MDUninit(), ZMTAGIO_S_OK);
    EXPECT_EQ(session.MDUninit(), ZMTAGIO_S_OK);
}

class MDUpdateTest : public ::testing::Test {
protected:
    // An MP3-like song: an ID3v2 tag of an odd 23 bytes, two and a half copy chunks of audio, an ID3v1 block titled
    // "Old"; the temporary folder of the update is the test's own.
    void SetUp() override {
        original_ = {'I', 'D', '3', 3, 0, 0, 0, 0, 0, 13, 'T', 'I', 'T', '2', 0, 0, 0, 3, 0, 0, 0, 'a', 'b'};
        original_.resize(23 + 1025234 + 128);
        for (size_t i = 23; i < original_.size() - 128; ++i) original_[i] = uint8_t(i * 7 + i / 251);
        original_[23] = 0xFF, original_[24] = 0xFB;
        for (size_t i = 0; i < 6; ++i) original_[original_.size() - 128 + i] = uint8_t("TAGOld"[i]);
        original_.back() = 12;
        WriteFile(path_, original_);
        std::filesystem::create_directory(tmp_);
        if (const char* saved = getenv("TMPDIR")) savedTmp_ = saved;
        setenv("TMPDIR", tmp_.c_str(), 1);
    }
    void TearDown() override { savedTmp_.empty() ? unsetenv("TMPDIR") : setenv("TMPDIR", savedTmp_.c_str(), 1); }
    // Opens the song, stages a new ID3v1 title and updates.
    HRESULT Update(Session& session) {
        MDRecord* record = nullptr;
        EXPECT_EQ(session.Open(path_, &record), ZMTAGIO_S_OK);
        EXPECT_EQ(uint32_t(record->hasID3v1), 1u);
        EXPECT_EQ(session.Edit(MD_ID3V1_TITLE, MD_KIND_ID3V1, "New"), ZMTAGIO_S_OK);
        return session.MDUpdate(0);
    }
    // Nothing but the song in its folder, nothing in the temporary folder.
    bool NothingLeft() const {
        return std::filesystem::is_empty(tmp_) &&
               std::distance(std::filesystem::directory_iterator(dir_.path()), {}) == 2;  // the song and tmp
    }

    TempDir dir_;
    std::string tmp_ = dir_.File("tmp"), path_ = dir_.File("song.mp3"), savedTmp_;
    Bytes original_;
};

TEST_F(MDUpdateTest, EditsThatWouldPickTheWrongRecipeAreRefused) {
    Session session;
    EXPECT_EQ(session.Edit(17, MD_KIND_ID3V2, "\x00x"), ZMTAGIO_E_FAIL);  // no record yet
    MDRecord* record = nullptr;
    ASSERT_EQ(session.Open(path_, &record), ZMTAGIO_S_OK);
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

// Without a record, with a read-only source, with the source held by another update, or with a source that changed
// after MDInit read it, the update fails at once with its own result and the source stays byte for byte as it was.
TEST_F(MDUpdateTest, FailuresLeaveTheSourceAsItWas) {
    Session none, readOnly, held, changed;
    EXPECT_EQ(none.MDUpdate(0), ZMTAGIO_E_FAIL);
    chmod(path_.c_str(), 0444);
    EXPECT_EQ(Update(readOnly), ZMTAGIO_E_FAIL);
    EXPECT_TRUE(ReadFile(path_) == original_);
    EXPECT_TRUE(NothingLeft());
    chmod(path_.c_str(), 0644);

    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    pid_t holder = fork();
    if (holder == 0) {
        flock(open(path_.c_str(), O_RDWR), LOCK_EX);
        (void)!write(pipeFds[1], "x", 1);
        pause();
        _exit(0);
    }
    char ready;
    ASSERT_EQ(read(pipeFds[0], &ready, 1), 1);
    EXPECT_EQ(Update(held), ZMTAGIO_E_SHARINGVIOLATION);
    kill(holder, SIGKILL);
    waitpid(holder, nullptr, 0);
    EXPECT_TRUE(ReadFile(path_) == original_);
    // A failure leaves the session as it was: the staged edit goes in once the file is free.
    EXPECT_EQ(held.MDUpdate(0), ZMTAGIO_S_OK);
    EXPECT_TRUE(ReadFile(path_) != original_);
    WriteFile(path_, original_);

    // Another program writes the file between MDInit and MDUpdate: its change stays.
    MDRecord* record = nullptr;
    ASSERT_EQ(changed.Open(path_, &record), ZMTAGIO_S_OK);
    ASSERT_EQ(changed.Edit(MD_ID3V1_TITLE, MD_KIND_ID3V1, "New"), ZMTAGIO_S_OK);
    Bytes theirs = original_;
    theirs[30] ^= 1;
    WriteFile(path_, theirs);
    EXPECT_EQ(changed.MDUpdate(0), ZMTAGIO_E_FILECHANGED);
    EXPECT_TRUE(ReadFile(path_) == theirs);
    EXPECT_TRUE(NothingLeft());
}

std::string Text(const MDField& field) { return std::string(reinterpret_cast<char*>(field.data), size_t(field.size)); }

// A successful update leaves the record showing the file as written, in the same place; one that fails (the file is
// away) leaves it as it was, pointers and all. Neither needs the whole path to fit the record.
TEST_F(MDUpdateTest, RecordShowsTheWrittenFileOrStaysAsItWas) {
    std::string deep = DeepFolder(dir_.path()), mp3 = deep + "/song.mp3", ogg = deep + "/song.ogg";
    std::string wma = deep + "/song.wma";
    ASSERT_GT(mp3.size(), 500u);
    WriteFile(mp3, original_);
    ASSERT_TRUE(MakeOgg(ogg, {"TITLE=Song", "ARTIST=Band"}) && MakeWma(wma, {"title=Song"}));
    struct Case { std::string path; int id, kind; std::string value, readBack; } cases[] = {
        {mp3, MD_ID3V2_TIT2, MD_KIND_ID3V2, "\x03New \xe2\x98\x83", std::string("\x01New \xe2\x98\x83", 9)},
        {ogg, MD_OGG_TITLE, MD_KIND_OGG, "Changed", "Changed"},
        {wma, MD_WM_TITLE, MD_KIND_WM, std::string("Changed", 8), std::string("Changed", 8)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path.substr(c.path.size() - 8));
        Session session;
        MDRecord* record = nullptr;
        ASSERT_GE(session.Open(c.path, &record, "eng"), 0);
        EXPECT_EQ(std::string(record->filePath, sizeof record->filePath), c.path.substr(0, sizeof record->filePath));
        ASSERT_EQ(session.Edit(c.id, c.kind, c.value), ZMTAGIO_S_OK);
        Bytes before = ReadFile(c.path);
        std::vector<uint8_t> staged(reinterpret_cast<uint8_t*>(record), reinterpret_cast<uint8_t*>(record + 1));
        std::filesystem::rename(c.path, c.path + ".away");
        EXPECT_EQ(session.MDUpdate(0), ZMTAGIO_E_FAIL);
        std::filesystem::rename(c.path + ".away", c.path);
        EXPECT_TRUE(ReadFile(c.path) == before);
        EXPECT_EQ(std::memcmp(staged.data(), record, sizeof *record), 0);
        ASSERT_EQ(session.MDUpdate(0), ZMTAGIO_S_OK);
        EXPECT_EQ(Text(record->fields[c.id]), c.readBack);
        EXPECT_EQ(std::string(record->filePath, sizeof record->filePath), c.path.substr(0, sizeof record->filePath));
    }
}

}  // namespace
}  // namespace zm::test
