// The record as a host reads it: which kind of tags it holds, and each
// present field with its name, raw bytes and text.
#pragma once

#include <optional>
#include <string>
#include <string_view>
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
// "ID3v2.3, ID3v1", "Ogg Vorbis", "Ogg Opus", "Windows Media", "no tags", ...
// An Ogg file's codec is read from path unless the caller has it (oggCodec).
std::string DescribeTags(const std::string& path, const MDRecord& record, const std::string* oggCodec = nullptr);

// Views into the record and into text a FieldList converted.
struct FieldView {
    int id = 0;
    LONG kind = 0;
    std::string_view kindName;  // "id3v1", "id3v2", "ogg", "wm"
    std::string_view name;
    Bytes bytes;                           // the slot's size bytes
    std::optional<std::string_view> text;  // UTF-8 where the tag is; absent for binary values
    std::optional<std::string_view> language;
    std::optional<std::string_view> description;
    std::string_view binaryType;  // for binary values: a MIME type when the frame names one
};

// The present fields of a record in id order: slots with a value, and for
// Windows Media every slot that has its value buffer. The views hold until
// the record changes or the list is read again; a list kept from file to
// file reuses its memory, so reading one costs no allocation.
class FieldList {
public:
    const std::vector<FieldView>& Read(const MDRecord& record, uint32_t codePage);
    // Null when the record does not have the field.
    const FieldView* Find(const MDRecord& record, LONG kind, int id, uint32_t codePage);

private:
    void Clear();

    std::vector<FieldView> views_;
    TextStore store_;
};

}  // namespace zmtagio
