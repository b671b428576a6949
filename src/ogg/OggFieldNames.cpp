#include "ogg/Ogg.h"

namespace zm::ogg {

const OGGFieldName OGGFieldNames[kOGGFieldCount] = {
    {"TITLE", 5},        {"VERSION", 7},     {"ALBUM", 5},   {"TRACKNUMBER", 11},
    {"ARTIST", 6},       {"PERFORMER", 9},   {"COPYRIGHT", 9}, {"LICENSE", 7},
    {"ORGANIZATION", 12}, {"DESCRIPTION", 11}, {"GENRE", 5},   {"DATE", 4},
    {"LOCATION", 8},     {"CONTACT", 7},     {"ISRC", 4},    {"COMMENT", 7},
};

namespace {

uint8_t AsciiUpper(uint8_t c) { return (c >= 'a' && c <= 'z') ? uint8_t(c - ('a' - 'A')) : c; }

// The name must be followed by "=", so ALBUMARTIST is not ALBUM.
bool NameMatches(std::span<const uint8_t> entry, const OGGFieldName& row) {
    if (entry.size() <= row.length || entry[row.length] != '=') return false;
    for (uint32_t i = 0; i < row.length; ++i)
        if (AsciiUpper(entry[i]) != uint8_t(row.name[i])) return false;
    return true;
}

}  // namespace

int FindOGGFieldName(std::span<const uint8_t> entry) {
    for (int row = 0; row < kOGGFieldCount; ++row)
        if (NameMatches(entry, OGGFieldNames[row])) return row;
    return -1;
}

const char* OGGFieldNameOf(int id) {
    return (id >= 1 && id <= kOGGFieldCount) ? OGGFieldNames[id - 1].name : nullptr;
}

}  // namespace zm::ogg
