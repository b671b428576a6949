// zmtagio show: the JSON every end-to-end check reads, and the text form.
#include <gtest/gtest.h>

#include <regex>

#include "cli/Cli.h"

namespace zm::test::cli {
namespace {

constexpr const char* kFrames =
    "[TIT2(encoding=0, text='Caf\\xe9'), TPE1(encoding=1, text='Sn\\xf6w \\u2603'),"
    " COMM(encoding=0, lang='eng', desc='d', text='hello'), TRCK(encoding=0, text='7'),"
    " TCON(encoding=0, text='Jazz'), APIC(encoding=0, mime='image/png', type=3, desc='', data=b'PNG!')]";

TEST(CliShow, JsonHoldsEveryKeyAndTheFieldsOfBothTags) {
    TempDir dir;
    std::string path = dir.File("both.mp3");
    ASSERT_TRUE(MakeTaggedMp3(path, kFrames, true));
    Outcome shown = Zmtagio(dir, "show --json " + Quote(path));
    ASSERT_EQ(shown.status, 0) << shown.err;
    Json line = Json::parse(shown.out);

    std::vector<std::string> keys;
    for (auto it = line.begin(); it != line.end(); ++it) keys.push_back(it.key());
    std::sort(keys.begin(), keys.end());
    EXPECT_EQ(keys, (std::vector<std::string>{"fields", "hasID3v1", "hasID3v2", "hr", "id3v2Flags", "id3v2Version",
                                              "isASF", "isOgg", "path", "result"}));
    EXPECT_EQ(line["path"], path);
    EXPECT_EQ(line["result"], "S_OK");
    EXPECT_EQ(line["hr"], "0x00000000");
    EXPECT_EQ(line["hasID3v1"], true);
    EXPECT_EQ(line["hasID3v2"], true);
    EXPECT_EQ(line["isOgg"], false);
    EXPECT_EQ(line["id3v2Version"], 3);

    int lastId = 0;
    for (const Json& field : line["fields"]) {
        EXPECT_GT(field["id"].get<int>(), lastId) << "fields in id order";
        lastId = field["id"];
        EXPECT_EQ(field["hex"].get<std::string>().size(), 2 * field["size"].get<size_t>());
    }
    struct Expected {
        const char* kind;
        int id;
        const char* name;
        const char* text;
    } expected[] = {
        {"id3v2", 17, "TIT2", "Caf\u00e9"},  {"id3v2", 30, "TPE1", "Sn\u00f6w \u2603"}, {"id3v2", 37, "TRCK", "7"},
        {"id3v2", 4, "TCON", "Jazz"},        {"id3v2", 50, "COMM", "hello"},          {"id3v1", 110, "title", "Caf\u00e9"},
        {"id3v1", 115, "track", "7"},        {"id3v1", 116, "genre", "8"},
    };
    for (const Expected& e : expected) {
        const Json* field = FindField(line, e.kind, e.id);
        ASSERT_NE(field, nullptr) << e.name;
        EXPECT_EQ((*field)["name"], e.name);
        EXPECT_EQ((*field)["text"], e.text) << e.name;
    }
    const Json& comment = *FindField(line, "id3v2", 50);
    EXPECT_EQ(comment["lang"], "eng");
    EXPECT_EQ(comment["description"], "d");
    EXPECT_EQ((*FindField(line, "id3v2", 30))["hex"].get<std::string>().substr(0, 2), "01");
    EXPECT_EQ((*FindField(line, "id3v1", 110))["hex"], "436166e9" + std::string(52, '0'));
    const Json* picture = FindField(line, "id3v2", 48);
    ASSERT_NE(picture, nullptr);
    EXPECT_FALSE(picture->contains("text"));
    EXPECT_EQ((*picture)["hex"], "00" + Hex(ToBytes(std::string("image/png\0", 10))) + "0300" + Hex(ToBytes("PNG!")));
}

TEST(CliShow, TextFormShowsKindsFieldsAndBinaryFrames) {
    TempDir dir;
    std::string path = dir.File("both.mp3");
    ASSERT_TRUE(MakeTaggedMp3(path, kFrames, true));
    Outcome shown = Zmtagio(dir, "show " + Quote(path));
    EXPECT_EQ(shown.status, 0);
    EXPECT_EQ(shown.out.substr(0, shown.out.find('\n')), path + ": ID3v2.3, ID3v1");
    EXPECT_TRUE(std::regex_search(shown.out, std::regex("\n +17 +TIT2 +Caf\u00e9\n"))) << shown.out;
    EXPECT_TRUE(std::regex_search(shown.out, std::regex("\n +50 +COMM +\\[eng\\] d: hello\n"))) << shown.out;
    EXPECT_TRUE(std::regex_search(shown.out, std::regex("APIC +\\[binary, 17 bytes, image/png\\]"))) << shown.out;
    EXPECT_TRUE(std::regex_search(shown.out, std::regex("116 +genre +8 \\(Jazz\\)"))) << shown.out;
}

// Changes one byte of an Ogg page and puts the page's checksum right.
constexpr const char* kPatchOggByte = R"(
def patch(path, marker, offset, value):
    d = bytearray(open(path, 'rb').read())
    i = d.index(marker) + offset
    d[i] = value
    s = d.rindex(b'OggS', 0, i)
    segments = d[s + 26]
    end = s + 27 + segments + sum(d[s + 27:s + 27 + segments])
    d[s + 22:s + 26] = bytes(4)
    crc = 0
    for b in d[s:end]:
        crc ^= b << 24
        for _ in range(8):
            crc = ((crc << 1) ^ 0x04C11DB7 if crc & 0x80000000 else crc << 1) & 0xFFFFFFFF
    d[s + 22:s + 26] = crc.to_bytes(4, 'little')
    open(path, 'wb').write(d)
)";

// Bytes that are not UTF-8 (a lone UTF-16 surrogate, an Ogg value, a file
// name) must not break the line; "hex" keeps them exactly.
TEST(CliShow, JsonStaysValidWhateverBytesTheFileHolds) {
    TempDir dir;
    ASSERT_TRUE(MakeMp3(dir.File("a.mp3")));
    Bytes audio = ReadFile(dir.File("a.mp3"));
    Bytes tag = FromHex("49443303 0000 00000011  54495432 00000007 0000 01 fffe 00d8 4100");
    tag.insert(tag.end(), audio.begin(), audio.end());
    std::string odd = dir.File("odd-\xff.mp3");
    WriteFile(odd, tag);
    Json line = ShowJson(dir, odd);
    EXPECT_EQ(line["path"].get<std::string>(), dir.File("odd-\xef\xbf\xbd.mp3"));
    const Json* title = FindField(line, "id3v2", 17);
    ASSERT_NE(title, nullptr);
    EXPECT_EQ((*title)["hex"], "01eda08041");
    EXPECT_NE((*title)["text"].get<std::string>().find("\xef\xbf\xbd"), std::string::npos);

    std::string ogg = dir.File("raw.ogg");
    ASSERT_TRUE(MakeOgg(ogg, {"TITLE=aZb"}));
    Python(std::string(kPatchOggByte) + "patch(" + Quote(ogg) + ", b'TITLE=aZb', 7, 0xff)\n");
    Json oggLine = ShowJson(dir, ogg);
    ASSERT_NE(FindField(oggLine, "ogg", 1), nullptr) << oggLine.dump();
    EXPECT_EQ((*FindField(oggLine, "ogg", 1))["hex"], "61ff62");
}

TEST(CliShow, FailedReadIsReportedInJsonAndOnStandardError) {
    TempDir dir;
    std::string missing = dir.File("missing.mp3");
    Outcome shown = Zmtagio(dir, "show --json " + Quote(missing));
    EXPECT_EQ(shown.status, 1);
    Json line = Json::parse(shown.out);
    EXPECT_EQ(line["result"], "E_FAIL");
    EXPECT_EQ(line["hr"], "0x80004005");
    EXPECT_TRUE(line["fields"].empty());
    EXPECT_EQ(std::count(shown.err.begin(), shown.err.end(), '\n'), 1);
    EXPECT_NE(shown.err.find(missing), std::string::npos);
}

// A successful read gives every slot 1 to 16 its buffer, field 2 the clock
// text of the encoding time with size 0.
TEST(CliShow, WindowsMediaListsEverySlotThatHasItsBuffer) {
    TempDir dir;
    std::string path = dir.File("a.wma");
    ASSERT_TRUE(MakeWma(path, {"title=Wm Title", "artist=Wm Artist", "album=Wm Album"}));
    Json line = ShowJson(dir, path);
    EXPECT_EQ(line["result"], "S_FALSE");
    EXPECT_EQ(line["isASF"], true);
    ASSERT_EQ(line["fields"].size(), 16u) << line.dump();
    for (int id = 1; id <= 16; ++id) EXPECT_EQ(line["fields"][id - 1]["kind"], "wm");
    const Json& clock = line["fields"][1];
    EXPECT_EQ(clock["size"], 0);
    EXPECT_TRUE(std::regex_match(clock["text"].get<std::string>(), std::regex("\\d\\d:\\d\\d:\\d\\d:\\d\\d\\d")));
    EXPECT_EQ(line["fields"][0]["name"], "Title");
    EXPECT_EQ(line["fields"][0]["text"], "Wm Title");
    EXPECT_EQ(line["fields"][0]["hex"], Hex(ToBytes(std::string("Wm Title\0", 9))));
    EXPECT_EQ(line["fields"][13]["text"], "Wm Artist");
    EXPECT_EQ(line["fields"][12]["text"], "Wm Album");
}

// The code page decodes 8-bit text; the language picks the comment.
TEST(CliShow, CodePageAndLanguageChooseWhatIsShown) {
    TempDir dir;
    std::string path = dir.File("v1.mp3");
    ASSERT_TRUE(MakeTaggedMp3(path,
                              "[COMM(encoding=0, lang='eng', desc='x', text='english'),"
                              " COMM(encoding=0, lang='deu', desc='y', text='deutsch')]",
                              false));
    Bytes bytes = ReadFile(path);
    Bytes block(128, 0);
    Bytes title = FromHex("cff0e8e2e5f2");  // a Cyrillic word in code page 1251
    std::copy(title.begin(), title.end(), std::copy_n("TAG", 3, block.begin()));
    bytes.insert(bytes.end(), block.begin(), block.end());
    WriteFile(path, bytes);

    EXPECT_EQ((*FindField(ShowJson(dir, path, "--codepage 1251"), "id3v1", 110))["text"],
              "\u041f\u0440\u0438\u0432\u0435\u0442");
    EXPECT_EQ((*FindField(ShowJson(dir, path), "id3v1", 110))["text"], "\u00cf\u00f0\u00e8\u00e2\u00e5\u00f2");
    EXPECT_EQ((*FindField(ShowJson(dir, path, "--lang deu"), "id3v2", 50))["text"], "deutsch");
    EXPECT_EQ((*FindField(ShowJson(dir, path, "--lang eng"), "id3v2", 50))["text"], "english");

    Outcome traced = Zmtagio(dir, "show --trace " + Quote(path));
    EXPECT_NE(traced.err.find("MDInit " + path), std::string::npos) << traced.err;
}

}  // namespace
}  // namespace zm::test::cli
