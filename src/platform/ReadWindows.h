// The last two windows of a file that a read handle read. Opening a file
// means looking at a few bytes at its start and its end, often more than once
// (the format decision, then each reader); with the windows kept, those looks
// cost one system call each instead of one per look.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

namespace zm::platform {

class ReadWindows {
public:
    // Room for a usual ID3v2 tag, or for the first Ogg pages with their
    // comment header, in one read.
    static constexpr size_t kBytes = 12288;

    // Copies [offset, offset + buffer.size()) when one window holds it, or
    // holds its start and ends where the file ended: the bytes copied, or -1
    // when no window can answer.
    int64_t Copy(uint64_t offset, std::span<uint8_t> buffer) {
        for (int i : {newest_, 1 - newest_}) {
            const Window& w = windows_[i];
            if (w.size == 0 && !w.atEnd) continue;
            if (offset < w.start || offset > w.start + w.size) continue;
            size_t held = size_t(w.start + w.size - offset);
            if (held < buffer.size() && !w.atEnd) continue;
            size_t n = std::min(held, buffer.size());
            if (n) std::memcpy(buffer.data(), w.bytes + (offset - w.start), n);
            newest_ = i;
            return int64_t(n);
        }
        return -1;
    }
    // The room of the older window, to be filled from offset on.
    std::span<uint8_t> Room(uint64_t offset) {
        Window& w = windows_[1 - newest_];
        w.start = offset;
        w.size = 0;
        w.atEnd = false;
        return {w.bytes, kBytes};
    }
    // What the read into Room brought: its bytes, and whether the file ended.
    void Filled(size_t bytes, bool atEnd) {
        newest_ = 1 - newest_;
        windows_[newest_].size = bytes;
        windows_[newest_].atEnd = atEnd;
    }
    void Clear() {
        for (Window& w : windows_) {
            w.size = 0;
            w.atEnd = false;
        }
    }

private:
    struct Window {
        uint64_t start = 0;
        size_t size = 0;
        bool atEnd = false;
        uint8_t bytes[kBytes];
    };
    Window windows_[2];
    int newest_ = 0;
};

}  // namespace zm::platform
