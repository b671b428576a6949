// What the text of an ID3 field is, as the reader leaves it in the record.
#pragma once

#include "Fields.h"

namespace zmtagio {

// Sets text, language and description of an ID3v2 field whose name and bytes
// are in place; binary frames get no text.
// Text that needs converting goes to the store.
void InterpretID3V2(int id3v2Version, uint32_t codePage, FieldView& view, TextStore& store);
void InterpretID3V1(uint32_t codePage, FieldView& view, TextStore& store);

// The ID3v1 genre list, by number; null past its end.
const char* ID3V1GenreName(int number);
int ID3V1GenreNumber(std::string_view name);  // -1 when the list has no such name

}  // namespace zmtagio
