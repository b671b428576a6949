// Text to attribute values, for the writer's modify and add calls.
#include <cstdio>
#include <limits>
#include <string>

#include "platform/Bytes.h"
#include "wm/WMWriter.h"

namespace zm::wm {
namespace {

bool IsWhiteSpace(char16_t c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); }

int64_t ParseDecimal(const char16_t* text, int64_t lowest, int64_t highest) {
    if (!text) return 0;
    while (IsWhiteSpace(*text)) ++text;
    bool negative = *text == u'-';
    if (*text == u'-' || *text == u'+') ++text;
    // Accumulated towards the limit on the sign's side, so the most negative
    // value is reached without overflow.
    int64_t limit = negative ? lowest : highest;
    int64_t value = 0;
    for (; *text >= u'0' && *text <= u'9'; ++text) {
        int digit = *text - u'0';
        if (negative ? value < (limit + digit) / 10 : value > (limit - digit) / 10) return limit;
        value = value * 10 + (negative ? -digit : digit);
    }
    return value;
}

// The bytes the runtime receives for a text of a type.
struct TextValue {
    uint8_t number[8] = {};
    const uint8_t* bytes = nullptr;
    uint32_t length = 0;
};

TextValue ValueOfText(asf::WMT_ATTR_DATATYPE type, const char16_t* text) {
    TextValue v;
    switch (type) {
        case asf::WMT_TYPE_DWORD:
        case asf::WMT_TYPE_BOOL:
            platform::StoreLE32(v.number, uint32_t(WideToInt(text)));
            v.length = 4;
            break;
        case asf::WMT_TYPE_QWORD:
            platform::StoreLE64(v.number, uint64_t(WideToInt64(text)));
            v.length = 8;
            break;
        case asf::WMT_TYPE_WORD:
            platform::StoreLE16(v.number, uint16_t(WideToInt(text)));
            v.length = 2;
            break;
        case asf::WMT_TYPE_STRING:
            v.bytes = reinterpret_cast<const uint8_t*>(text);
            v.length = uint32_t((std::char_traits<char16_t>::length(text) + 1) * sizeof(char16_t));
            return v;
        default:
            std::printf("Unsupported data type for SetAttribute\n");
            std::fflush(stdout);
            return v;
    }
    v.bytes = v.number;
    return v;
}

}  // namespace

int32_t WideToInt(const char16_t* text) {
    return int32_t(ParseDecimal(text, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

int64_t WideToInt64(const char16_t* text) {
    return ParseDecimal(text, std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max());
}

HRESULT ModifyWMAttribute(asf::IWMHeaderInfo3* info, uint16_t stream, uint16_t index, asf::WMT_ATTR_DATATYPE type,
                          const char16_t* value, uint16_t language) {
    if (!info || !value) return ZMTAGIO_E_INVALIDARG;
    TextValue v = ValueOfText(type, value);
    return info->ModifyAttribute(stream, index, type, language, v.bytes, v.length);
}

HRESULT AddWMAttribute(asf::IWMHeaderInfo3* info, uint16_t stream, const char16_t* name,
                       asf::WMT_ATTR_DATATYPE type, const char16_t* value, uint16_t language) {
    if (!info || !name || !value) return ZMTAGIO_E_INVALIDARG;
    TextValue v = ValueOfText(type, value);
    return info->AddAttribute(stream, name, nullptr, type, language, v.bytes, v.length);
}

}  // namespace zm::wm
