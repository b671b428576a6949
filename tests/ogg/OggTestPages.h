// Hand-made Ogg pages and Vorbis comment packets for the tests, with a page
// checksum computed bit by bit, independently of the table-driven one.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "ogg/Ogg.h"
#include "platform/Bytes.h"
#include "support/TestSupport.h"

namespace zm::test::oggpages {

// A field slot holding size bytes at data.
inline MDField FieldOf(int32_t size, uint8_t* data) {
    MDField field{};
    field.size = size;
    field.data = data;
    return field;
}

inline constexpr char kVendor[] = "Xiph.Org libVorbis I 20200704 (Reducing Environment)";

inline void Append(Bytes& to, const Bytes& bytes) { to.insert(to.end(), bytes.begin(), bytes.end()); }
inline void Append(Bytes& to, const std::string& text) { to.insert(to.end(), text.begin(), text.end()); }

inline Bytes LE32(uint32_t value) {
    return {uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16), uint8_t(value >> 24)};
}

// A comment entry: its 32-bit length, then the text.
inline Bytes Entry(const std::string& text) {
    Bytes entry(4 + text.size());
    platform::StoreLE32(entry.data(), uint32_t(text.size()));
    std::copy(text.begin(), text.end(), entry.begin() + 4);
    return entry;
}

// The page checksum over a whole page, bit by bit, with bytes 22..25 taken as 0.
inline uint32_t BitwisePageCrc(const Bytes& page) {
    uint32_t crc = 0;
    for (size_t i = 0; i < page.size(); ++i) {
        uint8_t b = (i >= 22 && i < 26) ? 0 : page[i];
        crc ^= uint32_t(b) << 24;
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x80000000u) ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
    }
    return crc;
}

inline uint32_t StoredCrc(const Bytes& page) { return platform::LoadLE32(page.data() + 22); }

// A comment packet; count replaces the true number of entries when given.
inline Bytes CommentPacket(const std::string& vendor, const std::vector<std::string>& entries,
                           std::optional<uint32_t> count = {}) {
    Bytes packet{0x03, 'v', 'o', 'r', 'b', 'i', 's'};
    Append(packet, LE32(uint32_t(vendor.size())));
    Append(packet, vendor);
    Append(packet, LE32(count.value_or(uint32_t(entries.size()))));
    for (const auto& e : entries) Append(packet, Entry(e));
    packet.push_back(0x01);
    return packet;
}

inline Bytes CommentPacket(const std::vector<std::string>& entries) { return CommentPacket(kVendor, entries); }

// The start of a setup header: recognisable bytes that must come through.
inline Bytes SetupPacket(size_t size) {
    Bytes packet{0x05, 'v', 'o', 'r', 'b', 'i', 's'};
    for (size_t i = packet.size(); i < size; ++i) packet.push_back(uint8_t(i * 7 + 3));
    return packet;
}

struct PageOptions {
    uint8_t flags = 0;
    uint32_t sequence = 1;
    uint64_t granule = 0;
    bool lastPacketEnds = true;  // false: the last packet goes on past the page (its size must be a multiple of 255)
};

// One page holding the packets, with its checksum.
inline Bytes Page(const std::vector<Bytes>& packets, PageOptions options = {}) {
    Bytes lacing, body;
    for (size_t i = 0; i < packets.size(); ++i) {
        size_t size = packets[i].size();
        lacing.insert(lacing.end(), size / 255, 255);
        if (options.lastPacketEnds || i + 1 < packets.size()) lacing.push_back(uint8_t(size % 255));
        Append(body, packets[i]);
    }
    Bytes page{'O', 'g', 'g', 'S', 0, options.flags};
    for (int i = 0; i < 8; ++i) page.push_back(uint8_t(options.granule >> (8 * i)));
    Append(page, LE32(0x5EB1A1u));  // serial number
    Append(page, LE32(options.sequence));
    Append(page, LE32(0));
    page.push_back(uint8_t(lacing.size()));
    Append(page, lacing);
    Append(page, body);
    platform::StoreLE32(page.data() + 22, BitwisePageCrc(page));
    return page;
}

inline Bytes IdentificationPage() {
    Bytes packet{0x01, 'v', 'o', 'r', 'b', 'i', 's'};
    packet.resize(30, 0x11);
    return Page({packet}, {.flags = 0x02, .sequence = 0});
}

inline Bytes AudioPage() { return Page({Bytes(300, 0x42), Bytes(77, 0x43)}, {.flags = 0x04, .sequence = 2, .granule = 44100}); }

// Identification page, the given comment page, then one audio page.
inline Bytes OggFile(const Bytes& commentPage) {
    Bytes file = IdentificationPage();
    Append(file, commentPage);
    Append(file, AudioPage());
    return file;
}

inline Bytes OggFileWithComments(const std::vector<std::string>& entries) {
    return OggFile(Page({CommentPacket(entries), SetupPacket(400)}));
}

// The probe and then, when it accepted the file, the reader, as MDInit runs them.
struct ReadBack {
    TempDir dir;
    std::string path = dir.File("in.ogg");
    MDRecord record{};
    ogg::OggState state;
    platform::Buffer tags;
    platform::FileRange range;
    uint32_t probed = 0;
    HRESULT hr = ZMTAGIO_E_FAIL;

    explicit ReadBack(const Bytes& file) {
        WriteFile(path, file);
        auto in = platform::File::Open(path.c_str(), platform::File::Mode::Read);
        probed = ogg::GetOGGTagSize(in, record, state);
        if (!record.isOgg) return;
        if (probed) {
            EXPECT_TRUE(tags.Allocate(probed));
        }
        hr = ogg::ReadOGGFromFile(in, record, state, tags.span(), range);
    }
    std::string Field(int id) const {
        const MDField& f = record.fields[id];
        return f.size > 0 ? std::string(reinterpret_cast<const char*>(f.data), size_t(f.size)) : "";
    }
    std::string TagBuffer() const { return std::string(reinterpret_cast<const char*>(tags.data()), probed); }
};

}  // namespace zm::test::oggpages
