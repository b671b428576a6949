// Reading hand-made ID3v2 tags of versions 2.2, 2.3 and 2.4: what lands in
// the fields, what is kept byte for byte, and where the audio starts.
#include <gtest/gtest.h>

#include "id3/Comment.h"
#include "TagBuilder.h"

namespace zm::id3 {
namespace {

using namespace test;
using zm::test::FromHex;
using zm::test::Hex;
using zm::test::TempDir;

const Bytes kAudio = FromHex("ff fb 90 64 00 00 00 00 11 22 33 44");

using FrameWalkTest = TagFileTest;

TEST(CommentTestsTest, LanguageDescriptionAndPlayerComments) {
    const char eng[4] = {'e', 'n', 'g', 0};
    const char none[4] = {};
    EXPECT_TRUE(CommentLanguageMatches(FromHex("00 45 4e 47 00"), eng));  // case ignored
    EXPECT_FALSE(CommentLanguageMatches(FromHex("00 65 6e 67"), eng));    // too short
    EXPECT_FALSE(CommentLanguageMatches(FromHex("00 66 72 65 00 61"), eng));
    EXPECT_TRUE(CommentLanguageMatches(FromHex("00 66 72 65 00 61"), none));
    EXPECT_FALSE(CommentLanguageMatches(FromHex("01 65 6e 67 ff fe 00 00"), none));
    EXPECT_TRUE(IsPlainComment(FromHex("00 65 6e 67 00 61")));
    EXPECT_FALSE(IsPlainComment(FromHex("00 65 6e 67 78 00 61")));
    EXPECT_FALSE(IsPlainComment(FromHex("00 65 6e 67 00")));
    EXPECT_TRUE(IsITunesComment(Text(std::string("\0engitunNORM", 12))));
    EXPECT_FALSE(IsITunesComment(Text(std::string("\0engiTu", 7))));
}

TEST_F(FrameWalkTest, Version3FieldsKeptFramesAndPadding) {
    Bytes title = Frame(3, "TIT2", FromHex("00 48 65 6c 6c 6f"));
    Bytes artist = Frame(3, "TPE1", FromHex("01 ff fe 41 00"), 0x0040);
    Bytes second = Frame(3, "TIT2", Text("\x01\xff\xfeX\0"), 0x8000);
    Bytes priv = Frame(3, "PRIV", Text(std::string("me\0\x01\x02", 5)));
    Bytes unknown = Frame(3, "XSOP", Text("\0abc"));
    Bytes frames = title + artist + second + priv + unknown;
    TagReader r(Write(Tag(3, 0, frames + Zeros(32)) + kAudio));
    ASSERT_EQ(r.result, ZMTAGIO_S_OK);
    EXPECT_EQ(r.record.id3v2Version, 3);
    EXPECT_EQ(r.Field(17), "0048656c6c6f");
    EXPECT_EQ(std::string(r.record.fields[17].frameId, 4), "TIT2");
    EXPECT_EQ(r.Field(30), "0141");
    EXPECT_EQ(r.record.fields[30].frameFlags, 0x0040);
    EXPECT_EQ(r.Field(61), "6d65000102");  // not a text field: the body as it stands
    EXPECT_EQ(r.Kept(), Hex(second + unknown));
    EXPECT_EQ(r.blocks.id3v2, 10 + frames.size() + 32);
    EXPECT_EQ(r.audio.start, 10 + frames.size());  // the padding stays in front of the audio
}

TEST_F(FrameWalkTest, Version2IdsPicturesAndDateTime) {
    Bytes pic = FromHex("00") + Text("PNG") + FromHex("03") + Text("d") + FromHex("00 89 50");
    Bytes frames = Frame(2, "TT2", Text("\0Hi")) + Frame(2, "TDA", Text("\x00" "0101")) +
                   Frame(2, "TIM", Text("\x00" "1200")) + Frame(2, "PIC", pic) +
                   Frame(2, "PIC", FromHex("00") + Text("JPG") + FromHex("00 00 ff d8")) +
                   Frame(2, "XYZ", Text("lost")) + Frame(2, "COM", Text(std::string("\0eng\0c", 6)));
    TagReader r(Write(Tag(2, 0, frames) + kAudio));
    ASSERT_EQ(r.result, ZMTAGIO_S_OK);
    EXPECT_EQ(r.Field(17), "004869");
    EXPECT_EQ(std::string(r.record.fields[17].frameId, 4), "TIT2");
    EXPECT_EQ(r.record.fields[17].frameFlags, 0);
    EXPECT_EQ(r.Field(6), "0030313031");
    EXPECT_EQ(r.Field(48), Hex(FromHex("00") + Text("image/png") + FromHex("00 03") + Text("d") + FromHex("00 89 50")));
    EXPECT_EQ(r.Field(50), Hex(Text(std::string("\0eng\0c", 6))));
    // Kept frames carry their version-2.3 ids; one without an id is left out.
    Bytes apic = FromHex("00") + Text("image/jpeg") + FromHex("00 00 00 ff d8");
    EXPECT_EQ(r.Kept(), Hex(Frame(3, "TDEN", Text("\x00" "1200")) + Frame(3, "APIC", apic)));
    EXPECT_EQ(r.audio.start, 10 + frames.size());
}

TEST_F(FrameWalkTest, Version4SyncsafeSizesFlagsAndExtendedHeader) {
    Bytes body(200, 'a');
    body[0] = 0;
    Bytes title = Text("TIT2") + FromHex("00 00 01 48 00 00") + body;
    // Unsynchronised with a data-length indicator: stored as the real bytes.
    Bytes real = Text(std::string("me\0\xff\xe0\x01", 6));
    Bytes priv = Frame(4, "PRIV", Syncsafe(6) + Text(std::string("me\0\xff\0\xe0\x01", 7)), 0x4003);
    Bytes second = Frame(4, "TIT2", Text(std::string("\0\xff\0\xe0", 4)), 0x0002);
    Bytes extended = Syncsafe(6) + FromHex("01 00");
    TagReader r(Write(Tag(4, 0x40, extended + title + priv + second) + kAudio));
    ASSERT_EQ(r.result, ZMTAGIO_S_OK);
    EXPECT_EQ(r.record.fields[17].size, 200);
    EXPECT_EQ(r.Field(61), Hex(real));
    EXPECT_EQ(r.record.fields[61].frameFlags, 0x8000);  // tag alter preservation, version-2.3 place
    EXPECT_EQ(r.Kept(), Hex(Frame(3, "TIT2", Text(std::string("\0\xff\xe0", 3)))));
    EXPECT_TRUE(r.state.extendedHeader.empty());
    EXPECT_EQ(r.record.id3v2Flags, 0x40);
}

// The frame holds 00 FF E0 41; on file a zero follows the FF. Versions 2.2
// and 2.3 unsynchronise the whole tag, version 2.4 every frame.
TEST_F(FrameWalkTest, UnsynchronisedTags) {
    Bytes extended = FromHex("00 00 00 06 00 00 00 00 00 00");
    Bytes v2 = Text("TT2") + FromHex("00 00 04 00 ff 00 e0 41");
    Bytes v3 = Text("TIT2") + FromHex("00 00 00 04 00 00 00 ff 00 e0 41");
    Bytes v4 = Text("TIT2") + FromHex("00 00 00 05 00 00 00 ff 00 e0 41");
    struct Case {
        int version;
        uint8_t flags;
        Bytes before, frame;
    } cases[] = {{2, 0x80, {}, v2}, {3, 0xC0, extended, v3}, {4, 0x80, {}, v4}};
    for (const Case& c : cases) {
        TagReader r(Write(Tag(c.version, c.flags, c.before + c.frame + Zeros(8)) + kAudio));
        ASSERT_EQ(r.result, ZMTAGIO_S_OK);
        EXPECT_EQ(r.Field(17), "00c3bfc3a041") << c.version;  // ANSI 1252: y-diaeresis, a-grave
        EXPECT_EQ(r.audio.start, 10 + c.before.size() + c.frame.size()) << c.version;
    }
}

TEST_F(FrameWalkTest, WalkEndsWhereTheTagStopsMakingSense) {
    Bytes title = Frame(3, "TIT2", Text("\0a"));
    struct Case {
        const char* name;
        Bytes rest;
        size_t audioStart;
    } cases[] = {
        {"frame past the tag", title + Text("TPE1") + FromHex("00 00 00 64 00 00 00 41"), 10 + title.size()},
        {"invalid id", title + Text("TPe1") + FromHex("00 00 00 01 00 00 00"), 10 + title.size()},
        {"header cut", title + Text("TPE1") + FromHex("00 00"), 10 + title.size()},
        {"unknown frame too large", title + Frame(3, "ZZZZ", Zeros(20480)) + Frame(3, "TPE1", Text("\0b")),
         10 + title.size() + 8},
        {"empty unknown frame", title + Frame(3, "ZZZZ", {}), 10 + title.size() + 8},
    };
    for (const Case& c : cases) {
        TagReader r(Write(Tag(3, 0, c.rest) + kAudio));
        ASSERT_EQ(r.result, ZMTAGIO_S_OK) << c.name;
        EXPECT_EQ(r.Field(17), "0061") << c.name;
        EXPECT_EQ(r.record.fields[30].size, 0) << c.name;
        EXPECT_EQ(r.state.keptFrames.used, 0u) << c.name;
        // A frame too large to keep ends the walk behind its id and size.
        EXPECT_EQ(r.audio.start, c.audioStart) << c.name;
    }
}

TEST_F(FrameWalkTest, TagLargerThanTheFileIsReadAsFarAsItGoes) {
    Bytes header = FromHex("49 44 33 03 00 00 00 00 07 68");  // claims 1000 bytes
    TagReader r(Write(header + Frame(3, "TIT2", Text("\0a")) + Frame(3, "TALB", Text("\0album"))));
    ASSERT_EQ(r.result, ZMTAGIO_S_OK);
    EXPECT_EQ(r.Field(17), "0061");
    EXPECT_EQ(r.Field(1), "00616c62756d");
    EXPECT_EQ(r.blocks.id3v2, 38u);  // what the file holds, not what the header claims
}

TEST_F(FrameWalkTest, CompressedVersion2TagHasNoReadableFrames) {
    TagReader r(Write(Tag(2, 0x40, Frame(2, "TT2", Text("\0a"))) + kAudio));
    ASSERT_EQ(r.result, ZMTAGIO_S_OK);
    EXPECT_EQ(r.record.fields[17].size, 0);
    EXPECT_EQ(r.audio.start, 10u);
}

Bytes Comment(const std::string& language, const std::string& description, uint8_t encoding = 0) {
    return Bytes{encoding} + Text(language) + Text(description) + Bytes{0} + Text("text");
}

TEST_F(FrameWalkTest, CommentChosenByLanguage) {
    Bytes fre = Frame(3, "COMM", Comment("fre", "x"));
    Bytes eng = Frame(3, "COMM", Comment("eng", ""));
    Bytes itunes = Frame(3, "COMM", Comment("eng", "iTunNORM"));
    Bytes plainFre = Frame(3, "COMM", Comment("fre", ""));
    Bytes eng2 = Frame(3, "COMM", Comment("ENG", "y"));
    struct Case {
        const char* name;
        Bytes frames;
        Bytes chosen;  // body of the comment in field 50, empty for none
        Bytes kept;
    } cases[] = {
        {"fallback replaced", fre + itunes + eng + eng2, Comment("eng", ""), itunes + fre + eng2},
        {"fallback stays", plainFre + fre, Comment("fre", "x"), plainFre},
        {"player comment only", itunes, {}, itunes},
        {"plain foreign comment", plainFre, {}, plainFre},
    };
    for (const Case& c : cases) {
        TagReader r(Write(Tag(3, 0, c.frames) + kAudio), "eng");
        ASSERT_EQ(r.result, ZMTAGIO_S_OK) << c.name;
        // Encoding 0: the internal form is the whole body, language included.
        EXPECT_EQ(r.Field(50), c.chosen.empty() ? "" : Hex(c.chosen)) << c.name;
        EXPECT_EQ(r.Kept(), Hex(c.kept)) << c.name;
    }
}

}  // namespace
}  // namespace zm::id3

