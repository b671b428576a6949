// Hand-made Ogg pages with a checksum computed bit by bit, independently of
// the table-driven one; and the probe, reader and writer run as the session
// runs them.
#pragma once

#include <gtest/gtest.h>

#include <optional>

#include "ogg/Ogg.h"
#include "support/TestSupport.h"

namespace zm::test::oggpages {

inline constexpr char kVendor[] = "Xiph.Org libVorbis I 20200704 (Reducing Environment)";

// A field's value as text, "" when absent.
inline std::string FieldText(const MDRecord& record, int id) {
    const MDField& f = record.fields[id];
    return f.size > 0 && f.data ? std::string(reinterpret_cast<const char*>(f.data), size_t(f.size)) : "";
}

inline void Append(Bytes& to, const Bytes& bytes) { to.insert(to.end(), bytes.begin(), bytes.end()); }

inline Bytes LE32(uint32_t value) {
    Bytes bytes(4);
    platform::StoreLE32(bytes.data(), value);
    return bytes;
}

inline uint32_t BitwisePageCrc(const Bytes& page) {
    uint32_t crc = 0;
    for (size_t i = 0; i < page.size(); ++i) {
        crc ^= uint32_t(i >= 22 && i < 26 ? 0 : page[i]) << 24;
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x80000000u) ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
    }
    return crc;
}

inline uint32_t StoredCrc(const Bytes& page) { return platform::LoadLE32(page.data() + 22); }

// count replaces the true number of entries when given.
inline Bytes CommentPacket(const std::string& vendor, const std::vector<std::string>& entries,
                           std::optional<uint32_t> count = {}) {
    Bytes packet = ToBytes("\x03vorbis");
    Append(packet, LE32(uint32_t(vendor.size())));
    Append(packet, ToBytes(vendor));
    Append(packet, LE32(count.value_or(uint32_t(entries.size()))));
    for (const auto& e : entries) {
        Append(packet, LE32(uint32_t(e.size())));
        Append(packet, ToBytes(e));
    }
    packet.push_back(0x01);
    return packet;
}

inline Bytes CommentPacket(const std::vector<std::string>& entries) { return CommentPacket(kVendor, entries); }

inline Bytes SetupPacket(size_t size) {
    Bytes packet = ToBytes("\x05vorbis");
    for (size_t i = packet.size(); i < size; ++i) packet.push_back(uint8_t(i * 7 + 3));
    return packet;
}

struct PageOptions {
    uint8_t flags = 0;
    uint32_t sequence = 1;
    bool lastPacketEnds = true;  // false: the last packet (a multiple of 255 bytes) goes on
};

inline Bytes Page(const std::vector<Bytes>& packets, PageOptions options = {}) {
    Bytes lacing, body;
    for (size_t i = 0; i < packets.size(); ++i) {
        lacing.insert(lacing.end(), packets[i].size() / 255, 255);
        if (options.lastPacketEnds || i + 1 < packets.size()) lacing.push_back(uint8_t(packets[i].size() % 255));
        Append(body, packets[i]);
    }
    Bytes page = ToBytes("OggS");
    page.insert(page.end(), {0, options.flags, 0x40, 0xAC, 0, 0, 0, 0, 0, 0});  // granule 44096
    for (uint32_t word : {0x5EB1A1u, options.sequence, 0u}) Append(page, LE32(word));
    page.push_back(uint8_t(lacing.size()));
    Append(page, lacing);
    Append(page, body);
    platform::StoreLE32(page.data() + 22, BitwisePageCrc(page));
    return page;
}

inline Bytes IdentificationPage() {
    Bytes packet = ToBytes("\x01vorbis");
    packet.resize(30, 0x11);
    return Page({packet}, {.flags = 0x02, .sequence = 0});
}

// Identification page, the comment page, one audio page.
inline Bytes OggFile(const Bytes& commentPage) {
    Bytes file = IdentificationPage();
    Append(file, commentPage);
    Append(file, Page({Bytes(300, 0x42)}, {.flags = 0x04, .sequence = 2}));
    return file;
}

inline Bytes OggFileWithComments(const std::vector<std::string>& entries) {
    return OggFile(Page({CommentPacket(entries), SetupPacket(400)}));
}

struct OggRun {
    TempDir dir;
    MDRecord record{};
    ogg::OggState state;
    platform::Buffer tags;
    platform::FileRange range;
    platform::GrowBuffer staged;
    uint32_t probed = 0;
    HRESULT hr = ZMTAGIO_E_FAIL;

    // The probe, then the reader when the probe accepted the file.
    explicit OggRun(const Bytes& file) {
        WriteFile(dir.File("in.ogg"), file);
        auto in = platform::File::Open(dir.File("in.ogg").c_str(), platform::File::Mode::Read);
        probed = ogg::GetOGGTagSize(in, record, state);
        if (record.isOgg && tags.Allocate(probed)) hr = ogg::ReadOGGFromFile(in, record, state, tags.span(), range);
    }
    std::string Field(int id) const { return FieldText(record, id); }
    HRESULT Edit(int id, const std::string& text) {
        MDField value{};
        value.size = int32_t(text.size());
        value.data = reinterpret_cast<uint8_t*>(const_cast<char*>(text.data()));
        return ogg::EditOGGField(record, staged, id, value);
    }
    // What the writer appends to an empty file; nothing when it refused.
    std::optional<Bytes> Write() {
        std::string out = dir.File("page.bin");
        auto file = platform::File::Open(out.c_str(), platform::File::Mode::CreateWrite);
        bool wrote = ogg::WriteOGGIntoFile(record, state, staged.bytes(), file);
        file.Close();
        EXPECT_TRUE(wrote || ReadFile(out).empty()) << "a refused page leaves nothing behind";
        return wrote ? std::optional(ReadFile(out)) : std::nullopt;
    }
};

}  // namespace zm::test::oggpages
