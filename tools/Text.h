// Text conversions of the command line: the component hands out bytes in the
// ANSI code page, UTF-16 or UTF-8, and the terminal and JSON want UTF-8.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace zmtagio {

using Bytes = std::span<const uint8_t>;

std::string_view AsText(Bytes bytes);
Bytes AsBytes(std::string_view text);

bool IsValidUtf8(std::string_view text);
// Invalid sequences become U+FFFD.
std::string ValidUtf8(std::string_view text);

// Lenient: what the code page cannot decode becomes U+FFFD.
std::string CodePageToUtf8(Bytes bytes, uint32_t codePage);
std::string Utf16ToUtf8(Bytes bytes, bool littleEndian);

// Strict: nothing when a character has no form in the code page.
std::optional<std::string> Utf8ToCodePage(std::string_view text, uint32_t codePage);

// For a terminal: valid UTF-8 with control characters escaped.
std::string ForTerminal(std::string_view text);
std::string QuotedForTerminal(std::string_view text);

std::string Hex(Bytes bytes);
std::string_view TrimTrailing(std::string_view text, std::string_view characters);

}  // namespace zmtagio
