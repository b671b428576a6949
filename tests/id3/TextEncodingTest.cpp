// Conversions between the file's text encodings and the internal form, byte
// for byte, and the converted-text buffers behind the fields.
#include <gtest/gtest.h>

#include <list>

#include "id3/TextEncoding.h"
#include "id3/UnicodeHandle.h"
#include "support/TestSupport.h"

namespace zm::id3 {
namespace {

using test::Bytes;
using test::FromHex;
using test::Hex;

std::string Decode(const std::string& body) {
    Bytes bytes = FromHex(body);
    ConvertedText text = DecodeID3Text(bytes, bytes[0]);
    return text.bytes.empty() ? "null" : Hex(text.bytes.data(), text.length);
}

std::string Encode(const std::string& internal) {
    Bytes bytes = FromHex(internal);
    ConvertedText text = EncodeID3Text(bytes, bytes[0]);
    return text.length == 0 ? "fail" : Hex(text.bytes.data(), text.length);
}

// Hex bytes, or one of the words for no result.
std::string Expected(const std::string& to) { return to == "null" || to == "fail" ? to : Hex(FromHex(to)); }

struct Case {
    const char* from;
    const char* to;
};

TEST(DecodeID3TextTest, EveryEncodingByteToTheInternalForm) {
    const Case cases[] = {
        {"00 48 65 6c 6c 6f", "00 48 65 6c 6c 6f"},
        {"00 00", "00 00"},                   // a zero byte converts like any other
        {"00 e9", "00 c3 a9"},                // ANSI (1252) e-acute
        {"01 ff fe 61 00 62 00", "01 61 62"},
        {"01 fe ff 00 61 00 62", "01 61 62"},  // big-endian mark, as we write encoding 2
        // comment: language, empty description, then the text
        {"01 65 6e 67 ff fe 00 00 ff fe 68 00 69 00", "01 68 69"},
        // a description that is not empty stays, with the text's mark
        {"01 65 6e 67 ff fe 78 00 00 00 ff fe 68 00", "01 78 00 ef bb bf 68"},
        {"01 61 00 62 00", "null"},           // no mark
        {"01 ff fe 00 00", "null"},           // only an empty string
        {"02 00 61 d8 3d de 00", "02 61 f0 9f 98 80"},
        {"02 d8 3d 00 61", "02 ed a0 bd 61"},  // lone surrogate: three bytes
        {"02 00 61 00", "02 61"},             // odd trailing byte
        {"03 61 62", "null"},
        {"04 61 62", "null"},
    };
    for (const Case& c : cases) EXPECT_EQ(Decode(c.from), Expected(c.to)) << c.from;
}

TEST(EncodeID3TextTest, InternalFormBackToTheFile) {
    const Case cases[] = {
        {"00 61 62 63", "00 61 62 63 00"},
        {"00 c3 a9", "00 e9 00"},
        {"01 61 62 63", "01 ff fe 61 00 62 00 63 00 00 00"},
        {"02 61 62 63", "01 fe ff 00 61 00 62 00 63 00 00"},
        {"01 f0 9f 98 80", "01 ff fe 3d d8 00 de 00 00"},
        {"01 61 00", "01 ff fe 61 00 00 00"},  // ends in zero: no second terminator
        {"01", "01 ff fe 00 00"},
        {"01 61 f0 9f 98", "fail"},  // cut sequence
        {"01 80 61", "fail"},        // stray continuation byte
        {"01 f4 90 80 80", "fail"},  // above U+10FFFF
        {"01 f8 88 80 80", "fail"},  // five-byte lead
        {"01 c0 80", "01 ff fe 00 00"},  // overlong forms pass
        {"03 61", "fail"},
    };
    for (const Case& c : cases) EXPECT_EQ(Encode(c.from), Expected(c.to)) << c.from;
}

class UnicodeHandleTest : public ::testing::Test {
protected:
    void Set(int id, const std::string& hex) {
        values_.push_back(FromHex(hex));
        fields_[id].data = values_.back().data();
        fields_[id].size = int32_t(values_.back().size());
    }
    std::string Text(int id) const { return Hex(fields_[id].data, size_t(fields_[id].size)); }

    MDField fields_[MD_FIELD_COUNT] = {};
    ID3State state_;
    std::list<Bytes> values_;
};

TEST_F(UnicodeHandleTest, SecondConversionPointsAtTheNewestRecord) {
    Set(17, "01 61");
    Set(30, "00 62");
    ASSERT_EQ(UnicodeHandle(fields_, 17, 2, state_, Direction::Writing), 7u);
    ASSERT_EQ(UnicodeHandle(fields_, 30, 2, state_, Direction::Writing), 3u);
    Set(17, "02 63");
    ASSERT_EQ(UnicodeHandle(fields_, 17, 2, state_, Direction::Writing), 7u);
    EXPECT_EQ(Hex(fields_[17].data, 7), "01feff00630000");
    EXPECT_EQ(Hex(fields_[30].data, 3), "006200");
    EXPECT_EQ(fields_[17].size, 2);  // writing leaves the size to the caller
    EXPECT_EQ(fields_[17].data, state_.writeText.data + state_.writeText.used - 7);
}

TEST_F(UnicodeHandleTest, NothingConvertedLeavesTheField) {
    for (const char* body : {"03 61 62", "7f 61", "00", "01 61 62"}) {
        Set(17, body);
        uint8_t* before = fields_[17].data;
        EXPECT_EQ(UnicodeHandle(fields_, 17, fields_[17].size, state_, Direction::Reading), 0u) << body;
        EXPECT_EQ(fields_[17].data, before);
    }
    EXPECT_EQ(state_.readText.used, 0u);
}

}  // namespace
}  // namespace zm::id3
