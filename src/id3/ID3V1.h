// The ID3v1 block: 128 bytes at the end of the file, "TAG" and seven fields
// at fixed places.
#pragma once

#include <cstdint>

namespace zm::id3 {

// Place and width of fields 110 to 116, offsets counted from the byte after
// "TAG" (which is also how the edit block lays them out).
struct ID3V1Slot {
    uint32_t offset;
    uint32_t width;
};
inline constexpr int kID3V1Fields = 7;
inline constexpr int kFirstID3V1Field = 110;
extern const ID3V1Slot ID3V1Layout[kID3V1Fields];

}  // namespace zm::id3
