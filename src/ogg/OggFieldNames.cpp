#include "ogg/Ogg.h"

#include <algorithm>
#include <array>

namespace zm::ogg {

constexpr OGGFieldName OGGFieldNames[kOGGFieldCount] = {
    {"TITLE", 5},        {"VERSION", 7},     {"ALBUM", 5},   {"TRACKNUMBER", 11},
    {"ARTIST", 6},       {"PERFORMER", 9},   {"COPYRIGHT", 9}, {"LICENSE", 7},
    {"ORGANIZATION", 12}, {"DESCRIPTION", 11}, {"GENRE", 5},   {"DATE", 4},
    {"LOCATION", 8},     {"CONTACT", 7},     {"ISRC", 4},    {"COMMENT", 7},
};

namespace {

constexpr uint32_t kLongestName = 12;  // ORGANIZATION
constexpr int kMostOfOneLength = 4;    // VERSION, LICENSE, CONTACT, COMMENT

// The rows by the length of their names, -1 after the last of a length: an
// entry is compared only with the names as long as its own.
constexpr auto kRowsByLength = [] {
    std::array<std::array<int8_t, kMostOfOneLength + 1>, kLongestName + 1> table{};
    for (auto& rows : table) rows.fill(-1);
    for (int row = 0; row < kOGGFieldCount; ++row) {
        auto& rows = table[OGGFieldNames[row].length];
        *std::find(rows.begin(), rows.end(), -1) = int8_t(row);
    }
    return table;
}();

// The names are upper-case letters, and a letter matches its own two cases:
// clearing a byte's 0x20 bit gives the name's letter only for those.
bool SameLetters(const uint8_t* name, const OGGFieldName& row) {
    for (uint32_t i = 0; i < row.length; ++i)
        if (uint8_t(name[i] & ~0x20) != uint8_t(row.name[i])) return false;
    return true;
}

}  // namespace

// The name is what comes before the entry's first "=" (no name holds one), so
// ALBUMARTIST is not ALBUM.
int FindOGGFieldName(std::span<const uint8_t> entry) {
    size_t within = std::min<size_t>(entry.size(), kLongestName + 1);
    size_t length = 0;
    while (length < within && entry[length] != '=') ++length;
    if (length == within) return -1;
    for (int8_t row : kRowsByLength[length]) {
        if (row < 0) break;
        if (SameLetters(entry.data(), OGGFieldNames[row])) return row;
    }
    return -1;
}

const char* OGGFieldNameOf(int id) {
    return (id >= 1 && id <= kOGGFieldCount) ? OGGFieldNames[id - 1].name : nullptr;
}

}  // namespace zm::ogg
