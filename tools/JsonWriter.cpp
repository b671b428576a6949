#include "JsonWriter.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace zmtagio {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD in UTF-8
constexpr std::string_view kHexDigits = "0123456789abcdef";

// Characters with an escape of their own; other control characters are
// written as \u00xx.
constexpr std::string_view kEscaped = "\b\t\n\f\r\"\\";
constexpr std::string_view kEscapeLetters = "btnfr\"\\";
constexpr size_t kMinGrowth = 1024;

// ASCII that is written as it is.
constexpr auto kPlain = [] {
    std::array<bool, 256> plain{};
    for (int c = 0x20; c < 0x80; ++c) plain[c] = c != '"' && c != '\\';
    return plain;
}();

constexpr auto kHexPairs = [] {
    std::array<char, 512> pairs{};
    for (int b = 0; b < 256; ++b) {
        pairs[2 * b] = kHexDigits[b >> 4];
        pairs[2 * b + 1] = kHexDigits[b & 15];
    }
    return pairs;
}();

// Whether eight bytes are all plain, tested at once: tag text is mostly
// plain ASCII, and a byte at a time is most of the cost of a line.
constexpr uint64_t kOnes = 0x0101010101010101;
constexpr uint64_t kHighBits = 0x80 * kOnes;

constexpr uint64_t HasZeroByte(uint64_t word) { return (word - kOnes) & ~word & kHighBits; }

constexpr bool AllPlain(uint64_t word) {
    uint64_t below20 = (word - 0x20 * kOnes) & ~word & kHighBits;
    return ((word & kHighBits) | below20 | HasZeroByte(word ^ ('"' * kOnes)) | HasZeroByte(word ^ ('\\' * kOnes))) == 0;
}

// Lead bytes whose second byte has narrower bounds than 80..BF: they would
// otherwise start overlong forms, surrogates or code points past U+10FFFF.
struct SecondByte {
    uint8_t lead, low, high;
};
constexpr SecondByte kNarrowSeconds[] = {
    {0xE0, 0xA0, 0xBF}, {0xED, 0x80, 0x9F}, {0xF0, 0x90, 0xBF}, {0xF4, 0x80, 0x8F}};

constexpr uint8_t kFirstLead = 0xC2;
constexpr uint8_t kFirstLead3 = 0xE0;
constexpr uint8_t kFirstLead4 = 0xF0;
constexpr uint8_t kLastLead = 0xF4;

// One multibyte character at the start of the text: its length when it is
// well formed; otherwise the bytes one replacement stands for, which are the
// lead byte and the continuation bytes that were right for it, as the JSON
// library's decoder takes them.
struct Sequence {
    size_t length;
    bool valid;
};

Sequence ReadSequence(const char* text, size_t size) {
    uint8_t lead = uint8_t(text[0]);
    if (lead < kFirstLead || lead > kLastLead) return {1, false};
    size_t length = lead >= kFirstLead4 ? 4 : lead >= kFirstLead3 ? 3 : 2;
    uint8_t low = 0x80, high = 0xBF;
    for (const SecondByte& narrow : kNarrowSeconds)
        if (narrow.lead == lead) low = narrow.low, high = narrow.high;
    for (size_t n = 1; n < length; ++n) {
        if (n == size || uint8_t(text[n]) < low || uint8_t(text[n]) > high) return {n, false};
        low = 0x80, high = 0xBF;
    }
    return {length, true};
}

char* PutEscape(char* next, char c) {
    *next++ = '\\';
    size_t known = kEscaped.find(c);
    if (known != std::string_view::npos) {
        *next++ = kEscapeLetters[known];
        return next;
    }
    std::memcpy(next, "u00", 3);
    std::memcpy(next + 3, &kHexPairs[2 * uint8_t(c)], 2);
    return next + 5;
}

char* PutEscaped(char* next, std::string_view text) {
    const char* in = text.data();
    const char* end = in + text.size();
    while (in != end) {
        uint64_t word;
        if (end - in >= 8 && (std::memcpy(&word, in, 8), AllPlain(word))) {
            std::memcpy(next, in, 8);
            next += 8;
            in += 8;
            continue;
        }
        uint8_t byte = uint8_t(*in);
        if (kPlain[byte]) {
            *next++ = *in++;
        } else if (byte < 0x80) {
            next = PutEscape(next, *in++);
        } else {
            Sequence sequence = ReadSequence(in, size_t(end - in));
            if (sequence.valid) {
                next = std::copy(in, in + sequence.length, next);
            } else {
                next = std::copy(kReplacement.begin(), kReplacement.end(), next);
            }
            in += sequence.length;
        }
    }
    return next;
}

}  // namespace

// The string is filled to its capacity and cut back at the end, so that
// writing a byte is a store, not a call.
JsonWriter::JsonWriter(std::string& out) : out_(out) {
    size_t used = out_.size();
    out_.resize(std::max(out_.capacity(), used + kMinGrowth));
    next_ = out_.data() + used;
    end_ = out_.data() + out_.size();
}

JsonWriter::~JsonWriter() { out_.resize(size_t(next_ - out_.data())); }

void JsonWriter::Grow(size_t bytes) {
    size_t used = size_t(next_ - out_.data());
    out_.resize(std::max(2 * out_.size(), used + bytes));
    next_ = out_.data() + used;
    end_ = out_.data() + out_.size();
}

// Into room for kMaxEscapedByte bytes per input byte and the quotes.
char* JsonWriter::PutString(char* next, std::string_view text) {
    *next++ = '"';
    next = PutEscaped(next, text);
    *next++ = '"';
    return next;
}

char* JsonWriter::PutHex(char* next, Bytes bytes) {
    *next++ = '"';
    for (uint8_t b : bytes) {
        std::memcpy(next, &kHexPairs[2 * b], 2);
        next += 2;
    }
    *next++ = '"';
    return next;
}

}  // namespace zmtagio
