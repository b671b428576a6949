// The probe and the reader on hand-made files: what they take, what they
// refuse, and that nothing outside the bytes read is ever used.
#include <gtest/gtest.h>

#include "ogg/OggTestPages.h"

namespace zm::test {
namespace {

using namespace oggpages;

struct ValuesCase {
    const char* name;
    std::vector<std::string> entries;
    uint32_t probed;
    std::string tagBuffer;
    std::vector<std::pair<int, std::string>> fields;  // every other field stays empty
};

class OggValues : public ::testing::TestWithParam<ValuesCase> {};

TEST_P(OggValues, ProbeSizesAndReaderFillsInPacketOrder) {
    const ValuesCase& c = GetParam();
    Bytes commentPage = Page({CommentPacket(c.entries), SetupPacket(400)});
    ReadBack r(OggFile(commentPage));
    EXPECT_EQ(r.record.isOgg, 1u);
    EXPECT_EQ(r.probed, c.probed);
    ASSERT_EQ(r.hr, ZMTAGIO_S_OK);
    EXPECT_EQ(r.TagBuffer(), c.tagBuffer);
    for (int id = 1; id <= 16; ++id) {
        std::string expected;
        for (const auto& [fid, value] : c.fields)
            if (fid == id) expected = value;
        EXPECT_EQ(r.Field(id), expected) << "field " << id;
    }
    // The page is kept whole, also when no value was recognised.
    size_t start = IdentificationPage().size();
    EXPECT_EQ(r.range.start, start);
    EXPECT_EQ(r.range.end, start + commentPage.size());
    EXPECT_EQ(Hex(r.state.savedPage.data(), r.state.savedPage.size()), Hex(commentPage));
    EXPECT_TRUE(r.state.rebuildable);
}

INSTANTIATE_TEST_SUITE_P(
    Comments, OggValues,
    ::testing::Values(
        ValuesCase{"SongBand", {"title=Song", "Artist=Band"}, 8, "SongBand", {{1, "Song"}, {5, "Band"}}},
        ValuesCase{"DuplicateKeepsRoom", {"TITLE=A", "TITLE=BB"}, 3, std::string("A\0\0", 3), {{1, "A"}}},
        ValuesCase{"EmptyValueDoesNotFill", {"TITLE=", "TITLE=X"}, 1, "X", {{1, "X"}}},
        ValuesCase{"NameMustEndAtEquals", {"ALBUMARTIST=Z", "DATETIME=2004", "TITLE", "DATE=1999"}, 4, "1999",
                   {{12, "1999"}}},
        ValuesCase{"OnlyUnrecognised", {"ENCODER=x", "REPLAYGAIN_TRACK_GAIN=-3 dB"}, 0, "", {}},
        ValuesCase{"UnrecognisedBetween", {"ENCODER=x", "genre=Rock", "X=Y", "CoMmEnT=a=b"}, 7, "Rocka=b",
                   {{11, "Rock"}, {16, "a=b"}}},
        ValuesCase{"ValuesAreBytesAsStored", {std::string("ARTIST=Bj\xC3\xB6rk\0x", 15)}, 8,
                   std::string("Bj\xC3\xB6rk\0x", 8), {{5, std::string("Bj\xC3\xB6rk\0x", 8)}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(OggFieldNames, EveryNameMapsToItsRowInAnyCase) {
    const char* names[] = {"title",    "version",      "album",       "tracknumber", "artist",  "performer",
                           "copyright", "license",     "organization", "description", "genre",   "date",
                           "location", "contact",      "isrc",        "comment"};
    for (int row = 0; row < 16; ++row) {
        std::string lower = std::string(names[row]) + "=v";
        EXPECT_EQ(ogg::FindOGGFieldName(ToBytes(lower)), row) << lower;
        EXPECT_STREQ(ogg::OGGFieldNameOf(row + 1), ogg::OGGFieldNames[row].name);
        EXPECT_EQ(ogg::OGGFieldNames[row].length, std::strlen(names[row]));
    }
    for (const char* other : {"", "=", "TITLE", "TITL=", "TITLEX=1", "ALBUMARTIST=Z", "T\xC3\x8DTLE=x"})
        EXPECT_EQ(ogg::FindOGGFieldName(ToBytes(other)), -1) << other;
    EXPECT_EQ(ogg::OGGFieldNameOf(0), nullptr);
    EXPECT_EQ(ogg::OGGFieldNameOf(17), nullptr);
}

// Files the probe must turn away: nothing set, the reader never runs.
struct RefusedCase {
    const char* name;
    Bytes file;
};

Bytes WithCommentPacket(const Bytes& packet) { return OggFile(Page({packet, SetupPacket(100)})); }

Bytes PacketWithVendorLength(uint32_t length) {
    Bytes packet = CommentPacket({"TITLE=A"});
    platform::StoreLE32(packet.data() + 7, length);
    return packet;
}

Bytes PacketWithEntryLength(uint32_t length) {
    Bytes packet = CommentPacket({"TITLE=A", "ARTIST=B"});
    platform::StoreLE32(packet.data() + 11 + sizeof kVendor - 1 + 4, length);
    return packet;
}

// A packet that the page says goes on: entries cut short there are not an
// error, so only the vendor and count checks can refuse it.
Bytes OnPageGoingOn(Bytes packet) {
    packet.resize(510, 0);
    return OggFile(Page({packet}, {.lastPacketEnds = false}));
}

Bytes PacketCutBeforeCount() {
    Bytes packet = CommentPacket({});
    packet.resize(packet.size() - 5);
    return packet;
}

// A packet that ends on its page but whose list runs past the first 10240 bytes.
Bytes ListPastTheSearchedBytes() {
    return OggFile(Page({CommentPacket({"TITLE=A", "COMMENT=" + std::string(11000, 'c'), "ARTIST=B"})}));
}

Bytes CommentPageBeyondSearchedBytes() {
    Bytes file = IdentificationPage();
    file.resize(10300, 0);
    Append(file, Page({CommentPacket({"TITLE=A"})}));
    return file;
}

Bytes FileEndingInPageHeader() {
    Bytes file = IdentificationPage();
    Bytes page = Page({CommentPacket({"TITLE=A"})});
    Append(file, Bytes(page.begin(), page.begin() + 26));
    return file;
}

std::vector<RefusedCase> RefusedCases() {
    return {
        {"Empty", {}},
        {"NotOgg", ToBytes("RIFF....WAVEfmt ")},
        {"OneCapturePattern", IdentificationPage()},
        {"FileEndsInPageHeader", FileEndingInPageHeader()},
        {"CommentPageBeyondSearchedBytes", CommentPageBeyondSearchedBytes()},
        {"OtherEncoder", WithCommentPacket(CommentPacket("Lavf59.27.100", {"TITLE=A"}))},
        {"VendorPrefixCut", WithCommentPacket(CommentPacket("Xiph.Org libVorbi", {"TITLE=A"}))},
        {"VendorLengthZero", WithCommentPacket(PacketWithVendorLength(0))},
        {"VendorLengthNegative", WithCommentPacket(PacketWithVendorLength(0x80000000u))},
        {"VendorPastPacket", WithCommentPacket(PacketWithVendorLength(5000))},
        {"CountNegative", WithCommentPacket(CommentPacket(kVendor, {"TITLE=A"}, 0xFFFFFFFFu))},
        {"CountNegativeOnPageGoingOn", OnPageGoingOn(CommentPacket(kVendor, {"TITLE=A"}, 0xFFFFFFFFu))},
        {"VendorLengthZeroOnPageGoingOn", OnPageGoingOn(PacketWithVendorLength(0))},
        {"CountAbsurd", WithCommentPacket(CommentPacket(kVendor, {"TITLE=A"}, 0x7FFFFFFFu))},
        {"CountOneTooMany", WithCommentPacket(CommentPacket(kVendor, {"TITLE=A"}, 2))},
        {"EntryPastPacket", WithCommentPacket(PacketWithEntryLength(21))},
        {"EntryLengthHuge", WithCommentPacket(PacketWithEntryLength(0xFFFFFFF0u))},
        {"PacketCutBeforeCount", OggFile(Page({PacketCutBeforeCount()}))},
        {"ListPastSearchedBytes", ListPastTheSearchedBytes()},
    };
}

class OggRefused : public ::testing::TestWithParam<RefusedCase> {};

TEST_P(OggRefused, IsNotOgg) {
    ReadBack r(GetParam().file);
    EXPECT_EQ(r.probed, 0u);
    EXPECT_EQ(r.record.isOgg, 0u);
    for (int id = 1; id <= 16; ++id) EXPECT_EQ(r.record.fields[id].size, 0);
    EXPECT_TRUE(r.state.head.empty());
}

INSTANTIATE_TEST_SUITE_P(Hostile, OggRefused, ::testing::ValuesIn(RefusedCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(OggRead, VendorOfReferenceEncoderWithAnyVersionIsAccepted) {
    ReadBack r(WithCommentPacket(CommentPacket("Xiph.Org libVorbis", {"GENRE=Jazz"})));
    EXPECT_EQ(r.probed, 4u);
    EXPECT_EQ(r.Field(11), "Jazz");
}

// The comment packet goes on past its page: the values that lie on the page
// are read, and the page is marked so that the writer never rebuilds it.
TEST(OggRead, PacketNotEndingOnItsPageIsReadButNotRebuildable) {
    Bytes packet = CommentPacket({"TITLE=Song", "ARTIST=Band", "COMMENT=" + std::string(600, 'c')});
    Bytes onPage(packet.begin(), packet.begin() + 510);
    Bytes rest(packet.begin() + 510, packet.end());
    Bytes file = IdentificationPage();
    Append(file, Page({onPage}, {.lastPacketEnds = false}));
    Append(file, Page({rest}, {.flags = 0x01, .sequence = 2}));
    ReadBack r(file);
    EXPECT_EQ(r.record.isOgg, 1u);
    EXPECT_EQ(r.probed, 8u);
    ASSERT_EQ(r.hr, ZMTAGIO_S_OK);
    EXPECT_EQ(r.Field(1), "Song");
    EXPECT_EQ(r.Field(5), "Band");
    EXPECT_EQ(r.Field(16), "");
    EXPECT_FALSE(r.state.rebuildable);
}

TEST(OggRead, PageContinuingAnEarlierPacketIsNotRebuildable) {
    Bytes file = IdentificationPage();
    Append(file, Page({CommentPacket({"TITLE=Song"})}, {.flags = 0x01}));
    ReadBack r(file);
    ASSERT_EQ(r.hr, ZMTAGIO_S_OK);
    EXPECT_EQ(r.Field(1), "Song");
    EXPECT_FALSE(r.state.rebuildable);
}

TEST(OggRead, FileEndingInsideThePageIsNotRebuildable) {
    Bytes file = IdentificationPage();
    Bytes page = Page({CommentPacket({"TITLE=Song"}), SetupPacket(3000)});
    Append(file, Bytes(page.begin(), page.end() - 100));
    ReadBack r(file);
    ASSERT_EQ(r.hr, ZMTAGIO_S_OK);
    EXPECT_EQ(r.Field(1), "Song");
    EXPECT_FALSE(r.state.rebuildable);
}

// A page larger than the searched bytes is read whole from the file.
TEST(OggRead, PageLongerThanSearchedBytesIsSavedWhole) {
    Bytes page = Page({CommentPacket({"TITLE=Song"}), SetupPacket(30000)});
    ReadBack r(OggFile(page));
    ASSERT_EQ(r.hr, ZMTAGIO_S_OK);
    EXPECT_TRUE(r.state.rebuildable);
    EXPECT_EQ(Hex(r.state.savedPage.data(), r.state.savedPage.size()), Hex(page));
}

TEST(OggRead, ReaderNeverWritesPastItsDestination) {
    ReadBack r(OggFileWithComments({"TITLE=Song", "ARTIST=Band"}));
    ASSERT_EQ(r.probed, 8u);
    MDRecord record{};
    ogg::OggState state;
    platform::FileRange range;
    uint8_t small[5] = {};
    auto in = platform::File::Open(r.path.c_str(), platform::File::Mode::Read);
    EXPECT_EQ(ogg::ReadOGGFromFile(in, record, state, small, range), ZMTAGIO_E_FAIL);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(small), 4), "Song");
    EXPECT_EQ(record.fields[5].size, 0);
}

TEST(OggRead, ReaderFailsOnAnEmptyFile) {
    TempDir dir;
    WriteFile(dir.File("e.ogg"), {});
    auto in = platform::File::Open(dir.File("e.ogg").c_str(), platform::File::Mode::Read);
    MDRecord record{};
    ogg::OggState state;
    platform::FileRange range;
    EXPECT_EQ(ogg::ReadOGGFromFile(in, record, state, {}, range), ZMTAGIO_E_FAIL);
}

}  // namespace
}  // namespace zm::test
