// The rebuilt comment page, byte for byte, against pages made by the test's
// own builder (with its own bit-by-bit checksum), and the page checksum
// against pages written by a real encoder.
#include <gtest/gtest.h>

#include <random>

#include "ogg/OggTestPages.h"

namespace zm::test {
namespace {

using namespace oggpages;

// What WriteOGGIntoFile appends to an empty file, and whether it said it wrote.
struct Rebuilt {
    bool wrote = false;
    Bytes bytes;
};

Rebuilt Rebuild(ReadBack& r, const platform::GrowBuffer& staged) {
    std::string path = r.dir.File("page.bin");
    Rebuilt result;
    {
        auto out = platform::File::Open(path.c_str(), platform::File::Mode::CreateWrite);
        result.wrote = ogg::WriteOGGIntoFile(r.record, r.state, staged.bytes(), out);
    }
    result.bytes = ReadFile(path);
    return result;
}

MDField Value(const std::string& text) {
    return FieldOf(int32_t(text.size()), reinterpret_cast<uint8_t*>(const_cast<char*>(text.data())));
}

void Edit(ReadBack& r, platform::GrowBuffer& staged, int id, const std::string& text) {
    MDField value = Value(text);
    ASSERT_EQ(ogg::EditOGGField(r.record, staged, id, value), ZMTAGIO_S_OK);
}

std::string VendorOfLength(size_t length) {
    std::string vendor = "Xiph.Org libVorbis";
    vendor.resize(length, 'v');
    return vendor;
}

// Packet sizes around the lacing boundaries: the vendor length sets the
// packet size, 16 + V bytes with no comments.
struct LacingCase {
    size_t packetSize;
    const char* lacing;
};

class OggLacing : public ::testing::TestWithParam<LacingCase> {};

TEST_P(OggLacing, PacketGetsItsLacingAndTheSetupPacketKeepsIts) {
    std::string vendor = VendorOfLength(GetParam().packetSize - 16);
    Bytes setup = SetupPacket(700);
    ReadBack r(OggFile(Page({CommentPacket(vendor, {"ENCODER=dropped"}), setup}, {.sequence = 1})));
    ASSERT_EQ(r.hr, ZMTAGIO_S_OK);
    platform::GrowBuffer staged;
    Rebuilt page = Rebuild(r, staged);
    ASSERT_TRUE(page.wrote);
    Bytes expected = Page({CommentPacket(vendor, {}), setup}, {.sequence = 1});
    EXPECT_EQ(Hex(page.bytes), Hex(expected));
    std::string lacing = GetParam().lacing;
    EXPECT_EQ(Hex(page.bytes.data() + 27, lacing.size() / 2), lacing);
    EXPECT_EQ(page.bytes[26], lacing.size() / 2 + 3);  // the setup packet's 255, 255, 190
}

INSTANTIATE_TEST_SUITE_P(Boundaries, OggLacing,
                         ::testing::Values(LacingCase{254, "fe"}, LacingCase{255, "ff00"},
                                           LacingCase{510, "ffff00"}, LacingCase{256, "ff01"}),
                         [](const auto& info) { return std::to_string(info.param.packetSize); });

// Unchanged fields first in field order under their upper-case names, then
// the staged entries in the order they were staged; unrecognised names and
// second occurrences are not carried over; header fields stay.
TEST(OggWrite, RebuildsPacketFromFieldsThenStagedEntries) {
    PageOptions options{.flags = 0, .sequence = 7, .granule = 0};
    Bytes setup = SetupPacket(3000);
    ReadBack r(OggFile(Page({CommentPacket({"title=Song", "Artist=Band", "ENCODER=x", "TITLE=Dup", "date=2001",
                                            "genre=Pop"}),
                             setup},
                            options)));
    ASSERT_EQ(r.hr, ZMTAGIO_S_OK);
    platform::GrowBuffer staged;
    Edit(r, staged, 5, "Other");
    Edit(r, staged, 16, "new comment");
    MDField clear{};
    ASSERT_EQ(ogg::EditOGGField(r.record, staged, 11, clear), ZMTAGIO_S_OK);
    Rebuilt page = Rebuild(r, staged);
    ASSERT_TRUE(page.wrote);
    Bytes expected =
        Page({CommentPacket({"TITLE=Song", "DATE=2001", "ARTIST=Other", "COMMENT=new comment"}), setup}, options);
    EXPECT_EQ(Hex(page.bytes), Hex(expected));
    EXPECT_EQ(StoredCrc(page.bytes), BitwisePageCrc(page.bytes));
}

TEST(OggWrite, AllFieldsEmptyLeavesVendorAndNoComments) {
    ReadBack r(OggFileWithComments({"TITLE=Song", "ARTIST=Band"}));
    for (int id = 1; id <= 16; ++id) r.record.fields[id].size = 0;
    platform::GrowBuffer staged;
    Rebuilt page = Rebuild(r, staged);
    ASSERT_TRUE(page.wrote);
    Bytes packet = CommentPacket({});
    EXPECT_EQ(packet.size(), 16 + sizeof kVendor - 1);
    EXPECT_EQ(Hex(page.bytes), Hex(Page({packet, SetupPacket(400)})));
}

TEST(OggWrite, ValueFillingManySegmentsIsLacedExactly) {
    ReadBack r(OggFileWithComments({"TITLE=Song"}));
    platform::GrowBuffer staged;
    std::string comment(20000, 'z');
    Edit(r, staged, 16, comment);
    Rebuilt page = Rebuild(r, staged);
    ASSERT_TRUE(page.wrote);
    EXPECT_EQ(Hex(page.bytes), Hex(Page({CommentPacket({"TITLE=Song", "COMMENT=" + comment}), SetupPacket(400)})));
}

// Each of these leaves the file without a comment page, so nothing at all
// may be written and the caller must be told.
TEST(OggWrite, RefusesWhatItCannotRebuild) {
    platform::GrowBuffer none;
    {
        SCOPED_TRACE("no saved page");
        ReadBack r(Bytes{});
        Rebuilt page = Rebuild(r, none);
        EXPECT_FALSE(page.wrote);
        EXPECT_TRUE(page.bytes.empty());
    }
    {
        SCOPED_TRACE("packet goes on past its page");
        Bytes file = IdentificationPage();
        Bytes packet = CommentPacket({"TITLE=Song", "COMMENT=" + std::string(600, 'c')});
        Append(file, Page({Bytes(packet.begin(), packet.begin() + 255)}, {.lastPacketEnds = false}));
        ReadBack r(file);
        ASSERT_EQ(r.hr, ZMTAGIO_S_OK);
        Rebuilt page = Rebuild(r, none);
        EXPECT_FALSE(page.wrote);
        EXPECT_TRUE(page.bytes.empty());
    }
    {
        SCOPED_TRACE("more than 255 segments");
        ReadBack r(OggFileWithComments({"TITLE=Song"}));
        platform::GrowBuffer staged;
        Edit(r, staged, 16, std::string(255 * 253, 'z'));
        Rebuilt page = Rebuild(r, staged);
        EXPECT_FALSE(page.wrote);
        EXPECT_TRUE(page.bytes.empty());
    }
}

// The comment count must match the entries: a changed field without its
// staged entry, an entry without its changed field, or an entry of another
// size than its field says are refused.
TEST(OggWrite, RefusesStagedEntriesThatDisagreeWithTheFields) {
    ReadBack r(OggFileWithComments({"TITLE=Song"}));
    auto entry = Entry;
    struct Case {
        const char* name;
        int markedId;  // field marked as changed (size 3, data null), 0 for none
        Bytes staged;
    } cases[] = {
        {"changed field without entry", 5, {}},
        {"entry without changed field", 0, entry("ARTIST=abc")},
        {"entry of another size", 5, entry("ARTIST=abcd")},
        {"two entries for one field", 5, [&] {
             Bytes b = entry("ARTIST=abc");
             Append(b, entry("ARTIST=xyz"));
             return b;
         }()},
        {"unknown name", 5, [&] {
             Bytes b = entry("ARTIST=abc");
             Append(b, entry("OTHER=1"));
             return b;
         }()},
        {"entry cut short", 5, [&] {
             Bytes b = entry("ARTIST=abc");
             b.pop_back();
             return b;
         }()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MDField saved = r.record.fields[5];
        if (c.markedId) r.record.fields[c.markedId] = FieldOf(3, nullptr);
        platform::GrowBuffer staged;
        platform::AppendToBuffer(c.staged.data(), uint32_t(c.staged.size()), staged);
        Rebuilt page = Rebuild(r, staged);
        EXPECT_FALSE(page.wrote);
        EXPECT_TRUE(page.bytes.empty());
        r.record.fields[5] = saved;
    }
}

// Damaged files: whatever the probe accepts is read within its bytes (the
// sanitizer build checks that), and whatever page the writer then produces is
// whole: its segment table adds up and its checksum holds.
TEST(OggDamage, AcceptedFilesAreRebuiltIntoWholePages) {
    const Bytes good = OggFile(Page({CommentPacket({"TITLE=Song", "ARTIST=Band", "DATE=1999"}), SetupPacket(300)}));
    const size_t damageable = IdentificationPage().size() + 200;
    std::mt19937 random(4711);
    int rebuilt = 0;
    for (int round = 0; round < 400; ++round) {
        Bytes file = good;
        for (uint32_t flips = 1 + random() % 3; flips > 0; --flips) file[random() % damageable] = uint8_t(random());
        if (round % 4 == 0) file.resize(random() % file.size());
        ReadBack r(file);
        if (!r.record.isOgg || r.hr != ZMTAGIO_S_OK) continue;
        platform::GrowBuffer staged;
        Edit(r, staged, 1, "New");
        Rebuilt page = Rebuild(r, staged);
        if (!page.wrote) continue;
        ++rebuilt;
        ASSERT_GE(page.bytes.size(), 27u);
        size_t size = 27 + page.bytes[26];
        for (size_t i = 0; i < page.bytes[26] && 27 + i < page.bytes.size(); ++i) size += page.bytes[27 + i];
        EXPECT_EQ(size, page.bytes.size()) << "round " << round;
        EXPECT_EQ(StoredCrc(page.bytes), BitwisePageCrc(page.bytes)) << "round " << round;
    }
    EXPECT_GT(rebuilt, 100);
}

TEST(OggChecksum, MatchesBitwiseChecksumWhateverTheSplit) {
    std::mt19937 random(20240611);
    for (size_t size : {27u, 28u, 300u, 4096u, 65307u}) {
        Bytes page(size);
        for (auto& b : page) b = uint8_t(random());
        for (size_t split : {size_t(26), size_t(27), size / 2, size}) {
            if (split < 26) continue;
            Bytes header(page.begin(), page.begin() + split), body(page.begin() + split, page.end());
            ogg::OGGPageChecksum(header, body);
            EXPECT_EQ(StoredCrc(header), BitwisePageCrc(page)) << size << " split " << split;
        }
    }
    Bytes tooShort(25, 0xAB);
    ogg::OGGPageChecksum(tooShort, {});
    EXPECT_EQ(tooShort, Bytes(25, 0xAB));
}

// Every page of a file made by the reference encoder carries the checksum we
// compute for it.
TEST(OggChecksum, AgreesWithEveryPageOfAnEncodedFile) {
    TempDir dir;
    std::string path = dir.File("enc.ogg");
    ASSERT_TRUE(MakeOgg(path, {"TITLE=Song", "COMMENT=" + std::string(3000, 'q')}, 2.0));
    Bytes file = ReadFile(path);
    int pages = 0;
    for (size_t at = 0; at + 27 <= file.size(); ++pages) {
        size_t headerSize = 27 + file[at + 26];
        ASSERT_LE(at + headerSize, file.size());
        size_t bodySize = 0;
        for (size_t i = 0; i < file[at + 26]; ++i) bodySize += file[at + 27 + i];
        ASSERT_LE(at + headerSize + bodySize, file.size());
        Bytes header(file.begin() + at, file.begin() + at + headerSize);
        uint32_t stored = StoredCrc(header);
        ogg::OGGPageChecksum(header, {file.data() + at + headerSize, bodySize});
        EXPECT_EQ(StoredCrc(header), stored) << "page at " << at;
        at += headerSize + bodySize;
    }
    EXPECT_GE(pages, 3);
}

}  // namespace
}  // namespace zm::test
