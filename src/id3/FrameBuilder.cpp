#include "id3/FrameBuilder.h"

#include <cstring>
#include <new>

#include "id3/ByteOrder.h"

namespace zm::id3 {

bool AppendFrame(platform::GrowBuffer& buffer, const char* id, uint16_t flags,
                 std::initializer_list<std::span<const uint8_t>> body) {
    uint64_t size = 0;
    for (auto part : body) size += part.size();
    if (size > UINT32_MAX - kFrameHeader) return false;
    uint8_t header[kFrameHeader];
    uint32_t bigSize = ToBigEndian32(uint32_t(size));
    uint16_t bigFlags = ToBigEndian16(flags);
    std::memcpy(header, id, 4);
    std::memcpy(header + 4, &bigSize, 4);
    std::memcpy(header + 8, &bigFlags, 2);
    if (!platform::AppendToBuffer(header, kFrameHeader, buffer)) return false;
    for (auto part : body)
        if (!part.empty() && !platform::AppendToBuffer(part.data(), uint32_t(part.size()), buffer)) return false;
    return true;
}

void ForEachFrame(std::span<const uint8_t> frames, const FrameVisit& visit) {
    for (size_t pos = 0; frames.size() - pos >= kFrameHeader;) {
        const uint8_t* header = frames.data() + pos;
        uint32_t size = ReadBigEndian(frames.subspan(pos + 4, 4));
        if (size > frames.size() - pos - kFrameHeader) return;
        char id[5] = {};
        std::memcpy(id, header, 4);
        if (!visit(id, uint16_t(header[8] << 8 | header[9]), frames.subspan(pos + kFrameHeader, size))) return;
        pos += kFrameHeader + size;
    }
}

bool ReserveBuffer(platform::GrowBuffer& buffer, uint64_t size) {
    if (size > UINT32_MAX) return false;
    buffer.Release();
    buffer.data = new (std::nothrow) uint8_t[size ? size : 1]();
    if (!buffer.data) return false;
    buffer.capacity = uint32_t(size);
    return true;
}

bool AppendZeros(platform::GrowBuffer& buffer, uint32_t count) {
    if (buffer.capacity - buffer.used < count) {
        platform::GrowBuffer grown;
        if (!ReserveBuffer(grown, uint64_t(buffer.used) + count)) {
            buffer.Release();
            return false;
        }
        if (buffer.used) std::memcpy(grown.data, buffer.data, buffer.used);
        grown.used = buffer.used;
        buffer = std::move(grown);
    }
    std::memset(buffer.data + buffer.used, 0, count);
    buffer.used += count;
    return true;
}

}  // namespace zm::id3
