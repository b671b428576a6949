// The Ogg page checksum: CRC-32 with the polynomial 0x04C11DB7, register
// starting at 0, bits most significant first, no final inversion. With no
// initial value and no final inversion it is linear: the checksum of two
// pages' XOR is the XOR of their checksums, which renumbering relies on.
#include <array>
#include <bit>

#include "ogg/OggLayout.h"

namespace zm::ogg {
namespace {

constexpr uint32_t kPolynomial = 0x04C11DB7;
constexpr size_t kChecksumSize = 4;

// Table 0, entry i: the register after shifting byte i through eight rounds.
// Table k: the same byte followed by k zero bytes, so that eight bytes go
// through the register in one step (a rewrite checksums megabytes of header
// pages with a cover picture).
constexpr size_t kSlices = 8;
using ChecksumTables = std::array<std::array<uint32_t, 256>, kSlices>;

constexpr ChecksumTables MakeChecksumTables() {
    ChecksumTables tables{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t reg = i << 24;
        for (int bit = 0; bit < 8; ++bit) reg = (reg & 0x80000000u) ? (reg << 1) ^ kPolynomial : reg << 1;
        tables[0][i] = reg;
    }
    for (size_t k = 1; k < kSlices; ++k)
        for (uint32_t i = 0; i < 256; ++i)
            tables[k][i] = (tables[k - 1][i] << 8) ^ tables[0][tables[k - 1][i] >> 24];
    return tables;
}

constexpr ChecksumTables kChecksumTables = MakeChecksumTables();

uint32_t Accumulate(uint32_t crc, std::span<const uint8_t> bytes) {
    const auto& t = kChecksumTables;
    size_t i = 0;
    for (; i + kSlices <= bytes.size(); i += kSlices) {
        uint32_t first = crc ^ platform::LoadBE32(bytes.data() + i);
        uint32_t second = platform::LoadBE32(bytes.data() + i + 4);
        crc = t[7][first >> 24] ^ t[6][(first >> 16) & 0xFF] ^ t[5][(first >> 8) & 0xFF] ^ t[4][first & 0xFF] ^
              t[3][second >> 24] ^ t[2][(second >> 16) & 0xFF] ^ t[1][(second >> 8) & 0xFF] ^ t[0][second & 0xFF];
    }
    for (; i < bytes.size(); ++i) crc = (crc << 8) ^ t[0][(crc >> 24) ^ bytes[i]];
    return crc;
}

// The checksum register of a message is the message, as a polynomial over
// GF(2), times x^32 modulo the generator. Following it with zero bytes
// multiplies the register by x^8 per byte, which these powers do in as many
// steps as the count has bits: entry k is x^(8 * 2^k) modulo the generator.
constexpr uint32_t MultiplyModulo(uint32_t a, uint32_t b) {
    uint32_t product = 0;
    for (int bit = 31; bit >= 0; --bit) {
        product = (product & 0x80000000u) ? (product << 1) ^ kPolynomial : product << 1;
        if ((b >> bit) & 1u) product ^= a;
    }
    return product;
}

constexpr int kZeroPowers = 64;
constexpr std::array<uint32_t, kZeroPowers> MakeZeroPowers() {
    std::array<uint32_t, kZeroPowers> powers{};
    powers[0] = 1u << 8;
    for (int k = 1; k < kZeroPowers; ++k) powers[k] = MultiplyModulo(powers[k - 1], powers[k - 1]);
    return powers;
}

constexpr std::array<uint32_t, kZeroPowers> kZeroPowersTable = MakeZeroPowers();

// A rewrite that renumbers a file's pages multiplies a dozen times a page, at
// 32 steps a multiplication. The product is linear in the register, so for
// the powers a page's length can need it is looked up a byte of the register
// at a time: table k, row j, entry b is (b shifted up j bytes) times power k.
constexpr size_t kTabledPowers = 17;  // 2^17 bytes: more than a page holds
using PowerTables = std::array<std::array<std::array<uint32_t, 256>, 4>, kTabledPowers>;

// Built from the products of the register's single bits, each the one below
// it times x, so that making them takes few enough steps for any compiler's
// constant evaluation.
constexpr PowerTables MakePowerTables() {
    PowerTables tables{};
    for (size_t k = 0; k < kTabledPowers; ++k) {
        std::array<uint32_t, 32> singleBits{};
        uint32_t product = kZeroPowersTable[k];
        for (uint32_t& single : singleBits) {
            single = product;
            product = (product & 0x80000000u) ? (product << 1) ^ kPolynomial : product << 1;
        }
        for (size_t j = 0; j < 4; ++j)
            for (uint32_t b = 1; b < 256; ++b)
                tables[k][j][b] = tables[k][j][b & (b - 1)] ^ singleBits[8 * j + size_t(std::countr_zero(b))];
    }
    return tables;
}

constexpr PowerTables kPowerTables = MakePowerTables();

uint32_t MultiplyByZeroPower(uint32_t crc, size_t k) {
    if (k >= kTabledPowers) return MultiplyModulo(crc, kZeroPowersTable[k]);
    const auto& t = kPowerTables[k];
    return t[0][crc & 0xFF] ^ t[1][(crc >> 8) & 0xFF] ^ t[2][(crc >> 16) & 0xFF] ^ t[3][crc >> 24];
}

}  // namespace

uint32_t OGGChecksumChange(std::span<const uint8_t> change, size_t bytesAfter) {
    uint32_t crc = Accumulate(0, change);
    for (size_t k = 0; bytesAfter != 0; ++k, bytesAfter >>= 1)
        if (bytesAfter & 1u) crc = MultiplyByZeroPower(crc, k);
    return crc;
}

void OGGPageChecksum(std::span<uint8_t> header, std::span<const uint8_t> body) {
    if (header.size() < kChecksumOffset + kChecksumSize) return;
    std::fill_n(header.begin() + kChecksumOffset, kChecksumSize, uint8_t(0));
    uint32_t crc = Accumulate(Accumulate(0, header), body);
    platform::StoreLE32(header.data() + kChecksumOffset, crc);
}

}  // namespace zm::ogg
