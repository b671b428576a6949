// zmtagio set: what reaches the file, checked with independent readers, and
// what is refused without a byte changing.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "cli/Cli.h"

namespace zm::test::cli {
namespace {

constexpr const char* kTagged =
    "[TIT2(encoding=0, text='Old'), TPE2(encoding=1, text='Keep \\u2603'),"
    " APIC(encoding=0, mime='image/png', type=3, desc='', data=b'PNG!'),"
    " COMM(encoding=0, lang='eng', desc='', text='old comment')]";

Bytes Padded(const std::string& text, size_t width) {
    Bytes bytes = ToBytes(text);
    bytes.resize(width, 0);
    return bytes;
}

Bytes ID3V1Block(const std::vector<std::pair<std::string, size_t>>& texts, uint8_t track, uint8_t genre) {
    Bytes block = ToBytes("TAG");
    for (const auto& [text, width] : texts) {
        Bytes field = Padded(text, width);
        block.insert(block.end(), field.begin(), field.end());
    }
    block.insert(block.end(), {0, track, genre});
    return block;
}

std::string Text(const Json& frames, const std::string& key) {
    return frames.contains(key) ? frames[key]["text"].get<std::string>() : "(absent)";
}

TEST(CliSet, CommonNamesReachTheirFramesAndTheID3v1Block) {
    TempDir dir;
    std::string path = dir.File("a.mp3");
    ASSERT_TRUE(MakeTaggedMp3(path, kTagged, true));
    std::string audio = DecodedMd5(path);
    Outcome set = Zmtagio(dir, "set " + Quote(path) +
                                   " --title '\u00c9t\u00e9' --artist Ann --album Alb --year 1999 --genre Rock"
                                   " --track 3/12 --comment Nice");
    ASSERT_EQ(set.status, 0) << set.err;
    EXPECT_NE(set.out.find("TIT2: \"Old\" -> \"\u00c9t\u00e9\""), std::string::npos) << set.out;
    EXPECT_NE(set.out.find("ID3v1 genre: \"255\" -> \"17\""), std::string::npos) << set.out;

    Json frames = MutagenFrames(path);
    const std::pair<const char*, const char*> expected[] = {
        {"TIT2", "\u00c9t\u00e9"}, {"TPE1", "Ann"},  {"TALB", "Alb"},       {"TYER", "1999"},
        {"TCON", "Rock"},          {"TRCK", "3/12"}, {"COMM::eng", "Nice"}, {"TPE2", "Keep \u2603"},
    };
    for (const auto& [key, text] : expected) EXPECT_EQ(Text(frames, key), text) << key;
    EXPECT_EQ(frames["TIT2"]["encoding"], 0);
    EXPECT_TRUE(frames.contains("APIC:"));
    Bytes title = FromHex("c974e9");
    Bytes block = ID3V1Block({{std::string(title.begin(), title.end()), 30}, {"Ann", 30}, {"Alb", 30}, {"1999", 4}, {"Nice", 28}},
                             3, 17);
    EXPECT_EQ(Hex(Tail(ReadFile(path), 128)), Hex(block));
    EXPECT_EQ(DecodedMd5(path), audio);
    EXPECT_TRUE(NoTemporaryFiles(dir));
}

// ISO-8859-1 when the code page holds the text, UTF-16 otherwise.
TEST(CliSet, ID3v2EncodingFollowsTheCodePage) {
    struct Row {
        const char* options;
        const char* frame;
        int encoding;
        const char* shown;  // as show reads it back with the same code page
    } rows[] = {
        {"--title 'Snow \u2603'", "TIT2", 1, "Snow \u2603"},
        {"--artist 'Caf\u00e9'", "TPE1", 0, "Caf\u00e9"},
        {"--codepage 1251 --title '\u041c\u0438\u0440'", "TIT2", 0, "\u041c\u0438\u0440"},
    };
    for (const Row& row : rows) {
        TempDir dir;
        std::string path = dir.File("a.mp3");
        ASSERT_TRUE(MakeTaggedMp3(path, "[TIT2(encoding=0, text='x')]", false));
        Outcome set = Zmtagio(dir, "set " + Quote(path) + " " + row.options);
        ASSERT_EQ(set.status, 0) << row.options << set.err;
        EXPECT_EQ(MutagenFrames(path)[row.frame]["encoding"], row.encoding) << row.options;
        std::string codePage = std::string(row.options).starts_with("--codepage") ? "--codepage 1251" : "";
        int id = std::string(row.frame) == "TIT2" ? 17 : 30;
        EXPECT_EQ((*FindField(ShowJson(dir, path, codePage), "id3v2", id))["text"], row.shown) << row.options;
    }
}

TEST(CliSet, OptionsApplyInOrderAndEmptyValuesDelete) {
    TempDir dir;
    std::string path = dir.File("a.mp3");
    ASSERT_TRUE(MakeTaggedMp3(path, kTagged, false));
    ASSERT_EQ(Zmtagio(dir, "set " + Quote(path) + " --title A --field TIT2=B").status, 0);
    EXPECT_EQ(Text(MutagenFrames(path), "TIT2"), "B");
    ASSERT_EQ(Zmtagio(dir, "set " + Quote(path) + " --field TIT2=B --title A").status, 0);
    EXPECT_EQ(Text(MutagenFrames(path), "TIT2"), "A");
    Outcome deleted = Zmtagio(dir, "set " + Quote(path) + " --comment '' --field TPE2=");
    ASSERT_EQ(deleted.status, 0) << deleted.err;
    EXPECT_NE(deleted.out.find("COMM: \"old comment\" -> (deleted)"), std::string::npos) << deleted.out;
    Json frames = MutagenFrames(path);
    EXPECT_FALSE(frames.contains("COMM::eng"));
    EXPECT_FALSE(frames.contains("TPE2"));
    EXPECT_EQ(Text(frames, "TIT2"), "A");
}

// One bad value and nothing is written.
TEST(CliSet, BadValuesWriteNothing) {
    struct Row {
        const char* file;
        std::string options;
    } rows[] = {
        {"mp3", "--album ok --title " + std::string(31, 'x')},
        {"mp3", "--title '\u2603'"},
        {"mp3", "--track abc"},
        {"mp3", "--genre 'No Such Genre'"},
        {"mp3", "--year 19999"},
        {"mp3", "--comment " + std::string(29, 'c') + " --track 2"},
        {"mp3", "--field NOPE=1"},
        {"mp3", "--field APIC=x"},
        {"mp3", "--field TIT2=" + std::string(10001, 'x')},
        {"ogg", "--id3v1 --title x"},
        {"ogg", "--field TIT2=x"},
        {"wma", "--field WM/Composer=" + std::string(300, 'x')},
        {"wma", "--artist '\u2603'"},
    };
    TempDir dir;
    std::string mp3 = dir.File("a.mp3"), ogg = dir.File("a.ogg"), wma = dir.File("a.wma");
    ASSERT_TRUE(MakeTaggedMp3(mp3, kTagged, true));
    ASSERT_TRUE(MakeOgg(ogg, {"TITLE=t"}));
    ASSERT_TRUE(MakeWma(wma, {"title=t"}));
    for (const Row& row : rows) {
        std::string path = dir.File(std::string("a.") + row.file);
        Bytes before = ReadFile(path);
        Outcome set = Zmtagio(dir, "set " + Quote(path) + " " + row.options);
        EXPECT_EQ(set.status, 1) << row.options.substr(0, 60);
        EXPECT_EQ(std::count(set.err.begin(), set.err.end(), '\n'), 1) << set.err;
        EXPECT_TRUE(ReadFile(path) == before) << row.options.substr(0, 60);
    }
}

// Containers of another kind would break with a tag in front; Ogg streams
// that are not Ogg Vorbis or whose comments cannot be rebuilt, and Windows
// Media files whose read failed, are not touched either.
TEST(CliSet, FilesThatCannotBeTaggedSafelyAreRefused) {
    struct Row {
        const char* name;
        const char* encoder;  // ffmpeg output options
    } rows[] = {
        {"a.wav", "-c:a pcm_s16le -f wav"}, {"a.flac", "-c:a flac -f flac"},   {"a.m4a", "-c:a aac -f mp4"},
        {"a.aiff", "-f aiff"},              {"a.mka", "-c:a flac -f matroska"}, {"a.opus", "-c:a libopus -f ogg"},
        {"b.ogg", "-c:a flac -f ogg"},
    };
    TempDir dir;
    std::vector<std::string> paths;
    for (const Row& row : rows) {
        paths.push_back(dir.File(row.name));
        ASSERT_EQ(test::Run("ffmpeg -nostdin -y -loglevel error -f lavfi -i sine=duration=0.5 -ac 1 " +
                      std::string(row.encoder) + " " + Quote(paths.back()))
                      .status,
                  0)
            << row.name;
    }
    std::string wma = dir.File("a.wma");
    ASSERT_TRUE(MakeWma(wma, {"title=t"}));
    Bytes cut = ReadFile(wma);
    cut.resize(100);
    paths.push_back(dir.File("cut.wma"));
    WriteFile(paths.back(), cut);
    paths.push_back(dir.File("big.ogg"));  // a comment packet longer than one page
    ASSERT_TRUE(MakeOgg(paths.back(), {"COMMENT=" + std::string(70000, 'x')}));
    for (const std::string& path : paths) {
        Bytes before = ReadFile(path);
        Outcome set = Zmtagio(dir, "set " + Quote(path) + " --title x");
        EXPECT_EQ(set.status, 1) << path;
        EXPECT_EQ(std::count(set.err.begin(), set.err.end(), '\n'), 1) << path << ": " << set.err;
        EXPECT_TRUE(ReadFile(path) == before) << path;
    }
}

TEST(CliSet, RewrittenFilesKeepTheirPermissionBits) {
    TempDir dir;
    std::string mp3 = dir.File("a.mp3"), ogg = dir.File("a.ogg"), wma = dir.File("a.wma");
    ASSERT_TRUE(MakeTaggedMp3(mp3, kTagged, true));
    ASSERT_TRUE(MakeOgg(ogg, {"TITLE=t"}));
    ASSERT_TRUE(MakeWma(wma, {"title=t"}));
    for (const std::string& path : {mp3, ogg, wma}) {
        for (mode_t mode : {mode_t(0604), mode_t(0640)}) {
            ASSERT_EQ(::chmod(path.c_str(), mode), 0);
            Outcome set = Zmtagio(dir, "set " + Quote(path) + " --title 'mode " + std::to_string(mode) + "'");
            ASSERT_EQ(set.status, 0) << path << set.err;
            EXPECT_EQ(Permissions(path), mode) << path;
        }
    }
    EXPECT_TRUE(NoTemporaryFiles(dir));
}

TEST(CliSet, WindowsMediaAttributesChangeInPlace) {
    TempDir dir;
    std::string path = dir.File("a.wma");
    ASSERT_TRUE(MakeWma(path, {"title=Old", "artist=Someone", "album=Kept", "genre=Jazz"}));
    std::string audio = DecodedMd5(path);
    Outcome set = Zmtagio(dir, "set " + Quote(path) + " --title New --artist '' --field WM/Composer=Comp --year 2001");
    ASSERT_EQ(set.status, 0) << set.err;
    EXPECT_NE(set.out.find("Title: \"Old\" -> \"New\""), std::string::npos) << set.out;
    Json tags = FfprobeTags(path);
    EXPECT_EQ(tags.value("title", ""), "New");
    EXPECT_FALSE(tags.contains("artist")) << tags.dump();
    EXPECT_EQ(tags.value("album", ""), "Kept");
    EXPECT_EQ(tags.value("genre", ""), "Jazz");
    EXPECT_EQ(tags.value("composer", ""), "Comp");
    Json line = ShowJson(dir, path);
    EXPECT_EQ((*FindField(line, "wm", 5))["text"], "2001");
    EXPECT_EQ(DecodedMd5(path), audio);
}

TEST(CliSet, OggCommentsChangeAndTheAudioStays) {
    TempDir dir;
    std::string path = dir.File("a.ogg");
    ASSERT_TRUE(MakeOgg(path, {"TITLE=T", "ARTIST=A", "COMMENT=c"}));
    std::string audio = DecodedMd5(path);
    Outcome set = Zmtagio(dir, "set " + Quote(path) + " --title 'N\u00e9w' --comment '' --field PERFORMER=P");
    ASSERT_EQ(set.status, 0) << set.err;
    Result listed = test::Run("vorbiscomment -l " + Quote(path));
    ASSERT_EQ(listed.status, 0);
    std::vector<std::string> lines;
    for (size_t at = 0, end; (end = listed.output.find('\n', at)) != std::string::npos; at = end + 1)
        lines.push_back(listed.output.substr(at, end - at));
    std::sort(lines.begin(), lines.end());
    EXPECT_EQ(lines, (std::vector<std::string>{"ARTIST=A", "PERFORMER=P", "TITLE=N\u00e9w"}));
    EXPECT_EQ(DecodedMd5(path), audio);
    EXPECT_EQ(test::Run("ogginfo " + Quote(path) + " >/dev/null 2>&1").status, 0);
}

// A new block gets genre 255, and a track number gets the comment's last
// two bytes even without a comment.
TEST(CliSet, ID3v1BlockIsAddedWhenAsked) {
    TempDir dir;
    std::string path = dir.File("plain.mp3");
    ASSERT_TRUE(MakeMp3(path));
    Outcome set = Zmtagio(dir, "set --id3v1 " + Quote(path) + " --title T --track 5");
    ASSERT_EQ(set.status, 0) << set.err;
    Bytes bytes = ReadFile(path);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 3), "ID3");
    EXPECT_EQ(Hex(Tail(bytes, 128)), Hex(ID3V1Block({{"T", 30}, {"", 30}, {"", 30}, {"", 4}, {"", 28}}, 5, 255)));
    EXPECT_EQ(Text(MutagenFrames(path), "TIT2"), "T");
}

