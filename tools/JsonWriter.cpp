#include "JsonWriter.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>

namespace zmtagio {
namespace {

// Words are read and written whole: their lowest byte is the first in memory.
static_assert(std::endian::native == std::endian::little);

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD in UTF-8
constexpr std::string_view kHexDigits = "0123456789abcdef";

// Characters with an escape of their own; other control characters are
// written as \u00xx.
constexpr std::string_view kEscaped = "\b\t\n\f\r\"\\";
constexpr std::string_view kEscapeLetters = "btnfr\"\\";
constexpr size_t kMinGrowth = 1024;

// The two digits of each byte, the first in the low byte: a lookup is one load
// and writing it one store.
constexpr auto kHexPairs = [] {
    std::array<uint16_t, 256> pairs{};
    for (int b = 0; b < 256; ++b) pairs[b] = uint16_t(kHexDigits[b >> 4] | kHexDigits[b & 15] << 8);
    return pairs;
}();

constexpr auto kDecimalPairs = [] {
    std::array<char, 200> pairs{};
    for (int n = 0; n < 100; ++n) {
        pairs[2 * n] = char('0' + n / 10);
        pairs[2 * n + 1] = char('0' + n % 10);
    }
    return pairs;
}();

// Several bytes a step, so that the loop costs little beside the lookups.
template <int kBytes>
void PutHexPairs(char* next, const uint8_t* in) {
    for (int i = 0; i < kBytes; ++i) std::memcpy(next + 2 * i, &kHexPairs[in[i]], 2);
}

// Eight bytes at a time, tested at once: tag text is mostly plain ASCII, and
// a byte at a time was most of the cost of a line.
constexpr uint64_t kHighBits = 0x80 * kOnes;
constexpr uint64_t kSpaces = ' ' * kOnes;

// Sets the high bit of each byte that is not plain ASCII, and perhaps of
// bytes above one that is not: a borrow only runs upwards, from a byte that is
// marked. The lowest marked byte is always the first one that is not plain.
// A byte of 0x80 or more is marked by its own high bit; below that, the
// subtractions set the high bit only of a byte below 0x20, a quote or a
// backslash.
constexpr uint64_t NotPlain(uint64_t word) {
    return (word | (word - 0x20 * kOnes) | ((word ^ '"' * kOnes) - kOnes) | ((word ^ '\\' * kOnes) - kOnes)) & kHighBits;
}

// One to seven bytes, in the low bytes of the word, read in at most two
// overlapping loads without reading past them.
uint64_t LoadShort(const char* in, size_t size) {
    if (size >= 4) {
        uint32_t low, high;
        std::memcpy(&low, in, 4);
        std::memcpy(&high, in + size - 4, 4);
        return low | uint64_t(high) << 8 * (size - 4);
    }
    if (size >= 2) {
        uint16_t low, high;
        std::memcpy(&low, in, 2);
        std::memcpy(&high, in + size - 2, 2);
        return low | uint32_t(high) << 8 * (size - 2);
    }
    return uint8_t(*in);
}

// The next eight bytes of the text, or the fewer that are left with spaces
// above them. The last bytes of a text of eight bytes or more are read in one
// load that ends where the text does.
uint64_t NextBlock(const char* in, std::string_view text) {
    const char* end = text.data() + text.size();
    size_t left = size_t(end - in);
    if (left >= 8) return LoadWord(in);
    uint64_t word = text.size() >= 8 ? LoadWord(end - 8) >> 8 * (8 - left) : LoadShort(in, left);
    return word | kSpaces << 8 * left;
}

void Store(char* next, uint64_t word) { std::memcpy(next, &word, 8); }

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
    std::memcpy(next + 3, &kHexPairs[uint8_t(c)], 2);
    return next + 5;
}

// One character that is not plain ASCII, from the start of the text to its end.
char* PutIrregular(char* next, const char*& in, const char* end, bool& faithful) {
    if (uint8_t(*in) < 0x80) return PutEscape(next, *in++);
    Sequence sequence = ReadSequence(in, size_t(end - in));
    if (sequence.valid) {
        faithful = faithful && std::string_view(in, sequence.length) != kReplacement;
        next = std::copy(in, in + sequence.length, next);
    } else {
        faithful = false;
        next = std::copy(kReplacement.begin(), kReplacement.end(), next);
    }
    in += sequence.length;
    return next;
}

// The text from the first block that is not all plain: each block is stored
// whole, and the cursor moves over its plain bytes.
[[gnu::noinline]] char* PutWithEscapes(char* next, const char* in, std::string_view text, bool& faithful) {
    const char* end = text.data() + text.size();
    while (in != end) {
        uint64_t word = NextBlock(in, text);
        uint64_t irregular = NotPlain(word);
        size_t plain = irregular ? size_t(std::countr_zero(irregular)) / 8 : std::min<size_t>(8, size_t(end - in));
        Store(next, word);
        next += plain;
        in += plain;
        if (irregular) next = PutIrregular(next, in, end, faithful);
    }
    return next;
}

// Most text is plain throughout. Its path is kept apart from the escapes, so
// that it needs few registers and saves few on the way in.
char* PutEscaped(char* next, std::string_view text, bool& faithful) {
    for (size_t done = 0; done < text.size(); done += 8) {
        uint64_t word = NextBlock(text.data() + done, text);
        if (NotPlain(word)) return PutWithEscapes(next + done, text.data() + done, text, faithful);
        Store(next + done, word);
    }
    return next + text.size();
}

}  // namespace

