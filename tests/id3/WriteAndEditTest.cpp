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
        EXPECT_EQ(Hex(Output([&](platform::File& f) { return WriteID3V1IntoFile(r.record, f); })), Hex(c.block))
            << c.name;
    }
}

TEST_F(WriteTest, ID3V1EditsTheirWidthsAndAnEmptyBlock) {
    MDRecord record{};
    platform::Buffer block;
    auto output = [&] { return Hex(Output([&](platform::File& f) { return WriteID3V1IntoFile(record, f); })); };
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
}

}  // namespace
}  // namespace zm::id3
