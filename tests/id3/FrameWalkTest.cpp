// Reading, byte for byte: text conversions and the buffers behind the fields; hand-made tags of versions 2.2 to 2.4:
// fields, kept frames, audio start.
#include <gtest/gtest.h>

#include <list>

#include "id3/FrameTable.h"
#include "platform/CodePage.h"
#include "id3/TextEncoding.h"
#include "id3/UnicodeHandle.h"
#include "TagBuilder.h"

namespace zm::id3 {
namespace {

using namespace test;

const Bytes kAudio = FromHex("ff fb 90 64 00 00 00 00 11 22 33 44");

using FrameWalkTest = TagFileTest;

std::string Expected(const std::string& hex) { return hex == "none" ? hex : Hex(FromHex(hex)); }

TEST(TextEncodingTest, EveryEncodingByteToTheInternalFormAndBack) {
    const std::pair<const char*, const char*> decoded[] = {
        {"00 48 65 6c 6c 6f", "00 48 65 6c 6c 6f"}, {"00 00", "00 00"},  // a zero byte converts like any other
        {"00 e9", "00 c3 a9"},                                           // ANSI (1252) e-acute
        {"01 ff fe 61 00 62 00", "01 61 62"},
        {"01 fe ff 00 61 00 62", "01 61 62"},  // big-endian mark, as we write encoding 2
        // A comment: language, empty description, then the text; a description that is not empty stays.
        {"01 65 6e 67 ff fe 00 00 ff fe 68 00 69 00", "01 68 69"},
        {"01 65 6e 67 ff fe 78 00 00 00 ff fe 68 00", "01 78 00 ef bb bf 68"},
        {"01 61 00 62 00", "none"},  // no mark
        {"01 ff fe 00 00", "none"},  // only an empty string
        {"02 00 61 d8 3d de 00", "02 61 f0 9f 98 80"},
        {"02 d8 3d 00 61", "02 ed a0 bd 61"},  // lone surrogate: three bytes
        {"02 00 61 00", "02 61"},              // odd trailing byte
        {"03 61 00 c3 a9 f0 9f 98 80", "03 61 00 c3 a9 f0 9f 98 80"},  // UTF-8 as it stands
        {"03 61 c3", "none"}, {"03 80", "none"}, {"03 f4 90 80 80", "none"}, {"04 61 62", "none"},
    };
    for (auto [from, to] : decoded) {
        Bytes bytes = FromHex(from);
        ConvertedText text = DecodeID3Text(bytes, bytes[0]);
        EXPECT_EQ(text.bytes.empty() ? "none" : Hex(text.bytes.data(), text.length), Expected(to)) << from;
    }
    const std::pair<const char*, const char*> encoded[] = {
        {"00 61 62 63", "00 61 62 63 00"}, {"00 c3 a9", "00 e9 00"},
        {"01 61 62 63", "01 ff fe 61 00 62 00 63 00 00 00"}, {"02 61 62 63", "01 fe ff 00 61 00 62 00 63 00 00"},
        {"01 f0 9f 98 80", "01 ff fe 3d d8 00 de 00 00"},
        {"01 61 00", "01 ff fe 61 00 00 00"},  // ends in zero: no second terminator
        {"01", "01 ff fe 00 00"},
        {"01 61 f0 9f 98", "none"},      // cut sequence
        {"01 80 61", "none"},            // stray continuation byte
        {"01 f4 90 80 80", "none"},      // above U+10FFFF
        {"01 f8 88 80 80", "none"},      // five-byte lead
        {"01 c0 80", "01 ff fe 00 00"},  // overlong forms pass
        {"03 61", "none"},
    };
    for (auto [from, to] : encoded) {
        Bytes bytes = FromHex(from);
        ConvertedText text = EncodeID3Text(bytes, bytes[0]);
        EXPECT_EQ(text.length ? Hex(text.bytes.data(), text.length) : "none", Expected(to)) << from;
    }
}

// ASCII is copied as it is only where the tag code page keeps it: in EBCDIC
// (code page 500), byte 41 is a no-break space.
TEST(TextEncodingTest, AsciiIsConvertedUnderACodePageThatDoesNotKeepIt) {
    ASSERT_TRUE(platform::SetCodePage(platform::kCodePageTag, 500));
    bool keeps = platform::KeepsAscii(platform::kCodePageTag);
    Bytes body = FromHex("00 41");
    ConvertedText text = DecodeID3Text(body, body[0]);
    platform::SetCodePage(platform::kCodePageTag, 1252);
    EXPECT_FALSE(keeps);
    EXPECT_TRUE(platform::KeepsAscii(platform::kCodePageTag));
    EXPECT_EQ(Hex(text.bytes.data(), text.length), Expected("00 c2 a0"));
}

TEST(UnicodeHandleTest, SecondConversionPointsAtTheNewestRecord) {
    MDField fields[MD_FIELD_COUNT] = {};
    ID3State state;
    std::list<Bytes> values;
    auto set = [&](int id, const std::string& hex) {
        values.push_back(FromHex(hex));
        fields[id].data = values.back().data();
        fields[id].size = int32_t(values.back().size());
    };
    set(17, "01 61");
    set(30, "00 62");
    ASSERT_EQ(UnicodeHandle(fields, 17, 2, state, Direction::Writing), 7u);
    ASSERT_EQ(UnicodeHandle(fields, 30, 2, state, Direction::Writing), 3u);
    set(17, "02 63");
    ASSERT_EQ(UnicodeHandle(fields, 17, 2, state, Direction::Writing), 7u);
    EXPECT_EQ(Hex(fields[17].data, 7), "01feff00630000");
    EXPECT_EQ(Hex(fields[30].data, 3), "006200");
    EXPECT_EQ(fields[17].size, 2);  // writing leaves the size to the caller
    EXPECT_EQ(fields[17].data, state.writeText.data + state.writeText.used - 7);
}

// Read: fields, kept frames (a repeat, an unknown id), the padding left in front of the audio. Written back: behind the
// extended header the staged frames, then field frames in id order with text re-encoded, kept frames last; the footer
// and unsynchronisation flags are cleared.
TEST_F(FrameWalkTest, Version3ReadAndWrittenBack) {
    Bytes apic = FromHex("00") + Text("image/png") + FromHex("00 03 00 89 50");
    Bytes comment = FromHex("01") + Text("fre") + FromHex("ff fe 00 00 ff fe 68 00 69 00");
    Bytes extended = FromHex("00 00 00 06 00 00 00 00 00 00");
    Bytes priv = Frame(3, "PRIV", Text(std::string("me\0\x01\x02", 5)));
    Bytes kept = Frame(3, "TIT2", Text("\x01\xff\xfeX\0"), 0x8000) + Frame(3, "XSOP", Text("\0abc"));
    Bytes frames = Frame(3, "TPE1", Text("\x02\0a\0b\0c"), 0x0040) + Frame(3, "TIT2", Text("\0abc")) +
                   Frame(3, "APIC", apic, 0x0040) + Frame(3, "COMM", comment) + priv + kept;
    TagReader r(Write(Tag(3, 0xD0, extended + frames + Zeros(32)) + kAudio));
    ASSERT_EQ(r.result, ZMTAGIO_S_OK);
    EXPECT_EQ(r.record.id3v2Version, 3);
    // PRIV is no text field: the body as it stands.
    EXPECT_EQ(r.Fields(), "17 TIT2 0000 00616263\n30 TPE1 0040 02616263\n48 APIC 0040 " + Hex(apic) +
                              "\n50 COMM 0000 016869\n61 PRIV 0000 6d65000102\n");
    EXPECT_EQ(r.Kept(), Hex(kept));
    EXPECT_EQ(r.blocks.id3v2, 10 + extended.size() + frames.size() + 32);
    EXPECT_EQ(r.audio.start, r.blocks.id3v2);  // the padding belongs to the tag
    Bytes staged = Frame(3, "TALB", Text("\0new"));
    Bytes tag = BuiltTag(r.record, r.state, staged, 0);
    Bytes body = extended + staged + Frame(3, "TIT2", Text("\0abc")) +
                 Frame(3, "TPE1", FromHex("01 fe ff 00 61 00 62 00 63 00 00"), 0x0040) +
                 Frame(3, "APIC", apic, 0x0040) + Frame(3, "COMM", comment + FromHex("00 00")) + priv + kept;
    EXPECT_EQ(Hex(tag), Hex(Tag(3, 0x40, body + Zeros(kFreshPadding))));
    EXPECT_EQ(r.record.id3v2Flags, 0x40);
}

TEST_F(FrameWalkTest, Version2IdsPicturesAndDateTime) {
    Bytes pic = FromHex("00") + Text("PNG") + FromHex("03") + Text("d") + FromHex("00 89 50");
    Bytes frames = Frame(2, "TT2", Text("\0Hi")) + Frame(2, "TDA", Text("\x00" "0101")) +
                   Frame(2, "TIM", Text("\x00" "1200")) + Frame(2, "PIC", pic) +
                   Frame(2, "PIC", FromHex("00") + Text("JPG") + FromHex("00 00 ff d8")) +
                   Frame(2, "XYZ", Text("lost")) + Frame(2, "COM", Text(std::string("\0eng\0c", 6)));
    TagReader r(Write(Tag(2, 0, frames) + kAudio));
    ASSERT_EQ(r.result, ZMTAGIO_S_OK);
    // Field 48 holds the PIC body as read; it becomes an APIC body when written.
    Bytes apic = FromHex("00") + Text("image/png") + FromHex("00 03") + Text("d") + FromHex("00 89 50");
    EXPECT_EQ(r.Fields(), "6 TDEN 0000 0030313031\n17 TIT2 0000 004869\n48 APIC 0000 " + Hex(pic) +
                              "\n50 COMM 0000 " + Hex(Text(std::string("\0eng\0c", 6))) + "\n");
    // Kept frames carry their version-2.3 ids; one without an id is left out.
    Bytes jpeg = FromHex("00") + Text("image/jpeg") + FromHex("00 00 00 ff d8");
    Bytes kept = Frame(3, "TDEN", Text("\x00" "1200")) + Frame(3, "APIC", jpeg);
    EXPECT_EQ(r.Kept(), Hex(kept));
    EXPECT_EQ(r.audio.start, 10 + frames.size());
    Bytes tag = BuiltTag(r.record, r.state, {}, r.audio.start);
    Bytes body = Frame(3, "TDEN", Text("\x00" "0101")) + Frame(3, "TIT2", Text("\0Hi")) + Frame(3, "APIC", apic) +
                 Frame(3, "COMM", Text(std::string("\0eng\0c", 6))) + kept;
    EXPECT_EQ(Hex(tag), Hex(Tag(3, 0, body + Zeros(kFreshPadding))));
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
    // Tag alter preservation moves to its version-2.3 place.
    EXPECT_EQ(r.Fields(), "17 TIT2 0000 " + Hex(body) + "\n61 PRIV 8000 " + Hex(real) + "\n");
    Bytes kept = Frame(3, "TIT2", Text(std::string("\0\xff\xe0", 3)));
    EXPECT_EQ(r.Kept(), Hex(kept));
    EXPECT_TRUE(r.state.extendedHeader.empty());
    EXPECT_EQ(r.record.id3v2Flags, 0x40);
    Bytes tag = BuiltTag(r.record, r.state, {}, 0);
    Bytes frames = Frame(3, "TIT2", body) + Frame(3, "PRIV", real, 0x8000) + kept;
    EXPECT_EQ(Hex(tag), Hex(Tag(3, 0, frames + Zeros(kFreshPadding))));
    EXPECT_EQ(r.record.id3v2Flags, 0);
}

// The frame holds 00 FF E0 41; on file a zero follows the FF. Versions 2.2 and 2.3 unsynchronise the whole tag, version
// 2.4 every frame. A version-2.2 tag flagged compressed has no readable frames.
TEST_F(FrameWalkTest, UnsynchronisedAndCompressedTags) {
    Bytes v2 = Text("TT2") + FromHex("00 00 04 00 ff 00 e0 41");
    Bytes v3 = Text("TIT2") + FromHex("00 00 00 04 00 00 00 ff 00 e0 41");
    Bytes v4 = Text("TIT2") + FromHex("00 00 00 05 00 00 00 ff 00 e0 41");
    struct Case {
        int version;
        uint8_t flags;
        Bytes before, frame;
    } cases[] = {{2, 0x80, {}, v2}, {3, 0xC0, FromHex("00 00 00 06 00 00 00 00 00 00"), v3}, {4, 0x80, {}, v4}};
    for (const Case& c : cases) {
        TagReader r(Write(Tag(c.version, c.flags, c.before + c.frame + Zeros(8)) + kAudio));
        ASSERT_EQ(r.result, ZMTAGIO_S_OK);
        EXPECT_EQ(r.Fields(), "17 TIT2 0000 00c3bfc3a041\n") << c.version;  // ANSI 1252: y-diaeresis, a-grave
        EXPECT_EQ(r.audio.start, 10 + c.before.size() + c.frame.size() + 8) << c.version;
    }
    TagReader r(Write(Tag(2, 0x40, Frame(2, "TT2", Text("\0a"))) + kAudio));
    ASSERT_EQ(r.result, ZMTAGIO_S_OK);
    EXPECT_EQ(r.Fields(), "");
    EXPECT_EQ(r.audio.start, 10u);
}

// The walk ends at a frame that would reach past the tag or past what the file holds, and at an invalid id; what stands
// behind it is not padding, so the audio begins there.
TEST_F(FrameWalkTest, WalkEndsWhereTheTagStopsMakingSense) {
    Bytes title = Frame(3, "TIT2", Text("\0a"));
    Bytes claims1000 = FromHex("49 44 33 03 00 00 00 00 07 68");
    struct Case {
        const char* name;
        Bytes file;
        size_t audioStart;
        std::string more = "";
    } cases[] = {
        {"frame past the tag", Tag(3, 0, title + Text("TPE1") + FromHex("00 00 00 64 00 00 00 41")) + kAudio,
         10 + title.size()},
        {"invalid id", Tag(3, 0, title + Text("TPe1") + FromHex("00 00 00 01 00 00 00")) + kAudio, 10 + title.size()},
        {"header cut", Tag(3, 0, title + Text("TPE1") + FromHex("00 00")) + kAudio, 10 + title.size()},
        {"audio inside the tag", Tag(3, 0, title + Zeros(4) + kAudio) + kAudio, 10 + title.size()},
        {"tag larger than the file", claims1000 + title + Frame(3, "TALB", Text("\0album")), 38,
         "1 TALB 0000 00616c62756d\n"},
    };
    for (const Case& c : cases) {
        TagReader r(Write(c.file));
        ASSERT_EQ(r.result, ZMTAGIO_S_OK) << c.name;
        EXPECT_EQ(r.Fields(), c.more + "17 TIT2 0000 0061\n") << c.name;
        EXPECT_EQ(r.state.keptFrames.used, 0u) << c.name;
        EXPECT_EQ(r.audio.start, c.audioStart) << c.name;
    }
    EXPECT_EQ(TagReader(Write(cases[4].file)).blocks.id3v2, 38u);  // what the file holds, not what the header claims
}

Bytes Comment(const std::string& language, const std::string& description) {
    return Bytes{0} + Text(language) + Text(description) + Bytes{0} + Text("text");
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
        EXPECT_EQ(r.Fields(), c.chosen.empty() ? "" : "50 COMM 0000 " + Hex(c.chosen) + "\n") << c.name;
        EXPECT_EQ(r.Kept(), Hex(c.kept)) << c.name;
    }
}

}  // namespace
}  // namespace zm::id3
