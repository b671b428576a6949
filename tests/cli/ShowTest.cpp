// zmtagio show and scan: the JSON every end-to-end check reads, the text form,
// and every file under the folders counted by kind.
#include <map>
#include <regex>

#include "cli/Cli.h"

namespace zm::test::cli {
namespace {

constexpr const char* kFrames =
    "[TIT2(encoding=0, text='Caf\\xe9'), TPE1(encoding=1, text='Sn\\xf6w \\u2603'), TRCK(encoding=0, text='7'),"
    " COMM(encoding=0, lang='deu', desc='y', text='deutsch'), COMM(encoding=0, lang='eng', desc='d', text='hello'),"
    " TCON(encoding=0, text='Jazz'), APIC(encoding=0, mime='image/png', type=3, desc='', data=b'PNG!')]";

// The language picks the comment, the code page decodes 8-bit text. Only
// values that are not text carry their bytes, unless --hex asks for all.
TEST_F(Cli, ShowJsonAndTextOfBothID3Tags) {
    std::string path = File("both.mp3");
    ASSERT_TRUE(MakeMp3(path) && TagMp3(path, kFrames, true));
    Json line = ShowJson(path), all = ShowJson(path, "--hex"), head = line;
    head.erase("fields");
    EXPECT_EQ(head, Json({{"path", path}, {"result", "S_OK"}, {"hr", "0x00000000"}, {"hasID3v1", true},
                          {"hasID3v2", true}, {"isOgg", false}, {"isASF", false}, {"id3v2Version", 3},
                          {"id3v2Flags", 0}}));
    for (size_t i = 0; i < line["fields"].size(); ++i) {
        const Json& field = line["fields"][i];
        EXPECT_TRUE(i == 0 || field["id"] > line["fields"][i - 1]["id"]) << "fields in id order";
        EXPECT_NE(field.contains("hex"), field.contains("text")) << field;
        EXPECT_EQ(all["fields"][i]["hex"].get<std::string>().size(), 2 * field["size"].get<size_t>());
    }
    const std::tuple<const char*, int, const char*, const char*> expected[] = {
        {"id3v2", 17, "TIT2", "Caf\u00e9"}, {"id3v2", 30, "TPE1", "Sn\u00f6w \u2603"}, {"id3v2", 37, "TRCK", "7"},
        {"id3v2", 4, "TCON", "Jazz"},       {"id3v2", 50, "COMM", "hello"}, {"id3v1", 110, "title", "Caf\u00e9"},
        {"id3v1", 115, "track", "7"},       {"id3v1", 116, "genre", "8"}};
    for (const auto& [kind, id, name, text] : expected) {
        EXPECT_EQ(Field(line, kind, id)["name"], name) << id;
        EXPECT_EQ(Field(line, kind, id)["text"], text) << name;
    }
    EXPECT_EQ(Field(line, "id3v2", 50)["lang"], "eng");
    EXPECT_EQ(Field(line, "id3v2", 50)["description"], "d");
    EXPECT_EQ(Field(all, "id3v2", 30)["hex"].get<std::string>().substr(0, 2), "01");
    EXPECT_EQ(Field(all, "id3v1", 110)["hex"], "436166e9" + std::string(52, '0'));
    EXPECT_FALSE(Field(line, "id3v2", 48).contains("text"));
    EXPECT_EQ(Field(line, "id3v2", 48)["hex"], "00" + Hex(ToBytes(std::string("image/png\0", 10))) + "0300" +
                                                   Hex(ToBytes("PNG!")));
    EXPECT_EQ(Field(ShowJson(path, "--lang deu"), "id3v2", 50)["text"], "deutsch");
    EXPECT_EQ(Field(ShowJson(path, "--codepage 1251"), "id3v1", 110)["text"], "Caf\u0439");
    EXPECT_NE(Zmtagio("show --trace " + Quote(path)).err.find("MDInit " + path), std::string::npos);

    Outcome shown = Zmtagio("show " + Quote(path));
    EXPECT_EQ(shown.status, 0);
    EXPECT_EQ(shown.out.substr(0, shown.out.find('\n')), path + ": ID3v2.3, ID3v1");
    for (const char* pattern : {"\n +17 +TIT2 +Caf\u00e9\n", "\n +50 +COMM +\\[eng\\] d: hello\n",
                                "APIC +\\[binary, 17 bytes, image/png\\]", "116 +genre +8 \\(Jazz\\)"})
        EXPECT_TRUE(std::regex_search(shown.out, std::regex(pattern))) << pattern << "\n" << shown.out;
}

// Bytes that are not UTF-8 (a lone UTF-16 surrogate, a file name, an Ogg
// value) must not break the line; "hex" keeps them exactly. The path, in
// folders as long as names may be, is longer than the record holds and is
// shown whole.
TEST_F(Cli, ShowJsonStaysValidWhateverBytesTheFileHolds) {
    std::string deep = DeepFolder(dir.path()), odd = deep + "/odd-\xff.mp3", ogg = File("raw.ogg");
    ASSERT_TRUE(MakeMp3(File("a.mp3")) && MakeOgg(ogg, {"TITLE=aZb"}));
    WriteFile(odd, FromHex("49443303 0000 00000011  54495432 00000007 0000 01 fffe 00d8 4100"));
    Append(odd, ReadFile(File("a.mp3")));
    Json line = ShowJson(odd);
    EXPECT_EQ(line["path"].get<std::string>(), deep + "/odd-\xef\xbf\xbd.mp3");
    EXPECT_EQ(Field(line, "id3v2", 17)["hex"], "01eda08041");
    EXPECT_NE(Field(line, "id3v2", 17)["text"].get<std::string>().find("\xef\xbf\xbd"), std::string::npos);
    // Z becomes 0xff, and the page gets its checksum back.
    Python("d = bytearray(open('" + ogg + "', 'rb').read())\ni = d.index(b'TITLE=aZb') + 7\nd[i] = 0xff\n"
           "s = d.rindex(b'OggS', 0, i)\nn = d[s + 26]\nd[s + 22:s + 26] = bytes(4)\ncrc = 0\n"
           "for b in d[s:s + 27 + n + sum(d[s + 27:s + 27 + n])]:\n    crc ^= b << 24\n    for _ in range(8):\n"
           "        crc = ((crc << 1) ^ 0x04C11DB7 if crc & 0x80000000 else crc << 1) & 0xFFFFFFFF\n"
           "d[s + 22:s + 26] = crc.to_bytes(4, 'little')\nopen('" + ogg + "', 'wb').write(d)\n");
    EXPECT_EQ(Field(ShowJson(ogg), "ogg", 1)["hex"], "61ff62");
}

// One line per file. A successful Windows Media read gives every slot 1 to 16
// its buffer, field 2 the clock text of the encoding time with size 0, and an
// attribute too long for the runtime's 16-bit length (an 80 KB cover URL that
// mutagen keeps in the Metadata Library) its first 299 bytes; a failed read
// has no fields and a line on standard error.
TEST_F(Cli, ShowWindowsMediaSlotsAndAFailedRead) {
    std::string path = File("a.wma"), missing = File("missing.mp3");
    std::string url = "http://example.org/" + std::string(81920, 'u');
    ASSERT_TRUE(MakeWma(path, {"title=Wm Title", "artist=Wm Artist", "album=Wm Album"}));
    Python("import mutagen.asf as a\nf = a.ASF('" + path + "')\nf.tags['WM/AlbumCoverURL'] = 'http://example.org/' + "
           "'u' * 81920\nf.save()\n");
    Outcome shown = Zmtagio("show --json " + Quote(path) + " " + Quote(missing));
    EXPECT_EQ(shown.status, 1);
    std::vector<std::string> lines = Lines(shown.out);
    ASSERT_EQ(lines.size(), 2u) << shown.out;
    Json line = Json::parse(lines[0]), fields = line["fields"];
    EXPECT_TRUE(line["result"] == "S_FALSE" && line["isASF"] == true) << lines[0];
    ASSERT_EQ(fields.size(), 16u) << lines[0];
    for (int id = 1; id <= 16; ++id) EXPECT_TRUE(fields[id - 1]["kind"] == "wm" && fields[id - 1]["id"] == id) << id;
    EXPECT_EQ(fields[0], Json({{"id", 1}, {"kind", "wm"}, {"name", "Title"}, {"size", 9}, {"text", "Wm Title"}}));
    EXPECT_EQ(fields[1]["size"], 0);
    EXPECT_TRUE(std::regex_match(fields[1]["text"].get<std::string>(), std::regex("\\d\\d:\\d\\d:\\d\\d:\\d\\d\\d")));
    EXPECT_TRUE(fields[13]["text"] == "Wm Artist" && fields[12]["text"] == "Wm Album") << lines[0];
    EXPECT_EQ(fields[11], Json({{"id", 12}, {"kind", "wm"}, {"name", "WM/AlbumCoverURL"}, {"size", 300},
                                {"text", url.substr(0, 299)}}));
    EXPECT_EQ(Json::parse(lines[1]), Json({{"path", missing}, {"result", "E_FAIL"}, {"hr", "0x80004005"},
                                           {"hasID3v1", false}, {"hasID3v2", false}, {"isOgg", false},
                                           {"isASF", false}, {"id3v2Version", 0}, {"id3v2Flags", 0},
                                           {"fields", Json::array()}}));
    EXPECT_EQ(shown.err, "zmtagio: " + missing + ": cannot read tags (E_FAIL): No such file or directory\n");
}

// a.mp3 (both ID3 tags), b.ogg, c.wma, d.txt (untagged), sub/e.mp3 (ID3v1
// only), in the order the folder lists them, then the summary; a path that is
// not there is a failed file. The progress bar is drawn only when standard
// error is a terminal.
TEST_F(Cli, ScanListsEveryFileThenTheSummary) {
    std::string root = File("library");
    std::filesystem::create_directories(root + "/sub");
    ASSERT_TRUE(MakeMp3(root + "/a.mp3") && TagMp3(root + "/a.mp3", "[TIT2(encoding=0, text='A')]", true));
    ASSERT_TRUE(MakeOgg(root + "/b.ogg", {"TITLE=B"}) && MakeWma(root + "/c.wma", {"title=C"}));
    WriteFile(root + "/d.txt", ToBytes("not audio\n"));
    ASSERT_TRUE(MakeMp3(root + "/sub/e.mp3"));
    Append(root + "/sub/e.mp3", ID3v1Block({"E"}, 0, 255));

    Outcome scanned = Zmtagio("scan --json --jobs 2 " + Quote(root));
    ASSERT_EQ(scanned.status, 0) << scanned.err;
    EXPECT_EQ(scanned.err, "");
    std::vector<std::string> lines = Lines(scanned.out);
    ASSERT_EQ(lines.size(), 6u) << scanned.out;
    std::map<std::string, Json> byPath;
    for (size_t i = 0; i < 5; ++i) byPath[Json::parse(lines[i])["path"]] = Json::parse(lines[i]);
    ASSERT_EQ(byPath.size(), 5u) << scanned.out;
    EXPECT_EQ(byPath[root + "/a.mp3"]["hasID3v2"], true);
    EXPECT_EQ(byPath[root + "/b.ogg"]["isOgg"], true);
    EXPECT_EQ(byPath[root + "/c.wma"]["isASF"], true);
    const Json& e = byPath[root + "/sub/e.mp3"];
    EXPECT_TRUE(e["hasID3v1"] == true && e["hasID3v2"] == false) << e;
    EXPECT_EQ(Json::parse(lines[5])["summary"],
              Json::parse(R"({"files":5,"id3v1":2,"id3v2":1,"ogg":1,"opus":0,"wm":1,"untagged":1,"failed":0})"));

    scanned = Zmtagio("scan " + Quote(root) + " " + Quote(File("missing")) + " " + Quote(root + "/sub"));
    EXPECT_EQ(scanned.status, 1);
    EXPECT_EQ(scanned.err, "");
    lines = Lines(scanned.out);
    ASSERT_EQ(lines.size(), 7u) << scanned.out;
    std::sort(lines.begin(), lines.end() - 1);
    EXPECT_EQ(lines[0], root + "/a.mp3: ID3v2.3, ID3v1");
    EXPECT_EQ(lines[3], root + "/d.txt: no tags");
    EXPECT_EQ(lines[5], File("missing") + ": cannot read tags (E_FAIL): No such file or directory");
    EXPECT_EQ(lines[6], "6 files: 1 ID3v2, 2 ID3v1, 1 Ogg Vorbis, 0 Ogg Opus, 1 Windows Media, 1 untagged, 1 failed");

    // With standard output sent elsewhere, the terminal sees nothing but the bar.
    std::string command = Quote(ZM_BINARY_DIR "/tools/zmtagio") + " scan " + Quote(root) + " >/dev/null";
    Result terminal = test::Run("script -qec " + Quote(command) + " /dev/null");
    ASSERT_EQ(terminal.status, 0);
    EXPECT_NE(terminal.output.find("] 5/5 files"), std::string::npos) << terminal.output;
}

}  // namespace
}  // namespace zm::test::cli
