#include "id3/Unsync.h"

namespace zm::id3 {
namespace {

// Whether the byte at i is an inserted zero.
bool IsInserted(std::span<const uint8_t> bytes, size_t i) {
    return i > 0 && bytes[i] == 0 && bytes[i - 1] == 0xFF;
}

}  // namespace

size_t UndoUnsynchronisation(std::span<uint8_t> bytes) {
    size_t out = 0;
    for (size_t i = 0; i < bytes.size(); ++i)
        if (!IsInserted(bytes, i)) bytes[out++] = bytes[i];
    return out;
}

size_t OffsetBeforeUndo(std::span<const uint8_t> original, size_t undoneOffset) {
    size_t kept = 0;
    size_t i = 0;
    for (; i < original.size(); ++i) {
        if (IsInserted(original, i)) continue;
        if (kept == undoneOffset) return i;
        ++kept;
    }
    return i;
}

}  // namespace zm::id3
