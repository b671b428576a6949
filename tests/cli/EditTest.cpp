// zmtagio set and remove: what reaches the file, checked with independent
// readers, and what is refused without a byte changing. Rewritten files of
// every format keep their permission bits and leave no temporary file.
#include "cli/Cli.h"

namespace zm::test::cli {
namespace {

constexpr const char* kTagged =
    "[TIT2(encoding=0, text='Old'), TPE2(encoding=1, text='Keep \\u2603'),"
    " APIC(encoding=0, mime='image/png', type=3, desc='', data=b'PNG!'),"
    " COMM(encoding=0, lang='eng', desc='', text='old comment')]";

// The common names reach their frames and the ID3v1 block; then repeated
// options apply in command-line order, and empty values delete.
TEST_F(Cli, SetCommonNamesReachTheirFramesAndTheID3v1Block) {
    std::string path = File("a.mp3");
    ASSERT_TRUE(MakeMp3(path) && TagMp3(path, kTagged, true) && ::chmod(path.c_str(), 0604) == 0);
    std::string audio = DecodedMd5(path);
    Outcome set = Zmtagio("set " + Quote(path) + " --title '\u00c9t\u00e9' --artist Ann --album Alb --year 1999"
                          " --genre Rock --track 3/12 --comment Nice");
    ASSERT_EQ(set.status, 0) << set.err;
    EXPECT_EQ(Lines(set.out).size(), 1u) << set.out;
    EXPECT_NE(set.out.find(": TIT2 \"Old\" -> \"\u00c9t\u00e9\"; "), std::string::npos) << set.out;
    EXPECT_NE(set.out.find("; ID3v1 genre \"255\" -> \"17\""), std::string::npos) << set.out;
    Json frames = MutagenFrames(path);
    const std::pair<const char*, const char*> expected[] = {
        {"TIT2", "\u00c9t\u00e9"}, {"TPE1", "Ann"},  {"TALB", "Alb"},       {"TYER", "1999"},
        {"TCON", "Rock"},          {"TRCK", "3/12"}, {"COMM::eng", "Nice"}, {"TPE2", "Keep \u2603"}};
    for (const auto& [key, text] : expected) EXPECT_EQ(frames[key]["text"], text) << key;
    EXPECT_EQ(frames["TIT2"]["encoding"], 0);
    EXPECT_TRUE(frames.contains("APIC:"));
    EXPECT_EQ(Hex(Tail(ReadFile(path))), Hex(ID3v1Block({"\xc9t\xe9", "Ann", "Alb", "1999", "Nice"}, 3, 17)));
    EXPECT_EQ(DecodedMd5(path), audio);
    EXPECT_EQ(Permissions(path), 0604u);
    EXPECT_TRUE(NoTemporaryFiles());

    ASSERT_EQ(Zmtagio("set " + Quote(path) + " --title A --field TIT2=B").status, 0);
    EXPECT_EQ(MutagenFrames(path)["TIT2"]["text"], "B");
    ASSERT_EQ(Zmtagio("set " + Quote(path) + " --field TIT2=B --title A").status, 0);
    EXPECT_EQ(MutagenFrames(path)["TIT2"]["text"], "A");
    Outcome deleted = Zmtagio("set " + Quote(path) + " --comment '' --field TPE2=");
    ASSERT_EQ(deleted.status, 0) << deleted.err;
    EXPECT_NE(deleted.out.find("COMM \"Nice\" -> (deleted)"), std::string::npos) << deleted.out;
    frames = MutagenFrames(path);
    EXPECT_FALSE(frames.contains("COMM::eng") || frames.contains("TPE2")) << frames.dump();
    EXPECT_EQ(frames["TIT2"]["text"], "A");

    // ISO-8859-1 when the code page holds the text (Cyrillic in 1251); show reads it back with the same code page.
    ASSERT_EQ(Zmtagio("set " + Quote(path) + " --codepage 1251 --title '\u041c\u0438\u0440'").status, 0);
    EXPECT_EQ(MutagenFrames(path)["TIT2"]["encoding"], 0);
    EXPECT_EQ(Field(ShowJson(path, "--codepage 1251"), "id3v2", 17)["text"], "\u041c\u0438\u0440");
}

// Windows Media values in any script show and take edits as the host code page (UTF-8) holds them, with attributes
// added and deleted, as mutagen and ffprobe read them; under another host code page what it lacks is refused before
// anything is written (RefusedEdits), and what it holds is shown in it.
TEST_F(Cli, SetWindowsMediaAttributesInAnyScript) {
    std::string path = File("u.wma");
    ASSERT_TRUE(MakeWma(path, {"title=\u041F\u0440\u0438\u0432\u0435\u0442", "artist=\u6771\u4EAC\u4E8B\u5909",
                               "album=Songs \U0001F3B5", "genre=Jazz"}) &&
                ::chmod(path.c_str(), 0604) == 0);
    std::string audio = DecodedMd5(path);
    auto texts = [&](const std::string& options) {
        Json line = ShowJson(path, options);
        return Field(line, "wm", 1)["text"].dump() + Field(line, "wm", 14)["text"].dump() +
               Field(line, "wm", 13)["text"].dump();
    };
    EXPECT_EQ(texts(""), "\"\u041F\u0440\u0438\u0432\u0435\u0442\"\"\u6771\u4EAC\u4E8B\u5909\"\"Songs \U0001F3B5\"");
    Outcome set = Zmtagio("set " + Quote(path) + " --title '\u0401\u0436 \U0001F994' --artist '\u674E\u767D' "
                          "--album '\uD55C\uAD6D\uC5B4' --field WM/Composer=Comp --year 2001");
    ASSERT_EQ(set.status, 0) << set.err;
    EXPECT_NE(set.out.find("Title \"\u041F\u0440\u0438\u0432\u0435\u0442\" -> \"\u0401\u0436 \U0001F994\""),
              std::string::npos) << set.out;
    EXPECT_EQ(Python("import sys, mutagen.asf as a\nt = a.ASF('" + path + "').tags\n"
                     "sys.stdout.buffer.write('|'.join(str(t[k][0]) for k in ('Title', 'Author', 'WM/AlbumTitle'))"
                     ".encode())"),
              "\u0401\u0436 \U0001F994|\u674E\u767D|\uD55C\uAD6D\uC5B4");
    // Cyrillic in code page 1251; the hedgehog it lacks, two UTF-16 units, as "??".
    EXPECT_EQ(texts("--host-codepage 1251").substr(0, 9), "\"\u0401\u0436 ??\"");
    ASSERT_EQ(Zmtagio("set " + Quote(path) + " --artist ''").status, 0);
    Json tags = Json::parse(test::Run("ffprobe -v error -show_entries format_tags -of json " + Quote(path)).output);
    tags["format"]["tags"].erase("encoder");
    EXPECT_EQ(tags["format"]["tags"], Json({{"title", "\u0401\u0436 \U0001F994"}, {"album", "\uD55C\uAD6D\uC5B4"},
                                            {"genre", "Jazz"}, {"composer", "Comp"}, {"WM/Year", "2001"}}));
    EXPECT_EQ(DecodedMd5(path), audio);
    EXPECT_EQ(Permissions(path), 0604u);
    EXPECT_TRUE(NoTemporaryFiles());
}

// An emptied comment goes and a new name comes last (the rest of set is OggFilesTest's); then every comment leaves
// with the vendor staying. The audio stays throughout.
TEST_F(Cli, SetAndRemoveOggComments) {
    std::string path = File("a.ogg");
    ASSERT_TRUE(MakeOgg(path, {"TITLE=T", "ARTIST=A", "COMMENT=c"}) && ::chmod(path.c_str(), 0640) == 0);
    std::string audio = DecodedMd5(path);
    Outcome set = Zmtagio("set " + Quote(path) + " --comment '' --field PERFORMER=P");
    ASSERT_EQ(set.status, 0) << set.err;
    EXPECT_EQ(test::Run("vorbiscomment -l " + Quote(path)).output, "TITLE=T\nARTIST=A\nPERFORMER=P\n");
    Outcome removed = Zmtagio("remove " + Quote(path) + " --ogg");
    ASSERT_EQ(removed.status, 0) << removed.err;
    EXPECT_EQ(test::Run("vorbiscomment -l " + Quote(path)).output, "");
    EXPECT_EQ(DecodedMd5(path), audio);
    EXPECT_EQ(test::Run("ogginfo " + Quote(path) + " | grep -q 'Vendor: Xiph'").status, 0);
    EXPECT_EQ(Permissions(path), 0640u);
    EXPECT_TRUE(NoTemporaryFiles());
}

// One bad value and nothing is written. Containers of another kind would break
// with a tag in front; Ogg streams of other codecs, and Windows Media files
// whose read failed, are refused.
// A tag the file does not have is reported, and nothing is written either.
TEST_F(Cli, RefusedEditsAndNothingToRemoveLeaveTheFile) {
    std::string mp3 = File("a.mp3"), ogg = File("a.ogg"), wma = File("a.wma"), plain = File("plain.mp3");
    ASSERT_TRUE(MakeMp3(mp3) && TagMp3(mp3, kTagged, true) && MakeOgg(ogg, {"TITLE=t"}) && MakeWma(wma, {"title=t"}));
    ASSERT_TRUE(MakeMp3(plain));
    ASSERT_EQ(test::Run("head -c 100 " + Quote(wma) + " >" + Quote(File("cut.wma"))).status, 0);
    struct Row { std::string path, options; int status = 1; std::string command = "set"; };
    std::vector<Row> rows = {
        {mp3, "--album ok --track abc"}, {mp3, "--genre 'No Such Genre'"}, {mp3, "--field NOPE=1"},
        {mp3, "--field APIC=x"}, {mp3, "--comment " + std::string(29, 'c') + " --track 2"},
        {ogg, "--id3v1 --title x"}, {ogg, "--field TIT2=x"}, {wma, "--field WM/Composer=" + std::string(300, 'x')},
        {wma, "--host-codepage 1252 --artist '\u2603'"}, {File("cut.wma"), "--title x"},
        {plain, "--id3v1 --id3v2", 0, "remove"}, {plain, "--ogg", 0, "remove"}, {File("b.ogg"), "--ogg", 1, "remove"}};
    const char* containers[][2] = {{"a.wav", "-c:a pcm_s16le -f wav"}, {"a.flac", "-c:a flac -f flac"},
                                   {"a.m4a", "-c:a aac -f mp4"},       {"a.aiff", "-f aiff"},
                                   {"a.mka", "-c:a flac -f matroska"}, {"b.ogg", "-c:a flac -f ogg"}};
    for (const auto& [name, encoder] : containers) {
        rows.push_back({File(name), "--title x"});
        ASSERT_EQ(test::Run("ffmpeg -nostdin -y -loglevel error -f lavfi -i sine=duration=0.5 -ac 1 " +
                            std::string(encoder) + " " + Quote(File(name))).status, 0) << name;
    }
    for (const Row& row : rows) {
        Bytes before = ReadFile(row.path);
        Outcome run = Zmtagio(row.command + " " + Quote(row.path) + " " + row.options);
        std::string what = row.command + " " + row.path + " " + row.options.substr(0, 60);
        EXPECT_EQ(run.status, row.status) << what;
        EXPECT_EQ(run.errLines(), size_t(row.status)) << what << ": " << run.err;
        EXPECT_TRUE(ReadFile(row.path) == before) << what;
    }
    EXPECT_NE(Zmtagio("remove " + Quote(plain) + " --id3v1").out.find("no ID3v1 tag to remove"), std::string::npos);
    EXPECT_NE(Zmtagio("set " + Quote(File("b.ogg")) + " --title x").err.find("an Ogg file of the codec FLAC"),
              std::string::npos);
}

// The tags are made without padding, so what stays is byte for byte what the
// encoder and mutagen wrote. Asked for, both come back: a new ID3v1 block gets
// genre 255, and a track number the comment's last two bytes.
TEST_F(Cli, RemoveID3TagsAndSetThemBack) {
    std::string plain = File("plain.mp3"), path = File("a.mp3");
    ASSERT_TRUE(MakeMp3(plain) && std::filesystem::copy_file(plain, path) &&
                TagMp3(path, "[TIT2(encoding=0, text='Title'), TPE1(encoding=1, text='Artist')]", true));
    const Bytes audio = ReadFile(plain), tagged = ReadFile(path);
    Bytes withoutV1(tagged.begin(), tagged.end() - 128), withoutV2 = audio;
    withoutV2.insert(withoutV2.end(), tagged.end() - 128, tagged.end());
    for (const auto& [options, expected] :
         {std::pair{"--id3v1", withoutV1}, {"--id3v2", withoutV2}, {"--id3v2 --id3v1", audio}}) {
        WriteFile(path, tagged);
        ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
        Outcome removed = Zmtagio("remove " + Quote(path) + " " + options);
        ASSERT_EQ(removed.status, 0) << options << removed.err;
        EXPECT_NE(removed.out.find("removed the ID3v"), std::string::npos) << removed.out;
        EXPECT_TRUE(ReadFile(path) == expected) << options;
        EXPECT_EQ(Permissions(path), 0640u);
        EXPECT_TRUE(NoTemporaryFiles());
    }
    ASSERT_EQ(Zmtagio("set --id3v1 " + Quote(path) + " --title T --track 5").status, 0);
    Bytes bytes = ReadFile(path);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 3), "ID3");
    EXPECT_EQ(Hex(Tail(bytes)), Hex(ID3v1Block({"T"}, 5, 255)));
    EXPECT_EQ(MutagenFrames(path)["TIT2"]["text"], "T");
}

}  // namespace
}  // namespace zm::test::cli
