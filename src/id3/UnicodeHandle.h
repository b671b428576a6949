// Converts the text of one ID3v2 field between the file's form and the
// internal form, keeping the result in one of the session's two
// converted-text buffers: a run of records (field id, length, bytes), each
// field's data pointing at its newest record.
#pragma once

#include <cstdint>
#include <span>

#include "id3/ID3.h"

namespace zm::id3 {

enum class Direction { Reading = 0, Writing = 1 };

// size is the current length of the field's data. Returns the length of the
// converted bytes, 0 when nothing was converted. Reading also sets the
// field's size; writing leaves it to the caller.
uint32_t UnicodeHandle(std::span<MDField> fields, int id, int32_t size, ID3State& state, Direction mode);

}  // namespace zm::id3
