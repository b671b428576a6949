// The Ogg page checksum: CRC-32 with the polynomial 0x04C11DB7, register
// starting at 0, bits most significant first, no final inversion.
#include <array>

#include "ogg/OggLayout.h"

namespace zm::ogg {
namespace {

constexpr uint32_t kPolynomial = 0x04C11DB7;
constexpr size_t kChecksumSize = 4;

// Entry i: the register after shifting byte i through eight rounds.
constexpr std::array<uint32_t, 256> MakeChecksumTable() {
    std::array<uint32_t, 256> table{};
    for (uint32_t i = 0; i < table.size(); ++i) {
        uint32_t reg = i << 24;
        for (int bit = 0; bit < 8; ++bit) reg = (reg & 0x80000000u) ? (reg << 1) ^ kPolynomial : reg << 1;
        table[i] = reg;
    }
    return table;
}

constexpr std::array<uint32_t, 256> kChecksumTable = MakeChecksumTable();

uint32_t Accumulate(uint32_t crc, std::span<const uint8_t> bytes) {
    for (uint8_t b : bytes) crc = (crc << 8) ^ kChecksumTable[(crc >> 24) ^ b];
    return crc;
}

}  // namespace

void OGGPageChecksum(std::span<uint8_t> header, std::span<const uint8_t> body) {
    if (header.size() < kChecksumOffset + kChecksumSize) return;
    std::fill_n(header.begin() + kChecksumOffset, kChecksumSize, uint8_t(0));
    uint32_t crc = Accumulate(Accumulate(0, header), body);
    platform::StoreLE32(header.data() + kChecksumOffset, crc);
}

}  // namespace zm::ogg
