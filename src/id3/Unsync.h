// Unsynchronisation: a writer inserts a zero byte after every FF so that no
// false MPEG sync appears in the tag. Readers take those zeros out again.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace zm::id3 {

// Removes the zero after every FF, in place; returns the new length.
size_t UndoUnsynchronisation(std::span<uint8_t> bytes);
// Where the byte at undoneOffset of the undone bytes stood in the original.
size_t OffsetBeforeUndo(std::span<const uint8_t> original, size_t undoneOffset);

}  // namespace zm::id3