namespace zm::id3 {
namespace {

// Cut and scrambled tags of every version, with every flag the reader acts
// on: reading and writing them again must stay within their bytes (the
// sanitizer build checks) and must never place the audio beyond the file.
TEST(HostileTagTest, CutAndScrambledTagsStayWithinTheirBytes) {
    using namespace test;
    TempDir dir;
    std::string path = dir.File("h.mp3");
    std::string out = dir.File("out.bin");
    Bytes comment = FromHex("01 65 6e 67 ff fe 00 00 ff fe 68 00");
    std::vector<Bytes> tags;
    for (int version : {2, 3, 4}) {
        std::string title = version == 2 ? "TT2" : "TIT2";
        std::string comm = version == 2 ? "COM" : "COMM";
        Bytes frames = Frame(version, title, Text("\x01\xff\xfe" "a\0")) + Frame(version, comm, comment) +
                       Frame(version, version == 2 ? "PIC" : "APIC", Text("\0PNG\x03\0\xff\0\xe0"), 0x4F) +
                       Frame(version, title, Text("\0b"), 0x0003);
        for (uint8_t flags : {0x00, 0x40, 0xC0, 0x10})
            tags.push_back(Tag(version, flags, (flags & 0x40 ? Syncsafe(6) + FromHex("01 00") : Bytes{}) + frames));
    }
    uint32_t seed = 12345;
    auto next = [&seed] { return seed = seed * 1103515245 + 12345, seed >> 16; };
    for (const Bytes& tag : tags) {
        for (size_t cut = 0; cut <= tag.size(); cut += 3) {
            Bytes bytes(tag.begin(), tag.begin() + long(cut));
            if (cut % 2) bytes[next() % std::max<size_t>(bytes.size(), 1) % bytes.size()] ^= uint8_t(next());
            zm::test::WriteFile(path, bytes + Bytes(cut % 5, 0xFF));
            TagReader r(path);
            if (r.result != ZMTAGIO_S_OK) continue;
            EXPECT_LE(r.audio.start, std::max<uint64_t>(r.audio.end, 10));
            platform::File file = platform::File::Open(out.c_str(), platform::File::Mode::CreateWrite);
            WriteID3V2IntoFile(r.record, r.state, {}, file);
        }
    }
}

}  // namespace
}  // namespace zm::id3
