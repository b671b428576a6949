// Text conversions of the command line: the component hands out bytes in the
// ANSI code page, UTF-16 or UTF-8, and the terminal and JSON want UTF-8.
#pragma once

#include <cstdint>
#include <cstring>
#include <deque>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace zmtagio {

using Bytes = std::span<const uint8_t>;

inline std::string_view AsText(Bytes bytes) { return {reinterpret_cast<const char*>(bytes.data()), bytes.size()}; }
inline Bytes AsBytes(std::string_view text) { return {reinterpret_cast<const uint8_t*>(text.data()), text.size()}; }

// Text is tested eight bytes at a time, as one word: LoadWord reads one at
// any alignment, and kOnes times a byte is that byte in each of its places.
inline constexpr uint64_t kOnes = 0x0101010101010101;
inline uint64_t LoadWord(const void* in) {
    uint64_t word;
    std::memcpy(&word, in, sizeof word);
    return word;
}

// Converted text that views point at. A piece never moves once made, and a
// cleared store hands its pieces out again with the memory they grew, so a
// store kept from file to file stops allocating.
class TextStore {
public:
    std::string& NewPiece();
    void Clear() { used_ = 0; }

private:
    std::deque<std::string> pieces_;
    size_t used_ = 0;
};

bool IsValidUtf8(std::string_view text);
// Invalid sequences become U+FFFD.
std::string ValidUtf8(std::string_view text);

// Lenient: what the code page cannot decode becomes U+FFFD. The views are the
// bytes themselves when they need no conversion, else a piece of the store.
std::string CodePageToUtf8(Bytes bytes, uint32_t codePage);
std::string_view CodePageText(Bytes bytes, uint32_t codePage, TextStore& store);
std::string_view Utf16Text(Bytes bytes, bool littleEndian, TextStore& store);

// Strict: nothing when a character has no form in the code page.
std::optional<std::string> Utf8ToCodePage(std::string_view text, uint32_t codePage);

// For a terminal: valid UTF-8 with control characters escaped.
std::string ForTerminal(std::string_view text);
std::string QuotedForTerminal(std::string_view text);

// What fills a value to the end of its room: zeros after ID3v2 text, zeros or
// spaces in an ID3v1 field.
enum class Padding { Zeros, ZerosAndSpaces };
std::string_view TrimPadding(std::string_view text, Padding padding);

}  // namespace zmtagio
