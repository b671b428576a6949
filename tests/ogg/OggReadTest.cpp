// The probe and the reader on hand-made files: what they take, what they
// refuse, and what they keep for the writer.
#include <gtest/gtest.h>

#include "ogg/OggTestPages.h"

namespace zm::test {
namespace {

using namespace oggpages;

struct ValuesCase {
    const char* name;
    std::vector<std::string> entries;
    std::string tagBuffer;                            // its size is what the probe returns
    std::vector<std::pair<int, std::string>> fields;  // every other field stays empty
};

class OggValues : public ::testing::TestWithParam<ValuesCase> {};

TEST_P(OggValues, ProbeSizesAndReaderFillsInPacketOrder) {
    const ValuesCase& c = GetParam();
    Bytes commentPage = Page({CommentPacket(c.entries), SetupPacket(400)});
    OggRun r(OggFile(commentPage));
    EXPECT_EQ(r.record.isOgg, 1u);
    ASSERT_EQ(r.hr, ZMTAGIO_S_OK);
    EXPECT_EQ(Hex(r.tags.data(), r.probed), Hex(ToBytes(c.tagBuffer)));
    for (int id = 1; id <= 16; ++id) {
        std::string expected;
        for (const auto& [fid, value] : c.fields)
            if (fid == id) expected = value;
        EXPECT_EQ(r.Field(id), expected) << "field " << id;
    }
    size_t start = IdentificationPage().size();
    EXPECT_EQ(r.range.start, start);
    EXPECT_EQ(r.range.end, start + commentPage.size());
    EXPECT_EQ(Hex(r.state.savedPage.data(), r.state.savedPage.size()), Hex(commentPage));
    EXPECT_TRUE(r.state.rebuildable);
}

INSTANTIATE_TEST_SUITE_P(
    Comments, OggValues,
    ::testing::Values(
        ValuesCase{"SongBand", {"title=Song", "Artist=Band"}, "SongBand", {{1, "Song"}, {5, "Band"}}},
        ValuesCase{"DuplicateKeepsRoom", {"TITLE=A", "TITLE=BB"}, std::string("A\0\0", 3), {{1, "A"}}},
        ValuesCase{"EmptyValueDoesNotFill", {"TITLE=", "TITLE=X"}, "X", {{1, "X"}}},
        ValuesCase{"NameMustEndAtEquals", {"ALBUMARTIST=Z", "DATETIME=2004", "TITLE", "date=1999"}, "1999",
                   {{12, "1999"}}},
        ValuesCase{"OnlyUnrecognised", {"ENCODER=x"}, "", {}},
        ValuesCase{"BytesAsStored", {"CoMmEnT=a=b", std::string("ARTIST=\xC3\xB6\0x", 11)},
                   std::string("a=b\xC3\xB6\0x", 7), {{16, "a=b"}, {5, std::string("\xC3\xB6\0x", 4)}}}),
    [](const auto& info) { return std::string(info.param.name); });

Bytes WithPacket(const Bytes& packet) { return OggFile(Page({packet, SetupPacket(100)})); }

// On a page that says the packet goes on, entries cut short are no error,
// so only the vendor and count checks can refuse it.
Bytes WithPacketGoingOn(Bytes packet) {
    packet.resize(510, 0);
    return OggFile(Page({packet}, {.lastPacketEnds = false}));
}

Bytes Patched(Bytes packet, size_t at, uint32_t value) {
    platform::StoreLE32(packet.data() + at, value);
    return packet;
}

constexpr size_t kFirstEntry = 11 + sizeof kVendor - 1 + 4;

Bytes Cut(Bytes bytes, size_t size) {
    bytes.resize(size);
    return bytes;
}

class OggRefused : public ::testing::TestWithParam<std::pair<const char*, Bytes>> {};

TEST_P(OggRefused, IsNotOgg) {
    OggRun r(GetParam().second);
    EXPECT_EQ(r.probed, 0u);
    EXPECT_EQ(r.record.isOgg, 0u);
    EXPECT_TRUE(r.state.head.empty());
}

const Bytes kTwoEntries = CommentPacket({"TITLE=A", "ARTIST=B"});
const Bytes kPageAfter10240 = [] {
    Bytes file = Cut(IdentificationPage(), 10300);
    Append(file, Page({CommentPacket({"TITLE=A"})}));
    return file;
}();

INSTANTIATE_TEST_SUITE_P(
    Hostile, OggRefused,
    ::testing::Values(
        std::pair("Empty", Bytes{}), std::pair("OneCapturePattern", IdentificationPage()),
        std::pair("FileEndsInPageHeader", Cut(OggFileWithComments({}), 58 + 26)),
        std::pair("CommentPageAfterSearchedBytes", kPageAfter10240),
        std::pair("OtherEncoder", WithPacket(CommentPacket("Lavf59.27.100", {"TITLE=A"}))),
        std::pair("VendorPrefixCut", WithPacket(CommentPacket("Xiph.Org libVorbi", {}))),
        std::pair("VendorLengthZero", WithPacketGoingOn(Patched(kTwoEntries, 7, 0))),
        std::pair("VendorLengthNegative", WithPacket(Patched(kTwoEntries, 7, 0x80000000u))),
        std::pair("VendorPastPacket", WithPacket(Patched(kTwoEntries, 7, 5000))),
        std::pair("CountNegative", WithPacketGoingOn(CommentPacket(kVendor, {"TITLE=A"}, 0xFFFFFFFFu))),
        std::pair("CountAbsurd", WithPacket(CommentPacket(kVendor, {"TITLE=A"}, 0x7FFFFFFFu))),
        std::pair("EntryPastPacket", WithPacket(Patched(kTwoEntries, kFirstEntry, 21))),
        std::pair("EntryLengthHuge", WithPacket(Patched(kTwoEntries, kFirstEntry, 0xFFFFFFF0u))),
        std::pair("PacketCutBeforeCount", OggFile(Page({Cut(CommentPacket({}), kFirstEntry - 4)}))),
        std::pair("ListPastSearchedBytes",
                  OggFile(Page({CommentPacket({"COMMENT=" + std::string(11000, 'c'), "TITLE=A"})})))),
    [](const auto& info) { return std::string(info.param.first); });

// Pages the writer could not rebuild are read as far as their bytes go and
// marked, so that the update fails instead of damaging the file.
TEST(OggRead, PagesTheWriterCannotRebuildAreReadAndMarked) {
    Bytes longPacket = CommentPacket({"TITLE=Song", "COMMENT=" + std::string(600, 'c')});
    Bytes complete = OggFileWithComments({"TITLE=Song"});
    for (const Bytes& file : {WithPacketGoingOn(Cut(longPacket, 510)),
                              OggFile(Page({CommentPacket({"TITLE=Song"})}, {.flags = 0x01})),  // continued page
                              Cut(complete, complete.size() - 400)}) {  // file ends inside the page
        OggRun r(file);
        ASSERT_EQ(r.hr, ZMTAGIO_S_OK);
        EXPECT_EQ(r.probed, 4u);
        EXPECT_EQ(r.Field(1), "Song");
        EXPECT_FALSE(r.state.rebuildable);
        EXPECT_EQ(r.Write(), std::nullopt);
    }
}

}  // namespace
}  // namespace zm::test
