#include "Values.h"

#include <algorithm>
#include <charconv>

#include "ID3Text.h"
#include "Text.h"
#include "zmTagIO.h"

namespace zmtagio {
namespace {

// A frame of 20480 bytes or more that the reader does not take into a slot
// ends its frame walk, and every frame behind it would be lost by the next
// rewrite; values stay far below that, even as UTF-16 with a comment prefix.
constexpr size_t kMaxID3V2Value = 10000;
constexpr size_t kID3V1YearWidth = 4;
constexpr size_t kWMValueBuffer = 300;  // text and its terminating zero
constexpr int kMaxByte = 255;

enum ID3Encoding : uint8_t { kLatin1 = 0, kUtf16 = 1 };

Encoded Failure(std::string message) {
    Encoded out;
    out.error = std::move(message);
    return out;
}

Encoded Text(std::string_view bytes, std::string expected) {
    Encoded out;
    out.value.assign(bytes.begin(), bytes.end());
    out.expected = std::move(expected);
    return out;
}

std::string CodePageMissing(uint32_t codePage) {
    return "has characters that code page " + std::to_string(codePage) + " cannot hold";
}

std::optional<std::string> InCodePage(std::string_view text, uint32_t codePage) {
    std::optional<std::string> bytes = Utf8ToCodePage(text, codePage);
    if (bytes && CodePageToUtf8(AsBytes(*bytes), codePage) != text) return std::nullopt;
    return bytes;
}

// A number 0 to 255 at the start of the text ("7", "07", "7/12").
std::optional<int> LeadingNumber(std::string_view text, bool wholeText) {
    int number = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (error != std::errc() || number < 0 || number > kMaxByte) return std::nullopt;
    std::string_view rest(end, size_t(text.data() + text.size() - end));
    if (wholeText ? !rest.empty() : !(rest.empty() || rest.starts_with('/'))) return std::nullopt;
    return number;
}

Encoded Byte(int number) {
    Encoded out;
    out.value.push_back(uint8_t(number));
    out.expected = std::to_string(number);
    return out;
}

Encoded ID3V1Track(std::string_view text) {
    if (text.empty()) return {};
    std::optional<int> number = LeadingNumber(text, false);
    return number ? Byte(*number) : Failure("is not a track number from 0 to 255");
}

// An absent genre is 255 in the block: 0 would read as the first genre.
Encoded ID3V1Genre(std::string_view text) {
    if (text.empty()) return Byte(kID3V1NoGenre);
    std::optional<int> number = LeadingNumber(text, true);
    if (!number) number = ID3V1GenreNumber(text);
    if (*number < 0) return Failure("is not an ID3v1 genre (a number from 0 to 255, or a name such as Rock)");
    return Byte(*number);
}

}  // namespace

Encoded EncodeID3V2(int id, std::string_view text, uint32_t codePage) {
    if (text.empty()) return {};
    if (text.size() > kMaxID3V2Value)
        return Failure("is longer than " + std::to_string(kMaxID3V2Value) + " bytes");
    bool fits = InCodePage(text, codePage).has_value();
    // The component writes track and year frames as ISO-8859-1 whatever they hold.
    if (!fits && (id == MD_ID3V2_TRCK || id == MD_ID3V2_TYER)) return Failure(CodePageMissing(codePage));
    Encoded out;
    out.value.assign(text.size() + 1, fits ? kLatin1 : kUtf16);
    std::copy(text.begin(), text.end(), out.value.begin() + 1);
    out.expected = std::string(text);
    return out;
}

Encoded EncodeID3V1(int id, std::string_view text, uint32_t codePage) {
    if (id == MD_ID3V1_TRACK) return ID3V1Track(text);
    if (id == MD_ID3V1_GENRE) return ID3V1Genre(text);
    if (text.empty()) return {};
    std::optional<std::string> bytes = InCodePage(text, codePage);
    if (!bytes) return Failure(CodePageMissing(codePage));
    size_t width = id == MD_ID3V1_YEAR ? kID3V1YearWidth : kID3V1TextWidth;
    if (bytes->size() > width)
        return Failure("is " + std::to_string(bytes->size()) + " bytes long; the ID3v1 field holds " +
                       std::to_string(width));
    return Text(*bytes, CodePageToUtf8(AsBytes(TrimPadding(*bytes, Padding::ZerosAndSpaces)), codePage));
}

Encoded EncodeOgg(std::string_view text) { return Text(text, std::string(text)); }

// An empty text with its terminator deletes the attribute.
Encoded EncodeWM(std::string_view text, uint32_t codePage) {
    std::optional<std::string> bytes = InCodePage(text, codePage);
    if (!bytes) return Failure(CodePageMissing(codePage));
    if (bytes->size() + 1 > kWMValueBuffer)
        return Failure("is " + std::to_string(bytes->size()) + " bytes long; a Windows Media value holds " +
                       std::to_string(kWMValueBuffer - 1));
    return Text(std::string_view(bytes->c_str(), bytes->size() + 1), std::string(text));
}

}  // namespace zmtagio
