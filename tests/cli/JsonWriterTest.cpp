// The line writer of the command line against the JSON library, which stays
// the reference: whatever bytes a tag holds, both must print the same line,
// and the writer must tell when that line does not give the bytes back.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <nlohmann/json.hpp>
#include <random>

#include "JsonWriter.h"
#include "support/TestSupport.h"

namespace zm::test::cli {
namespace {

using Ordered = nlohmann::ordered_json;

std::string Library(const Ordered& value) { return value.dump(-1, ' ', false, Ordered::error_handler_t::replace); }

std::string Ours(std::string_view text, bool& faithful) {
    std::string out;
    faithful = zmtagio::JsonWriter(out).String({}, text);
    return out;
}

// A replacement character that was in the text (the line gives it back, but
// not the bytes it stood for), escapes among plain words; the random strings
// below reach the bounds of each UTF-8 form.
const std::vector<std::string> kOddText = {
    "\xEF\xBF\xBD", "a replaced \xEF\xBF\xBD byte", "\xF0\x9F\x8E\xB5", "\xF4\x8F\xBF\xBF",
    "eight ok\"quoted\" and \\ back\x01slash\x7F\ttab\r\n", std::string("nul\0inside", 10)};

TEST(JsonWriter, StringsAsTheLibraryWritesThem) {
    std::vector<std::string> texts = kOddText;
    for (int b = 0; b < 256; ++b) {
        texts.push_back(std::string(1, char(b)));
        texts.push_back("abcdefg" + std::string(1, char(b)) + "hijklmnopq");
    }
    // Plain text up to three words long, and an odd byte at each of its
    // places: the writer tests whole words and the short word at the end.
    for (size_t size = 1; size <= 24; ++size) {
        texts.push_back(std::string(size, 'x'));
        for (size_t at = 0; at < size; ++at)
            for (char odd : std::string("\x00\x1F\"\\\x7F\x80\xC3\xFF", 8)) {
                texts.push_back(std::string(size, 'x'));
                texts.back()[at] = odd;
            }
    }
    // Random strings from the bytes where decoders differ.
    const std::string alphabet("\x00\x1F\"\\a\x7F\x80\x8F\x90\x9F\xA0\xBF\xC0\xC2\xDF\xE0\xED\xEF\xF0\xF4\xF5\xFF", 22);
    std::mt19937 random(7);
    for (int n = 0; n < 20000; ++n) {
        std::string text(random() % 24, ' ');
        for (char& c : text) c = alphabet[random() % alphabet.size()];
        texts.push_back(text);
    }
    for (const std::string& text : texts) {
        bool faithful;
        ASSERT_EQ(Ours(text, faithful), Library(text)) << testing::PrintToString(text);
        bool givesBack = Ordered::parse(Library(text)) == text && text.find("\xEF\xBF\xBD") == std::string::npos;
        ASSERT_EQ(faithful, givesBack) << testing::PrintToString(text);
    }
}

TEST(JsonWriter, NestingNumbersAndHexAsTheLibraryWritesThem) {
    // Each count of digits, and each count of bytes around the writer's steps.
    const std::vector<int64_t> numbers = {0, 9, 10, 99, 100, 999, 1000, -5, std::numeric_limits<int64_t>::max(),
                                          std::numeric_limits<int64_t>::min()};
    const uint8_t bytes[] = {0x00, 0x0F, 0xA5, 0xFF, 0x10, 0x9A, 0x01, 0xF0, 0x7E};
    std::string out = "kept ";
    Ordered expected = {{"s", "x"}, {"t", true}, {"f", false}, {"numbers", numbers}, {"hex", Ordered::array()}};
    {
        zmtagio::JsonWriter json(out);
        json.BeginObject();
        json.String("s", "x");
        json.Bool("t", true);
        json.Bool("f", false);
        json.BeginArray("numbers");
        for (int64_t number : numbers) json.Number({}, number);
        json.EndArray();
        json.BeginArray("hex");
        for (size_t size = 0; size <= std::size(bytes); ++size) {
            json.BeginObject();
            json.Hex("h", std::span(bytes, size));
            json.EndObject();
            expected["hex"].push_back(Ordered{{"h", test::Hex(bytes, size)}});
        }
        json.EndArray();
        json.BeginArray("empty");
        json.EndArray();
        json.Raw(R"("raw":1,"nested":{"x":[2]})");
        // Far more than the writer's first room: each byte becomes six.
        json.String("long", std::string(5000, '\x01'));
        json.EndObject();
    }
    expected["empty"] = Ordered::array();
    expected["raw"] = 1;
    expected["nested"] = {{"x", {2}}};
    expected["long"] = std::string(5000, '\x01');
    EXPECT_EQ(out, "kept " + Library(expected));
}

}  // namespace
}  // namespace zm::test::cli
