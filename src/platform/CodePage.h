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
#include <string_view>

namespace zm::platform {

// Two settings stand for a code page and are looked up at each conversion:
// the tag code page, of 8-bit tag text (ID3 encoding 0), and the host code
// page, of the text the record shares with the host (Windows Media values,
// paths). On Windows both are the system's ANSI code page. Elsewhere each is
// set on its own: the tag code page is 1252 and the host's UTF-8 until the
// host chooses others.
inline constexpr uint32_t kCodePageTag = 0;            // CP_ACP on Windows
inline constexpr uint32_t kCodePageHost = 0xFFFF0000;  // no code page has this number
inline constexpr uint32_t kCodePageUtf8 = 65001;

int MultiByteToWideChar(uint32_t codePage, const char* source, int count, char16_t* out,
                        int capacity);
int WideCharToMultiByte(uint32_t codePage, const char16_t* source, int count, char* out,
                        int capacity);

// How many units from the start of text, ending with a whole character,
// convert into at most limit bytes of the code page.
size_t UnitsWithin(uint32_t codePage, std::u16string_view text, size_t limit);

// Sets what setting (kCodePageTag or kCodePageHost) stands for, process-wide.
// Returns false, changing nothing, for a code page that cannot be converted.
bool SetCodePage(uint32_t setting, uint32_t codePage);
// The code page a setting stands for now.
uint32_t CodePageOf(uint32_t setting);

// Whether a setting's code page stores ASCII as ASCII, a byte per character,
// as every Windows ANSI code page and UTF-8 do: ASCII text then is the same
// bytes there, in UTF-8 and in UTF-16's low bytes, and needs no conversion.
bool KeepsAscii(uint32_t setting);

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
