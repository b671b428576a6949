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

// The frame id of field id 1..84 ("TIT2" for 17), null outside.
const char* FrameIdOf(int id);

// The tags we write are version 2.3. Frames of a version-2.4 tag that
// version 2.3 names or lays out otherwise are carried by these rules; every
// other frame is carried as it is.
enum class V23Rule : uint8_t {
    DateParts,  // TDRC: TYER (the year), TDAT (DDMM) and TIME (HHMM), as far
                // as the date has them, unless the tag has a TYER of its own
    Year,       // TDOR: its year as TORY
    Rename,     // TIPL, TMCL: the same pairs as IPLS
};
struct V23Conversion {
    char from[5];
    char to[5];
    V23Rule rule;
};
// The conversion of a version-2.4 frame id, or null.
const V23Conversion* FindV23Conversion(const char* id);

// Version 2.3 has no UTF-8 text: a body that starts with the encoding byte 3
// is written as encoding 1 (UTF-16 with the mark FF FE), part by part. These
// are the parts of the bodies that start with an encoding byte.
enum class BodyPart : uint8_t {
    Latin1,       // ISO-8859-1 string ended by a zero (a MIME type, a price)
    Fixed1,       // one byte (a picture type, a time-stamp format)
    Fixed3,       // a language
    Fixed8,       // a date YYYYMMDD
    Text,         // one string in the frame's encoding, ended by a zero
    Texts,        // strings in the frame's encoding up to the end
    SyncedTexts,  // pairs of a string and a four-byte time stamp up to the end
    Binary,       // bytes up to the end (picture data, a URL)
};
inline constexpr int kMaxBodyParts = 7;
struct TextLayout {
    char id[5];  // "T" stands for every text frame
    int partCount;
    BodyPart parts[kMaxBodyParts];
};
// The layout of a frame's body behind its encoding byte, or null for frames
// without one.
const TextLayout* FindTextLayout(const char* id);

}  // namespace zm::id3
