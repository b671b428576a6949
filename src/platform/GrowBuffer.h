// A growable byte buffer whose capacity grows in steps of 100 bytes. Growing
// moves the block, so pointers into it are valid only until the next append;
// callers that keep such pointers re-point them after every append.
#pragma once

#include <cstdint>
#include <span>

namespace zm::platform {

struct GrowBuffer {
    uint8_t* data = nullptr;
    uint32_t capacity = 0;
    uint32_t used = 0;

    GrowBuffer() = default;
    ~GrowBuffer() { Release(); }
    GrowBuffer(const GrowBuffer&) = delete;
    GrowBuffer& operator=(const GrowBuffer&) = delete;
    GrowBuffer(GrowBuffer&& other) noexcept { *this = static_cast<GrowBuffer&&>(other); }
    GrowBuffer& operator=(GrowBuffer&& other) noexcept {
        if (this != &other) {
            Release();
            data = other.data;
            capacity = other.capacity;
            used = other.used;
            other.data = nullptr;
            other.capacity = other.used = 0;
        }
        return *this;
    }

    void Release() {
        delete[] data;
        data = nullptr;
        capacity = used = 0;
    }
    std::span<const uint8_t> bytes() const { return {data, used}; }
    std::span<uint8_t> bytes() { return {data, used}; }
};

// Appends count bytes. Returns the buffer's (possibly new) address, or null
// when memory runs out; the buffer is then released as a whole (its old bytes
// are gone and both counts are 0).
uint8_t* AppendToBuffer(const void* source, uint32_t count, GrowBuffer& buffer);

// Removes count bytes at offset (within the used bytes), closing the gap.
void EraseFromBuffer(GrowBuffer& buffer, uint32_t offset, uint32_t count);

}  // namespace zm::platform
