// Reading hand-made headers: every storing object's attributes in the
// runtime's form and the computed ones; headers lying about sizes, counts and
// types refused, cut files too, and no damaged header read past its bytes.
#include <gtest/gtest.h>

#include "AsfFiles.h"

namespace zm::test::asf {
namespace {

const ObjectGuid kSomeGuid = ParseGuid("01234567-89AB-CDEF-0123-456789ABCDEF");

TEST(AsfReadTest, AttributesOfEveryStoringObjectInRuntimeForm) {
    TempDir dir;
    WriteFile(dir.File("a.wma"),
              AsfFile({FileProperties(), StreamProperties(kAudioMedia),
                       ContentDescription({u"Song", u"", u"(c) 2001", u"", u"5"}),
                       ExtendedContent({{u"WM/Genre", 0, Wide(u"Jazz")}, {u"WM/Picture", 1, {1, 2, 3}},
                                        {u"WM/IsVBR", 2, Le(1, 4)}, {u"WM/Track", 3, Le(0x01020304, 4)},
                                        {u"WM/EncodingTime", 4, Le(0x0102030405060708, 8)},
                                        {u"WM/Word", 5, Le(0xBEEF, 2)}, {u"WM/Unterminated", 0, {'A', 0}}}),
                       HeaderExtension({MetadataList(kMetadata, {{u"WM/Shared", 2, Le(1, 2)},
                                                                 {u"WM/StreamOnly", 0, Wide(u"s1"), 1}}),
                                        MetadataList(kMetadataLibrary, {{u"WM/Id", 6, G(kSomeGuid)},
                                                                        {u"WM/Lyrics", 0, Wide(u"la la"), 0, 2}})})}));
    auto reader = OpenReader(dir.File("a.wma"));
    ASSERT_GE(reader.hr, 0);
    IWMHeaderInfo3* info = reader.info.get();
    struct Row { std::u16string name; WMT_ATTR_DATATYPE type; Bytes bytes; } rows[] = {
        {u"Title", WMT_TYPE_STRING, Wide(u"Song")},  {u"Copyright", WMT_TYPE_STRING, Wide(u"(c) 2001")},
        {u"Rating", WMT_TYPE_STRING, Wide(u"5")},    {u"WM/Genre", WMT_TYPE_STRING, Wide(u"Jazz")},
        {u"WM/Picture", WMT_TYPE_BINARY, {1, 2, 3}}, {u"WM/IsVBR", WMT_TYPE_BOOL, Le(1, 4)},
        {u"WM/Track", WMT_TYPE_DWORD, Le(0x01020304, 4)},
        {u"WM/EncodingTime", WMT_TYPE_QWORD, Le(0x0102030405060708, 8)},
        {u"WM/Word", WMT_TYPE_WORD, Le(0xBEEF, 2)},  {u"WM/Unterminated", WMT_TYPE_STRING, Wide(u"A")},
        {u"WM/Shared", WMT_TYPE_BOOL, Le(1, 4)},  // 16-bit in the Metadata Object
        {u"WM/Id", WMT_TYPE_GUID, G(kSomeGuid)},     {u"WM/Lyrics", WMT_TYPE_STRING, Wide(u"la la")},
    };
    for (const Row& row : rows) {
        Value v = Get(info, row.name);
        SCOPED_TRACE(Narrow(row.name));
        EXPECT_EQ(v.hr, 0);
        EXPECT_EQ(v.type, row.type);
        EXPECT_EQ(Hex(v.bytes), Hex(row.bytes));
    }
    // An empty slot of the Content Description is no attribute; a stream's
    // attribute answers for its stream only.
    for (const char16_t* name : {u"Author", u"Description", u"WM/StreamOnly", u"WM/Nothing"}) {
        Value v = Get(info, name);
        EXPECT_EQ(uint32_t(v.hr), 0xC00D07F0u);
        EXPECT_EQ(Hex(v.bytes), "");  // a length of 0
    }
    EXPECT_EQ(Hex(Get(info, u"WM/StreamOnly", 1).bytes), Hex(Wide(u"s1")));
}

TEST(AsfReadTest, ComputedAttributesHaveTheRuntimeTypes) {
    const char16_t* names[] = {u"Duration",  u"Bitrate",  u"CurrentBitrate", u"OptimalBitrate", u"Seekable",
                               u"Stridable", u"Broadcast", u"HasAudio",      u"HasVideo",       u"HasImage",
                               u"HasScript", u"Is_Protected", u"Is_Trusted"};  // a QWORD, three DWORDs, BOOLs
    std::pair<Bytes, std::vector<uint64_t>> cases[] = {
        {AsfFile({FileProperties(), StreamProperties(kAudioMedia), HeaderExtension({})}),  // 4 s, 3 s of it preroll
         {10'000'000, 64000, 64000, 64000, 1, 0, 0, 1, 0, 0, 0, 0, 0}},
        {AsfFile({FileProperties(20'000'000, 5000, 1, 300000), StreamProperties(kVideoMedia, 1),  // broadcast
                  StreamProperties(kJfifMedia, 2), StreamProperties(kCommandMedia, 3),
                  Object(kContentEncryption, Bytes(16, 0))}),
         {0, 300000, 300000, 300000, 0, 0, 1, 0, 1, 1, 1, 1, 0}},
    };
    TempDir dir;
    for (const auto& [file, numbers] : cases) {
        WriteFile(dir.File("c.wma"), file);
        auto reader = OpenReader(dir.File("c.wma"));
        ASSERT_GE(reader.hr, 0);
        for (size_t i = 0; i < std::size(names); ++i) {
            Value v = Get(reader.info.get(), names[i]);
            EXPECT_EQ(v.hr, 0) << i;
            EXPECT_EQ(v.type, i == 0 ? WMT_TYPE_QWORD : i < 4 ? WMT_TYPE_DWORD : WMT_TYPE_BOOL) << i;
            EXPECT_EQ(Hex(v.bytes), Hex(Le(numbers[i], i == 0 ? 8 : 4))) << i;
        }
    }
}

const Bytes kGood = AsfFile({FileProperties(), StreamProperties(kAudioMedia),
                             ContentDescription({u"T", u"A", u"", u"", u""}),
                             ExtendedContent({{u"WM/Genre", 0, Wide(u"Rock")}, {u"WM/Track", 3, Bytes(4, 1)}}),
                             HeaderExtension({MetadataList(kMetadataLibrary, {{u"WM/Lyrics", 0, Wide(u"la")}})})});
const size_t kHeaderSize = platform::LoadLE64(kGood.data() + 16);

// The good file with width bytes at an offset from an object's start set to value.
Bytes Poked(const ObjectGuid& object, size_t offset, uint64_t value, int width) {
    Bytes file = kGood, bytes = Le(value, width);
    std::copy(bytes.begin(), bytes.end(), file.begin() + long(Find(file, G(object)) + offset));
    return file;
}
Bytes Poked(size_t at, uint64_t value, int width) { return Poked(kHeaderObject, at, value, width); }
// A file of File Properties and these.
Bytes With(std::vector<Bytes> children) {
    children.insert(children.begin(), FileProperties());
    return AsfFile(children);
}

TEST(AsfReadTest, LyingHeadersAreRefused) {
    std::pair<const char*, Bytes> cases[] = {
        {"header size past the file", Poked(16, kGood.size() + 1, 8)},
        {"header size inside its own fields", Poked(16, 29, 8)},
        {"header size of 2^64 - 1", Poked(16, ~0ull, 8)},
        {"one child more than there are", Poked(24, 6, 4)},
        {"second reserved byte not 2", Poked(29, 3, 1)},
        {"child size past the header", Poked(30 + 16, 100000, 8)},
        {"child size below an object header", Poked(30 + 16, 23, 8)},
        {"no Data Object behind the header", Poked(kHeaderSize, kGood[kHeaderSize] ^ 1, 1)},
        {"description lengths past the object", Poked(kContentDescription, 24, 0xFFFF, 2)},
        {"odd description length", With({Object(kContentDescription, {3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 'a', 0, 0})})},
        {"more descriptors counted than held", Poked(kExtendedContentDescription, 24, 3, 2)},
        {"descriptor value past the object", Poked(kExtendedContentDescription, 24 + 2 + 2 + 18 + 2, 0xFFF0, 2)},
        {"odd descriptor name", With({Object(kExtendedContentDescription, {1, 0, 3, 0, 'a', 0, 0, 0, 0, 0, 0})})},
        {"odd text value", With({ExtendedContent({{u"WM/Genre", 0, {'a', 0, 0}}})})},
        {"DWORD of three bytes", With({ExtendedContent({{u"WM/Track", 3, {1, 2, 3}}})})},
        {"BOOL of two bytes in the descriptors", With({ExtendedContent({{u"B", 2, {1, 0}}})})},
        {"unknown descriptor type", With({ExtendedContent({{u"WM/X", 7, {}}})})},
        {"GUID outside the library", With({HeaderExtension({MetadataList(kMetadata, {{u"G", 6, Bytes(16, 0)}})})})},
        {"GUID of fifteen bytes", With({HeaderExtension({MetadataList(kMetadataLibrary, {{u"G", 6, Bytes(15, 0)}})})})},
        {"library data length past the object", Poked(kMetadataLibrary, 24 + 2 + 8, 0xFFFFFFFF, 4)},
        {"extension data size not its object's", Poked(kHeaderExtension, 42, 10, 4)},
        {"stream data past the object", Poked(kStreamProperties, 64, 0xFFFFFFF0, 4)},
        {"file properties cut short", AsfFile({Object(kFileProperties, Bytes(50, 0))})},
        {"no file properties", AsfFile({StreamProperties(kAudioMedia)})},
        {"two descriptor objects", With({ExtendedContent({}), ExtendedContent({})})},
        {"not an ASF header", Poked(0, kGood[0] ^ 1, 1)},
    };
    TempDir dir;
    for (const auto& [name, file] : cases) {
        WriteFile(dir.File("h.wma"), file);
        EXPECT_LT(OpenReader(dir.File("h.wma")).hr, 0) << name;
        EXPECT_LT(OpenEditor(dir.File("h.wma")).hr, 0) << name;
    }
    WriteFile(dir.File("good.wma"), kGood);
    EXPECT_GE(OpenEditor(dir.File("good.wma")).hr, 0);
}

// A cut file opens only with its header and the Data Object's own header
// whole; each header byte in turn set to 0xFF either fails the open or
// leaves every attribute answerable.
TEST(AsfReadTest, CutAndDamagedFilesNeverReadPastTheirBytes) {
    TempDir dir;
    for (size_t size = 0; size < kGood.size(); size += size < kHeaderSize + 32 ? 1 : 97) {
        WriteFile(dir.File("cut.wma"), Bytes(kGood.begin(), kGood.begin() + long(size)));
        EXPECT_EQ(OpenReader(dir.File("cut.wma")).hr >= 0, size >= kHeaderSize + 24) << size;
    }
    for (size_t at = 0; at < kHeaderSize; ++at) {
        Bytes file = kGood;
        file[at] = 0xFF;
        WriteFile(dir.File("d.wma"), file);
        auto editor = OpenEditor(dir.File("d.wma"));
        if (editor.hr >= 0)
            for (const auto& name : {u"Title", u"WM/Genre", u"WM/Track", u"WM/Lyrics", u"Duration", u"HasAudio"})
                Get(editor.info.get(), name);
    }
}

}  // namespace
}  // namespace zm::test::asf
