// zmtagio scan: every file under the folders, in path order, counted by kind.
#include <gtest/gtest.h>

#include <filesystem>

#include "cli/Cli.h"

namespace zm::test::cli {
namespace {

// a.mp3 (both ID3 tags), b.ogg, c.wma, d.txt (untagged), sub/e.mp3 (ID3v1 only).
void MakeLibrary(const TempDir& dir, const std::string& root) {
    std::filesystem::create_directories(root + "/sub");
    ASSERT_TRUE(MakeTaggedMp3(root + "/a.mp3", "[TIT2(encoding=0, text='A')]", true));
    ASSERT_TRUE(MakeOgg(root + "/b.ogg", {"TITLE=B"}));
    ASSERT_TRUE(MakeWma(root + "/c.wma", {"title=C"}));
    WriteFile(root + "/d.txt", ToBytes("not audio\n"));
    ASSERT_TRUE(MakeMp3(root + "/sub/e.mp3"));
    ASSERT_EQ(Zmtagio(dir, "set --id3v1 " + Quote(root + "/sub/e.mp3") + " --title E").status, 0);
    ASSERT_EQ(Zmtagio(dir, "remove " + Quote(root + "/sub/e.mp3") + " --id3v2").status, 0);
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    for (size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1)
        lines.push_back(text.substr(at, end - at));
    return lines;
}

TEST(CliScan, JsonLinesInPathOrderThenTheSummary) {
    TempDir dir;
    std::string root = dir.File("library");
    MakeLibrary(dir, root);
    Outcome scanned = Zmtagio(dir, "scan --json --jobs 2 " + Quote(root));
    ASSERT_EQ(scanned.status, 0) << scanned.err;
    EXPECT_EQ(scanned.err, "") << "no progress bar when standard error is not a terminal";
    std::vector<std::string> lines = Lines(scanned.out);
    ASSERT_EQ(lines.size(), 6u) << scanned.out;
    const char* names[] = {"/a.mp3", "/b.ogg", "/c.wma", "/d.txt", "/sub/e.mp3"};
    for (size_t i = 0; i < 5; ++i) EXPECT_EQ(Json::parse(lines[i])["path"], root + names[i]);
    EXPECT_EQ(Json::parse(lines[0])["hasID3v2"], true);
    EXPECT_EQ(Json::parse(lines[1])["isOgg"], true);
    EXPECT_EQ(Json::parse(lines[4])["hasID3v1"], true);
    EXPECT_EQ(Json::parse(lines[4])["hasID3v2"], false);
    Json summary = Json::parse(lines[5])["summary"];
    EXPECT_EQ(summary, Json::parse(R"({"files":5,"id3v1":2,"id3v2":1,"ogg":1,"wm":1,"untagged":1,"failed":0})"));
}

TEST(CliScan, TextLinesAndFailures) {
    TempDir dir;
    std::string root = dir.File("library");
    MakeLibrary(dir, root);
    Outcome scanned = Zmtagio(dir, "scan " + Quote(root) + " " + Quote(dir.File("missing")));
    EXPECT_EQ(scanned.status, 1);
    std::vector<std::string> lines = Lines(scanned.out);
    ASSERT_EQ(lines.size(), 6u) << scanned.out;
    EXPECT_EQ(lines[0], root + "/a.mp3: ID3v2.3, ID3v1");
    EXPECT_EQ(lines[3], root + "/d.txt: no tags");
    EXPECT_EQ(lines[5], "5 files: 1 ID3v2, 2 ID3v1, 1 Ogg Vorbis, 1 Windows Media, 1 untagged, 0 failed");
    EXPECT_NE(scanned.err.find("missing: no such folder"), std::string::npos) << scanned.err;
}

// Under a terminal the bar is drawn on standard error; with standard output
// sent elsewhere, the terminal sees nothing but the bar.
TEST(CliScan, ProgressBarOnlyOnATerminal) {
    TempDir dir;
    std::string root = dir.File("library");
    std::filesystem::create_directories(root);
    ASSERT_TRUE(MakeMp3(root + "/a.mp3"));
    std::string command = "TMPDIR=" + Quote(dir.path()) + " " + Quote(ZM_BINARY_DIR "/tools/zmtagio") + " scan " +
                          Quote(root) + " >/dev/null";
    Result terminal = test::Run("script -qec " + Quote(command) + " /dev/null");
    ASSERT_EQ(terminal.status, 0);
    EXPECT_NE(terminal.output.find("] 1/1 files"), std::string::npos) << terminal.output;
    Outcome redirected = Zmtagio(dir, "scan " + Quote(root));
    EXPECT_EQ(redirected.err, "");
}

}  // namespace
}  // namespace zm::test::cli
