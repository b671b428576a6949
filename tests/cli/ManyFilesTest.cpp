// zmtagio set, remove and scan over many files and folders: each file is
// worked on once and reported on one line of its own, a file that fails its
// checks is left as it was while the others go on, and a walk takes nothing
// it must not.
#include <map>

#include "cli/Cli.h"

namespace zm::test::cli {
namespace {

// The title of each file as mutagen reads it, whatever its format; "" when
// it has none.
std::map<std::string, std::string> Titles(const std::vector<std::string>& paths) {
    std::string arguments;
    for (const std::string& path : paths) arguments.append(" ").append(Quote(path));
    Result r = test::Run("/usr/bin/python3 -c " + Quote(
        "import json, sys, mutagen\nout = {}\nfor p in sys.argv[1:]:\n    t = mutagen.File(p).tags or {}\n"
        "    v = [t[k] for k in ('TIT2', 'title', 'Title') if k in t]\n"
        "    out[p] = str(v[0][0] if isinstance(v[0], list) else v[0]) if v else ''\n"
        "print(json.dumps(out))\n") + arguments);
    EXPECT_EQ(r.status, 0) << r.output;
    return Json::parse(r.output).get<std::map<std::string, std::string>>();
}

// Each path at the start of exactly one line.
std::map<std::string, std::string> ByPath(const std::string& text, const std::vector<std::string>& paths) {
    std::map<std::string, std::string> lines;
    for (const std::string& line : Lines(text))
        for (const std::string& path : paths)
            if (line.starts_with(path + ": ")) {
                EXPECT_TRUE(lines.emplace(path, line).second) << line;
            }
    EXPECT_EQ(lines.size(), Lines(text).size()) << text;
    return lines;
}

class ManyFiles : public Cli {
protected:
    // music/a.mp3, b.ogg, c.wma, sub/d.mp3 (untagged), notes.txt, cut.wma
    // (its attributes cannot be read), and link.mp3 to a file outside.
    void SetUp() override {
        std::filesystem::create_directories(File("music/sub"));
        ASSERT_TRUE(MakeMp3(a) && TagMp3(a, "[TIT2(encoding=0, text='Old')]", true) && MakeMp3(d));
        ASSERT_TRUE(MakeOgg(b, {"TITLE=Old"}) && MakeWma(c, {"title=Old"}));
        ASSERT_TRUE(MakeMp3(outside) && TagMp3(outside, "[TIT2(encoding=0, text='Outside')]", false));
        WriteFile(notes, ToBytes("not audio\n"));
        ASSERT_EQ(test::Run("head -c 100 " + Quote(c) + " >" + Quote(cut)).status, 0);
        std::filesystem::create_symlink(outside, File("music/link.mp3"));
    }
    std::string a = File("music/a.mp3"), b = File("music/b.ogg"), c = File("music/c.wma"), d = File("music/sub/d.mp3");
    std::string notes = File("music/notes.txt"), cut = File("music/cut.wma"), outside = File("outside.mp3");
};

// A folder, a file in it and a path named twice: every file once. The file
// with no tags that is not named .mp3 is skipped, the link is not followed,
// and the one file that fails is the only line on standard error.
TEST_F(ManyFiles, SetChangesEveryFileUnderAFolderOnce) {
    Bytes notesBefore = ReadFile(notes), cutBefore = ReadFile(cut), outsideBefore = ReadFile(outside);
    Outcome set = Zmtagio("set --jobs 2 " + Quote(File("music")) + " " + Quote(a) + " " + Quote(a) + " --title New");
    EXPECT_EQ(set.status, 1);
    std::map<std::string, std::string> lines = ByPath(set.out, {a, b, c, d, notes});
    EXPECT_EQ(lines.size(), 5u) << set.out;
    EXPECT_EQ(lines[a], a + ": TIT2 \"Old\" -> \"New\"; ID3v1 title \"Old\" -> \"New\"");
    EXPECT_EQ(lines[notes], notes + ": skipped: it has no tags and is not named .mp3");
    EXPECT_EQ(set.errLines(), 1u) << set.err;
    EXPECT_TRUE(set.err.starts_with("zmtagio: " + cut + ": not changed")) << set.err;
    EXPECT_EQ(Titles({a, b, c, d}), (std::map<std::string, std::string>{{a, "New"}, {b, "New"}, {c, "New"}, {d, "New"}}));
    EXPECT_TRUE(ReadFile(notes) == notesBefore && ReadFile(cut) == cutBefore && ReadFile(outside) == outsideBefore);
    EXPECT_TRUE(std::filesystem::is_symlink(File("music/link.mp3")));
    EXPECT_TRUE(NoTemporaryFiles());
}

// A frame that only ID3v2 has stops the Ogg and Windows Media files, whole:
// not even their title changes. The MP3 files take both values.
TEST_F(ManyFiles, AFileThatFailsItsChecksIsLeftWhileTheOthersGoOn) {
    Bytes bBefore = ReadFile(b), cBefore = ReadFile(c);
    Outcome set = Zmtagio("set --jobs 2 " + Quote(File("music")) + " --title Newer --field TPE2=Band");
    EXPECT_EQ(set.status, 1);
    EXPECT_EQ(ByPath(set.out, {a, d, notes}).size(), 3u) << set.out;
    EXPECT_EQ(set.errLines(), 3u) << set.err;
    for (const std::string& path : {b, c})
        EXPECT_NE(set.err.find("zmtagio: " + path + ": nothing was written"), std::string::npos) << set.err;
    EXPECT_TRUE(ReadFile(b) == bBefore && ReadFile(c) == cBefore);
    EXPECT_EQ(Titles({a, d}), (std::map<std::string, std::string>{{a, "Newer"}, {d, "Newer"}}));
}

// A shell glob's run of paths at the end of the line reaches the command
// whole, however long, and the option value in front of it stays a value.
TEST_F(ManyFiles, ALongRunOfPathsReachesTheCommandWhole) {
    constexpr int kPaths = 100;
    std::string paths;
    for (int i = 0; i < kPaths; ++i) paths.append(" ").append(Quote(i % 2 ? a : b));
    Outcome shown = Zmtagio("show --json --codepage 1251" + paths);
    ASSERT_EQ(shown.status, 0) << shown.err;
    std::vector<std::string> lines = Lines(shown.out);
    ASSERT_EQ(lines.size(), size_t(kPaths));
    EXPECT_EQ(Json::parse(lines.back())["path"], a);
    EXPECT_EQ(Zmtagio("set --title Long" + paths).status, 0);
    EXPECT_EQ(Titles({a, b}), (std::map<std::string, std::string>{{a, "Long"}, {b, "Long"}}));
}

TEST_F(ManyFiles, RemoveReportsEachFileOnOneLine) {
    ASSERT_TRUE(TagMp3(d, "[TIT2(encoding=0, text='D')]", true));
    Outcome removed = Zmtagio("remove --jobs 2 --id3v1 --id3v2 " + Quote(File("music")));
    std::map<std::string, std::string> lines = ByPath(removed.out, {a, b, c, d, notes, cut});
    EXPECT_EQ(lines[a], a + ": removed the ID3v1 tag; removed the ID3v2 tag");
    EXPECT_EQ(lines[b], b + ": no ID3v1 tag to remove; no ID3v2 tag to remove");
    EXPECT_EQ(lines[d], d + ": removed the ID3v1 tag; removed the ID3v2 tag");
    EXPECT_EQ(Titles({a, d, outside}),
              (std::map<std::string, std::string>{{a, ""}, {d, ""}, {outside, "Outside"}}));
}

// More files than the workers hold between the walk and the printer, spread
// over folders: each is read and listed once. A link to a file is read as
// that file when scanning.
TEST_F(Cli, ScanListsEachOfManyFilesOnce) {
    constexpr int kFiles = 2500;
    for (int i = 0; i < kFiles; ++i) {
        std::string folder = File("many/" + std::to_string(i % 7));
        if (i < 7) std::filesystem::create_directories(folder);
        WriteFile(folder + "/" + std::to_string(i) + ".txt", ToBytes("x"));
    }
    std::filesystem::create_symlink(File("many/0/0.txt"), File("many/link.txt"));
    Outcome scanned = Zmtagio("scan --jobs 3 " + Quote(File("many")));
    ASSERT_EQ(scanned.status, 0) << scanned.err;
    std::vector<std::string> lines = Lines(scanned.out);
    ASSERT_EQ(lines.size(), size_t(kFiles + 2));
    EXPECT_EQ(lines.back(), "2501 files: 0 ID3v2, 0 ID3v1, 0 Ogg Vorbis, 0 Ogg Opus, 0 Windows Media, 2501 untagged, 0 failed");
    lines.pop_back();
    std::sort(lines.begin(), lines.end());
    EXPECT_EQ(std::unique(lines.begin(), lines.end()), lines.end());
    EXPECT_TRUE(std::binary_search(lines.begin(), lines.end(), File("many/link.txt") + ": no tags"));
}

}  // namespace
}  // namespace zm::test::cli
