// The platform layer: the Win32 text conversions (Windows-1252 mapped as Windows maps it, UTF-8 with U+FFFD for what is
// invalid, other code pages through iconv) and reads through the read windows. Files made to replace others are the
// command line's and the reliability tests' part: links, permissions, leftovers, a temporary folder elsewhere.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "platform/CodePage.h"
#include "platform/File.h"
#include "support/TestSupport.h"

namespace zm::platform {
namespace {

using test::Bytes;
using test::TempDir;

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

TEST(CodePageTest, ConversionsBehaveLikeWin32) {
    std::string all;
    for (int b = 0; b < 256; ++b) all += char(b);
    std::u16string wide = ToWide(kCodePageTag, all);
    ASSERT_EQ(wide.size(), 256u);
    EXPECT_EQ(wide[0x00], u'\0');
    EXPECT_EQ(wide[0x80], u'\u20AC');
    EXPECT_EQ(wide[0x9F], u'\u0178');
    EXPECT_EQ(wide[0xE9], u'\u00E9');
    for (int undefined : {0x81, 0x8D, 0x8F, 0x90, 0x9D}) EXPECT_EQ(wide[size_t(undefined)], char16_t(undefined));
    EXPECT_EQ(ToNarrow(kCodePageTag, wide), all);
    // Through UTF-8 and back as well, zero byte included, the way ID3 text travels.
    EXPECT_EQ(ToNarrow(kCodePageTag, ToWide(kCodePageUtf8, ToNarrow(kCodePageUtf8, wide))), all);
    EXPECT_EQ(ToNarrow(kCodePageTag, u"a\u4E2Db"), "a?b");
    EXPECT_EQ(ToWide(kCodePageUtf8, "a\xFF" "b"), u"a\uFFFDb");
    EXPECT_EQ(ToWide(kCodePageUtf8, "\xE2\x82"), u"\uFFFD");                  // cut sequence
    EXPECT_EQ(ToWide(kCodePageUtf8, "\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");  // encoded surrogate
    EXPECT_EQ(ToWide(kCodePageUtf8, "\xF0\x9F\x98\x80"), u"\U0001F600");
    EXPECT_EQ(ToNarrow(kCodePageUtf8, u"\U0001F600"), "\xF0\x9F\x98\x80");
    EXPECT_EQ(ToNarrow(kCodePageUtf8, std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
    // -1: up to and including the terminator; a buffer too small, or no input, fails.
    EXPECT_EQ(MultiByteToWideChar(kCodePageTag, "abc", -1, nullptr, 0), 4);
    char16_t small[2];
    EXPECT_EQ(MultiByteToWideChar(kCodePageTag, "abc", 3, small, 2), 0);
    EXPECT_EQ(MultiByteToWideChar(kCodePageTag, nullptr, 3, small, 2), 0);
    // Other code pages go through iconv; unknown ones are refused.
    EXPECT_FALSE(SetCodePage(kCodePageTag, 4242));
    EXPECT_FALSE(SetCodePage(kCodePageTag, kCodePageHost));
    EXPECT_EQ(CodePageOf(kCodePageTag), 1252u);
    ASSERT_TRUE(SetCodePage(kCodePageTag, 936));
    EXPECT_EQ(ToWide(kCodePageTag, "\xD6\xD0\xCE\xC4"), u"\u4E2D\u6587");  // two Han characters in GBK
    EXPECT_EQ(ToNarrow(kCodePageTag, u"\u4E2D\u6587"), "\xD6\xD0\xCE\xC4");
    SetCodePage(kCodePageTag, 1252);
}

// The host code page (UTF-8 by default) is set apart from the tag code page,
// and a text cut to a number of bytes ends with a whole character.
TEST(CodePageTest, HostCodePageStandsApartAndCutsKeepWholeCharacters) {
    EXPECT_EQ(CodePageOf(kCodePageHost), kCodePageUtf8);
    EXPECT_EQ(ToNarrow(kCodePageHost, u"\u041F\u4E2D\U0001F600"), "\xD0\x9F\xE4\xB8\xAD\xF0\x9F\x98\x80");
    ASSERT_TRUE(SetCodePage(kCodePageHost, 1251));
    EXPECT_EQ(ToNarrow(kCodePageHost, u"\u041F"), "\xCF");
    EXPECT_EQ(CodePageOf(kCodePageTag), 1252u);
    EXPECT_EQ(ToNarrow(kCodePageTag, u"\u041F"), "?");
    ASSERT_TRUE(SetCodePage(kCodePageHost, kCodePageUtf8));
    EXPECT_FALSE(SetCodePage(kCodePageUtf8, 1252));  // not a setting

    const std::u16string mixed = u"a\u00E9\u20AC\U0001F600";  // 1, 2, 3 and 4 bytes in UTF-8
    struct Case { uint32_t codePage; size_t limit, units; } cases[] = {
        {kCodePageUtf8, 0, 0}, {kCodePageUtf8, 2, 1}, {kCodePageUtf8, 3, 2}, {kCodePageUtf8, 5, 2},
        {kCodePageUtf8, 6, 3}, {kCodePageUtf8, 9, 3}, {kCodePageUtf8, 10, 5}, {kCodePageUtf8, 99, 5},
        {936, 2, 1}, {936, 3, 2},  // a double-byte character
    };
    for (const Case& c : cases) {
        std::u16string text = c.codePage == 936 ? u"a\u4E2D\u6587" : mixed;
        EXPECT_EQ(UnitsWithin(c.codePage, text, c.limit), c.units) << c.codePage << " " << c.limit;
    }
}

// Seeks and reads at random, as probes and readers do, against a model of the position: every read returns exactly the
// bytes the file holds there.
TEST(FileTest, EverySeekAndReadOrderReturnsTheFilesBytes) {
    constexpr size_t kWindow = ReadWindows::kBytes, kPage = ReadWindows::kPage;
    TempDir dir;
    for (size_t size : {size_t(0), size_t(100), kPage + 5, kWindow, 3 * kWindow + 77}) {
        Bytes content(size);
        for (size_t i = 0; i < size; ++i) content[i] = uint8_t(i * 7 + i / 251);
        test::WriteFile(dir.File("f"), content);
        const size_t sizes[] = {0, 1, 4, 10, 128, kPage - 1, kPage + 1, kWindow - 1, kWindow, kWindow + 1, 10240};
        // Page and window edges and the file's end, where reads get cut or
        // windows grow, besides anywhere.
        const uint64_t end = size, edges[] = {0, 1, kPage - 1, kPage, kWindow - 1, kWindow, end - 1, end, end + 1};
        for (uint32_t seed = 1; seed <= 6; ++seed) {
            File file = File::Open(dir.File("f").c_str(), File::Mode::Read);
            ASSERT_TRUE(file.IsOpen());
            ASSERT_TRUE(seed % 2 == 0 || file.Size() == int64_t(size)) << "size";  // with and without a measured size
            std::mt19937 random(seed * 7919 + uint32_t(size));
            uint64_t position = 0;
            for (int step = 0; step < 400; ++step) {
                if (int choice = random() % 3; choice == 0) {
                    position = random() % 2 ? edges[random() % std::size(edges)] % (end + 2 * kWindow)
                                            : random() % (end + 2 * kWindow);
                    ASSERT_TRUE(file.Seek(position));
                } else if (choice == 1) {
                    int64_t back = int64_t(random() % 2 ? random() % 3 : random() % (end + 200));
                    ASSERT_EQ(file.SeekFromEnd(back), uint64_t(back) <= end) << back;
                    if (uint64_t(back) <= end) position = end - uint64_t(back);
                } else {
                    Bytes buffer(sizes[random() % std::size(sizes)], 0xEE);
                    size_t expected = position < end ? std::min<size_t>(buffer.size(), end - position) : 0;
                    std::string where = "size " + std::to_string(size) + " step " + std::to_string(step);
                    ASSERT_EQ(file.Read(buffer), int64_t(expected)) << where;
                    ASSERT_TRUE(std::equal(buffer.begin(), buffer.begin() + long(expected),
                                           content.begin() + long(position))) << where;
                    position += expected;
                }
            }
            uint8_t byte;
            ASSERT_TRUE(file.Seek(uint64_t(1) << 33));  // 64-bit offsets: past the end, nothing to read
            EXPECT_EQ(file.Read({&byte, 1}), 0);
        }
    }
}

}  // namespace
}  // namespace zm::platform
