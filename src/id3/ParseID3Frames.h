// The walk over the frames of an ID3v2 tag.
#pragma once

#include <cstdint>
#include <span>

#include "id3/ID3.h"

namespace zm::id3 {

// Places each recognised frame of the area into its field, converts the text
// of the converted fields, chooses one comment by language and keeps every
// other frame for the writer. The area holds real bytes (a whole-tag
// unsynchronisation already undone). Returns the bytes walked: the walk ends
// at padding, at an invalid id and at a frame that would reach past the
// area; frames of any size are stored or kept. In version 2.4,
// allUnsynchronised marks every frame as unsynchronised.
uint32_t ParseID3Frames(std::span<uint8_t> area, int version, bool allUnsynchronised, MDRecord& record,
                        ID3State& state, const char* commentLanguage);

}  // namespace zm::id3
