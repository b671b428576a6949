#include "id3/V23Carry.h"

#include <cstring>
#include <optional>
#include <string_view>

#include "id3/ByteOrder.h"
#include "id3/FrameBuilder.h"
#include "id3/FrameTable.h"
#include "id3/TextEncoding.h"
#include "platform/Bytes.h"

namespace zm::id3 {
namespace {

using Bytes = std::span<const uint8_t>;

constexpr uint8_t kMarkLE[2] = {0xFF, 0xFE};
constexpr size_t kTimeStamp = 4;

// Writes a UTF-8 body as a UTF-16 one behind a frame header already in the
// tag, part by part.
class Utf16Body {
public:
    Utf16Body(platform::GrowBuffer& tag, Bytes body) : tag_(tag), body_(body) {}

    // False when the body does not fit its layout or its text is not valid.
    bool Append(const TextLayout& layout) {
        const uint8_t encoding = kUtf16;
        if (!Put(Bytes(&encoding, 1))) return false;
        for (int i = 0; i < layout.partCount; ++i)
            if (!Part(layout.parts[i])) return false;
        return pos_ == body_.size();
    }

private:
    bool Part(BodyPart part) {
        switch (part) {
            case BodyPart::Latin1: return Copy(std::min(ZeroAt() + 1, body_.size()) - pos_);
            case BodyPart::Fixed1: return Copy(1);
            case BodyPart::Fixed3: return Copy(3);
            case BodyPart::Fixed8: return Copy(8);
            case BodyPart::Text: return Text();
            case BodyPart::Texts:
                while (pos_ < body_.size())
                    if (!Text()) return false;
                return true;
            case BodyPart::SyncedTexts:
                while (pos_ < body_.size())
                    if (!Text() || !Copy(kTimeStamp)) return false;
                return true;
            case BodyPart::Binary: return Copy(body_.size() - pos_);
        }
        return false;
    }

    size_t ZeroAt() const {
        const void* zero = std::memchr(body_.data() + pos_, 0, body_.size() - pos_);
        return zero ? size_t(static_cast<const uint8_t*>(zero) - body_.data()) : body_.size();
    }

    // One string with its mark, and its terminator when it had one.
    bool Text() {
        size_t end = ZeroAt();
        bool ended = end < body_.size();
        Bytes piece = body_.subspan(pos_, end - pos_);
        platform::Buffer units;
        if (!units.Allocate(2 * piece.size() + 2)) return false;
        uint32_t length = Utf8ToUtf16(piece, units.span(), true);
        if (length == 0) return false;
        pos_ = ended ? end + 1 : end;
        return Put(kMarkLE) && Put(units.span().first(ended ? length : length - 2));
    }

    bool Copy(size_t count) {
        if (body_.size() - pos_ < count) return false;
        pos_ += count;
        return Put(body_.subspan(pos_ - count, count));
    }

    bool Put(Bytes bytes) { return platform::AppendToBuffer(bytes.data(), uint32_t(bytes.size()), tag_) != nullptr; }

    platform::GrowBuffer& tag_;
    Bytes body_;
    size_t pos_ = 1;
};

// The frame with its UTF-8 text as UTF-16; false when the body was left as
// it was (nothing appended) or memory ran out.
bool AppendAsUtf16(platform::GrowBuffer& tag, const char* id, uint16_t flags, Bytes body) {
    const TextLayout* layout = FindTextLayout(id);
    if (!layout) return false;
    uint32_t start = tag.used;
    if (!AppendFrame(tag, id, flags, {})) return false;
    if (!Utf16Body(tag, body).Append(*layout)) {
        if (tag.data) tag.used = start;
        return false;
    }
    uint32_t size = ToBigEndian32(tag.used - start - kFrameHeader);
    std::memcpy(tag.data + start + 4, &size, 4);
    return true;
}

// A time stamp "YYYY-MM-DDTHH:MM:SS" as far as it goes, from the frame's text.
struct Date {
    std::string year, dayMonth, hourMinute;  // empty where the stamp ends
};

bool DigitsAt(std::string_view text, size_t at, size_t count) {
    if (text.size() < at + count) return false;
    for (size_t i = at; i < at + count; ++i)
        if (text[i] < '0' || text[i] > '9') return false;
    return true;
}

std::optional<Date> ParseDate(Bytes body) {
    ConvertedText text = DecodeID3Text(body, body.empty() ? 0 : body[0]);
    if (text.length == 0) return std::nullopt;
    std::string_view stamp(reinterpret_cast<const char*>(text.bytes.data()) + 1, text.length - 1);
    while (!stamp.empty() && stamp.back() == '\0') stamp.remove_suffix(1);
    if (!DigitsAt(stamp, 0, 4) || (stamp.size() > 4 && stamp[4] != '-')) return std::nullopt;
    Date date{std::string(stamp.substr(0, 4)), {}, {}};
    auto separated = [&](size_t at, char separator) { return stamp.size() > at && stamp[at] == separator; };
    if (separated(4, '-') && separated(7, '-') && DigitsAt(stamp, 5, 2) && DigitsAt(stamp, 8, 2)) {
        date.dayMonth = std::string(stamp.substr(8, 2)) + std::string(stamp.substr(5, 2));
        if (separated(10, 'T') && separated(13, ':') && DigitsAt(stamp, 11, 2) && DigitsAt(stamp, 14, 2))
            date.hourMinute = std::string(stamp.substr(11, 2)) + std::string(stamp.substr(14, 2));
    }
    return date;
}

bool AppendNumberFrame(platform::GrowBuffer& tag, const char* id, uint16_t flags, const std::string& digits) {
    const uint8_t latin1 = kLatin1;
    return digits.empty() ||
           AppendFrame(tag, id, flags,
                       {Bytes(&latin1, 1), Bytes(reinterpret_cast<const uint8_t*>(digits.data()), digits.size())});
}

}  // namespace

bool AppendCarriedFrame(platform::GrowBuffer& tag, const char* id, uint16_t flags, Bytes body,
                        CarryContext& context) {
    char carried[5] = {};
    std::memcpy(carried, id, 4);
    if (const V23Conversion* conversion = context.fromV24 ? FindV23Conversion(id) : nullptr) {
        std::optional<Date> date = conversion->rule == V23Rule::Rename ? std::nullopt : ParseDate(body);
        switch (conversion->rule) {
            case V23Rule::DateParts:
                if (!date || context.hasYear) break;
                context.hasYear = true;
                return AppendNumberFrame(tag, conversion->to, flags, date->year) &&
                       AppendNumberFrame(tag, "TDAT", flags, date->dayMonth) &&
                       AppendNumberFrame(tag, "TIME", flags, date->hourMinute);
            case V23Rule::Year:
                if (!date) break;
                return AppendNumberFrame(tag, conversion->to, flags, date->year);
            case V23Rule::Rename: std::memcpy(carried, conversion->to, 4); break;
        }
    }
    if (!body.empty() && body[0] == kUtf8 && AppendAsUtf16(tag, carried, flags, body)) return true;
    return tag.data != nullptr && AppendFrame(tag, carried, flags, {body});
}

}  // namespace zm::id3
