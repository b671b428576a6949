// Writing changed headers: in place inside the padding, by rewriting the file
// when the header grows, objects the change does not touch kept byte for
// byte, and the file left as it was by any failing file call.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "AsfFiles.h"
#include "platform/FaultInjection.h"

namespace zm::test::asf {
namespace {

using namespace zm::asf;

uint64_t HeaderSize(const Bytes& file) { return platform::LoadLE64(file.data() + 16); }

// The header's children as an independent walk finds them; fails the test
// when their sizes do not fill the header or their number is not the count.
std::vector<ObjectGuid> Children(const Bytes& file) {
    std::vector<ObjectGuid> children;
    uint64_t end = HeaderSize(file);
    size_t at = 30;
    while (at + 24 <= end) {
        ObjectGuid guid;
        std::copy_n(file.begin() + long(at), 16, guid.begin());
        children.push_back(guid);
        at += platform::LoadLE64(file.data() + at + 16);
    }
    EXPECT_EQ(at, end);
    EXPECT_EQ(platform::LoadLE32(file.data() + 24), children.size());
    return children;
}

bool Contains(const Bytes& haystack, const Bytes& needle) {
    return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) != haystack.end();
}

Bytes Tail(const Bytes& file) { return Bytes(file.begin() + long(HeaderSize(file)), file.end()); }

size_t FilesIn(const std::string& dir) {
    return size_t(std::distance(std::filesystem::directory_iterator(dir), {}));
}

uint64_t FileSizeField(const Bytes& file) {
    for (size_t at = 30; at < HeaderSize(file); at += platform::LoadLE64(file.data() + at + 16))
        if (std::equal(kFileProperties.begin(), kFileProperties.end(), file.begin() + long(at)))
            return platform::LoadLE64(file.data() + at + 40);
    return 0;
}

Bytes PaddedFile() {
    return AsfFile({FileProperties(), StreamProperties(kAudioMedia),
                    ContentDescription({u"Old", u"Me", u"", u"", u""}),
                    ExtendedContent({{u"WM/Genre", 0, Wide(u"Rock")},
                                     {u"WM/Year", 0, Wide(u"1999")},
                                     {u"WM/Genre", 0, Wide(u"Pop")},
                                     {u"WM/Genre", 0, Wide(u"Jazz")}}),
                    Unknown(), HeaderExtension({Padding(100)}), Padding(600)});
}

Bytes UnpaddedFile() {
    return AsfFile({FileProperties(), StreamProperties(kAudioMedia), ContentDescription({u"Old", u"", u"", u"", u""}),
                    ExtendedContent({{u"WM/Genre", 0, Wide(u"Rock")}}), Unknown(), HeaderExtension({})});
}

void ChangeSeveral(IWMHeaderInfo3* info) {
    ASSERT_EQ(ModifyText(info, Indices(info, u"Title").at(0), u"A much longer title than before"), 0);
    ASSERT_EQ(ModifyText(info, Indices(info, u"WM/Genre").at(0), u"Blues"), 0);
    ASSERT_EQ(AddText(info, u"WM/Composer", u"Bach"), 0);
    ASSERT_EQ(info->DeleteAttribute(0, Indices(info, u"WM/Year").at(0)), 0);
    ASSERT_EQ(info->DeleteAttribute(0, Indices(info, u"Author").at(0)), 0);
}

TEST(AsfFlushTest, ChangesThatFitThePaddingAreWrittenInPlace) {
    TempDir dir;
    std::string path = dir.File("p.wma");
    Bytes before = PaddedFile();
    WriteFile(path, before);
    {
        auto editor = OpenEditor(path);
        ASSERT_GE(editor.hr, 0);
        ChangeSeveral(editor.info.get());
        ASSERT_EQ(editor.object->Flush(), 0);
        ASSERT_EQ(editor.object->Close(), 0);
    }
    Bytes after = ReadFile(path);
    EXPECT_EQ(after.size(), before.size());
    EXPECT_EQ(HeaderSize(after), HeaderSize(before));
    EXPECT_EQ(Tail(after), Tail(before));
    EXPECT_TRUE(Contains(after, Unknown()));
    EXPECT_TRUE(Contains(after, StreamProperties(kAudioMedia)));
    std::vector<ObjectGuid> children = Children(after);
    EXPECT_EQ(children.back(), kPadding);
    EXPECT_EQ(std::count(children.begin(), children.end(), kPadding), 1);
    EXPECT_EQ(FilesIn(dir.path()), 1u);

    auto reader = OpenReader(path);
    ASSERT_GE(reader.hr, 0);
    IWMHeaderInfo3* info = reader.info.get();
    EXPECT_EQ(Get(info, u"Title").bytes, Wide(u"A much longer title than before"));
    EXPECT_EQ(Get(info, u"WM/Composer").bytes, Wide(u"Bach"));
    EXPECT_EQ(uint32_t(Get(info, u"WM/Year").hr), 0xC00D07F0u);
    EXPECT_EQ(uint32_t(Get(info, u"Author").hr), 0xC00D07F0u);
    std::vector<uint16_t> genres = Indices(info, u"WM/Genre");
    ASSERT_EQ(genres.size(), 3u);
    EXPECT_EQ(Get(info, u"WM/Genre").bytes, Wide(u"Blues"));
}

TEST(AsfFlushTest, AGrowingHeaderRewritesTheFileAndLeavesRoomForTheNextChange) {
    TempDir dir;
    std::string path = dir.File("u.wma");
    Bytes before = UnpaddedFile();
    WriteFile(path, before);
    std::u16string lyrics(1500, u'l');
    {
        auto editor = OpenEditor(path);
        ASSERT_GE(editor.hr, 0);
        ASSERT_EQ(AddText(editor.info.get(), u"WM/Lyrics", lyrics), 0);
        ASSERT_EQ(editor.object->Flush(), 0);
    }
    Bytes grown = ReadFile(path);
    EXPECT_GT(HeaderSize(grown), HeaderSize(before) + 3000);
    EXPECT_EQ(grown.size(), before.size() - HeaderSize(before) + HeaderSize(grown));
    EXPECT_EQ(FileSizeField(grown), grown.size());
    EXPECT_EQ(Tail(grown), Tail(before));
    EXPECT_TRUE(Contains(grown, Unknown()));
    EXPECT_EQ(Children(grown).back(), kPadding);
    EXPECT_EQ(FilesIn(dir.path()), 1u);
    {
        auto editor = OpenEditor(path);
        ASSERT_GE(editor.hr, 0);
        EXPECT_EQ(Get(editor.info.get(), u"WM/Lyrics").bytes, Wide(lyrics));
        ASSERT_EQ(ModifyText(editor.info.get(), 0, u"New title"), 0);
        ASSERT_EQ(editor.object->Flush(), 0);
    }
    Bytes again = ReadFile(path);
    EXPECT_EQ(again.size(), grown.size());
    EXPECT_EQ(Tail(again), Tail(before));
}

TEST(AsfFlushTest, AttributesOnlyTheExtensionListsCanHoldGetAHeaderExtension) {
    TempDir dir;
    std::string path = dir.File("l.wma");
    WriteFile(path, AsfFile({FileProperties(), ContentDescription({u"T", u"", u"", u"", u""})}));
    ObjectGuid id = ParseGuid("01234567-89AB-CDEF-0123-456789ABCDEF");
    uint8_t yes[4] = {1, 0, 0, 0};
    {
        auto editor = OpenEditor(path);
        ASSERT_GE(editor.hr, 0);
        IWMHeaderInfo3* info = editor.info.get();
        ASSERT_EQ(AddText(info, u"WM/Lyrics", u"in French", 2), 0);
        ASSERT_EQ(info->AddAttribute(0, u"WM/Id", nullptr, WMT_TYPE_GUID, 0, id.data(), 16), 0);
        ASSERT_EQ(info->AddAttribute(1, u"WM/Flag", nullptr, WMT_TYPE_BOOL, 0, yes, 4), 0);
        ASSERT_EQ(editor.object->Flush(), 0);
    }
    Bytes after = ReadFile(path);
    std::vector<ObjectGuid> children = Children(after);
    EXPECT_NE(std::find(children.begin(), children.end(), kHeaderExtension), children.end());
    auto reader = OpenReader(path);
    ASSERT_GE(reader.hr, 0);
    uint16_t french = 2, other = 0;
    EXPECT_EQ(Indices(reader.info.get(), u"WM/Lyrics", &french).size(), 1u);
    EXPECT_TRUE(Indices(reader.info.get(), u"WM/Lyrics", &other).empty());
    Value guid = Get(reader.info.get(), u"WM/Id");
    EXPECT_EQ(guid.type, WMT_TYPE_GUID);
    EXPECT_EQ(guid.bytes, Bytes(id.begin(), id.end()));
    Value flag = Get(reader.info.get(), u"WM/Flag", 1);
    EXPECT_EQ(flag.type, WMT_TYPE_BOOL);
    EXPECT_EQ(Hex(flag.bytes), "01000000");
}

size_t Occurrences(const Bytes& haystack, const Bytes& needle) {
    size_t n = 0;
    for (auto at = haystack.begin(); (at = std::search(at, haystack.end(), needle.begin(), needle.end())) != haystack.end();
         ++at)
        ++n;
    return n;
}

// A descriptor repeating a Content Description text (same name in any case,
// same text) is that text: it changes and goes with it. One with other text
// is an attribute of its own.
TEST(AsfFlushTest, RepeatedDescriptionTextsFollowTheirText) {
    TempDir dir;
    std::string path = dir.File("r.wma");
    WriteFile(path, AsfFile({FileProperties(), ContentDescription({u"Same", u"Art", u"", u"", u""}),
                             ExtendedContent({{u"title", 0, Wide(u"Same")}, {u"Author", 0, Wide(u"Other")}})}));
    auto editor = OpenEditor(path);
    ASSERT_GE(editor.hr, 0);
    IWMHeaderInfo3* info = editor.info.get();
    EXPECT_TRUE(Indices(info, u"title").empty());
    EXPECT_EQ(Indices(info, u"Author").size(), 2u);
    ASSERT_EQ(ModifyText(info, Indices(info, u"Title").at(0), u"Changed"), 0);
    ASSERT_EQ(editor.object->Flush(), 0);
    EXPECT_EQ(Occurrences(ReadFile(path), Wide(u"Changed")), 2u);
    EXPECT_EQ(Occurrences(ReadFile(path), Wide(u"Same")), 0u);
    ASSERT_EQ(info->DeleteAttribute(0, Indices(info, u"Title").at(0)), 0);
    ASSERT_EQ(info->DeleteAttribute(0, Indices(info, u"Author").at(0)), 0);
    ASSERT_EQ(editor.object->Flush(), 0);
    Bytes after = ReadFile(path);
    EXPECT_EQ(Occurrences(after, Wide(u"Changed")), 0u);
    EXPECT_EQ(Occurrences(after, Wide(u"Other")), 1u);
}

TEST(AsfFlushTest, AFileChangedSinceOpeningIsNotOverwritten) {
    TempDir dir;
    std::string path = dir.File("c.wma");
    WriteFile(path, PaddedFile());
    auto editor = OpenEditor(path);
    ASSERT_GE(editor.hr, 0);
    ASSERT_EQ(AddText(editor.info.get(), u"WM/Composer", u"Bach"), 0);
    Bytes changed = PaddedFile();
    changed[HeaderSize(changed) - 30] ^= 0xFF;  // inside the padding
    WriteFile(path, changed);
    EXPECT_LT(editor.object->Flush(), 0);
    EXPECT_EQ(ReadFile(path), changed);
}

// Every file call of a flush in turn fails, in every way a call can fail:
// the file stays as it was and nothing is left beside it, until the flush
// gets through.
TEST(AsfFlushTest, EveryFailingFileCallLeavesTheFileAsItWas) {
    using platform::fault::Kind;
    struct Case {
        const char* name;
        Bytes file;
        void (*change)(IWMHeaderInfo3*);
    } cases[] = {
        {"in place", PaddedFile(), ChangeSeveral},
        {"rewrite", UnpaddedFile(),
         [](IWMHeaderInfo3* info) { ASSERT_EQ(AddText(info, u"WM/Lyrics", std::u16string(900, u'x')), 0); }},
    };
    for (const Case& c : cases) {
        for (Kind kind : {Kind::Error, Kind::ShortRead, Kind::ShortWrite, Kind::DiskFull}) {
            TempDir dir;
            std::string path = dir.File("f.wma");
            bool flushed = false;
            for (uint64_t nth = 1; nth < 40 && !flushed; ++nth) {
                WriteFile(path, c.file);
                auto editor = OpenEditor(path);
                ASSERT_GE(editor.hr, 0);
                c.change(editor.info.get());
                platform::fault::Arm(nth, kind);
                HRESULT hr = editor.object->Flush();
                platform::fault::Reset();
                flushed = hr >= 0;
                if (!flushed) {
                    EXPECT_EQ(ReadFile(path), c.file) << c.name << " call " << nth;
                    EXPECT_EQ(FilesIn(dir.path()), 1u) << c.name << " call " << nth;
                }
            }
            EXPECT_TRUE(flushed) << c.name;
            EXPECT_NE(ReadFile(path), c.file) << c.name;
        }
    }
}

}  // namespace
}  // namespace zm::test::asf
