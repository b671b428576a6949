// Conversions between 8-bit code pages, UTF-8 and UTF-16, with the contract of
// the Win32 calls: explicit lengths (or -1 for "up to and including the zero"),
// zero bytes converted like any other character, the number of units or bytes
// produced as the result (0 on failure), and with no output buffer the number
// that would be produced. Invalid UTF-8 becomes U+FFFD; a character that the
// target code page lacks becomes '?'.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

namespace zm::platform {

inline constexpr uint32_t kCodePageAnsi = 0;  // the process's ANSI code page
inline constexpr uint32_t kCodePageUtf8 = 65001;

int MultiByteToWideChar(uint32_t codePage, const char* source, int count, char16_t* out,
                        int capacity);
int WideCharToMultiByte(uint32_t codePage, const char16_t* source, int count, char* out,
                        int capacity);

// The process-wide ANSI code page (1252 unless the host chose another one).
// Returns false, changing nothing, for a code page that cannot be converted.
bool SetAnsiCodePage(uint32_t codePage);
uint32_t AnsiCodePage();

// Whether the ANSI code page stores ASCII as ASCII, a byte per character, as
// every Windows ANSI code page does: ASCII text then is the same bytes there,
// in UTF-8 and in UTF-16's low bytes, and needs no conversion.
bool AnsiKeepsAscii();

// Whether every byte is below 0x80. Eight bytes are tested at once.
inline bool IsAscii(std::span<const uint8_t> bytes) {
    constexpr uint64_t kHighBits = 0x8080808080808080;
    uint64_t bits = 0;
    size_t at = 0;
    for (; at + sizeof bits <= bytes.size(); at += sizeof bits) {
        uint64_t word;
        std::memcpy(&word, bytes.data() + at, sizeof word);
        bits |= word;
    }
    for (; at < bytes.size(); ++at) bits |= bytes[at];
    return (bits & kHighBits) == 0;
}

}  // namespace zm::platform
