#include "id3/TextEncoding.h"

#include <algorithm>
#include <memory>
#include <new>

#include "platform/CodePage.h"

namespace zm::id3 {
namespace {

// Scratch outputs are five times the input: no conversion grows further.
constexpr uint32_t kGrowth = kDecodeGrowth;
constexpr uint8_t kMarkLE[2] = {0xFF, 0xFE};
constexpr uint8_t kMarkBE[2] = {0xFE, 0xFF};
constexpr uint32_t kMaxCodePoint = 0x10FFFF;

// Writes bytes into a span and stops at its end.
class Output {
public:
    explicit Output(std::span<uint8_t> bytes) : bytes_(bytes) {}
    void Put(uint32_t byte) {
        if (used_ < bytes_.size()) bytes_[used_++] = uint8_t(byte);
    }
    void PutUnit(uint32_t unit, bool littleEndian) {
        Put(littleEndian ? unit & 0xFF : unit >> 8);
        Put(littleEndian ? unit >> 8 : unit & 0xFF);
    }
    uint32_t used() const { return uint32_t(used_); }

private:
    std::span<uint8_t> bytes_;
    size_t used_ = 0;
};

uint32_t LoadUnit(const uint8_t* p, bool littleEndian) {
    return littleEndian ? uint32_t(p[0] | p[1] << 8) : uint32_t(p[0] << 8 | p[1]);
}

void PutUtf8(Output& out, uint32_t codePoint) {
    if (codePoint < 0x80) {
        out.Put(codePoint);
    } else if (codePoint < 0x800) {
        out.Put(0xC0 | codePoint >> 6);
        out.Put(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        out.Put(0xE0 | codePoint >> 12);
        out.Put(0x80 | (codePoint >> 6 & 0x3F));
        out.Put(0x80 | (codePoint & 0x3F));
    } else {
        out.Put(0xF0 | codePoint >> 18);
        out.Put(0x80 | (codePoint >> 12 & 0x3F));
        out.Put(0x80 | (codePoint >> 6 & 0x3F));
        out.Put(0x80 | (codePoint & 0x3F));
    }
}

bool IsHighSurrogate(uint32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(uint32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// The number of continuation bytes a lead byte announces and its payload
// bits; -1 for a byte that cannot start a sequence.
int SequenceLength(uint8_t lead, uint32_t* payload) {
    if (lead < 0x80) return *payload = lead, 0;
    if ((lead & 0xE0) == 0xC0) return *payload = lead & 0x1F, 1;
    if ((lead & 0xF0) == 0xE0) return *payload = lead & 0x0F, 2;
    if ((lead & 0xF8) == 0xF0) return *payload = lead & 0x07, 3;
    return -1;
}

// The length of the UTF-8 sequence at i and its code point; 0 for a cut or
// stray sequence, a lead byte F8 to FF or a code point above U+10FFFF.
size_t NextCodePoint(std::span<const uint8_t> source, size_t i, uint32_t* codePoint) {
    int extra = SequenceLength(source[i], codePoint);
    if (extra < 0 || size_t(extra) >= source.size() - i) return 0;
    for (int k = 1; k <= extra; ++k) {
        uint8_t next = source[i + size_t(k)];
        if ((next & 0xC0) != 0x80) return 0;
        *codePoint = *codePoint << 6 | (next & 0x3F);
    }
    return *codePoint > kMaxCodePoint ? 0 : size_t(extra) + 1;
}

// The offset of the text after the first byte-order mark that is followed by
// a non-zero unit, with its byte order; a mark followed by a zero unit (an
// empty string) is passed over. Either mark is accepted, so text we wrote
// with FE FF reads back.
bool FindMarkedText(std::span<const uint8_t> bytes, size_t* start, bool* littleEndian) {
    for (size_t i = 0; i + 1 < bytes.size();) {
        bool le = bytes[i] == kMarkLE[0] && bytes[i + 1] == kMarkLE[1];
        bool be = bytes[i] == kMarkBE[0] && bytes[i + 1] == kMarkBE[1];
        if (!le && !be) {
            ++i;
            continue;
        }
        if (i + 3 < bytes.size() && (bytes[i + 2] | bytes[i + 3]) != 0) {
            *start = i + 2;
            *littleEndian = le;
            return true;
        }
        i += 4;
    }
    return false;
}

ConvertedText Allocate(size_t size) {
    ConvertedText text;
    if (!text.bytes.Allocate(size)) text.bytes.Reset();
    return text;
}

// Text of a usual length goes through the stack on its way to UTF-16. ASCII,
// most tags' text, is the same bytes in UTF-8 and is copied across.
uint32_t DecodeAnsiInto(std::span<const uint8_t> body, std::span<uint8_t> out) {
    std::span<const uint8_t> text = body.subspan(1);
    if (platform::KeepsAscii(platform::kCodePageTag) && platform::IsAscii(text) && text.size() < out.size()) {
        std::copy(text.begin(), text.end(), out.begin() + 1);
        return uint32_t(text.size()) + 1;
    }
    constexpr size_t kLocalUnits = 512;
    size_t units = kGrowth * body.size() / 2;
    char16_t local[kLocalUnits];
    std::unique_ptr<char16_t[]> heap;
    char16_t* wide = local;
    if (units > kLocalUnits) {
        heap.reset(new (std::nothrow) char16_t[units]);
        if (!heap) return 0;
        wide = heap.get();
    }
    int count = platform::MultiByteToWideChar(platform::kCodePageTag,
                                              reinterpret_cast<const char*>(body.data() + 1),
                                              int(body.size() - 1), wide, int(units));
    int bytes = platform::WideCharToMultiByte(platform::kCodePageUtf8, wide, count,
                                              reinterpret_cast<char*>(out.data() + 1), int(out.size() - 1));
    return uint32_t(bytes) + 1;
}

ConvertedText EncodeAnsi(std::span<const uint8_t> text) {
    size_t capacity = kGrowth * text.size() - 1;
    ConvertedText out = Allocate(capacity);
    std::unique_ptr<char16_t[]> wide(new (std::nothrow) char16_t[capacity / 2 + 1]());
    if (out.bytes.empty() || !wide) return {};
    int count = platform::MultiByteToWideChar(platform::kCodePageUtf8,
                                              reinterpret_cast<const char*>(text.data() + 1),
                                              int(text.size() - 1), wide.get(), int(capacity / 2 + 1));
    int bytes = platform::WideCharToMultiByte(platform::kCodePageTag, wide.get(), count,
                                              reinterpret_cast<char*>(out.bytes.data() + 1),
                                              int(capacity - 2));
    // The encoding byte, the text and the zero the filled output supplies.
    out.length = bytes > 0 ? uint32_t(bytes) + 2 : 0;
    return out;
}

}  // namespace

uint32_t Utf16ToUtf8(std::span<const uint8_t> source, bool littleEndian, std::span<uint8_t> destination) {
    Output out(destination);
    size_t end = source.size() & ~size_t(1);
    for (size_t i = 0; i < end;) {
        uint32_t unit = LoadUnit(&source[i], littleEndian);
        if (end - i >= 4 && IsHighSurrogate(unit)) {
            uint32_t next = LoadUnit(&source[i + 2], littleEndian);
            if (IsLowSurrogate(next)) {
                PutUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00));
                i += 4;
                continue;
            }
        }
        PutUtf8(out, unit);
        i += 2;
    }
    return out.used();
}

uint32_t Utf8ToUtf16(std::span<const uint8_t> source, std::span<uint8_t> destination, bool littleEndian) {
    Output out(destination);
    uint32_t last = 0;
    for (size_t i = 0; i < source.size();) {
        uint32_t codePoint;
        size_t length = NextCodePoint(source, i, &codePoint);
        if (length == 0) return 0;
        i += length;
        if (codePoint >= 0x10000) {
            out.PutUnit(0xD800 + ((codePoint - 0x10000) >> 10), littleEndian);
            codePoint = 0xDC00 + ((codePoint - 0x10000) & 0x3FF);
        }
        out.PutUnit(codePoint, littleEndian);
        last = codePoint;
    }
    if (source.empty() || last != 0) out.PutUnit(0, littleEndian);
    return out.used();
}

bool IsValidUtf8(std::span<const uint8_t> text) {
    uint32_t codePoint;
    for (size_t i = 0, length; i < text.size(); i += length)
        if ((length = NextCodePoint(text, i, &codePoint)) == 0) return false;
    return true;
}

uint32_t DecodeID3TextInto(std::span<const uint8_t> body, uint8_t encoding, std::span<uint8_t> out) {
    if (body.empty() || encoding > kUtf8 || out.size() < kGrowth * body.size()) return 0;
    out[0] = encoding;
    std::span<const uint8_t> text = body.subspan(1);
    bool littleEndian = false;
    if (encoding == kLatin1) return DecodeAnsiInto(body, out);
    if (encoding == kUtf8) {
        if (!IsValidUtf8(text)) return 0;
        std::copy(text.begin(), text.end(), out.begin() + 1);
        return uint32_t(body.size());
    }
    if (encoding == kUtf16) {
        size_t start;
        if (!FindMarkedText(text, &start, &littleEndian)) return 0;
        text = text.subspan(start);
    }
    return Utf16ToUtf8(text, littleEndian, out.subspan(1)) + 1;
}

ConvertedText DecodeID3Text(std::span<const uint8_t> body, uint8_t encoding) {
    if (body.empty() || encoding > kUtf8) return {};
    ConvertedText out = Allocate(kGrowth * body.size());
    if (out.bytes.empty()) return {};
    out.length = DecodeID3TextInto(body, encoding, out.bytes.span());
    if (out.length == 0) return {};
    return out;
}

ConvertedText EncodeID3Text(std::span<const uint8_t> text, uint8_t encoding) {
    if (text.empty() || encoding > kUtf16BigEndian) return {};
    if (encoding == kLatin1) return EncodeAnsi(text);
    ConvertedText out = Allocate(kGrowth * text.size());
    if (out.bytes.empty()) return {};
    const uint8_t* mark = encoding == kUtf16 ? kMarkLE : kMarkBE;
    uint8_t* bytes = out.bytes.data();
    bytes[0] = kUtf16;
    bytes[1] = mark[0];
    bytes[2] = mark[1];
    uint32_t units = Utf8ToUtf16(text.subspan(1), out.bytes.span().subspan(3), encoding == kUtf16);
    out.length = units ? units + 3 : 0;
    return out;
}

}  // namespace zm::id3