// Frames the component would leave out of a rewritten tag make the file
// refused, unless the command replaces them; frames it carries do not.
TEST(CliSet, RewritesThatWouldLoseFramesAreRefused) {
    struct Row {
        const char* frames;
        const char* options;
        int status;
    } rows[] = {
        {"[TIT2(encoding=3, text='\\u2603'), TPE1(encoding=0, text='a')]", "--album X", 1},
        {"[TIT2(encoding=3, text='\\u2603'), TPE1(encoding=0, text='a')]", "--title X", 0},
        {"[APIC(encoding=0, mime='image/png', type=3, desc='front', data=b'p'),"
         " APIC(encoding=0, mime='image/png', type=4, desc='back', data=b'p' * 30000)]",
         "--title X", 1},
        {"[APIC(encoding=0, mime='image/png', type=3, desc='front', data=b'p' * 30000)]", "--title X", 0},
    };
    for (const Row& row : rows) {
        TempDir dir;
        std::string path = dir.File("a.mp3");
        ASSERT_TRUE(MakeMp3(path) && TagMp3(path, row.frames, true, 4));
        Json before = MutagenFrames(path);
        Bytes bytes = ReadFile(path);
        Outcome set = Zmtagio(dir, "set " + Quote(path) + " " + row.options);
        EXPECT_EQ(set.status, row.status) << row.frames << " " << row.options << set.err;
        if (row.status == 1) {
            EXPECT_NE(set.err.find("would lose"), std::string::npos) << set.err;
            EXPECT_TRUE(ReadFile(path) == bytes);
            EXPECT_EQ(Zmtagio(dir, "remove " + Quote(path) + " --id3v1").status, 1);
            EXPECT_TRUE(ReadFile(path) == bytes);
            continue;
        }
        Json after = MutagenFrames(path);
        for (auto it = before.begin(); it != before.end(); ++it) {
            if (it.key() == "TIT2") continue;
            EXPECT_EQ(after[it.key()], it.value()) << it.key();
        }
    }
}

}  // namespace
}  // namespace zm::test::cli
