// The ID3v1 block, the ID3v2 tag we write, and edits staged as complete frames: byte for byte.
#include <gtest/gtest.h>

#include <list>
#include <memory>

#include "id3/FrameBuilder.h"
#include "TagBuilder.h"

namespace zm::id3 {
namespace {

using namespace test;

const Bytes kAudio = FromHex("ff fb 90 64 00 00 00 00");

using WriteTest = TagFileTest;

Bytes Block(const std::string& comment30, uint8_t genre) {
    return Text("TAG") + Text("Title") + Zeros(25) + Text("Artist") + Zeros(24) + Text("Album") + Zeros(25) +
           Text("1999") + Text(comment30) + Bytes{genre};
}

TEST_F(WriteTest, ID3V1BothCommentFormsReadAndWrittenBack) {
    struct Case {
        const char* name;
        Bytes block;
        int commentSize, trackSize;
    } cases[] = {
        {"track form, track 0", Block(std::string(28, 'c') + std::string("\0\0", 2), 255), 28, 1},
        {"track form", Block(std::string(28, 'c') + std::string("\0\x07", 2), 17), 28, 1},
        {"long comment", Block(std::string(30, 'c'), 0), 30, 0},
    };
    for (const Case& c : cases) {
        TagReader r(Write(kAudio + c.block));
        ASSERT_EQ(r.result, ZMTAGIO_S_OK) << c.name;
        EXPECT_EQ(r.audio.end, kAudio.size()) << c.name;
        EXPECT_EQ(r.record.fields[110].size, 30);
        EXPECT_EQ(r.Field(113), "31393939");
        EXPECT_EQ(r.record.fields[114].size, c.commentSize) << c.name;
        EXPECT_EQ(r.record.fields[115].size, c.trackSize) << c.name;
        EXPECT_EQ(r.Field(116), Hex(Bytes{c.block[127]})) << c.name;
        EXPECT_EQ(Hex(BuiltBlock(r.record)), Hex(c.block))
            << c.name;
    }
}

TEST_F(WriteTest, ID3V1EditsTheirWidthsAndAnEmptyBlock) {
    MDRecord record{};
    platform::Buffer block;
    auto output = [&] { return Hex(BuiltBlock(record)); };
    EXPECT_EQ(output(), Hex(Text("TAG") + Zeros(125)));
    auto edit = [&](int id, const std::string& text) {
        Bytes bytes = Text(text);
        MDField value{int32_t(bytes.size()), bytes.data(), {}, {}, 0, {}};
        return EditID3V1Field(record, block, id, value);
    };
    EXPECT_EQ(edit(113, "2024"), ZMTAGIO_S_OK);
    EXPECT_EQ(record.hasID3v1, 1u);
    const std::tuple<int, std::string, HRESULT> edits[] = {
        {110, std::string(31, 't'), ZMTAGIO_E_FAIL}, {113, "20245", ZMTAGIO_E_INVALIDARG},
        {115, "12", ZMTAGIO_E_INVALIDARG},           {116, "\x05\x06", ZMTAGIO_E_INVALIDARG},
        {110, "A long title", ZMTAGIO_S_OK},         {110, "Short", ZMTAGIO_S_OK},  // nothing of the longer one stays
        {115, "\x09", ZMTAGIO_S_OK},                 {116, "\xff", ZMTAGIO_S_OK}};  // no comment: no track written
    for (const auto& [id, value, hr] : edits) EXPECT_EQ(edit(id, value), hr) << id << " " << value;
    EXPECT_EQ(output(), Hex(Text("TAG") + Text("Short") + Zeros(85) + Text("2024") + Zeros(30) + Bytes{0xFF}));
    EXPECT_EQ(edit(114, "hi"), ZMTAGIO_S_OK);
    EXPECT_EQ(output(), Hex(Text("TAG") + Text("Short") + Zeros(85) + Text("2024") + Text("hi") + Zeros(27) +
                            Bytes{9, 0xFF}));
    EXPECT_EQ(edit(113, ""), ZMTAGIO_S_OK);
    EXPECT_EQ(record.fields[113].size, 0);
}

// A version-2.4 tag written as version 2.3: values joined, UTF-8 re-encoded as UTF-16 part by part, dates split,
// people lists renamed; a large frame and text that is not valid UTF-8 carried byte for byte.
TEST_F(WriteTest, Version4TagCarriedIntoVersion23) {
    Bytes apic = Text("image/png") + FromHex("00 03") + Text("d\xc3\xa9") + FromHex("00 89 50");
    Bytes priv = Text("big") + Bytes(30000, 0x5A);
    Bytes frames = Frame(4, "TIT2", Text("\x03" "a\0b")) +
                   Frame(4, "TPE1", FromHex("01 ff fe 61 00 00 00 fe ff 00 62")) +
                   Frame(4, "TDRC", Text("\0" "2024-03-15T10:30")) + Frame(4, "TDOR", Text("\x03" "1999-05-01")) +
                   Frame(4, "TIPL", Text("\x03" "producer\0X\0")) + Frame(4, "COMM", Text("\x03" "eng\0h\xc3\xa9")) +
                   Frame(4, "APIC", FromHex("03") + apic) + Frame(4, "TXXX", Text("\x03" "d\0v")) +
                   Frame(4, "PRIV", priv) + Frame(4, "TIT3", Text("\x03\xff")) + Frame(4, "TALB", Text("\x03\xc3"));
    TagReader r(Write(Tag(4, 0, frames) + kAudio));
    ASSERT_EQ(r.result, ZMTAGIO_S_OK);
    EXPECT_EQ(r.Field(17), "03612f62");              // UTF-8 as read, values joined
    EXPECT_EQ(r.Field(30), "01612f62");
    EXPECT_EQ(r.Field(50), Hex(Text("\x03" "eng\0h\xc3\xa9")));  // like ISO-8859-1: language and all
    EXPECT_EQ(r.Field(1), "");                        // not valid UTF-8: kept as it stands
    Bytes tag = BuiltTag(r.record, r.state, {}, 0);
    auto utf16 = [](const std::string& hex) { return FromHex("ff fe " + hex); };
    Bytes body = Frame(3, "TORY", Text("\0" "1999")) + Frame(3, "TYER", Text("\0" "2024")) +
                 Frame(3, "TDAT", Text("\0" "1503")) + Frame(3, "TIME", Text("\0" "1030")) +
                 Frame(3, "IPLS", FromHex("01") + utf16("70 00 72 00 6f 00 64 00 75 00 63 00 65 00 72 00 00 00") +
                                      utf16("58 00 00 00")) +
                 Frame(3, "TIT2", FromHex("01") + utf16("61 00 2f 00 62 00")) + Frame(3, "TIT3", Text("\x03\xff")) +
                 Frame(3, "TPE1", FromHex("01") + utf16("61 00 2f 00 62 00 00 00")) +
                 Frame(3, "TXXX", FromHex("01") + utf16("64 00 00 00") + utf16("76 00")) +
                 Frame(3, "APIC", FromHex("01") + Text("image/png") + FromHex("00 03") + utf16("64 00 e9 00 00 00") +
                                      FromHex("89 50")) +
                 Frame(3, "COMM", FromHex("01") + Text("eng") + utf16("00 00") + utf16("68 00 e9 00")) +
                 Frame(3, "PRIV", priv) + Frame(3, "TALB", Text("\x03\xc3"));
    EXPECT_EQ(Hex(tag), Hex(Tag(3, 0, body + Zeros(kFreshPadding))));
}

// The audio begins where the header says the tag ends, unless what lies between the last frame and that end is not
// padding. The new tag fills the old room exactly when it fits, else it gets fresh padding.
TEST_F(WriteTest, AudioStartAndTheRoomOfTheNewTag) {
    Bytes title = Frame(3, "TIT2", Text("\0Title"));
    Bytes v4title = Frame(4, "TIT2", Text("\0Title"));
    Bytes footer = Text("3DI") + FromHex("04 00 10") + Syncsafe(uint32_t(v4title.size() + 40));
    struct Case {
        const char* name;
        Bytes file;
        uint64_t audioStart;
        Bytes staged;
        uint64_t tagLength;  // of the tag written for the room audioStart
    } cases[] = {
        {"padding", Tag(3, 0, title + Zeros(100)) + kAudio, 10 + title.size() + 100, {}, 10 + title.size() + 100},
        {"footer", Tag(4, 0x10, v4title + Zeros(40)) + footer + kAudio, 20 + v4title.size() + 40, {},
         20 + v4title.size() + 40},
        {"footer flag without footer", Tag(4, 0x10, v4title + Zeros(40)) + kAudio, 10 + v4title.size() + 40, {},
         10 + v4title.size() + 40},
        {"no room left", Tag(3, 0, title) + kAudio, 10 + title.size(), Frame(3, "TALB", Text("\0A")),
         10 + title.size() + 12 + kFreshPadding},
        {"junk behind the frames", Tag(3, 0, title + Zeros(4) + Text("junk") + Zeros(8)) + kAudio,
         10 + title.size(), {}, 10 + title.size()},
    };
    for (const Case& c : cases) {
        TagReader r(Write(c.file));
        ASSERT_EQ(r.result, ZMTAGIO_S_OK) << c.name;
        EXPECT_EQ(r.audio.start, c.audioStart) << c.name;
        ID3V2Tag tag;
        ASSERT_TRUE(BuildID3V2Tag(r.record, r.state, c.staged, r.audio.start, tag)) << c.name;
        EXPECT_EQ(tag.bytes.used, c.tagLength) << c.name;
        EXPECT_EQ(tag.fillsRoom, c.tagLength == c.audioStart) << c.name;
        Bytes frames = c.staged + title;
        EXPECT_EQ(Hex(tag.bytes.data, tag.bytes.used), Hex(Tag(3, 0, frames + Zeros(c.tagLength - 10 - frames.size()))))
            << c.name;
    }
}

class EditTest : public TagFileTest {
protected:
    void Read(const Bytes& frames) {
        reader_ = std::make_unique<TagReader>(Write(Tag(3, 0, frames) + kAudio), "eng");
        ASSERT_EQ(reader_->result, ZMTAGIO_S_OK);
    }
    HRESULT Edit(int id, const Bytes& bytes, const char* language = "eng") {
        Bytes& kept = values_.emplace_back(bytes);
        MDField value{int32_t(kept.size()), kept.data(), {}, {}, 0x0020, {}};
        return EditID3V2Field(reader_->record, reader_->state, staged_, id, value, language);
    }
    std::string Staged() const { return Hex(staged_.data, staged_.used); }

