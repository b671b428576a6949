// The frames the record has a field for: row r of ID3FrameTable is field id
// r + 1, with its version-2.2 id (empty where 2.2 has none) and the id that
// versions 2.3 and 2.4 use, which is also the id we write.
#pragma once

#include <cstdint>
#include <span>

namespace zm::id3 {

struct FrameRow {
    char v22[4];  // three characters and a zero, or empty
    char v23[5];  // four characters and a zero
};

inline constexpr int kFrameRows = 84;
extern const FrameRow ID3FrameTable[kFrameRows];

// Field ids with rules of their own.
inline constexpr int kPictureField = 48;  // APIC
inline constexpr int kCommentField = 50;  // COMM
inline constexpr int kTrackField = 37;    // TRCK
inline constexpr int kYearField = 84;     // TYER

// The row of a frame id read from a tag of the given major version, or -1.
// Version 2 compares three characters, versions 3 and 4 compare four.
int FindFrameRow(std::span<const char> id, int version);

// Whether the reader holds the field's text in the internal form.
bool IsConvertedField(int id);

// The frame id of field id 1..84 ("TIT2" for 17), null outside.
const char* FrameIdOf(int id);

}  // namespace zm::id3
