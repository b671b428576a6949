#include "platform/GrowBuffer.h"

#include <cstring>
#include <new>

namespace zm::platform {

namespace {
constexpr uint32_t kGrowthStep = 100;
}

uint8_t* AppendToBuffer(const void* source, uint32_t count, GrowBuffer& buffer) {
    uint64_t needed = uint64_t(buffer.used) + count;
    if (needed > UINT32_MAX) {
        buffer.Release();
        return nullptr;
    }
    if (needed > buffer.capacity) {
        uint64_t grown = buffer.capacity +
                         uint64_t(kGrowthStep) * ((needed - buffer.capacity - 1) / kGrowthStep + 1);
        if (grown > UINT32_MAX) grown = needed;
        auto* block = new (std::nothrow) uint8_t[grown];
        if (block == nullptr) {
            buffer.Release();
            return nullptr;
        }
        if (buffer.used) std::memcpy(block, buffer.data, buffer.used);
        delete[] buffer.data;
        buffer.data = block;
        buffer.capacity = uint32_t(grown);
    }
    if (count) std::memcpy(buffer.data + buffer.used, source, count);
    buffer.used += count;
    return buffer.data;
}

void EraseFromBuffer(GrowBuffer& buffer, uint32_t offset, uint32_t count) {
    if (offset > buffer.used || count > buffer.used - offset) return;
    std::memmove(buffer.data + offset, buffer.data + offset + count, buffer.used - offset - count);
    buffer.used -= count;
}

}  // namespace zm::platform
