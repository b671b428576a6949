#include "Text.h"

#include <iconv.h>

#include <cerrno>
#include <cstdio>
#include <memory>

namespace zmtagio {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD in UTF-8

std::string IconvName(uint32_t codePage) {
    switch (codePage) {
        case 65001: return "UTF-8";
        case 28591: return "ISO-8859-1";
        case 20127: return "ASCII";
        case 20866: return "KOI8-R";
        default: return "CP" + std::to_string(codePage);
    }
}

struct IconvCloser {
    void operator()(void* handle) const { iconv_close(static_cast<iconv_t>(handle)); }
};
using IconvHandle = std::unique_ptr<void, IconvCloser>;

IconvHandle OpenIconv(const std::string& to, const std::string& from) {
    iconv_t handle = iconv_open(to.c_str(), from.c_str());
    return IconvHandle(handle == iconv_t(-1) ? nullptr : handle);
}

// Converts the whole input. With a replacement, each input byte that cannot
// be converted becomes that replacement; without one, such a byte fails the
// conversion.
std::optional<std::string> Convert(const std::string& to, const std::string& from, Bytes bytes,
                                   std::optional<std::string_view> replacement) {
    IconvHandle handle = OpenIconv(to, from);
    if (!handle) return std::nullopt;
    std::string out;
    char* in = const_cast<char*>(reinterpret_cast<const char*>(bytes.data()));
    size_t inLeft = bytes.size();
    char buffer[1024];
    while (inLeft > 0) {
        char* next = buffer;
        size_t outLeft = sizeof buffer;
        size_t done = iconv(static_cast<iconv_t>(handle.get()), &in, &inLeft, &next, &outLeft);
        out.append(buffer, size_t(next - buffer));
        if (done != size_t(-1) || errno == E2BIG) continue;
        if (!replacement) return std::nullopt;
        out += *replacement;
        ++in;
        --inLeft;
        iconv(static_cast<iconv_t>(handle.get()), nullptr, nullptr, nullptr, nullptr);
    }
    return out;
}

}  // namespace

std::string_view AsText(Bytes bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

Bytes AsBytes(std::string_view text) {
    return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

bool IsValidUtf8(std::string_view text) {
    return Convert("UTF-8", "UTF-8", AsBytes(text), std::nullopt).has_value();
}

std::string ValidUtf8(std::string_view text) {
    return Convert("UTF-8", "UTF-8", AsBytes(text), kReplacement).value_or(std::string());
}

std::string CodePageToUtf8(Bytes bytes, uint32_t codePage) {
    return Convert("UTF-8", IconvName(codePage), bytes, kReplacement).value_or(std::string());
}

std::string Utf16ToUtf8(Bytes bytes, bool littleEndian) {
    return Convert("UTF-8", littleEndian ? "UTF-16LE" : "UTF-16BE", bytes, kReplacement)
        .value_or(std::string());
}

std::optional<std::string> Utf8ToCodePage(std::string_view text, uint32_t codePage) {
    return Convert(IconvName(codePage), "UTF-8", AsBytes(text), std::nullopt);
}

// Control characters are shown escaped, so a value cannot move the cursor
// or split its line.
std::string ForTerminal(std::string_view text) {
    std::string out;
    for (char c : ValidUtf8(text)) {
        if (c == '\n') {
            out += "\\n";
        } else if (uint8_t(c) < 0x20 || c == 0x7F) {
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

std::string Hex(Bytes bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (uint8_t b : bytes) {
        out += kDigits[b >> 4];
        out += kDigits[b & 15];
    }
    return out;
}

std::string_view TrimTrailing(std::string_view text, std::string_view characters) {
    size_t end = text.find_last_not_of(characters);
    return text.substr(0, end == std::string_view::npos ? 0 : end + 1);
}

}  // namespace zmtagio
