// The attribute that each Windows Media field id is written as. Ids 0 (all
// fields) and 2 (the encoding time's clock text) have no attribute of their
// own and hold "EMPTY": field 2 given a value is written under that name.
#pragma once

#include <array>

#include "wm/WM.h"

namespace zm::wm {

inline constexpr int kNameSlot = 128;  // UTF-16 units of each name, zero-filled

inline constexpr const char* kAttributeNames[kFieldCount + 1] = {
    "EMPTY",          "Title",         "EMPTY",       "WM/OriginalReleaseYear", "WM/BeatsPerMinute",
    "WM/Year",        "WM/TrackNumber", "WM/Genre",   "WM/Publisher",           "WM/Composer",
    "Description",    "WM/AlbumArtist", "WM/AlbumCoverURL", "WM/AlbumTitle",    "Author",
    "Rating",         "Copyright"};

struct WMFieldName {
    char16_t name[kNameSlot];
};

inline constexpr std::array<WMFieldName, kFieldCount + 1> WMFieldNames = [] {
    std::array<WMFieldName, kFieldCount + 1> table{};
    for (size_t id = 0; id < table.size(); ++id)
        for (int i = 0; kAttributeNames[id][i] != '\0'; ++i) table[id].name[i] = char16_t(kAttributeNames[id][i]);
    return table;
}();

}  // namespace zm::wm
