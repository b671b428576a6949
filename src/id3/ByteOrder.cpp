#include "id3/ByteOrder.h"

#include <bit>

namespace zm::id3 {

uint32_t ReadBigEndian(std::span<const uint8_t> bytes) {
    if (bytes.size() < 3) return 0;
    uint32_t value = uint32_t(bytes[0]) << 16 | uint32_t(bytes[1]) << 8 | bytes[2];
    return bytes.size() >= 4 ? value << 8 | bytes[3] : value;
}

uint32_t ReadSyncsafe(std::span<const uint8_t> bytes) {
    if (bytes.size() < 4) return 0;
    return uint32_t(bytes[0] & 0x7F) << 21 | uint32_t(bytes[1] & 0x7F) << 14 |
           uint32_t(bytes[2] & 0x7F) << 7 | uint32_t(bytes[3] & 0x7F);
}

void StoreSyncsafe(uint8_t* out, uint32_t value) {
    for (int i = 0; i < 4; ++i) out[i] = uint8_t(value >> (7 * (3 - i)) & 0x7F);
}

uint32_t ToBigEndian32(uint32_t value) {
    if constexpr (std::endian::native == std::endian::big) return value;
    return (value >> 24) | (value >> 8 & 0xFF00) | (value << 8 & 0xFF0000) | (value << 24);
}

uint16_t ToBigEndian16(uint16_t value) {
    if constexpr (std::endian::native == std::endian::big) return value;
    return uint16_t(value >> 8 | value << 8);
}

}  // namespace zm::id3
