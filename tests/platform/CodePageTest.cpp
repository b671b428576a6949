#include <gtest/gtest.h>

#include <string>

#include "platform/CodePage.h"

namespace zm::platform {
namespace {

std::u16string ToWide(uint32_t codePage, const std::string& bytes) {
    int n = MultiByteToWideChar(codePage, bytes.data(), int(bytes.size()), nullptr, 0);
    std::u16string out(size_t(n), u'\0');
    EXPECT_EQ(MultiByteToWideChar(codePage, bytes.data(), int(bytes.size()), out.data(), n), n);
    return out;
}

std::string ToNarrow(uint32_t codePage, const std::u16string& text) {
    int n = WideCharToMultiByte(codePage, text.data(), int(text.size()), nullptr, 0);
    std::string out(size_t(n), '\0');
    EXPECT_EQ(WideCharToMultiByte(codePage, text.data(), int(text.size()), out.data(), n), n);
    return out;
}

class CodePageTest : public ::testing::Test {
protected:
    void TearDown() override { SetAnsiCodePage(1252); }
};

TEST_F(CodePageTest, Windows1252RoundTripsEveryByte) {
    std::string all;
    for (int b = 0; b < 256; ++b) all += char(b);
    std::u16string wide = ToWide(kCodePageAnsi, all);
    ASSERT_EQ(wide.size(), 256u);
    EXPECT_EQ(wide[0x00], u'\0');
    EXPECT_EQ(wide[0x80], u'\u20AC');
    EXPECT_EQ(wide[0x9F], u'\u0178');
    for (int undefined : {0x81, 0x8D, 0x8F, 0x90, 0x9D}) EXPECT_EQ(wide[size_t(undefined)], char16_t(undefined));
    EXPECT_EQ(wide[0xE9], u'\u00E9');
    EXPECT_EQ(ToNarrow(kCodePageAnsi, wide), all);
    // Through UTF-8 and back as well, the way ID3 text travels.
    EXPECT_EQ(ToNarrow(kCodePageAnsi, ToWide(kCodePageUtf8, ToNarrow(kCodePageUtf8, wide))), all);
}

TEST_F(CodePageTest, CharactersOutside1252BecomeQuestionMarks) {
    EXPECT_EQ(ToNarrow(kCodePageAnsi, u"a\u4E2Db"), "a?b");
}

TEST_F(CodePageTest, ChineseCodePageGoesThroughIconv) {
    ASSERT_TRUE(SetAnsiCodePage(936));
    EXPECT_EQ(AnsiCodePage(), 936u);
    const std::string gbk = "\xD6\xD0\xCE\xC4";  // two Han characters
    EXPECT_EQ(ToWide(kCodePageAnsi, gbk), u"\u4E2D\u6587");
    EXPECT_EQ(ToNarrow(kCodePageAnsi, u"\u4E2D\u6587"), gbk);
}

TEST_F(CodePageTest, UnknownCodePageIsRefusedAndTheOldOneStays) {
    EXPECT_FALSE(SetAnsiCodePage(4242));
    EXPECT_FALSE(SetAnsiCodePage(kCodePageAnsi));
    EXPECT_EQ(AnsiCodePage(), 1252u);
}

TEST_F(CodePageTest, InvalidUtf8BecomesReplacementCharacters) {
    EXPECT_EQ(ToWide(kCodePageUtf8, "a\xFF" "b"), u"a\uFFFDb");
    EXPECT_EQ(ToWide(kCodePageUtf8, "\xE2\x82"), u"\uFFFD");        // cut sequence
    EXPECT_EQ(ToWide(kCodePageUtf8, "\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");  // encoded surrogate
    EXPECT_EQ(ToWide(kCodePageUtf8, "\xF0\x9F\x98\x80"), u"\U0001F600");
    EXPECT_EQ(ToNarrow(kCodePageUtf8, u"\U0001F600"), "\xF0\x9F\x98\x80");
    EXPECT_EQ(ToNarrow(kCodePageUtf8, std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
}

TEST_F(CodePageTest, ZeroBytesAndLengthsBehaveLikeWin32) {
    EXPECT_EQ(ToWide(kCodePageUtf8, std::string("a\0b", 3)), std::u16string(u"a\0b", 3));
    // -1: up to and including the terminator.
    EXPECT_EQ(MultiByteToWideChar(kCodePageAnsi, "abc", -1, nullptr, 0), 4);
    char16_t small[2];
    EXPECT_EQ(MultiByteToWideChar(kCodePageAnsi, "abc", 3, small, 2), 0);  // too small: failure
    EXPECT_EQ(MultiByteToWideChar(kCodePageAnsi, nullptr, 3, small, 2), 0);
}

}  // namespace
}  // namespace zm::platform
