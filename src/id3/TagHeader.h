// The ten-byte ID3v2 header: "ID3", major version, revision, flags, and the
// tag size without the header as a syncsafe number.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zm::id3 {

inline constexpr uint32_t kTagHeaderSize = 10;
inline constexpr size_t kTagVersion = 3;
inline constexpr size_t kTagFlags = 5;
inline constexpr size_t kTagSize = 6;

inline constexpr uint8_t kTagUnsynchronised = 0x80;
inline constexpr uint8_t kTagExtendedHeader = 0x40;  // in version 2.2: compression
inline constexpr uint8_t kTagFooter = 0x10;

}  // namespace zm::id3
