// Byte order of ID3v2 numbers: frame sizes are big-endian (24 bits in version
// 2.2, 32 bits later), tag sizes and version-2.4 frame sizes are syncsafe
// (four bytes of seven bits, most significant first).
#pragma once

#include <cstdint>
#include <span>

namespace zm::id3 {

// The first three bytes as a 24-bit number, or with four bytes or more the
// first four as a 32-bit one; 0 for fewer than three bytes.
uint32_t ReadBigEndian(std::span<const uint8_t> bytes);
// The first four bytes as a syncsafe number; 0 for fewer than four bytes.
uint32_t ReadSyncsafe(std::span<const uint8_t> bytes);
// The syncsafe form of a number below 2^28.
void StoreSyncsafe(uint8_t* out, uint32_t value);

// Values whose native storage is big-endian on this machine.
uint32_t ToBigEndian32(uint32_t value);
uint16_t ToBigEndian16(uint16_t value);

inline constexpr uint32_t kSyncsafeLimit = 1u << 28;

}  // namespace zm::id3
