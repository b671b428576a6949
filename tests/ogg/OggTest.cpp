// The probe, the reader and the writer on hand-made files: what they take, what they refuse, and the rebuilt comment
// page byte for byte against pages made by the test's own builder, with a checksum computed bit by bit, independently
// of the table-driven one. Damaged input beyond these cases is the fuzzers' part.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>

#include "ogg/Ogg.h"
#include "support/TestSupport.h"

namespace zm::test {
namespace {

using namespace std::string_literals;

constexpr char kVendor[] = "Xiph.Org libVorbis I 20200704 (Reducing Environment)";

Bytes LE32(uint32_t v) { return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}; }
Bytes Cut(Bytes bytes, size_t size) { return bytes.resize(size), bytes; }

uint32_t BitwisePageCrc(const Bytes& page) {
    uint32_t crc = 0;
    for (size_t i = 0; i < page.size(); ++i) {
        crc ^= uint32_t(i >= 22 && i < 26 ? 0 : page[i]) << 24;
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x80000000u) ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
    }
    return crc;
}

// count replaces the true number of entries when given.
Bytes CommentPacket(const std::string& vendor, const std::vector<std::string>& entries,
                    std::optional<uint32_t> count = {}) {
    Bytes packet = ToBytes("\x03vorbis") + LE32(uint32_t(vendor.size())) + ToBytes(vendor) +
                   LE32(count.value_or(uint32_t(entries.size())));
    for (const auto& e : entries) packet = packet + LE32(uint32_t(e.size())) + ToBytes(e);
    return packet + Bytes{0x01};
}

Bytes CommentPacket(const std::vector<std::string>& entries) { return CommentPacket(kVendor, entries); }

Bytes SetupPacket(size_t size) {
    Bytes packet = ToBytes("\x05vorbis");
    for (size_t i = packet.size(); i < size; ++i) packet.push_back(uint8_t(i * 7 + 3));
    return packet;
}

// lastPacketEnds false: the last packet (a multiple of 255 bytes) goes on.
Bytes Page(const std::vector<Bytes>& packets, uint8_t flags = 0, uint32_t sequence = 1, bool lastPacketEnds = true) {
    Bytes lacing, body;
    for (size_t i = 0; i < packets.size(); ++i) {
        lacing.insert(lacing.end(), packets[i].size() / 255, 255);
        if (lastPacketEnds || i + 1 < packets.size()) lacing.push_back(uint8_t(packets[i].size() % 255));
        body = body + packets[i];
    }
    Bytes page = Bytes{'O', 'g', 'g', 'S', 0, flags, 0x40, 0xAC, 0, 0, 0, 0, 0, 0} +  // granule 44096
                 LE32(0x5EB1A1u) + LE32(sequence) + LE32(0) + Bytes{uint8_t(lacing.size())} + lacing + body;
    platform::StoreLE32(page.data() + 22, BitwisePageCrc(page));
    return page;
}

Bytes IdentificationPage() { return Page({ToBytes("\x01vorbis") + Bytes(23, 0x11)}, 0x02, 0); }

// Identification page, the comment page, one audio page.
Bytes OggFile(const Bytes& page) { return IdentificationPage() + page + Page({Bytes(300, 0x42)}, 0x04, 2); }

