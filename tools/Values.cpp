#include "Values.h"

#include <algorithm>
#include <charconv>

#include "ID3Text.h"
#include "Text.h"
#include "zmTagIO.h"

namespace zmtagio {
namespace {

constexpr char kMissingCharacter = '?';
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

size_t CharacterLength(uint8_t lead) { return lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4; }

// ID3v1 is written best effort, as taggers write it: a character the code
// page cannot hold becomes "?", and a value longer than its field is cut at a
// character boundary. The ID3v2 tag holds the whole value. The text is valid
// UTF-8.
std::string BestEffort(std::string_view text, uint32_t codePage, size_t width, bool* shortened) {
    std::string bytes;
    for (size_t at = 0; at < text.size();) {
        std::string_view character = text.substr(at, CharacterLength(uint8_t(text[at])));
        at += character.size();
        std::optional<std::string> held = InCodePage(character, codePage);
        std::string piece = held ? *held : std::string(1, kMissingCharacter);
        *shortened |= !held;
        if (bytes.size() + piece.size() > width) {
            *shortened = true;
            break;
        }
        bytes += piece;
    }
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
    size_t width = id == MD_ID3V1_YEAR ? kID3V1YearWidth : kID3V1TextWidth;
    bool shortened = false;
    std::string bytes = BestEffort(text, codePage, width, &shortened);
    Encoded out = Text(bytes, CodePageToUtf8(AsBytes(TrimPadding(bytes, Padding::ZerosAndSpaces)), codePage));
    out.shortened = shortened;
    return out;
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
