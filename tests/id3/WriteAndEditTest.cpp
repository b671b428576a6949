// The ID3v1 block, the ID3v2 tag we write, and edits staged as complete
// frames: byte for byte.
#include <gtest/gtest.h>

#include <list>
#include <memory>

#include "id3/FrameBuilder.h"
#include "TagBuilder.h"

namespace zm::id3 {
namespace {

using namespace test;
using zm::test::FromHex;
using zm::test::Hex;

const Bytes kAudio = FromHex("ff fb 90 64 00 00 00 00");

class WriteTest : public TagFileTest {
protected:
    // What a writer puts into a fresh file.
    template <typename Writer>
    Bytes Output(Writer write) {
        std::string path = dir_.File("out.bin");
        platform::File out = platform::File::Open(path.c_str(), platform::File::Mode::CreateWrite);
        EXPECT_TRUE(write(out));
        out.Close();
        return zm::test::ReadFile(path);
    }
};

Bytes Block(const std::string& comment30, uint8_t genre) {
    Bytes block = Text("TAG") + Text("Title") + Zeros(25) + Text("Artist") + Zeros(24) + Text("Album") +
                  Zeros(25) + Text("1999") + Text(comment30);
    block.push_back(genre);
    return block;
}

TEST_F(WriteTest, ID3V1BothCommentFormsReadAndWrittenBack) {
    struct Case {
        const char* name;
        Bytes block;
        int commentSize;
        int trackSize;
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
        EXPECT_EQ(r.record.fields[113].size, 4);
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
    EXPECT_EQ(Hex(Output([&](platform::File& f) { return WriteID3V1IntoFile(record, f); })), Hex(Text("TAG") + Zeros(125)));

    MDField value{};
    auto edit = [&](int id, const std::string& bytes) {
        value.size = int32_t(bytes.size());
        value.data = reinterpret_cast<uint8_t*>(const_cast<char*>(bytes.data()));
        return EditID3V1Field(record, block, id, value);
    };
    EXPECT_EQ(edit(113, "2024"), ZMTAGIO_S_OK);
    EXPECT_EQ(record.hasID3v1, 1u);
    EXPECT_EQ(Hex(block.data() + 90, 4), Hex(Text("2024")));
    EXPECT_EQ(edit(110, std::string(31, 't')), ZMTAGIO_E_FAIL);
    EXPECT_EQ(edit(113, "20245"), ZMTAGIO_E_INVALIDARG);
    EXPECT_EQ(edit(115, "12"), ZMTAGIO_E_INVALIDARG);
    EXPECT_EQ(edit(116, std::string("\x05\x06", 2)), ZMTAGIO_E_INVALIDARG);
    EXPECT_EQ(edit(110, "A long title"), ZMTAGIO_S_OK);
    EXPECT_EQ(edit(110, "Short"), ZMTAGIO_S_OK);  // nothing of the longer one is left
    EXPECT_EQ(edit(115, "\x09"), ZMTAGIO_S_OK);   // no comment: the track is not written
    EXPECT_EQ(edit(116, "\xff"), ZMTAGIO_S_OK);
    Bytes expected = Text("TAG") + Text("Short") + Zeros(25) + Zeros(60) + Text("2024") + Zeros(30) + Bytes{0xFF};
    EXPECT_EQ(Hex(Output([&](platform::File& f) { return WriteID3V1IntoFile(record, f); })), Hex(expected));
    EXPECT_EQ(edit(114, "hi"), ZMTAGIO_S_OK);
    expected[97] = 'h';
    expected[98] = 'i';
    expected[126] = 9;
    EXPECT_EQ(Hex(Output([&](platform::File& f) { return WriteID3V1IntoFile(record, f); })), Hex(expected));
    EXPECT_EQ(edit(113, ""), ZMTAGIO_S_OK);
    EXPECT_EQ(record.fields[113].size, 0);
}

// Field frames in id order behind the extended header and the staged
// frames; kept frames last.
TEST_F(WriteTest, ID3V2TagLayoutAndReEncodedText) {
    Bytes apic = FromHex("00") + Text("image/png") + FromHex("00 03 00 89 50");
    Bytes comment = FromHex("01") + Text("fre") + FromHex("ff fe 00 00 ff fe 68 00 69 00");
    Bytes extended = FromHex("00 00 00 06 00 00 00 00 00 00");
    Bytes kept = Frame(3, "TIT2", Text("\0second"));
    Bytes frames = Frame(3, "TPE1", Text("\x02\0a\0b\0c")) + Frame(3, "TIT2", Text("\0abc")) +
                   Frame(3, "APIC", apic, 0x0040) + Frame(3, "COMM", comment) + kept;
    TagReader r(Write(Tag(3, 0xD0, extended + frames) + kAudio));
    ASSERT_EQ(r.result, ZMTAGIO_S_OK);
    Bytes staged = Frame(3, "TALB", Text("\0new"));
    Bytes tag = Output([&](platform::File& f) { return WriteID3V2IntoFile(r.record, r.state, staged, f); });
    Bytes body = extended + staged + Frame(3, "TIT2", Text("\0abc")) +
                 Frame(3, "TPE1", FromHex("01 fe ff 00 61 00 62 00 63 00 00")) + Frame(3, "APIC", apic, 0x0040) +
                 Frame(3, "COMM", comment + FromHex("00 00")) + kept;
    // Footer and unsynchronisation flags are gone, the extended header stays.
    EXPECT_EQ(Hex(tag), Hex(Tag(3, 0x40, body)));
    EXPECT_EQ(r.record.id3v2Flags, 0x40);
}

TEST_F(WriteTest, ID3V2SizeIsSyncsafeAndFlagsFollowWhatIsWritten) {
    MDRecord record{};
    ID3State state;
    record.id3v2Flags = 0x40;  // a version-2.4 extended header that was left out
    Bytes body = Zeros(290);
    record.fields[61] = MDField{int32_t(body.size()), body.data(), {'P', 'R', 'I', 'V'}, {}, 0, {}};
    Bytes tag = Output([&](platform::File& f) { return WriteID3V2IntoFile(record, state, {}, f); });
    ASSERT_EQ(tag.size(), 310u);
    EXPECT_EQ(Hex(Bytes(tag.begin(), tag.begin() + 10)), "4944330300000000022c");
    EXPECT_EQ(record.id3v2Flags, 0);
}

class EditTest : public WriteTest {
protected:
    void Read(const Bytes& frames) {
        reader_ = std::make_unique<TagReader>(Write(Tag(3, 0, frames) + kAudio), "eng");
        ASSERT_EQ(reader_->result, ZMTAGIO_S_OK);
    }
    HRESULT Edit(int id, const Bytes& bytes, const char* language = "eng") {
        values_.push_back(bytes);
        MDField value{};
        value.size = int32_t(values_.back().size());
        value.data = values_.back().data();
        value.frameFlags = 0x0020;
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
    EXPECT_EQ(values_.back()[0], 0);  // the caller's encoding byte was fixed
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
    Read({});
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

TEST_F(EditTest, CommentInTheRequestedLanguageIsDeleted) {
    Read(Frame(3, "COMM", Text("\0ENG\0text")));
    EXPECT_EQ(Edit(50, Text("")), ZMTAGIO_S_OK);
    EXPECT_EQ(reader_->record.fields[50].size, 0);
    EXPECT_EQ(staged_.used, 0u);
}

}  // namespace
}  // namespace zm::id3