    std::unique_ptr<TagReader> reader_;
    platform::GrowBuffer staged_;
    std::list<Bytes> values_;
};

TEST_F(EditTest, TextFramesAreStagedComplete) {
    Read(Frame(3, "TIT2", Text("\0old")));
    EXPECT_EQ(Edit(17, Text("\x01" "abc")), ZMTAGIO_S_OK);
    EXPECT_EQ(reader_->record.fields[17].size, 0);  // the old frame is not written again
    EXPECT_EQ(reader_->record.hasID3v2, 1u);
    EXPECT_EQ(Staged(), Hex(Frame(3, "TIT2", FromHex("01 ff fe 61 00 62 00 63 00 00 00"), 0x0020)));
    EXPECT_EQ(Edit(84, Text("\x03" "2024")), ZMTAGIO_S_OK);
    EXPECT_EQ(values_.back()[0], 3);                     // the caller's bytes are only read
    EXPECT_EQ(Edit(9, Text("\x03" "x")), ZMTAGIO_S_OK);  // UTF-8 becomes UTF-16
    EXPECT_EQ(Staged(), Hex(Frame(3, "TIT2", FromHex("01 ff fe 61 00 62 00 63 00 00 00"), 0x0020) +
                            Frame(3, "TYER", Text("\0" "2024\0"), 0x0020) +
                            Frame(3, "TDRC", FromHex("01 ff fe 78 00 00 00"), 0x0020)));
    // A second edit replaces the first one's frame; a one-byte value deletes.
    EXPECT_EQ(Edit(17, Text("\0z")), ZMTAGIO_S_OK);
    EXPECT_EQ(Edit(84, Text("\0")), ZMTAGIO_S_OK);
    EXPECT_EQ(Staged(), Hex(Frame(3, "TDRC", FromHex("01 ff fe 78 00 00 00"), 0x0020) +
                            Frame(3, "TIT2", Text("\0z\0"), 0x0020)));
    // Bodies that are not text go in as given.
    EXPECT_EQ(Edit(61, Text("\x05\x06\x07")), ZMTAGIO_S_OK);
    EXPECT_NE(Staged().find(Hex(Frame(3, "PRIV", FromHex("05 06 07"), 0x0020))), std::string::npos);
}

// A title whose text could not be converted is kept as it stood until the title is edited: then only the new one is
// written. A kept frame of another id stays.
TEST_F(EditTest, EditReplacesAnUnconvertedFrameKeptAsItStood) {
    Bytes other = Frame(3, "ZOBS", Text("o\0x"));
    Read(Frame(3, "TIT2", Text("\x03\xc3")) + other);
    ASSERT_EQ(reader_->Field(17), "");
    EXPECT_EQ(Edit(17, Text("\0new")), ZMTAGIO_S_OK);
    EXPECT_EQ(Hex(reader_->state.keptFrames.data, reader_->state.keptFrames.used), Hex(other));
    EXPECT_EQ(Staged(), Hex(Frame(3, "TIT2", Text("\0new\0"), 0x0020)));
}

TEST_F(EditTest, CommentsFollowTheirLanguage) {
    Read(Frame(3, "COMM", Text("\0ENG\0text")));
    EXPECT_EQ(Edit(50, Text("")), ZMTAGIO_S_OK);  // the comment in the requested language goes
    EXPECT_EQ(reader_->record.fields[50].size, 0);
    EXPECT_EQ(staged_.used, 0u);
    EXPECT_EQ(Edit(50, Text("\0hi")), ZMTAGIO_S_OK);
    EXPECT_EQ(Staged(), Hex(Frame(3, "COMM", FromHex("00 65 6e 67 00 68 69 00"), 0x0020)));
    EXPECT_EQ(Edit(50, Text("\x01hi")), ZMTAGIO_S_OK);  // replaces the eng one
    EXPECT_EQ(Staged(), Hex(Frame(3, "COMM", FromHex("01 65 6e 67 ff fe 00 00 ff fe 68 00 69 00 00 00"), 0x0020)));
}

TEST_F(EditTest, ForeignCommentIsCarriedOverOrLeft) {
    Bytes fre = FromHex("01") + Text("fre") + FromHex("ff fe 00 00 ff fe 6f 00 6b 00");
    Read(Frame(3, "COMM", fre, 0x0040));
    ASSERT_EQ(reader_->Field(50), "016f6b");  // the fallback
    // Deleting in English leaves the French comment and stages an empty one.
    EXPECT_EQ(Edit(50, Text("")), ZMTAGIO_S_OK);
    EXPECT_EQ(reader_->record.fields[50].size, 3);
    EXPECT_EQ(Staged(), Hex(Frame(3, "COMM", Text("\0eng\0"))));
    // A new English comment carries the French one over, language kept.
    EXPECT_EQ(Edit(50, Text("\0new")), ZMTAGIO_S_OK);
    EXPECT_EQ(reader_->record.fields[50].size, 0);
    EXPECT_EQ(Staged(), Hex(Frame(3, "COMM", fre + FromHex("00 00"), 0x0040) +
                            Frame(3, "COMM", Text("\0eng\0new\0"), 0x0020)));
    // Deleting in French now removes the carried frame.
    EXPECT_EQ(Edit(50, Text(""), "fre"), ZMTAGIO_S_OK);
    EXPECT_EQ(Staged(), Hex(Frame(3, "COMM", Text("\0eng\0new\0"), 0x0020)));
    // A UTF-8 comment is carried over as UTF-16.
    staged_.Release();
    Read(Frame(3, "COMM", Text("\x03" "frex\0ok")));
    EXPECT_EQ(Edit(50, Text("\0new")), ZMTAGIO_S_OK);
    Bytes carried = FromHex("01") + Text("fre") + FromHex("ff fe 78 00 00 00 ff fe 6f 00 6b 00");
    EXPECT_EQ(Staged(), Hex(Frame(3, "COMM", carried) + Frame(3, "COMM", Text("\0eng\0new\0"), 0x0020)));
}

}  // namespace
}  // namespace zm::id3