Bytes WithPacket(const Bytes& packet) { return OggFile(Page({packet, SetupPacket(100)})); }

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
    // The recognised fields, id=value; in id order.
    std::string Fields() const {
        std::string out;
        for (int id = 1; id <= 16; ++id)
            if (const MDField& f = record.fields[id]; f.size > 0 && f.data)
                out += std::to_string(id) + "=" + std::string(reinterpret_cast<char*>(f.data), size_t(f.size)) + ";";
        return out;
    }
    HRESULT Edit(int id, const std::string& text) {
        MDField value{int32_t(text.size()), reinterpret_cast<uint8_t*>(const_cast<char*>(text.data())), {}, {}, 0, {}};
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


TEST(OggRead, ProbeSizesAndReaderFillsInPacketOrder) {
    struct Case {
        std::vector<std::string> entries;
        std::string tagBuffer;  // its size is what the probe returns
        std::string fields;
    } cases[] = {
        {{"title=Song", "Artist=Band"}, "SongBand", "1=Song;5=Band;"},
        {{"TITLE=A", "TITLE=BB"}, "A\0\0"s, "1=A;"},  // the duplicate keeps its room
        {{"TITLE=", "TITLE=X"}, "X", "1=X;"},         // an empty value does not fill the field
        {{"ALBUMARTIST=Z", "DATETIME=2004", "TITLE", "date=1999"}, "1999", "12=1999;"},
        {{"ENCODER=x"}, "", ""},
        {{"CoMmEnT=a=b", "ARTIST=\xC3\xB6\0x"s}, "a=b\xC3\xB6\0x"s, "5=\xC3\xB6\0x;16=a=b;"s},
    };
    for (const Case& c : cases) {
        Bytes commentPage = Page({CommentPacket(c.entries), SetupPacket(400)});
        OggRun r(OggFile(commentPage));
        ASSERT_EQ(r.hr, ZMTAGIO_S_OK) << c.fields;
        EXPECT_EQ(Hex(r.tags.data(), r.probed), Hex(ToBytes(c.tagBuffer))) << c.fields;
        EXPECT_EQ(r.Fields(), c.fields);
        EXPECT_EQ(r.range.start, IdentificationPage().size()) << c.fields;
        EXPECT_EQ(r.range.end, IdentificationPage().size() + commentPage.size()) << c.fields;
        EXPECT_EQ(Hex(r.state.savedPage.data(), r.state.savedPage.size()), Hex(commentPage)) << c.fields;
        EXPECT_TRUE(r.state.rebuildable) << c.fields;
    }
}

// On a page that says the packet goes on, entries cut short are no error, so only the vendor and count checks can
// refuse it.
Bytes WithPacketGoingOn(const Bytes& packet) { return OggFile(Page({Cut(packet, 510)}, 0, 1, false)); }

Bytes Patched(Bytes packet, size_t at, uint32_t value) {
    platform::StoreLE32(packet.data() + at, value);
    return packet;
}

TEST(OggRead, HostileFilesAreNotOgg) {
    const size_t firstEntry = 11 + sizeof kVendor - 1 + 4;
    const Bytes two = CommentPacket({"TITLE=A", "ARTIST=B"});
    Bytes pageAfter10240 = Cut(IdentificationPage(), 10300) + Page({CommentPacket({"TITLE=A"})});
    const std::pair<const char*, Bytes> cases[] = {
        {"empty", {}},
        {"one capture pattern", IdentificationPage()},
        {"file ends in page header", Cut(WithPacket(CommentPacket({})), 58 + 26)},
        {"comment page after the searched bytes", pageAfter10240},
        {"other encoder", WithPacket(CommentPacket("Lavf59.27.100", {"TITLE=A"}))},
        {"vendor prefix cut", WithPacket(CommentPacket("Xiph.Org libVorbi", {}))},
        {"vendor length zero", WithPacketGoingOn(Patched(two, 7, 0))},
        {"vendor length negative", WithPacket(Patched(two, 7, 0x80000000u))},
        {"vendor past packet", WithPacket(Patched(two, 7, 5000))},
        {"count negative", WithPacketGoingOn(CommentPacket(kVendor, {"TITLE=A"}, 0xFFFFFFFFu))},
        {"count absurd", WithPacket(CommentPacket(kVendor, {"TITLE=A"}, 0x7FFFFFFFu))},
        {"entry past packet", WithPacket(Patched(two, firstEntry, 21))},
        {"entry length huge", WithPacket(Patched(two, firstEntry, 0xFFFFFFF0u))},
        {"packet cut before count", OggFile(Page({Cut(CommentPacket({}), firstEntry - 4)}))},
        {"list past the searched bytes",
         OggFile(Page({CommentPacket({"COMMENT=" + std::string(11000, 'c'), "TITLE=A"})}))},
    };
    for (const auto& [name, file] : cases) {
        OggRun r(file);
        EXPECT_EQ(r.probed, 0u) << name;
        EXPECT_EQ(r.record.isOgg, 0u) << name;
        EXPECT_TRUE(r.state.head.empty()) << name;
    }
}

// Pages the writer could not rebuild are read as far as their bytes go and marked, so that the update fails instead of
// damaging the file; the writer also refuses without a saved page, and a packet of more than 255 segments.
TEST(OggWrite, RefusesWhatWouldNotMakeAConsistentPage) {
    EXPECT_EQ(OggRun(Bytes{}).Write(), std::nullopt);
    OggRun tooLarge(OggFile(Page({CommentPacket({"TITLE=Song"}), SetupPacket(400)})));
    tooLarge.Edit(16, std::string(255 * 253, 'z'));  // 254 + 2 segments
    EXPECT_EQ(tooLarge.Write(), std::nullopt);
    Bytes longPacket = CommentPacket({"TITLE=Song", "COMMENT=" + std::string(600, 'c')});
    Bytes complete = WithPacket(CommentPacket({"TITLE=Song"}));
    for (const Bytes& file : {WithPacketGoingOn(Cut(longPacket, 510)),
                              OggFile(Page({CommentPacket({"TITLE=Song"})}, 0x01)),  // continued page
                              Cut(complete, complete.size() - 400)}) {               // file ends inside the page
        OggRun r(file);
        ASSERT_EQ(r.hr, ZMTAGIO_S_OK);
        EXPECT_EQ(r.probed, 4u);
        EXPECT_EQ(r.Fields(), "1=Song;");
        EXPECT_FALSE(r.state.rebuildable);
        EXPECT_EQ(r.Write(), std::nullopt);
    }
}

// The vendor length sets the packet size: 16 + V bytes with no comments. The setup packet behind it keeps its lacing
// values 255, 255, 190.
TEST(OggWrite, PacketGetsItsLacingAndTheSetupPacketKeepsIts) {
    for (auto [packetSize, lacing] : {std::pair(254, "04feffffbe"), {255, "05ff00ffffbe"}, {510, "06ffff00ffffbe"}}) {
        std::string vendor = "Xiph.Org libVorbis";
        vendor.resize(size_t(packetSize) - 16, 'v');
        OggRun r(OggFile(Page({CommentPacket(vendor, {"ENCODER=dropped"}), SetupPacket(700)})));
        auto page = r.Write();
        ASSERT_TRUE(page);
        EXPECT_EQ(Hex(*page), Hex(Page({CommentPacket(vendor, {}), SetupPacket(700)})));
        EXPECT_EQ(Hex(page->data() + 26, std::strlen(lacing) / 2), lacing);
    }
}

// Unchanged fields come first in field order under upper-case names, then the staged entries in staging order, one per
// field however often it was edited or cleared; unrecognised names and repeats are not carried over; the page header
// and the setup packet stay. The page is larger than the bytes searched, so its end is read from the file.
TEST(OggWrite, RebuildsPacketFromFieldsThenStagedEntries) {
    Bytes setup = SetupPacket(12000), packet = CommentPacket({"title=Song", "Artist=Band", "ENCODER=x", "TITLE=Dup",
                                                              "date=2001", "genre=Pop", "ALBUM=A"});
    OggRun r(OggFile(Page({packet, setup}, 0, 7)));
    for (auto [id, value] : {std::pair(5, "Other"), {16, "first"}, {11, ""}, {3, "B"}, {3, ""}})
        EXPECT_EQ(r.Edit(id, value), ZMTAGIO_S_OK) << id << value;
    EXPECT_EQ(r.Edit(16, std::string(1000, 'z')), ZMTAGIO_S_OK);
    for (int id : {0, 17}) EXPECT_EQ(r.Edit(id, "x"), ZMTAGIO_E_INVALIDARG);
    auto page = r.Write();
    ASSERT_TRUE(page);
    packet = CommentPacket({"TITLE=Song", "DATE=2001", "ARTIST=Other", "COMMENT=" + std::string(1000, 'z')});
    EXPECT_EQ(Hex(*page), Hex(Page({packet, setup}, 0, 7)));
}

}  // namespace
}  // namespace zm::test
