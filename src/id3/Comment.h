// Tests on COMM bodies: encoding byte, three-byte language, description
// ended by a zero, text.
#pragma once

#include <cstdint>
#include <span>

namespace zm::id3 {

// A language followed by an empty description.
bool IsPlainComment(std::span<const uint8_t> body);
// Whether the body's language is the preferred one (case of ASCII letters
// ignored). With no preferred language (four zero bytes) every comment in
// an 8-bit encoding (0 or 3) matches.
bool CommentLanguageMatches(std::span<const uint8_t> body, const char* commentLanguage);
// Comments whose description starts with "iTun" belong to one player and
// are never chosen.
bool IsITunesComment(std::span<const uint8_t> body);
// Whether the body's three language bytes are the given ones, case ignored.
bool HasCommentLanguage(std::span<const uint8_t> body, const char* language);

// What goes between a UTF-16 comment's encoding byte and its re-encoded
// text when the internal form held the text alone: the language, and an
// empty description with its mark and terminator. Text that still holds its
// description (a zero byte before its end) gets the language only.
struct CommentPrefix {
    uint8_t bytes[7];
    uint32_t length;
};
CommentPrefix UTF16CommentPrefix(const uint8_t language[3], std::span<const uint8_t> internalText);

}  // namespace zm::id3
