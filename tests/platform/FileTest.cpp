#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "platform/FaultInjection.h"
#include "platform/File.h"
#include "platform/Trace.h"
#include "support/TestSupport.h"

namespace zm::platform {
namespace {

using test::Bytes;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

std::span<const uint8_t> Span(const std::string& s) {
    return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

TEST(FileTest, SecondWriterOfAHeldFileFailsAndDoesNotTruncateIt) {
    TempDir dir;
    std::string path = dir.File("VOYdklna7tG.tmp");
    File first = File::Open(path.c_str(), File::Mode::CreateWrite);
    ASSERT_TRUE(first.IsOpen());
    ASSERT_TRUE(first.WriteAll(Span("first writer")));
    File second = File::Open(path.c_str(), File::Mode::CreateWrite);
    EXPECT_FALSE(second.IsOpen());
    EXPECT_EQ(ReadFile(path), test::ToBytes("first writer"));
    first.Close();
    File third = File::Open(path.c_str(), File::Mode::CreateWrite);
    EXPECT_TRUE(third.IsOpen());
    EXPECT_TRUE(ReadFile(path).empty());  // create-always truncates once free
}

TEST(FileTest, WriterThatLostTheRaceToARenameFails) {
    TempDir dir;
    std::string temp = dir.File("t.tmp"), target = dir.File("song.mp3");
    File holder = File::Open(temp.c_str(), File::Mode::CreateWrite);
    ASSERT_TRUE(holder.WriteAll(Span("new content")));
    ASSERT_TRUE(holder.ReplaceTarget(target.c_str()));
    holder.Close();
    EXPECT_EQ(ReadFile(target), test::ToBytes("new content"));
    EXPECT_FALSE(test::FileExists(temp));
}

TEST(FileTest, ReadSeekAndSizeUseSixtyFourBitOffsets) {
    TempDir dir;
    std::string path = dir.File("data");
    WriteFile(path, test::ToBytes("0123456789"));
    File f = File::Open(path.c_str(), File::Mode::Read);
    ASSERT_TRUE(f.IsOpen());
    EXPECT_EQ(f.Size(), 10);
    uint8_t buf[4];
    ASSERT_TRUE(f.SeekFromEnd(3));
    EXPECT_EQ(f.Read(buf), 3);
    EXPECT_EQ(std::string(buf, buf + 3), "789");
    EXPECT_EQ(f.Read(buf), 0);
    ASSERT_TRUE(f.Seek(uint64_t(1) << 33));  // past the end: reads nothing
    EXPECT_EQ(f.Read(buf), 0);
    EXPECT_FALSE(File::Open(dir.File("missing").c_str(), File::Mode::Read).IsOpen());
}

TEST(FileTest, ReplaceAcrossFileSystemsKeepsTheTargetWhole) {
    struct stat shm, here;
    TempDir dir;
    if (stat("/dev/shm", &shm) != 0 || stat(dir.path().c_str(), &here) != 0 || shm.st_dev == here.st_dev)
        GTEST_SKIP() << "no second file system to move across";
    std::string temp = "/dev/shm/zmtagio-test-" + std::to_string(getpid());
    std::string target = dir.File("song.ogg");
    WriteFile(target, test::ToBytes("old"));
    chmod(target.c_str(), 0640);
    File holder = File::Open(temp.c_str(), File::Mode::CreateWrite);
    ASSERT_TRUE(holder.WriteAll(Span("new")));
    ASSERT_TRUE(CopyPermissions(target.c_str(), temp.c_str()));
    ASSERT_TRUE(holder.ReplaceTarget(target.c_str()));
    EXPECT_EQ(ReadFile(target), test::ToBytes("new"));
    struct stat st;
    ASSERT_EQ(stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_FALSE(test::FileExists(temp));
}

TEST(FileTest, TempPathFollowsTmpdir) {
    const char* saved = getenv("TMPDIR");
    setenv("TMPDIR", "/some/where", 1);
    EXPECT_EQ(TempPath(), "/some/where/");
    unsetenv("TMPDIR");
    EXPECT_EQ(TempPath(), "/tmp/");
    if (saved) setenv("TMPDIR", saved, 1);
}

TEST(FaultInjectionTest, TheArmedCallFailsTheWayItWasAskedTo) {
    TempDir dir;
    std::string path = dir.File("data");
    WriteFile(path, Bytes(100, 'x'));
    fault::Arm(1, fault::Kind::Error);
    EXPECT_FALSE(File::Open(path.c_str(), File::Mode::Read).IsOpen());
    fault::Arm(2, fault::Kind::ShortRead);
    File f = File::Open(path.c_str(), File::Mode::Read);
    uint8_t buf[100];
    EXPECT_EQ(f.Read(buf), 50);
    EXPECT_EQ(fault::Calls(), 2u);
    fault::Arm(2, fault::Kind::DiskFull);
    File w = File::Open(dir.File("out").c_str(), File::Mode::CreateWrite);
    EXPECT_FALSE(w.WriteAll({buf, 100}));
    fault::Reset();
    EXPECT_TRUE(w.WriteAll({buf, 100}));
}

TEST(TraceTest, LinesEndInSpaceLineFeedAndLongTextIsCut) {
    TempDir dir;
    std::string path = dir.File("trace");
    FILE* out = fopen(path.c_str(), "wb");
    TraceLine("MDInit %s", "not written while off");
    SetTrace(true, fileno(out));
    TraceLine("MDEditField %d %d", 2, 17);
    TraceLine("MDInit %s", std::string(2000, 'p').c_str());
    SetTrace(false, -1);
    TraceLine("MDUpdate Start");
    fclose(out);
    Bytes written = ReadFile(path);
    std::string text(written.begin(), written.end());
    ASSERT_EQ(text.substr(0, 18), "MDEditField 2 17 \n");
    std::string second = text.substr(18);
    EXPECT_EQ(second.size(), 512u);
    EXPECT_EQ(second.substr(0, 7), "MDInit ");
    EXPECT_EQ(second.substr(510), " \n");
}

}  // namespace
}  // namespace zm::platform
