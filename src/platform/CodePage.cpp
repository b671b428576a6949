#include "platform/CodePage.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif

namespace zm::platform {
#ifndef _WIN32
namespace {

// Output that counts when there is no buffer, and stops (failing) when the
// buffer is full, as the Win32 calls do.
template <typename Unit>
class Sink {
public:
    Sink(Unit* out, int capacity) : out_(out), capacity_(capacity) {}
    void Put(uint32_t unit) {
        if (out_ != nullptr) {
            if (count_ >= capacity_) {
                overflow_ = true;
                return;
            }
            out_[count_] = Unit(unit);
        }
        ++count_;
    }
    int Result() const { return overflow_ ? 0 : count_; }

private:
    Unit* out_;
    int capacity_;
    int count_ = 0;
    bool overflow_ = false;
};

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one UTF-8 sequence; invalid input yields U+FFFD for the maximal
// invalid prefix, as Windows does.
char32_t DecodeUtf8(const uint8_t* s, size_t n, size_t* used) {
    uint8_t b = s[0];
    *used = 1;
    if (b < 0x80) return b;
    int extra;
    char32_t cp;
    uint8_t lo = 0x80, hi = 0xBF;
    if (b >= 0xC2 && b <= 0xDF) {
        extra = 1;
        cp = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
        extra = 2;
        cp = b & 0x0F;
        if (b == 0xE0) lo = 0xA0;
        if (b == 0xED) hi = 0x9F;
    } else if (b >= 0xF0 && b <= 0xF4) {
        extra = 3;
        cp = b & 0x07;
        if (b == 0xF0) lo = 0x90;
        if (b == 0xF4) hi = 0x8F;
    } else {
        return kReplacement;
    }
    for (int i = 1; i <= extra; ++i) {
        if (size_t(i) >= n || s[i] < lo || s[i] > hi) return kReplacement;
        cp = (cp << 6) | (s[i] & 0x3F);
        *used = size_t(i) + 1;
        lo = 0x80;
        hi = 0xBF;
    }
    return cp;
}

int Utf8ToWide(const uint8_t* s, size_t n, char16_t* out, int capacity) {
    Sink<char16_t> sink(out, capacity);
    for (size_t i = 0; i < n;) {
        size_t used;
        char32_t cp = DecodeUtf8(s + i, n - i, &used);
        i += used;
        if (cp >= 0x10000) {
            sink.Put(0xD800 + ((cp - 0x10000) >> 10));
            sink.Put(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            sink.Put(cp);
        }
    }
    return sink.Result();
}

int WideToUtf8(const char16_t* s, size_t n, char* out, int capacity) {
    Sink<char> sink(out, capacity);
    for (size_t i = 0; i < n; ++i) {
        char32_t cp = s[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < n && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = kReplacement;
        }
        if (cp < 0x80) {
            sink.Put(cp);
        } else if (cp < 0x800) {
            sink.Put(0xC0 | (cp >> 6));
            sink.Put(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            sink.Put(0xE0 | (cp >> 12));
            sink.Put(0x80 | ((cp >> 6) & 0x3F));
            sink.Put(0x80 | (cp & 0x3F));
        } else {
            sink.Put(0xF0 | (cp >> 18));
            sink.Put(0x80 | ((cp >> 12) & 0x3F));
            sink.Put(0x80 | ((cp >> 6) & 0x3F));
            sink.Put(0x80 | (cp & 0x3F));
        }
    }
    return sink.Result();
}

// Windows-1252 bytes 0x80 to 0x9F. The five bytes that the code page leaves
// undefined map to the C1 controls of the same value, as on Windows, so that
// every byte string round-trips.
constexpr char16_t k1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char16_t From1252(uint8_t b) { return (b >= 0x80 && b < 0xA0) ? k1252High[b - 0x80] : b; }

int To1252(char16_t u) {
    if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) return u;
    for (int i = 0; i < 32; ++i)
        if (k1252High[i] == u) return 0x80 + i;
    return -1;
}

// Each setting's code page, and whether it keeps ASCII as it is, in one word,
// so that no reader sees one without the other.
constexpr uint64_t kKeepsAscii = uint64_t(1) << 32;
std::atomic<uint64_t> tagCodePage{1252 | kKeepsAscii};
std::atomic<uint64_t> hostCodePage{kCodePageUtf8 | kKeepsAscii};

std::atomic<uint64_t>* SettingOf(uint32_t setting) {
    if (setting == kCodePageTag) return &tagCodePage;
    if (setting == kCodePageHost) return &hostCodePage;
    return nullptr;
}

uint32_t Resolve(uint32_t codePage) {
    std::atomic<uint64_t>* setting = SettingOf(codePage);
    return setting ? uint32_t(setting->load(std::memory_order_relaxed)) : codePage;
}

std::string IconvName(uint32_t codePage) {
    switch (codePage) {
        case 28591: return "ISO-8859-1";
        case 20127: return "ASCII";
        case 20866: return "KOI8-R";
        default: return "CP" + std::to_string(codePage);
    }
}

// One converter per thread, code page and direction, opened on first use.
class Converter {
public:
    Converter(uint32_t codePage, bool toWide) {
        std::string name = IconvName(codePage);
        handle_ = toWide ? iconv_open("UTF-16LE", name.c_str()) : iconv_open(name.c_str(), "UTF-16LE");
    }
    ~Converter() {
        if (Ok()) iconv_close(handle_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    bool Ok() const { return handle_ != iconv_t(-1); }
    iconv_t Get() const {
        iconv(handle_, nullptr, nullptr, nullptr, nullptr);
        return handle_;
    }

private:
    iconv_t handle_;
};

Converter& ConverterFor(uint32_t codePage, bool toWide) {
    struct Slot {
        uint32_t codePage = 0;
        std::unique_ptr<Converter> converter;
    };
    thread_local Slot slots[2];
    Slot& slot = slots[toWide ? 1 : 0];
    if (!slot.converter || slot.codePage != codePage) {
        slot.converter = std::make_unique<Converter>(codePage, toWide);
        slot.codePage = codePage;
    }
    return *slot.converter;
}

// Runs iconv over the input, replacing what it cannot convert: one input
// byte becomes U+FFFD (towards UTF-16) or one unit becomes '?' (towards the
// code page).
std::vector<char> Iconv(uint32_t codePage, bool toWide, const char* in, size_t n, bool* ok) {
    Converter& converter = ConverterFor(codePage, toWide);
    std::vector<char> out;
    *ok = converter.Ok();
    if (!*ok) return out;
    iconv_t cd = converter.Get();
    char* src = const_cast<char*>(in);
    size_t left = n;
    char buffer[4096];
    while (left > 0) {
        char* dst = buffer;
        size_t room = sizeof buffer;
        size_t r = iconv(cd, &src, &left, &dst, &room);
        out.insert(out.end(), buffer, dst);
        if (r != size_t(-1) || errno == E2BIG) continue;
        if (toWide) {
            out.push_back(char(0xFD));
            out.push_back(char(0xFF));
            src += 1;
            left -= 1;
        } else {
            out.push_back('?');
            size_t skip = std::min<size_t>(left, 2);
            src += skip;
            left -= skip;
        }
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    char* dst = buffer;
    size_t room = sizeof buffer;
    iconv(cd, nullptr, nullptr, &dst, &room);
    out.insert(out.end(), buffer, dst);
    return out;
}

bool Supported(uint32_t codePage) {
    if (codePage == 1252 || codePage == kCodePageUtf8) return true;
    bool ok;
    char16_t a = u'a';
    Iconv(codePage, false, reinterpret_cast<const char*>(&a), 2, &ok);
    return ok;
}

// Converts the 127 ASCII characters after the zero both ways.
bool ConvertsAsciiAsItIs(uint32_t codePage) {
    constexpr int kAscii = 0x7F;
    char ascii[kAscii], back[kAscii];
    char16_t wide[kAscii];
    for (int c = 0; c < kAscii; ++c) ascii[c] = char(c + 1);
    if (MultiByteToWideChar(codePage, ascii, kAscii, wide, kAscii) != kAscii ||
        WideCharToMultiByte(codePage, wide, kAscii, back, kAscii) != kAscii)
        return false;
    for (int c = 0; c < kAscii; ++c)
        if (wide[c] != char16_t(c + 1) || back[c] != ascii[c]) return false;
    return true;
}

template <typename Unit>
size_t LengthOf(const Unit* s, int count) {
    if (count >= 0) return size_t(count);
    size_t n = 0;
    while (s[n] != 0) ++n;
    return n + 1;  // the terminator converts too
}

}  // namespace
#endif

#ifdef _WIN32
namespace {

UINT Native(uint32_t codePage) { return codePage == kCodePageHost ? CP_ACP : codePage; }

}  // namespace

int MultiByteToWideChar(uint32_t codePage, const char* source, int count, char16_t* out, int capacity) {
    return ::MultiByteToWideChar(Native(codePage), 0, source, count, reinterpret_cast<wchar_t*>(out), capacity);
}

int WideCharToMultiByte(uint32_t codePage, const char16_t* source, int count, char* out, int capacity) {
    return ::WideCharToMultiByte(Native(codePage), 0, reinterpret_cast<const wchar_t*>(source), count, out,
                                 capacity, nullptr, nullptr);
}

bool SetCodePage(uint32_t setting, uint32_t codePage) {
    return (setting == kCodePageTag || setting == kCodePageHost) && codePage == CP_ACP;
}
uint32_t CodePageOf(uint32_t) { return GetACP(); }
bool KeepsAscii(uint32_t) { return true; }

#else

int MultiByteToWideChar(uint32_t codePage, const char* source, int count, char16_t* out, int capacity) {
    if (source == nullptr || count == 0 || count < -1 || capacity < 0) return 0;
    size_t n = LengthOf(source, count);
    auto bytes = reinterpret_cast<const uint8_t*>(source);
    codePage = Resolve(codePage);
    if (codePage == kCodePageUtf8) return Utf8ToWide(bytes, n, out, capacity);
    Sink<char16_t> sink(out, capacity);
    if (codePage == 1252) {
        for (size_t i = 0; i < n; ++i) sink.Put(From1252(bytes[i]));
        return sink.Result();
    }
    bool ok;
    std::vector<char> wide = Iconv(codePage, true, source, n, &ok);
    if (!ok) return 0;
    for (size_t i = 0; i + 1 < wide.size(); i += 2)
        sink.Put(uint8_t(wide[i]) | (uint16_t(uint8_t(wide[i + 1])) << 8));
    return sink.Result();
}

int WideCharToMultiByte(uint32_t codePage, const char16_t* source, int count, char* out, int capacity) {
    if (source == nullptr || count == 0 || count < -1 || capacity < 0) return 0;
    size_t n = LengthOf(source, count);
    codePage = Resolve(codePage);
    if (codePage == kCodePageUtf8) return WideToUtf8(source, n, out, capacity);
    Sink<char> sink(out, capacity);
    if (codePage == 1252) {
        for (size_t i = 0; i < n; ++i) {
            int b = To1252(source[i]);
            sink.Put(b < 0 ? '?' : uint32_t(b));
        }
        return sink.Result();
    }
    std::vector<char16_t> units(source, source + n);
    bool ok;
    std::vector<char> narrow = Iconv(codePage, false, reinterpret_cast<const char*>(units.data()),
                                     n * 2, &ok);
    if (!ok) return 0;
    for (char c : narrow) sink.Put(uint8_t(c));
    return sink.Result();
}

bool SetCodePage(uint32_t setting, uint32_t codePage) {
    std::atomic<uint64_t>* target = SettingOf(setting);
    if (!target || SettingOf(codePage) || !Supported(codePage)) return false;
    target->store(codePage | (ConvertsAsciiAsItIs(codePage) ? kKeepsAscii : 0));
    return true;
}

uint32_t CodePageOf(uint32_t setting) { return Resolve(setting); }

bool KeepsAscii(uint32_t setting) {
    std::atomic<uint64_t>* target = SettingOf(setting);
    return target && (target->load(std::memory_order_relaxed) & kKeepsAscii);
}

#endif

size_t UnitsWithin(uint32_t codePage, std::u16string_view text, size_t limit) {
    auto isHigh = [](char16_t u) { return u >= 0xD800 && u <= 0xDBFF; };
    auto isLow = [](char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; };
    size_t units = 0, bytes = 0;
    while (units < text.size()) {
        size_t step = isHigh(text[units]) && units + 1 < text.size() && isLow(text[units + 1]) ? 2 : 1;
        int n = WideCharToMultiByte(codePage, text.data() + units, int(step), nullptr, 0);
        if (n <= 0 || bytes + size_t(n) > limit) break;
        bytes += size_t(n);
        units += step;
    }
    return units;
}

}  // namespace zm::platform
