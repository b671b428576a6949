// JSON written straight into a string, member by member.
//
// The command line prints one object per file, and a file with small tags is
// read in a few microseconds: building a document of a JSON library and
// serializing it cost about ten times the read itself, most of it in
// allocations and in escaping character by character. This writer appends to
// a buffer the caller keeps from line to line, copies runs that need no
// escaping eight bytes at a time, and writes strings exactly as that library
// does with invalid UTF-8 replaced, so readers of the lines see the same bytes.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "Text.h"

namespace zmtagio {

// A member's name as it is written, quoted and with its colon, made when the
// program is compiled: writing it is then a copy of a few constant bytes.
// Names are plain ASCII. The empty key writes nothing, for an element of an
// array or a value of its own.
class JsonKey {
public:
    static constexpr size_t kBytes = 16;

    constexpr JsonKey() = default;
    template <size_t N>
    consteval JsonKey(const char (&name)[N]) : size_(N + 2) {
        static_assert(N + 2 <= kBytes, "a longer name needs a larger key");
        text_[0] = '"';
        for (size_t i = 0; i + 1 < N; ++i) text_[i + 1] = name[i];
        text_[N] = '"';
        text_[N + 1] = ':';
    }

    // Writes all kBytes and returns the end of the key.
    char* Put(char* next) const {
        std::memcpy(next, text_, kBytes);
        return next + size_;
    }

private:
    char text_[kBytes] = {};
    size_t size_ = 0;
};

// The writer appends straight into the string's memory; the string has its
// final size once the writer is gone. Each value is written with a comma
// after it, which a closing bracket takes back: no write has to ask whether
// it is the first of its object. The small writes are inline, so that each
// key is copied as the constant it is.
class JsonWriter {
public:
    explicit JsonWriter(std::string& out);
    ~JsonWriter();
    JsonWriter(const JsonWriter&) = delete;
    JsonWriter& operator=(const JsonWriter&) = delete;

    void BeginObject(const JsonKey& key = {}) { Open(key, '{'); }
    void EndObject() { Close('}'); }
    void BeginArray(const JsonKey& key) { Open(key, '['); }
    void EndArray() { Close(']'); }

    // Control characters, quotes and backslashes are escaped; each invalid
    // UTF-8 sequence becomes U+FFFD. False when the text does not show its
    // bytes: it had a sequence replaced, or it holds a U+FFFD already, the
    // mark a conversion leaves for a byte it could not decode.
    bool String(const JsonKey& key, std::string_view text) {
        bool faithful = true;
        next_ = PutString(Member(key, kMaxEscapedByte * text.size() + 3), text, faithful);
        return faithful;
    }

    void Bool(const JsonKey& key, bool value) {
        constexpr char kWords[2][8] = {"false,", "true,"};
        char* next = Member(key, sizeof kWords[0]);
        std::memcpy(next, kWords[value], sizeof kWords[0]);
        next_ = next + (value ? 5 : 6);
    }

    void Number(const JsonKey& key, int64_t value) { next_ = PutNumber(Member(key, kMaxDigits + 1), value); }

    // Members another writer wrote, as it left them: without a comma after
    // the last one.
    void Raw(std::string_view members) {
        char* next = Member({}, members.size() + 1);
        std::memcpy(next, members.data(), members.size());
        next[members.size()] = ',';
        next_ = next + members.size() + 1;
    }

    // The bytes as a string of lowercase hexadecimal digits.
    void Hex(const JsonKey& key, Bytes bytes) { next_ = PutHex(Member(key, 2 * bytes.size() + 3), bytes); }

private:
    // The most bytes one input byte becomes: a control character as \u00xx.
    static constexpr size_t kMaxEscapedByte = 6;
    static constexpr size_t kMaxDigits = 20;  // -9223372036854775808
    // Writes store whole words and keep what they need of them: room for a
    // word more than a value takes.
    static constexpr size_t kWordSlack = 8;

    static char* PutString(char* next, std::string_view text, bool& faithful);
    static char* PutHex(char* next, Bytes bytes);
    static char* PutNumber(char* next, int64_t value);

    // Room for the key and a value of this many bytes, then the key. Each
    // write then works on a local cursor, which the compiler can keep in a
    // register.
    char* Member(const JsonKey& key, size_t valueBytes) {
        size_t bytes = JsonKey::kBytes + valueBytes + kWordSlack;
        if (size_t(end_ - next_) < bytes) Grow(bytes);
        return key.Put(next_);
    }
    void Grow(size_t bytes);

    void Open(const JsonKey& key, char bracket) {
        char* next = Member(key, 1);
        *next++ = bracket;
        next_ = next;
    }

    // Takes back the comma after the last value, if there is one.
    void Close(char bracket) {
        char* next = Member({}, 2);
        if (next[-1] == ',') --next;
        next[0] = bracket;
        next[1] = ',';
        next_ = next + 2;
    }

    std::string& out_;
    size_t start_;
    char* next_;
    char* end_;
};

}  // namespace zmtagio
