#include "Text.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

namespace zmtagio {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD in UTF-8
constexpr int kAsciiEnd = 0x80;

// Encodings by their Windows code page numbers.
constexpr uint32_t kUtf8 = 65001;
constexpr uint32_t kUtf16LE = 1200;
constexpr uint32_t kUtf16BE = 1201;

std::string IconvName(uint32_t codePage) {
    switch (codePage) {
        case kUtf8: return "UTF-8";
        case kUtf16LE: return "UTF-16LE";
        case kUtf16BE: return "UTF-16BE";
        case 28591: return "ISO-8859-1";
        case 20127: return "ASCII";
        case 20866: return "KOI8-R";
        default: return "CP" + std::to_string(codePage);
    }
}

// Eight bytes at a time, as each value is tested before it is converted.
bool IsAscii(Bytes bytes) {
    uint64_t bits = 0;
    size_t at = 0;
    for (; at + 8 <= bytes.size(); at += 8) bits |= LoadWord(bytes.data() + at);
    for (; at < bytes.size(); ++at) bits |= bytes[at];
    return (bits & kAsciiEnd * kOnes) == 0;
}

// Opening a converter loads its tables, which costs more than reading a
// small file: converters are opened once per thread and kept.
class Converter {
public:
    Converter(uint32_t to, uint32_t from) : to_(to), from_(from) {
        iconv_t handle = iconv_open(IconvName(to).c_str(), IconvName(from).c_str());
        handle_ = handle == iconv_t(-1) ? nullptr : handle;
        std::string ascii(kAsciiEnd, '\0');
        for (int c = 0; c < kAsciiEnd; ++c) ascii[c] = char(c);
        std::string converted;
        keepsAscii_ = Append(AsBytes(ascii), std::nullopt, converted) && converted == ascii;
    }
    ~Converter() {
        if (handle_) iconv_close(handle_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool Is(uint32_t to, uint32_t from) const { return to == to_ && from == from_; }

    // ASCII text in an encoding that keeps ASCII as it is converts to itself.
    bool PassesThrough(Bytes bytes) const { return keepsAscii_ && IsAscii(bytes); }

    // Appends the whole input converted. With a replacement, each input byte
    // that cannot be converted becomes that replacement; without one, such a
    // byte fails the conversion.
    bool Append(Bytes bytes, std::optional<std::string_view> replacement, std::string& out) {
        if (!handle_) return false;
        if (PassesThrough(bytes)) {
            out.append(AsText(bytes));
            return true;
        }
        iconv(handle_, nullptr, nullptr, nullptr, nullptr);  // start afresh, as a new converter would
        char* in = const_cast<char*>(reinterpret_cast<const char*>(bytes.data()));
        size_t inLeft = bytes.size();
        char buffer[1024];
        while (inLeft > 0) {
            char* next = buffer;
            size_t outLeft = sizeof buffer;
            size_t done = iconv(handle_, &in, &inLeft, &next, &outLeft);
            out.append(buffer, size_t(next - buffer));
            if (done != size_t(-1) || errno == E2BIG) continue;
            if (!replacement) return false;
            out += *replacement;
            ++in;
            --inLeft;
            iconv(handle_, nullptr, nullptr, nullptr, nullptr);
        }
        return true;
    }

private:
    uint32_t to_, from_;
    iconv_t handle_ = nullptr;
    bool keepsAscii_ = false;
};

// A failed open is kept too: it fails again the same way at no cost. Most
// asks are for the converter of the ask before, which is found without the
// list and its guard.
Converter& ConverterFor(uint32_t to, uint32_t from) {
    thread_local Converter* last = nullptr;
    if (last && last->Is(to, from)) return *last;
    thread_local std::deque<Converter> opened;
    auto found = std::find_if(opened.begin(), opened.end(), [&](const Converter& c) { return c.Is(to, from); });
    last = found != opened.end() ? &*found : &opened.emplace_back(to, from);
    return *last;
}

Converter& Utf8Checker() { return ConverterFor(kUtf8, kUtf8); }

std::string_view ConvertedText(Converter& converter, Bytes bytes, TextStore& store) {
    if (converter.PassesThrough(bytes)) return AsText(bytes);
    std::string& piece = store.NewPiece();
    converter.Append(bytes, kReplacement, piece);
    return piece;
}

bool IsControl(char c) { return uint8_t(c) < 0x20 || c == 0x7F; }

}  // namespace

std::string& TextStore::NewPiece() {
    if (used_ == pieces_.size()) pieces_.emplace_back();
    std::string& piece = pieces_[used_++];
    piece.clear();
    return piece;
}

bool IsValidUtf8(std::string_view text) {
    std::string converted;
    return Utf8Checker().Append(AsBytes(text), std::nullopt, converted);
}

std::string ValidUtf8(std::string_view text) {
    std::string out;
    Utf8Checker().Append(AsBytes(text), kReplacement, out);
    return out;
}

std::string CodePageToUtf8(Bytes bytes, uint32_t codePage) {
    std::string out;
    ConverterFor(kUtf8, codePage).Append(bytes, kReplacement, out);
    return out;
}

std::string_view CodePageText(Bytes bytes, uint32_t codePage, TextStore& store) {
    return ConvertedText(ConverterFor(kUtf8, codePage), bytes, store);
}

std::string_view Utf16Text(Bytes bytes, bool littleEndian, TextStore& store) {
    return ConvertedText(ConverterFor(kUtf8, littleEndian ? kUtf16LE : kUtf16BE), bytes, store);
}

std::optional<std::string> Utf8ToCodePage(std::string_view text, uint32_t codePage) {
    std::string out;
    if (!ConverterFor(codePage, kUtf8).Append(AsBytes(text), std::nullopt, out)) return std::nullopt;
    return out;
}

// Control characters are shown escaped, so a value cannot move the cursor
// or split its line.
std::string ForTerminal(std::string_view text) {
    std::string valid = ValidUtf8(text);
    if (std::none_of(valid.begin(), valid.end(), IsControl)) return valid;
    std::string out;
    for (char c : valid) {
        if (c == '\n') {
            out += "\\n";
        } else if (IsControl(c)) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", unsigned(uint8_t(c)));
            out += escaped;
        } else {
            out += c;
        }
    }
    return out;
}

std::string QuotedForTerminal(std::string_view text) {
    std::string out = "\"";
    out += ForTerminal(text);
    out += '"';
    return out;
}

// An ID3v1 field is mostly padding: eight bytes are tested at once. A byte
// is padding when it has no bits but those a padding byte may have.
std::string_view TrimPadding(std::string_view text, Padding padding) {
    uint8_t paddingBits = padding == Padding::ZerosAndSpaces ? ' ' : 0;
    uint64_t otherBits = ~(paddingBits * kOnes);
    size_t end = text.size();
    while (end >= 8 && (LoadWord(text.data() + end - 8) & otherBits) == 0) end -= 8;
    while (end > 0 && (uint8_t(text[end - 1]) & ~paddingBits) == 0) --end;
    return text.substr(0, end);
}

}  // namespace zmtagio
