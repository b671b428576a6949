// Reading hand-made headers: the attributes of every storing object in the
// runtime's form, the computed attributes, absent and repeated names.
#include <gtest/gtest.h>

#include "AsfFiles.h"

namespace zm::test::asf {
namespace {

using namespace zm::asf;

const ObjectGuid kSomeGuid = ParseGuid("01234567-89AB-CDEF-0123-456789ABCDEF");

Bytes EveryKindFile() {
    return AsfFile({
        FileProperties(),
        StreamProperties(kAudioMedia),
        ContentDescription({u"Song", u"", u"(c) 2001", u"", u"5"}),
        ExtendedContent({
            {u"WM/Genre", 0, Wide(u"Jazz")},
            {u"WM/Picture", 1, {1, 2, 3}},
            {u"WM/IsVBR", 2, Le(1, 4)},
            {u"WM/Track", 3, Le(0x01020304, 4)},
            {u"WM/EncodingTime", 4, Le(0x0102030405060708, 8)},
            {u"WM/Word", 5, Le(0xBEEF, 2)},
            {u"WM/Unterminated", 0, {'A', 0}},
        }),
        HeaderExtension({
            MetadataList(kMetadata, {{u"WM/Shared", 2, Le(1, 2)}, {u"WM/StreamOnly", 0, Wide(u"s1"), 1}}),
            MetadataList(kMetadataLibrary, {{u"WM/Id", 6, Bytes(kSomeGuid.begin(), kSomeGuid.end())},
                                            {u"WM/Lyrics", 0, Wide(u"la la"), 0, 2}}),
        }),
    });
}

TEST(AsfReadTest, AttributesOfEveryStoringObjectInRuntimeForm) {
    TempDir dir;
    WriteFile(dir.File("a.wma"), EveryKindFile());
    auto reader = OpenReader(dir.File("a.wma"));
    ASSERT_GE(reader.hr, 0);
    struct Row {
        std::u16string name;
        WMT_ATTR_DATATYPE type;
        Bytes bytes;
    } rows[] = {
        {u"Title", WMT_TYPE_STRING, Wide(u"Song")},
        {u"Copyright", WMT_TYPE_STRING, Wide(u"(c) 2001")},
        {u"Rating", WMT_TYPE_STRING, Wide(u"5")},
        {u"WM/Genre", WMT_TYPE_STRING, Wide(u"Jazz")},
        {u"WM/Picture", WMT_TYPE_BINARY, {1, 2, 3}},
        {u"WM/IsVBR", WMT_TYPE_BOOL, Le(1, 4)},
        {u"WM/Track", WMT_TYPE_DWORD, Le(0x01020304, 4)},
        {u"WM/EncodingTime", WMT_TYPE_QWORD, Le(0x0102030405060708, 8)},
        {u"WM/Word", WMT_TYPE_WORD, Le(0xBEEF, 2)},
        {u"WM/Unterminated", WMT_TYPE_STRING, Wide(u"A")},
        {u"WM/Shared", WMT_TYPE_BOOL, Le(1, 4)},  // 16-bit in the Metadata Object
        {u"WM/Id", WMT_TYPE_GUID, Bytes(kSomeGuid.begin(), kSomeGuid.end())},
        {u"WM/Lyrics", WMT_TYPE_STRING, Wide(u"la la")},
    };
    for (const Row& row : rows) {
        Value v = Get(reader.info.get(), row.name);
        EXPECT_EQ(v.hr, 0) << std::string(row.name.begin(), row.name.end());
        EXPECT_EQ(v.type, row.type) << std::string(row.name.begin(), row.name.end());
        EXPECT_EQ(Hex(v.bytes), Hex(row.bytes)) << std::string(row.name.begin(), row.name.end());
    }
    // An empty slot of the Content Description is no attribute; a stream's
    // attribute answers for its stream only.
    for (const auto& name : {u"Author", u"Description", u"WM/StreamOnly", u"WM/Nothing"}) {
        Value v = Get(reader.info.get(), name);
        EXPECT_EQ(uint32_t(v.hr), 0xC00D07F0u);
        EXPECT_TRUE(v.bytes.empty());
    }
    EXPECT_EQ(Hex(Get(reader.info.get(), u"WM/StreamOnly", 1).bytes), Hex(Wide(u"s1")));
}

TEST(AsfReadTest, ComputedAttributesHaveTheRuntimeTypes) {
    FileFacts audioFacts;  // 4 s of play, 3 s of it preroll, seekable
    FileFacts mixedFacts{.playDuration = 20'000'000, .preroll = 5000, .flags = 1, .maxBitrate = 300000};
    Bytes encryption = Object(kContentEncryption, Bytes(16, 0));
    struct Case {
        Bytes file;
        std::vector<std::pair<std::u16string, uint64_t>> expected;
    } cases[] = {
        {AsfFile({FileProperties(audioFacts), StreamProperties(kAudioMedia), HeaderExtension({})}),
         {{u"Duration", 10'000'000}, {u"Bitrate", 64000}, {u"CurrentBitrate", 64000}, {u"OptimalBitrate", 64000},
          {u"Seekable", 1}, {u"Stridable", 0}, {u"Broadcast", 0}, {u"HasAudio", 1}, {u"HasVideo", 0},
          {u"HasImage", 0}, {u"HasScript", 0}, {u"Is_Protected", 0}, {u"Is_Trusted", 0}}},
        {AsfFile({FileProperties(mixedFacts), StreamProperties(kVideoMedia, 1), StreamProperties(kJfifMedia, 2),
                  StreamProperties(kCommandMedia, 3), encryption}),
         {{u"Duration", 0}, {u"Bitrate", 300000}, {u"Seekable", 0}, {u"Broadcast", 1}, {u"HasAudio", 0},
          {u"HasVideo", 1}, {u"HasImage", 1}, {u"HasScript", 1}, {u"Is_Protected", 1}}},
    };
    TempDir dir;
    for (const Case& c : cases) {
        WriteFile(dir.File("c.wma"), c.file);
        auto reader = OpenReader(dir.File("c.wma"));
        ASSERT_GE(reader.hr, 0);
        for (const auto& [name, number] : c.expected) {
            Value v = Get(reader.info.get(), name);
            ASSERT_EQ(v.hr, 0);
            WMT_ATTR_DATATYPE type = name == u"Duration"                ? WMT_TYPE_QWORD
                                     : name.find(u"itrate") != name.npos ? WMT_TYPE_DWORD
                                                                         : WMT_TYPE_BOOL;
            EXPECT_EQ(v.type, type) << std::string(name.begin(), name.end());
            EXPECT_EQ(Hex(v.bytes), Hex(Le(number, type == WMT_TYPE_QWORD ? 8 : 4)))
                << std::string(name.begin(), name.end());
        }
    }
}

TEST(AsfReadTest, ShortBufferIsRefusedWithTheLengthNeeded) {
    TempDir dir;
    WriteFile(dir.File("a.wma"), EveryKindFile());
    auto reader = OpenReader(dir.File("a.wma"));
    ASSERT_GE(reader.hr, 0);
    uint16_t stream = 0, length = 4;
    WMT_ATTR_DATATYPE type;
    uint8_t buffer[4] = {9, 9, 9, 9};
    EXPECT_LT(reader.info->GetAttributeByName(&stream, u"Title", &type, buffer, &length), 0);
    EXPECT_EQ(length, 10);
    EXPECT_EQ(Hex(buffer, 4), "09090909");
}

TEST(AsfReadTest, ThreeAttributesOfOneNameHaveThreeIndicesAndTheFirstAnswers) {
    TempDir dir;
    WriteFile(dir.File("g.wma"), AsfFile({FileProperties(), ExtendedContent({{u"WM/Genre", 0, Wide(u"Rock")},
                                                                              {u"WM/Year", 0, Wide(u"1999")},
                                                                              {u"WM/Genre", 0, Wide(u"Pop")},
                                                                              {u"WM/Genre", 0, Wide(u"Jazz")}})}));
    auto editor = OpenEditor(dir.File("g.wma"));
    ASSERT_GE(editor.hr, 0);
    EXPECT_EQ(Indices(editor.info.get(), u"WM/Genre"), (std::vector<uint16_t>{0, 2, 3}));
    EXPECT_EQ(Hex(Get(editor.info.get(), u"WM/Genre").bytes), Hex(Wide(u"Rock")));
    uint16_t small = 1;
    uint16_t indices[1];
    EXPECT_LT(editor.info->GetAttributeIndices(0, u"WM/Genre", nullptr, indices, &small), 0);
    EXPECT_EQ(small, 3);
}

TEST(AsfReadTest, ReaderChangesNothingAndAnswersOnlyWhileOpen) {
    TempDir dir;
    WriteFile(dir.File("a.wma"), EveryKindFile());
    auto reader = OpenReader(dir.File("a.wma"));
    ASSERT_GE(reader.hr, 0);
    EXPECT_LT(AddText(reader.info.get(), u"WM/Composer", u"x"), 0);
    EXPECT_LT(reader.info->DeleteAttribute(0, 0), 0);
    EXPECT_EQ(reader.object->Close(), 0);
    EXPECT_LT(Get(reader.info.get(), u"Title").hr, 0);
    EXPECT_LT(reader.object->Close(), 0);
    // Computed attributes cannot be set by an editor either.
    auto editor = OpenEditor(dir.File("a.wma"));
    ASSERT_GE(editor.hr, 0);
    uint8_t one[4] = {1};
    EXPECT_EQ(uint32_t(editor.info->AddAttribute(0, u"Seekable", nullptr, WMT_TYPE_BOOL, 0, one, 4)), 0xC00D0BD6u);
    EXPECT_LT(editor.info->AddAttribute(0, u"WM/Track", nullptr, WMT_TYPE_DWORD, 0, one, 3), 0);
}

}  // namespace
}  // namespace zm::test::asf