// The string is filled to its capacity and cut back at the end, so that
// writing a byte is a store, not a call.
JsonWriter::JsonWriter(std::string& out) : out_(out), start_(out.size()) {
    out_.resize(std::max(out_.capacity(), start_ + kMinGrowth));
    next_ = out_.data() + start_;
    end_ = out_.data() + out_.size();
}

// Every value ends with its comma, and the last one is not followed by another.
JsonWriter::~JsonWriter() {
    size_t size = size_t(next_ - out_.data());
    out_.resize(size > start_ ? size - 1 : size);
}

void JsonWriter::Grow(size_t bytes) {
    size_t used = size_t(next_ - out_.data());
    out_.resize(std::max(2 * out_.size(), used + bytes));
    next_ = out_.data() + used;
    end_ = out_.data() + out_.size();
}

// Into room for kMaxEscapedByte bytes per input byte, the quotes and the comma.
char* JsonWriter::PutString(char* next, std::string_view text, bool& faithful) {
    *next++ = '"';
    next = PutEscaped(next, text, faithful);
    std::memcpy(next, "\",", 2);
    return next + 2;
}

char* JsonWriter::PutHex(char* next, Bytes bytes) {
    *next++ = '"';
    const uint8_t* in = bytes.data();
    size_t left = bytes.size();
    for (; left >= 4; left -= 4, in += 4, next += 8) PutHexPairs<4>(next, in);
    for (; left > 0; --left, ++in, next += 2) PutHexPairs<1>(next, in);
    std::memcpy(next, "\",", 2);
    return next + 2;
}

// Ids, sizes and versions are below a thousand: their digits are written
// straight, without the general conversion.
char* JsonWriter::PutNumber(char* next, int64_t value) {
    if (value >= 0 && value < 10) {
        *next++ = char('0' + value);
    } else if (value >= 10 && value < 100) {
        std::memcpy(next, &kDecimalPairs[2 * value], 2);
        next += 2;
    } else if (value >= 100 && value < 1000) {
        *next = char('0' + value / 100);
        std::memcpy(next + 1, &kDecimalPairs[2 * (value % 100)], 2);
        next += 3;
    } else {
        next = std::to_chars(next, next + kMaxDigits, value).ptr;
    }
    *next = ',';
    return next + 1;
}

}  // namespace zmtagio
