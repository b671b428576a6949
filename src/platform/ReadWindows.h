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
    // comment header, in one window.
    static constexpr size_t kBytes = 12288;
    // Windows fill a page at a time, as far as the look that fills them
    // needs: most looks need less than a page, and what a read costs grows
    // with the pages it copies.
    static constexpr size_t kPage = 4096;

    // Copies [offset, offset + buffer.size()) when one window holds it, or
    // holds its start and ends where the file ended (or, with shortOk, holds
    // its start at all): the bytes copied, or -1 when no window can answer.
    int64_t Copy(uint64_t offset, std::span<uint8_t> buffer, bool shortOk = false) {
        for (int i : {newest_, 1 - newest_}) {
            const Window& w = windows_[i];
            if (w.size == 0 && !w.atEnd && !shortOk) continue;
            if (offset < w.start || offset > w.start + w.size) continue;
            size_t held = size_t(w.start + w.size - offset);
            if (held < buffer.size() && !w.atEnd && !shortOk) continue;
            size_t n = std::min(held, buffer.size());
            if (n) std::memcpy(buffer.data(), w.bytes + (offset - w.start), n);
            newest_ = i;
            return int64_t(n);
        }
        return -1;
    }

    // Where to read so that a window holds [offset, offset + want): the file
    // offset and the room. A window that holds offset and has room for the
    // rest grows by the missing pages; otherwise the older window starts
    // afresh at offset.
    struct Fill {
        uint64_t at;
        std::span<uint8_t> room;
    };
    Fill Room(uint64_t offset, size_t want) {
        for (int i : {newest_, 1 - newest_}) {
            Window& w = windows_[i];
            if (w.atEnd || offset < w.start || offset > w.start + w.size || offset - w.start + want > kBytes) continue;
            filling_ = i;
            size_t end = Pages(size_t(offset - w.start) + want);
            return {w.start + w.size, {w.bytes + w.size, end - w.size}};
        }
        filling_ = 1 - newest_;
        Window& w = windows_[filling_];
        w.start = offset;
        w.size = 0;
        w.atEnd = false;
        return {offset, {w.bytes, Pages(want)}};
    }
    // What the read into Room brought: its bytes, and whether the file ended.
    void Filled(size_t bytes, bool atEnd) {
        newest_ = filling_;
        windows_[newest_].size += bytes;
        windows_[newest_].atEnd = atEnd;
    }
    void Clear() {
        for (Window& w : windows_) {
            w.size = 0;
            w.atEnd = false;
        }
    }

private:
    static size_t Pages(size_t bytes) { return std::clamp((bytes + kPage - 1) / kPage * kPage, kPage, kBytes); }

    struct Window {
        uint64_t start = 0;
        size_t size = 0;
        bool atEnd = false;
        uint8_t bytes[kBytes];
    };
    Window windows_[2];
    int newest_ = 0;
    int filling_ = 0;
};

}  // namespace zm::platform
