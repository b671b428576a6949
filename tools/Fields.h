// The record as a host reads it: which kind of tags it holds, and each
// present field with its name, raw bytes and text.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "Text.h"
#include "zmTagIO.h"

namespace zmtagio {

enum class TagFamily { None, MP3, Ogg, WM };

// The last field id of each kind that counts from 1.
inline constexpr int kLastID3V2Field = 84;
inline constexpr int kLastOggField = 16;
inline constexpr int kLastWMField = 16;

TagFamily FamilyOf(const MDRecord& record);
// False for a Windows Media record whose read failed: no slot has its buffer.
bool WMValuesRead(const MDRecord& record);
// "ID3v2.3, ID3v1", "Ogg Vorbis", "Windows Media", "no tags", ...
std::string DescribeTags(const MDRecord& record);

struct FieldView {
    int id = 0;
    LONG kind = 0;
    std::string kindName;  // "id3v1", "id3v2", "ogg", "wm"
    std::string name;
    Bytes bytes;                      // the slot's size bytes
    std::optional<std::string> text;  // UTF-8; absent for binary values
    std::optional<std::string> language;
    std::optional<std::string> description;
    std::string binaryType;  // for binary values: a MIME type when the frame names one
};

// Present fields in id order: slots with a value, and for Windows Media every
// slot that has its value buffer.
std::vector<FieldView> ListFields(const MDRecord& record, uint32_t codePage);
std::optional<FieldView> FindField(const MDRecord& record, LONG kind, int id, uint32_t codePage);

}  // namespace zmtagio
