// The rebuilt comment page byte for byte against pages made by the test's own
// builder (with its own checksum), the writer's refusals, and edit staging.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "ogg/OggTestPages.h"

namespace zm::test {
namespace {

using namespace oggpages;

// The vendor length sets the packet size: 16 + V bytes with no comments. The
// setup packet behind it keeps its lacing values 255, 255, 190.
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

// Unchanged fields come first in field order under upper-case names, then the
// staged entries in staging order; unrecognised names and repeats are not
// carried over; the page header and the setup packet stay. The page is larger
// than the bytes searched, so its end is read from the file.
TEST(OggWrite, RebuildsPacketFromFieldsThenStagedEntries) {
    Bytes setup = SetupPacket(12000);
    PageOptions options{.flags = 0, .sequence = 7};
    OggRun r(OggFile(Page(
        {CommentPacket({"title=Song", "Artist=Band", "ENCODER=x", "TITLE=Dup", "date=2001", "genre=Pop"}), setup},
        options)));
    EXPECT_EQ(r.Edit(5, "Other"), ZMTAGIO_S_OK);
    EXPECT_EQ(r.Edit(16, "first"), ZMTAGIO_S_OK);
    EXPECT_EQ(r.Edit(11, ""), ZMTAGIO_S_OK);
    EXPECT_EQ(r.Edit(16, std::string(1000, 'z')), ZMTAGIO_S_OK);
    auto page = r.Write();
    ASSERT_TRUE(page);
    Bytes packet = CommentPacket({"TITLE=Song", "DATE=2001", "ARTIST=Other", "COMMENT=" + std::string(1000, 'z')});
    EXPECT_EQ(Hex(*page), Hex(Page({packet, setup}, options)));
}

TEST(OggWrite, RefusesWhatWouldNotMakeAConsistentPage) {
    EXPECT_EQ(OggRun(Bytes{}).Write(), std::nullopt);  // no saved page
    OggRun tooLarge(OggFileWithComments({"TITLE=Song"}));
    tooLarge.Edit(16, std::string(255 * 253, 'z'));  // 254 + 2 segments
    EXPECT_EQ(tooLarge.Write(), std::nullopt);

    // The comment count must match the entries: a changed field without its
    // entry, or an entry of another size than its field, is refused.
    OggRun lost(OggFileWithComments({"TITLE=Song"}));
    lost.record.fields[5].size = 3;  // changed, data null, no entry
    EXPECT_EQ(lost.Write(), std::nullopt);
    OggRun resized(OggFileWithComments({"TITLE=Song"}));
    resized.Edit(5, "abc");
    resized.record.fields[5].size = 2;
    EXPECT_EQ(resized.Write(), std::nullopt);
}

// Kind-3 staging: a complete entry, and one entry per field however often it
// is edited or cleared.
TEST(OggEdit, OneStagedEntryPerField) {
    OggRun r(OggFileWithComments({"ALBUM=Disc"}));
    auto entry = [](const std::string& text) { return Hex(LE32(uint32_t(text.size()))) + Hex(ToBytes(text)); };
    EXPECT_EQ(r.Edit(1, "Song"), ZMTAGIO_S_OK);
    EXPECT_EQ(Hex(r.staged.data, r.staged.used), "0a000000" + Hex(ToBytes("TITLE=Song")));  // 14 bytes
    EXPECT_EQ(r.record.fields[1].size, 4);
    EXPECT_EQ(static_cast<const void*>(r.record.fields[1].data), nullptr);
    r.Edit(5, "B");
    r.Edit(1, "CC");
    EXPECT_EQ(Hex(r.staged.data, r.staged.used), entry("ARTIST=B") + entry("TITLE=CC"));
    r.Edit(5, "");
    r.Edit(3, "");
    EXPECT_EQ(Hex(r.staged.data, r.staged.used), entry("TITLE=CC"));
    EXPECT_EQ(r.Field(3), "");
    EXPECT_EQ(r.record.fields[5].size, 0);
    for (int id : {0, 17}) EXPECT_EQ(r.Edit(id, "x"), ZMTAGIO_E_INVALIDARG);
}

// Damaged files: whatever the probe accepts is read within its bytes (the
// sanitizer build checks that), and any page the writer then produces is
// whole: its segment table adds up and its checksum holds.
TEST(OggDamage, AcceptedFilesAreRebuiltIntoWholePages) {
    const Bytes good = OggFileWithComments({"TITLE=Song", "ARTIST=Band", "DATE=1999"});
    std::mt19937 random(4711);
    int rebuilt = 0;
    for (int round = 0; round < 400; ++round) {
        Bytes file = good;
        for (uint32_t flips = 1 + random() % 3; flips > 0; --flips) file[random() % 260] = uint8_t(random());
        if (round % 4 == 0) file.resize(random() % file.size());
        OggRun r(file);
        if (!r.record.isOgg || r.hr != ZMTAGIO_S_OK) continue;
        r.Edit(1, "New");
        auto page = r.Write();
        if (!page) continue;
        ++rebuilt;
        size_t size = 27 + (*page)[26];
        for (size_t i = 0; i < (*page)[26]; ++i) size += (*page)[27 + i];
        ASSERT_EQ(size, page->size()) << "round " << round;  // the segment table adds up
        EXPECT_EQ(StoredCrc(*page), BitwisePageCrc(*page)) << "round " << round;
    }
    EXPECT_GT(rebuilt, 100);
}

}  // namespace
}  // namespace zm::test
