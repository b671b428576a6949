#include "id3/FrameCarry.h"

#include <cstring>
#include <string>

#include "id3/ByteOrder.h"
#include "id3/TextEncoding.h"
#include "id3/Unsync.h"

namespace zm::id3 {
namespace {

// Version-2.4 flags.
constexpr uint16_t kV24StatusBits = 0x7000;  // tag alter, file alter, read only
constexpr uint16_t kV24Grouping = 0x0040;
constexpr uint16_t kV24Compression = 0x0008;
constexpr uint16_t kV24Encryption = 0x0004;
constexpr uint16_t kV24Unsynchronised = 0x0002;
constexpr uint16_t kV24DataLength = 0x0001;
// Version-2.3 flags.
constexpr uint16_t kV23Compression = 0x0080;
constexpr uint16_t kV23Encryption = 0x0040;
constexpr uint16_t kV23Grouping = 0x0020;

constexpr size_t kDataLengthBytes = 4;

struct ImageFormat {
    const char* format;
    const char* mime;
};
constexpr ImageFormat kImageFormats[] = {{"JPG", "image/jpeg"}, {"PNG", "image/png"}, {"-->", "-->"}};
constexpr size_t kPicFormat = 1;  // after the encoding byte
constexpr size_t kPicFormatLength = 3;

uint16_t LoadUnit(std::span<const uint8_t> text, size_t unit, bool littleEndian) {
    const uint8_t* p = text.data() + 2 * unit;
    return littleEndian ? uint16_t(p[0] | p[1] << 8) : uint16_t(p[0] << 8 | p[1]);
}

void StoreUnit(std::span<uint8_t> text, size_t unit, uint16_t value, bool littleEndian) {
    uint8_t* p = text.data() + 2 * unit;
    p[littleEndian ? 0 : 1] = uint8_t(value);
    p[littleEndian ? 1 : 0] = uint8_t(value >> 8);
}

char Upper(char c) { return c >= 'a' && c <= 'z' ? char(c - ('a' - 'A')) : c; }
char Lower(char c) { return c >= 'A' && c <= 'Z' ? char(c + ('a' - 'A')) : c; }

std::string MimeTypeOf(const uint8_t* format) {
    char upper[kPicFormatLength];
    for (size_t i = 0; i < kPicFormatLength; ++i) upper[i] = Upper(char(format[i]));
    for (const ImageFormat& known : kImageFormats)
        if (std::memcmp(upper, known.format, kPicFormatLength) == 0) return known.mime;
    std::string mime = "image/";
    for (size_t i = 0; i < kPicFormatLength && format[i] != 0 && format[i] != ' '; ++i)
        mime += Lower(char(format[i]));
    return mime;
}

constexpr uint8_t kSeparator = '/';
constexpr const char* kPairedTextFrames[] = {"TXXX", "TIPL", "TMCL"};

// Joins 8-bit values: every zero in front of the last non-zero byte.
size_t JoinBytes(std::span<uint8_t> text) {
    size_t last = text.size();
    while (last > 0 && text[last - 1] == 0) --last;
    for (size_t i = 0; i < last; ++i)
        if (text[i] == 0) text[i] = kSeparator;
    return text.size();
}

// Joins UTF-16 values, in place: the writer never passes the reader, since
// a separator and a mark (four bytes) become one unit. A value whose mark
// gives the other byte order is turned around; values without a mark (and
// encoding 2) follow the one before.
size_t JoinUnits(std::span<uint8_t> text, bool littleEndian) {
    size_t units = text.size() / 2, write = 0;
    bool order = littleEndian, first = true, outputOrder = littleEndian;
    auto unitAt = [&](size_t u) { return LoadUnit(text, u, order); };
    for (size_t u = 0; u < units;) {
        uint16_t mark = uint16_t(text[2 * u] << 8 | text[2 * u + 1]);
        if (mark == 0xFFFE || mark == 0xFEFF) {
            order = mark == 0xFFFE;
            if (first) {
                outputOrder = order;
                StoreUnit(text, write++, 0xFEFF, outputOrder);
            }
            ++u;
        }
        first = false;
        while (u < units && unitAt(u) != 0) StoreUnit(text, write++, unitAt(u++), outputOrder);
        if (u == units) break;
        ++u;  // the zero that ends the value
        bool more = false;
        for (size_t k = u; k < units && !more; ++k) more = (text[2 * k] | text[2 * k + 1]) != 0;
        StoreUnit(text, write++, more ? kSeparator : 0, outputOrder);
        if (!more) break;
    }
    return 2 * write;
}

}  // namespace

bool HoldsJoinedValues(const char* id) {
    if (id[0] != 'T') return false;
    for (const char* paired : kPairedTextFrames)
        if (std::memcmp(id, paired, 4) == 0) return false;
    return true;
}

std::span<uint8_t> JoinTextValues(std::span<uint8_t> body) {
    if (body.size() < 2) return body;
    std::span<uint8_t> text = body.subspan(1);
    switch (body[0]) {
        case kLatin1:
        case kUtf8: return body.first(1 + JoinBytes(text));
        case kUtf16:
        case kUtf16BigEndian: return body.first(1 + JoinUnits(text, body[0] == kUtf16));
        default: return body;
    }
}

std::span<uint8_t> CarryV24Frame(std::span<uint8_t> body, uint16_t* flags) {
    uint16_t in = *flags;
    if (in & kV24Unsynchronised) body = body.first(UndoUnsynchronisation(body));

    size_t extras = (in & kV24Grouping ? 1 : 0) + (in & kV24Encryption ? 1 : 0) +
                    (in & kV24DataLength ? kDataLengthBytes : 0);
    bool compressed = (in & kV24Compression) && (in & kV24DataLength);
    size_t carried = (compressed ? kDataLengthBytes : 0) + (in & kV24Encryption ? 1 : 0) +
                     (in & kV24Grouping ? 1 : 0);
    uint16_t out = uint16_t((in & kV24StatusBits) << 1);
    if (body.size() < extras) {
        *flags = out;
        return body;
    }
    size_t pos = 0;
    uint8_t group = in & kV24Grouping ? body[pos++] : 0;
    uint8_t method = in & kV24Encryption ? body[pos++] : 0;
    uint32_t dataLength = in & kV24DataLength ? ReadSyncsafe(body.subspan(pos, kDataLengthBytes)) : 0;

    std::span<uint8_t> carriedBody = body.subspan(extras - carried);
    size_t at = 0;
    if (compressed) {
        uint32_t big = ToBigEndian32(dataLength);
        std::memcpy(carriedBody.data(), &big, kDataLengthBytes);
        at += kDataLengthBytes;
        out |= kV23Compression;
    }
    if (in & kV24Encryption) {
        carriedBody[at++] = method;
        out |= kV23Encryption;
    }
    if (in & kV24Grouping) {
        carriedBody[at++] = group;
        out |= kV23Grouping;
    }
    *flags = out;
    return carriedBody;
}

bool PictureToAPIC(std::span<const uint8_t> pic, platform::Buffer& apic) {
    if (pic.size() < kPicFormat + kPicFormatLength) {
        if (!apic.Allocate(pic.size())) return false;
        if (!pic.empty()) std::memcpy(apic.data(), pic.data(), pic.size());
        return true;
    }
    std::string mime = MimeTypeOf(pic.data() + kPicFormat);
    size_t rest = pic.size() - kPicFormat - kPicFormatLength;
    if (!apic.Allocate(kPicFormat + mime.size() + 1 + rest)) return false;
    uint8_t* out = apic.data();
    out[0] = pic[0];
    std::memcpy(out + kPicFormat, mime.data(), mime.size());
    if (rest) std::memcpy(out + kPicFormat + mime.size() + 1, pic.data() + kPicFormat + kPicFormatLength, rest);
    return true;
}

}  // namespace zm::id3
