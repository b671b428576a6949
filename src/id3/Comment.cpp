#include "id3/Comment.h"

#include <algorithm>
#include <cstring>

#include "id3/TextEncoding.h"

namespace zm::id3 {
namespace {

constexpr size_t kLanguage = 1;  // body offset of the three language bytes
constexpr size_t kDescription = 4;
constexpr char kITunes[] = "iTun";

uint8_t Lower(uint8_t c) { return c >= 'A' && c <= 'Z' ? uint8_t(c + ('a' - 'A')) : c; }

bool SameLetters(const uint8_t* a, const uint8_t* b, size_t n) {
    for (size_t i = 0; i < n; ++i)
        if (Lower(a[i]) != Lower(b[i])) return false;
    return true;
}

}  // namespace

bool IsPlainComment(std::span<const uint8_t> body) {
    return body.size() > 5 && body[1] != 0 && body[2] != 0 && (body[3] == 0 || body[4] == 0);
}

bool HasCommentLanguage(std::span<const uint8_t> body, const char* language) {
    return body.size() >= kDescription &&
           SameLetters(body.data() + kLanguage, reinterpret_cast<const uint8_t*>(language), 3);
}

bool CommentLanguageMatches(std::span<const uint8_t> body, const char* commentLanguage) {
    bool none = std::all_of(commentLanguage, commentLanguage + 4, [](char c) { return c == 0; });
    if (none) return body.size() > 1 && (body[0] == kLatin1 || body[0] == kUtf8);
    return body.size() >= 5 && HasCommentLanguage(body, commentLanguage);
}

bool IsITunesComment(std::span<const uint8_t> body) {
    return body.size() >= kDescription + 4 &&
           SameLetters(body.data() + kDescription, reinterpret_cast<const uint8_t*>(kITunes), 4);
}

CommentPrefix UTF16CommentPrefix(const uint8_t language[3], std::span<const uint8_t> internalText) {
    CommentPrefix prefix{{language[0], language[1], language[2], 0xFF, 0xFE, 0, 0}, 7};
    bool hasDescription =
        internalText.size() > 2 && std::memchr(internalText.data() + 1, 0, internalText.size() - 2);
    if (hasDescription) prefix.length = 3;
    return prefix;
}

}  // namespace zm::id3
