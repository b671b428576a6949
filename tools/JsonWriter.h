// JSON written straight into a string, member by member.
//
// The command line prints one object per file, and a file with small tags is
// read in a few microseconds: building a document of a JSON library and
// serializing it cost about ten times the read itself, most of it in
// allocations and in escaping character by character. This writer appends to
// a buffer the caller keeps from line to line, copies runs that need no
// escaping in one go, and writes strings exactly as that library does with
// invalid UTF-8 replaced, so readers of the lines see the same bytes.
#pragma once

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <string>
#include <string_view>

#include "Text.h"

namespace zmtagio {

// The writer appends straight into the string's memory; the string has its
// final size once the writer is gone. The small writes are inline, so that a
// key's length is known where it is copied.
class JsonWriter {
public:
    explicit JsonWriter(std::string& out);
    ~JsonWriter();
    JsonWriter(const JsonWriter&) = delete;
    JsonWriter& operator=(const JsonWriter&) = delete;

    // Each value is a member named by its key, or with an empty key an
    // element of an array or a value of its own. Keys are plain ASCII names
    // and are written as they are.
    void BeginObject(std::string_view key = {}) { Open(key, '{'); }
    void EndObject() { Close('}'); }
    void BeginArray(std::string_view key) { Open(key, '['); }
    void EndArray() { Close(']'); }

    // Control characters, quotes and backslashes are escaped; each invalid
    // UTF-8 sequence becomes U+FFFD.
    void String(std::string_view key, std::string_view text) {
        next_ = PutString(Next(key, kMaxEscapedByte * text.size() + 2), text);
    }

    void Bool(std::string_view key, bool value) {
        std::string_view word = value ? "true" : "false";
        char* next = Next(key, word.size());
        next_ = std::copy(word.begin(), word.end(), next);
    }

    void Number(std::string_view key, int64_t value) {
        char* next = Next(key, kMaxDigits);
        next_ = std::to_chars(next, next + kMaxDigits, value).ptr;
    }

    // The bytes as a string of lowercase hexadecimal digits.
    void Hex(std::string_view key, Bytes bytes) { next_ = PutHex(Next(key, 2 * bytes.size() + 2), bytes); }

private:
    // The most bytes one input byte becomes: a control character as \u00xx.
    static constexpr size_t kMaxEscapedByte = 6;
    static constexpr size_t kMaxDigits = 20;  // -9223372036854775808

    static char* PutString(char* next, std::string_view text);
    static char* PutHex(char* next, Bytes bytes);

    // Room for this many more bytes at next_. Each write then works on a
    // local cursor, which the compiler can keep in a register.
    char* Room(size_t bytes) {
        if (size_t(end_ - next_) < bytes) Grow(bytes);
        return next_;
    }
    void Grow(size_t bytes);

    // A separator when the value is not the first of its object or array,
    // then the key.
    char* Next(std::string_view key, size_t valueBytes) {
        char* next = Room(key.size() + 4 + valueBytes);
        if (!first_) *next++ = ',';
        first_ = false;
        if (key.empty()) return next;
        *next++ = '"';
        next = std::copy(key.begin(), key.end(), next);
        *next++ = '"';
        *next++ = ':';
        return next;
    }

    void Open(std::string_view key, char bracket) {
        char* next = Next(key, 1);
        *next++ = bracket;
        next_ = next;
        first_ = true;
    }

    void Close(char bracket) {
        *Room(1) = bracket;
        ++next_;
        first_ = false;
    }

    std::string& out_;
    char* next_;
    char* end_;
    bool first_ = true;
};

}  // namespace zmtagio
