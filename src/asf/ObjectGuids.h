// Object and stream-type identifiers of ASF files, in the byte order in which
// the file stores them (the first three groups little-endian).
#pragma once

#include <array>
#include <cstdint>

#include "platform/Bytes.h"

namespace zm::asf {

using ObjectGuid = std::array<uint8_t, 16>;

namespace detail {
constexpr uint8_t HexDigit(char c) {
    return uint8_t(c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10);
}
constexpr uint8_t HexByte(const char* s) { return uint8_t(HexDigit(s[0]) << 4 | HexDigit(s[1])); }
}  // namespace detail

// From the registry form "75B22630-668E-11CF-A6D9-00AA0062CE6C".
constexpr ObjectGuid ParseGuid(const char (&text)[37]) {
    // Where each stored byte's two digits sit in the text.
    constexpr int kDigitsAt[16] = {6, 4, 2, 0, 11, 9, 16, 14, 19, 21, 24, 26, 28, 30, 32, 34};
    ObjectGuid guid{};
    for (int i = 0; i < 16; ++i) guid[i] = detail::HexByte(text + kDigitsAt[i]);
    return guid;
}

inline constexpr ObjectGuid kHeaderObject = ParseGuid("75B22630-668E-11CF-A6D9-00AA0062CE6C");
inline constexpr ObjectGuid kDataObject = ParseGuid("75B22636-668E-11CF-A6D9-00AA0062CE6C");
inline constexpr ObjectGuid kFileProperties = ParseGuid("8CABDCA1-A947-11CF-8EE4-00C00C205365");
inline constexpr ObjectGuid kStreamProperties = ParseGuid("B7DC0791-A9B7-11CF-8EE6-00C00C205365");
inline constexpr ObjectGuid kHeaderExtension = ParseGuid("5FBF03B5-A92E-11CF-8EE3-00C00C205365");
inline constexpr ObjectGuid kHeaderExtensionReserved = ParseGuid("ABD3D211-A9BA-11CF-8EE6-00C00C205365");
inline constexpr ObjectGuid kContentDescription = ParseGuid("75B22633-668E-11CF-A6D9-00AA0062CE6C");
inline constexpr ObjectGuid kExtendedContentDescription = ParseGuid("D2D0A440-E307-11D2-97F0-00A0C95EA850");
inline constexpr ObjectGuid kMetadata = ParseGuid("C5F8CBEA-5BAF-4877-8467-AA8C44FA4CCA");
inline constexpr ObjectGuid kMetadataLibrary = ParseGuid("44231C94-9498-49D1-A141-1D134E457054");
inline constexpr ObjectGuid kContentEncryption = ParseGuid("2211B3FB-BD23-11D2-B4B7-00A0C955FC6E");
inline constexpr ObjectGuid kExtendedContentEncryption = ParseGuid("298AE614-2622-4C17-B935-DAE07EE9289C");
inline constexpr ObjectGuid kScriptCommand = ParseGuid("1EFB1A30-0B62-11D0-A39B-00A0C90348F6");
inline constexpr ObjectGuid kPadding = ParseGuid("1806D474-CADF-4509-A4BA-9AABCB96AAE8");

inline constexpr ObjectGuid kAudioMedia = ParseGuid("F8699E40-5B4D-11CF-A8FD-00805F5C442B");
inline constexpr ObjectGuid kVideoMedia = ParseGuid("BC19EFC0-5B4D-11CF-A8FD-00805F5C442B");
inline constexpr ObjectGuid kCommandMedia = ParseGuid("59DACFC0-59E6-11D0-A3AC-00A0C90348F6");
inline constexpr ObjectGuid kJfifMedia = ParseGuid("B61BE100-5B4E-11CF-A8FD-00805F5C442B");
inline constexpr ObjectGuid kDegradableJpegMedia = ParseGuid("35907DE0-E415-11CF-A917-00805F5C442B");

inline bool GuidAt(const platform::ByteView& bytes, size_t offset, const ObjectGuid& guid) {
    return bytes.Equals(offset, guid.data(), guid.size());
}

}  // namespace zm::asf
