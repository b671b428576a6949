// Headers that lie about their sizes, counts and types are refused, cut files
// too, and no damaged header is read past its bytes (the sanitizer build
// watches the sweeps).
#include <gtest/gtest.h>

#include <functional>

#include "AsfFiles.h"

namespace zm::test::asf {
namespace {

using namespace zm::asf;

size_t Find(const Bytes& file, const ObjectGuid& guid) {
    return size_t(std::search(file.begin(), file.end(), guid.begin(), guid.end()) - file.begin());
}

void Poke(Bytes& file, size_t at, uint64_t value, int width) {
    for (int i = 0; i < width; ++i) file[at + size_t(i)] = uint8_t(value >> (8 * i));
}

Bytes GoodFile() {
    return AsfFile({FileProperties(), StreamProperties(kAudioMedia), ContentDescription({u"T", u"A", u"", u"", u""}),
                    ExtendedContent({{u"WM/Genre", 0, Wide(u"Rock")}, {u"WM/Track", 3, Bytes(4, 1)}}),
                    HeaderExtension({MetadataList(kMetadataLibrary, {{u"WM/Lyrics", 0, Wide(u"la")}})})});
}

// The good file with one change.
Bytes Damaged(const std::function<void(Bytes&)>& damage) {
    Bytes file = GoodFile();
    damage(file);
    return file;
}

TEST(AsfHostileTest, LyingHeadersAreRefused) {
    const size_t ecd = Find(GoodFile(), kExtendedContentDescription);
    const size_t cdo = Find(GoodFile(), kContentDescription);
    const size_t library = Find(GoodFile(), kMetadataLibrary);
    const size_t extension = Find(GoodFile(), kHeaderExtension);
    const size_t stream = Find(GoodFile(), kStreamProperties);
    struct Case {
        const char* name;
        Bytes file;
    } cases[] = {
        {"header size past the file", Damaged([](Bytes& f) { Poke(f, 16, f.size() + 1, 8); })},
        {"header size inside its own fields", Damaged([](Bytes& f) { Poke(f, 16, 29, 8); })},
        {"header size of 2^64 - 1", Damaged([](Bytes& f) { Poke(f, 16, ~0ull, 8); })},
        {"one child more than there are", Damaged([](Bytes& f) { Poke(f, 24, 6, 4); })},
        {"second reserved byte not 2", Damaged([](Bytes& f) { f[29] = 3; })},
        {"child size past the header", Damaged([](Bytes& f) { Poke(f, 30 + 16, 100000, 8); })},
        {"child size below an object header", Damaged([](Bytes& f) { Poke(f, 30 + 16, 23, 8); })},
        {"no Data Object behind the header",
         Damaged([](Bytes& f) { f[size_t(platform::LoadLE64(f.data() + 16))] ^= 1; })},
        {"description lengths past the object", Damaged([&](Bytes& f) { Poke(f, cdo + 24, 0xFFFF, 2); })},
        {"odd description length",
         AsfFile({FileProperties(), Object(kContentDescription, {3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 'a', 0, 0})})},
        {"more descriptors counted than held", Damaged([&](Bytes& f) { Poke(f, ecd + 24, 3, 2); })},
        {"descriptor value past the object", Damaged([&](Bytes& f) { Poke(f, ecd + 24 + 2 + 2 + 18 + 2, 0xFFF0, 2); })},
        {"odd descriptor name", AsfFile({FileProperties(), ExtendedContent({}),
                                         Object(kExtendedContentDescription, {1, 0, 3, 0, 'a', 0, 0, 0, 0, 0, 0})})},
        {"odd text value", AsfFile({FileProperties(), ExtendedContent({{u"WM/Genre", 0, {'a', 0, 0}}})})},
        {"DWORD of three bytes", AsfFile({FileProperties(), ExtendedContent({{u"WM/Track", 3, {1, 2, 3}}})})},
        {"BOOL of two bytes in the descriptors", AsfFile({FileProperties(), ExtendedContent({{u"B", 2, {1, 0}}})})},
        {"unknown descriptor type", AsfFile({FileProperties(), ExtendedContent({{u"WM/X", 7, {}}})})},
        {"GUID outside the library",
         AsfFile({FileProperties(), HeaderExtension({MetadataList(kMetadata, {{u"G", 6, Bytes(16, 0)}})})})},
        {"GUID of fifteen bytes",
         AsfFile({FileProperties(), HeaderExtension({MetadataList(kMetadataLibrary, {{u"G", 6, Bytes(15, 0)}})})})},
        {"library data length past the object",
         Damaged([&](Bytes& f) { Poke(f, library + 24 + 2 + 8, 0xFFFFFFFF, 4); })},
        {"extension data size not its object's", Damaged([&](Bytes& f) { Poke(f, extension + 42, 10, 4); })},
        {"stream data past the object", Damaged([&](Bytes& f) { Poke(f, stream + 64, 0xFFFFFFF0, 4); })},
        {"file properties cut short", AsfFile({Object(kFileProperties, Bytes(50, 0))})},
        {"no file properties", AsfFile({StreamProperties(kAudioMedia)})},
        {"two descriptor objects", AsfFile({FileProperties(), ExtendedContent({}), ExtendedContent({})})},
        {"not an ASF header", Damaged([](Bytes& f) { f[0] ^= 1; })},
    };
    TempDir dir;
    for (const Case& c : cases) {
        WriteFile(dir.File("h.wma"), c.file);
        EXPECT_LT(OpenReader(dir.File("h.wma")).hr, 0) << c.name;
        EXPECT_LT(OpenEditor(dir.File("h.wma")).hr, 0) << c.name;
    }
    WriteFile(dir.File("good.wma"), GoodFile());
    EXPECT_GE(OpenEditor(dir.File("good.wma")).hr, 0);
}

TEST(AsfHostileTest, CutFilesOpenOnlyWhenTheHeaderIsWhole) {
    Bytes file = GoodFile();
    size_t needed = size_t(platform::LoadLE64(file.data() + 16)) + 24;
    TempDir dir;
    for (size_t size = 0; size < file.size(); size += size < needed + 8 ? 1 : 97) {
        WriteFile(dir.File("cut.wma"), Bytes(file.begin(), file.begin() + long(size)));
        HRESULT hr = OpenReader(dir.File("cut.wma")).hr;
        EXPECT_EQ(hr >= 0, size >= needed) << size;
    }
}

// Each header byte in turn set to 0xFF: whatever opens must answer every
// attribute without reading past its data.
TEST(AsfHostileTest, DamagedBytesNeverReadPastTheHeader) {
    Bytes good = GoodFile();
    size_t headerSize = size_t(platform::LoadLE64(good.data() + 16));
    TempDir dir;
    for (size_t at = 0; at < headerSize; ++at) {
        Bytes file = good;
        file[at] = 0xFF;
        WriteFile(dir.File("d.wma"), file);
        auto editor = OpenEditor(dir.File("d.wma"));
        if (editor.hr < 0) continue;
        for (const auto& name : {u"Title", u"WM/Genre", u"WM/Track", u"WM/Lyrics", u"Duration", u"HasAudio"})
            Get(editor.info.get(), name);
    }
}

}  // namespace
}  // namespace zm::test::asf
