#include "id3/Unsync.h"

#include <cstring>

namespace zm::id3 {
namespace {

constexpr uint8_t kSync = 0xFF;

// The end of the run of bytes from `from` that holds no inserted zero: just
// past the next FF, or the end. A tag that holds a large picture is mostly
// such runs, so they are found with memchr and moved as blocks.
size_t RunEnd(std::span<const uint8_t> bytes, size_t from) {
    const void* sync = std::memchr(bytes.data() + from, kSync, bytes.size() - from);
    return sync ? size_t(static_cast<const uint8_t*>(sync) - bytes.data()) + 1 : bytes.size();
}

// Whether the byte at i, which follows an FF, is the zero the writer inserted.
bool IsInserted(std::span<const uint8_t> bytes, size_t i) { return i < bytes.size() && bytes[i] == 0; }

}  // namespace

size_t UndoUnsynchronisation(std::span<uint8_t> bytes) {
    size_t out = 0;
    for (size_t i = 0; i < bytes.size();) {
        size_t end = RunEnd(bytes, i);
        std::memmove(bytes.data() + out, bytes.data() + i, end - i);
        out += end - i;
        i = end + (bytes[end - 1] == kSync && IsInserted(bytes, end));
    }
    return out;
}

size_t OffsetBeforeUndo(std::span<const uint8_t> original, size_t undoneOffset) {
    size_t kept = 0;
    for (size_t i = 0; i < original.size();) {
        size_t end = RunEnd(original, i);
        if (undoneOffset - kept < end - i) return i + (undoneOffset - kept);
        kept += end - i;
        i = end + (original[end - 1] == kSync && IsInserted(original, end));
    }
    return original.size();
}

}  // namespace zm::id3
