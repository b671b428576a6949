// ID3v2 text and the internal text form the record holds it in: the frame's
// encoding byte (0 ISO-8859-1, read as the ANSI code page; 1 UTF-16 with a
// byte-order mark; 2 UTF-16 big-endian; 3 UTF-8) followed by the text in
// UTF-8. UTF-8 text is taken as it stands once it has been checked to be
// valid; invalid text and encodings above 3 are not converted. The tags we
// write have no UTF-8: the writer turns it into UTF-16.
#pragma once

#include <cstdint>
#include <span>

#include "platform/Bytes.h"

namespace zm::id3 {

// Converted text: bytes is empty when nothing could be converted; length
// counts the bytes that hold the result.
struct ConvertedText {
    platform::Buffer bytes;
    uint32_t length = 0;
    std::span<const uint8_t> view() const { return {bytes.data(), length}; }
};

enum TextEncoding : uint8_t { kLatin1 = 0, kUtf16 = 1, kUtf16BigEndian = 2, kUtf8 = 3 };

// UTF-16 (a trailing odd byte is ignored) to UTF-8. A surrogate pair becomes
// one four-byte sequence; a lone surrogate is written as a three-byte one.
// Returns the bytes written; destination needs 3/2 of the source's size.
uint32_t Utf16ToUtf8(std::span<const uint8_t> source, bool littleEndian, std::span<uint8_t> destination);

// UTF-8 to UTF-16 ending in one zero unit. Overlong forms and encoded
// surrogates pass; a cut or stray sequence, a lead byte F8 to FF and a code
// point above U+10FFFF make the input invalid. Returns the bytes written, or
// 0 for invalid input; destination needs twice the source's size plus 2.
uint32_t Utf8ToUtf16(std::span<const uint8_t> source, std::span<uint8_t> destination, bool littleEndian);

// Whether the bytes are UTF-8 that Utf8ToUtf16 converts.
bool IsValidUtf8(std::span<const uint8_t> text);

// Room that any conversion of a body of n bytes fits in: kDecodeGrowth * n.
inline constexpr uint32_t kDecodeGrowth = 5;

// A frame body (encoding byte first) to the internal form.
ConvertedText DecodeID3Text(std::span<const uint8_t> body, uint8_t encoding);
// The same into out, which holds kDecodeGrowth times the body's size: the
// bytes written, 0 when nothing was converted.
uint32_t DecodeID3TextInto(std::span<const uint8_t> body, uint8_t encoding, std::span<uint8_t> out);
// The internal form to a frame body. Encoding 2 is written as encoding 1
// with the mark FE FF, since the tags we write have no encoding 2; encoding 0
// ends in one zero byte. Encoding 3 is not converted here: its internal form
// is the frame body itself, re-encoded by the writer part by part.
ConvertedText EncodeID3Text(std::span<const uint8_t> text, uint8_t encoding);

}  // namespace zm::id3
