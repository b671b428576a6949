// Write-back: the rebuilt file replaces the source atomically, and every
// failure leaves the source byte for byte as it was.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "support/Session.h"
#include "support/TestSupport.h"

namespace zm {
namespace {

using test::Bytes;
using test::ReadFile;
using test::Session;
using test::TempDir;

constexpr char kTempName[] = "VOYdklna7tG.tmp";

// An MP3-like file: frames of audio and an ID3v1 block titled "Old".
Bytes SongWithID3v1(size_t audioBytes = 4000) {
    Bytes song(audioBytes);
    for (size_t i = 0; i < song.size(); ++i) song[i] = uint8_t(i * 7 + 1);
    song[0] = 0xFF;
    song[1] = 0xFB;
    Bytes block(128, 0);
    std::memcpy(block.data(), "TAGOld", 6);
    block[127] = 12;
    song.insert(song.end(), block.begin(), block.end());
    return song;
}

class MDUpdateTest : public ::testing::Test {
protected:
    void SetUp() override {
        tmp_ = dir_.path() + "/tmp";
        std::filesystem::create_directory(tmp_);
        const char* saved = getenv("TMPDIR");
        if (saved) savedTmp_ = saved;
        setenv("TMPDIR", tmp_.c_str(), 1);
        path_ = dir_.File("song.mp3");
        original_ = SongWithID3v1();
        test::WriteFile(path_, original_);
    }
    void TearDown() override {
        if (savedTmp_.empty())
            unsetenv("TMPDIR");
        else
            setenv("TMPDIR", savedTmp_.c_str(), 1);
        chmod(path_.c_str(), 0644);
        chmod(tmp_.c_str(), 0755);
    }
    // Opens the song and stages a new ID3v1 title.
    void StageTitle(Session& session, const std::string& title = "New") {
        MDRecord* record = nullptr;
        ASSERT_EQ(session.Open(path_, &record), ZMTAGIO_S_OK);
        ASSERT_EQ(uint32_t(record->hasID3v1), 1u);
        ASSERT_EQ(session.Edit(MD_ID3V1_TITLE, MD_KIND_ID3V1, title), ZMTAGIO_S_OK);
    }
    bool TempLeft() const { return test::FileExists(tmp_ + "/" + kTempName); }

    TempDir dir_;
    std::string tmp_, path_, savedTmp_;
    Bytes original_;
};

TEST_F(MDUpdateTest, RewriteKeepsAudioAndPermissionsAndLeavesNoTemporaryFile) {
    chmod(path_.c_str(), 0640);
    Session session;
    StageTitle(session);
    ASSERT_EQ(session.MDUpdate(0), ZMTAGIO_S_OK);
    Bytes now = ReadFile(path_);
    ASSERT_EQ(now.size(), original_.size());
    EXPECT_TRUE(std::equal(original_.begin(), original_.end() - 128, now.begin()));
    EXPECT_EQ(std::string(now.end() - 128, now.end() - 122), std::string("TAGNew", 6));
    EXPECT_EQ(now.back(), 12);  // the genre came along
    struct stat st;
    ASSERT_EQ(stat(path_.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_FALSE(TempLeft());
}

TEST_F(MDUpdateTest, TemporaryDirectoryOnAnotherFileSystem) {
    struct stat shm, here;
    if (stat("/dev/shm", &shm) != 0 || stat(dir_.path().c_str(), &here) != 0 || shm.st_dev == here.st_dev)
        GTEST_SKIP() << "no second file system";
    std::string other = "/dev/shm/zmtagio-" + std::to_string(getpid());
    std::filesystem::create_directory(other);
    setenv("TMPDIR", other.c_str(), 1);
    Session session;
    StageTitle(session);
    EXPECT_EQ(session.MDUpdate(0), ZMTAGIO_S_OK);
    Bytes now = ReadFile(path_);
    EXPECT_EQ(std::string(now.end() - 128, now.end() - 122), "TAGNew");
    EXPECT_FALSE(test::FileExists(other + "/" + kTempName));
    std::filesystem::remove_all(other);
}

TEST_F(MDUpdateTest, ReadOnlySourceIsLeftAsItWas) {
    chmod(path_.c_str(), 0444);
    Session session;
    StageTitle(session);
    EXPECT_EQ(session.MDUpdate(0), ZMTAGIO_E_FAIL);
    EXPECT_EQ(ReadFile(path_), original_);
    EXPECT_FALSE(TempLeft());
}

TEST_F(MDUpdateTest, MissingTemporaryDirectoryFailsBeforeAnythingChanges) {
    setenv("TMPDIR", (dir_.path() + "/absent").c_str(), 1);
    Session session;
    StageTitle(session);
    EXPECT_EQ(session.MDUpdate(0), ZMTAGIO_E_FAIL);
    EXPECT_EQ(ReadFile(path_), original_);
    // The failure left the session as it was: the staged edit still goes in.
    setenv("TMPDIR", tmp_.c_str(), 1);
    EXPECT_EQ(session.MDUpdate(0), ZMTAGIO_S_OK);
}

TEST_F(MDUpdateTest, TemporaryFileHeldByAnotherProcessFailsCleanly) {
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    pid_t holder = fork();
    if (holder == 0) {
        int fd = open((tmp_ + "/" + kTempName).c_str(), O_WRONLY | O_CREAT, 0644);
        flock(fd, LOCK_EX);
        (void)!write(fd, "busy", 4);
        (void)!write(pipeFds[1], "x", 1);
        pause();
        _exit(0);
    }
    char ready;
    ASSERT_EQ(read(pipeFds[0], &ready, 1), 1);
    Session session;
    StageTitle(session);
    EXPECT_EQ(session.MDUpdate(0), ZMTAGIO_E_FAIL);
    kill(holder, SIGKILL);
    waitpid(holder, nullptr, 0);
    EXPECT_EQ(ReadFile(path_), original_);
    EXPECT_EQ(ReadFile(tmp_ + "/" + kTempName), test::ToBytes("busy"));  // not ours to touch
}

TEST_F(MDUpdateTest, WriteThatFailsHalfWayLeavesTheSource) {
    // A large song, and a child whose files may not grow past 64 KB.
    original_ = SongWithID3v1(1 << 20);
    test::WriteFile(path_, original_);
    pid_t child = fork();
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit = {64 * 1024, 64 * 1024};
        setrlimit(RLIMIT_FSIZE, &limit);
        Session session;
        MDRecord* record = nullptr;
        if (session.Open(path_, &record) != ZMTAGIO_S_OK) _exit(2);
        if (session.Edit(MD_ID3V1_TITLE, MD_KIND_ID3V1, "New") != ZMTAGIO_S_OK) _exit(3);
        _exit(session.MDUpdate(0) == ZMTAGIO_E_FAIL ? 0 : 4);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(ReadFile(path_), original_);
    EXPECT_FALSE(TempLeft());
}

TEST_F(MDUpdateTest, NoRecordNothingToDo) {
    Session session;
    EXPECT_EQ(session.MDUpdate(0), ZMTAGIO_E_FAIL);
    EXPECT_FALSE(TempLeft());
}

}  // namespace
}  // namespace zm
