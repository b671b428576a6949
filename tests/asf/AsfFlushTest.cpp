// Writing changed headers: in place inside the padding or by rewriting the
// file, untouched objects kept byte for byte, the file left as it was by any
// flush that fails.
#include <gtest/gtest.h>

#include <filesystem>

#include "AsfFiles.h"
#include "platform/FaultInjection.h"

namespace zm::test::asf {
namespace {

namespace fault = platform::fault;

uint64_t HeaderSize(const Bytes& file) { return platform::LoadLE64(file.data() + 16); }
Bytes Tail(const Bytes& file) { return Bytes(file.begin() + long(HeaderSize(file)), file.end()); }
size_t FilesIn(const std::string& dir) { return size_t(std::distance(std::filesystem::directory_iterator(dir), {})); }
size_t Count(const Bytes& haystack, const Bytes& needle) {
    size_t n = 0;
    auto at = haystack.begin(), end = haystack.end();
    while ((at = std::search(at, end, needle.begin(), needle.end())) != end) ++n, ++at;
    return n;
}

// The header's children by an independent walk; fails the test when their
// sizes do not fill the header or their number is not the count.
std::vector<ObjectGuid> Children(const Bytes& file) {
    std::vector<ObjectGuid> children;
    size_t at = 30;
    for (; at + 24 <= HeaderSize(file); at += platform::LoadLE64(file.data() + at + 16))
        std::copy_n(file.begin() + long(at), 16, children.emplace_back().begin());
    EXPECT_EQ(at, HeaderSize(file));
    EXPECT_EQ(platform::LoadLE32(file.data() + 24), children.size());
    return children;
}

// With room to change in place (padding) or none. Descriptors repeating a
// Content Description text (same name in any case, same text) are that text.
Bytes TaggedFile(bool room) {
    std::vector<Bytes> children = {
        FileProperties(), StreamProperties(kAudioMedia), ContentDescription({u"Old", u"Me", u"", u"", u""}),
        ExtendedContent({{u"WM/Genre", 0, Wide(u"Rock")}, {u"WM/Year", 0, Wide(u"1999")},
                         {u"WM/Genre", 0, Wide(u"Pop")}, {u"WM/Genre", 0, Wide(u"Jazz")}, {u"title", 0, Wide(u"Old")},
                         {u"AUTHOR", 0, Wide(u"Me")}, {u"Author", 0, Wide(u"Other")}}),
        Unknown()};
    if (room) children.insert(children.end(), {HeaderExtension({Padding(100)}), Padding(600)});
    return AsfFile(children);
}

const ObjectGuid kId = ParseGuid("01234567-89AB-CDEF-0123-456789ABCDEF");

// Changes, deletes and adds, the last three to lists only a header
// extension holds: a language, a GUID and a stream's attribute.
void ChangeSeveral(IWMHeaderInfo3* info) {
    uint8_t yes[4] = {1, 0, 0, 0};
    ASSERT_EQ(ModifyText(info, Indices(info, u"Title").at(0), u"A much longer title than before"), 0);
    ASSERT_EQ(ModifyText(info, Indices(info, u"WM/Genre").at(0), u"Blues"), 0);
    ASSERT_EQ(AddText(info, u"WM/Composer", u"Bach"), 0);
    ASSERT_EQ(info->DeleteAttribute(0, Indices(info, u"WM/Year").at(0)), 0);
    ASSERT_EQ(info->DeleteAttribute(0, Indices(info, u"Author").at(0)), 0);
    ASSERT_EQ(AddText(info, u"WM/Lyrics", u"in French", 2), 0);
    ASSERT_EQ(info->AddAttribute(0, u"WM/Id", nullptr, WMT_TYPE_GUID, 0, kId.data(), 16), 0);
    ASSERT_EQ(info->AddAttribute(1, u"WM/Flag", nullptr, WMT_TYPE_BOOL, 0, yes, 4), 0);
}

TEST(AsfFlushTest, ChangesAreWrittenInPlaceOrByARewriteThatLeavesRoomForTheNext) {
    for (bool room : {true, false}) {
        SCOPED_TRACE(room ? "in place" : "rewrite");
        TempDir dir;
        std::string path = dir.File("f.wma");
        Bytes before = TaggedFile(room);
        WriteFile(path, before);
        auto editor = OpenEditor(path);
        ASSERT_GE(editor.hr, 0);
        IWMHeaderInfo3* info = editor.info.get();
        EXPECT_EQ(Indices(info, u"WM/Genre"), (std::vector<uint16_t>{2, 4, 5}));
        EXPECT_TRUE(Indices(info, u"title").empty());
        EXPECT_EQ(Indices(info, u"Author").size(), 2u);
        // Every file call of the flush in turn fails, in every way a call can
        // fail, until it gets through: the file stays as it was, alone.
        for (auto kind : {fault::Kind::Error, fault::Kind::ShortRead, fault::Kind::ShortWrite, fault::Kind::DiskFull}) {
            HRESULT hr = ZMTAGIO_E_FAIL;
            for (uint64_t nth = 1; nth < 40 && hr < 0; ++nth) {
                WriteFile(path, before);
                editor = OpenEditor(path);
                ASSERT_GE(editor.hr, 0);
                ChangeSeveral(editor.info.get());
                fault::Arm(nth, kind);
                hr = editor.object->Flush();
                fault::Reset();
                if (hr >= 0) break;
                EXPECT_EQ(ReadFile(path), before) << "kind " << int(kind) << ", call " << nth;
                EXPECT_EQ(FilesIn(dir.path()), 1u) << "kind " << int(kind) << ", call " << nth;
            }
            ASSERT_GE(hr, 0);
        }
        info = editor.info.get();
        Bytes after = ReadFile(path);
        EXPECT_GE(HeaderSize(after), HeaderSize(before));
        EXPECT_EQ(HeaderSize(after) == HeaderSize(before), room);
        EXPECT_EQ(after.size(), before.size() - HeaderSize(before) + HeaderSize(after));
        EXPECT_EQ(platform::LoadLE64(after.data() + Find(after, G(kFileProperties)) + 40), after.size());
        EXPECT_EQ(Tail(after), Tail(before));
        EXPECT_EQ(Count(after, Unknown()), 1u);
        EXPECT_EQ(Count(after, StreamProperties(kAudioMedia)), 1u);
        EXPECT_EQ(Count(after, Wide(u"A much longer title than before")), 2u);  // repeats change and go
        EXPECT_EQ(Count(after, Wide(u"Old")) + Count(after, Wide(u"Me")), 0u);  // with their text
        std::vector<ObjectGuid> children = Children(after);
        EXPECT_EQ(children.back(), kPadding);
        EXPECT_EQ(std::count(children.begin(), children.end(), kPadding), 1);
        EXPECT_EQ(std::count(children.begin(), children.end(), kHeaderExtension), 1);
        EXPECT_EQ(FilesIn(dir.path()), 1u);
        {
            auto reader = OpenReader(path);
            ASSERT_GE(reader.hr, 0);
            IWMHeaderInfo3* r = reader.info.get();
            for (auto [name, text, count] : {std::tuple{u"Title", u"A much longer title than before", 1u},
                                             {u"WM/Composer", u"Bach", 1u}, {u"Author", u"Other", 1u},
                                             {u"WM/Genre", u"Blues", 3u}}) {
                EXPECT_EQ(Get(r, name).bytes, Wide(text)) << Narrow(name);
                EXPECT_EQ(Indices(r, name).size(), count) << Narrow(name);
            }
            EXPECT_EQ(uint32_t(Get(r, u"WM/Year").hr), 0xC00D07F0u);
            uint16_t french = 2, other = 0;
            EXPECT_EQ(Indices(r, u"WM/Lyrics", &french).size(), 1u);
            EXPECT_TRUE(Indices(r, u"WM/Lyrics", &other).empty());
            Value guid = Get(r, u"WM/Id"), flag = Get(r, u"WM/Flag", 1);
            EXPECT_EQ(std::pair(guid.type, guid.bytes), std::pair(WMT_TYPE_GUID, G(kId)));
            EXPECT_EQ(std::pair(flag.type, Hex(flag.bytes)), std::pair(WMT_TYPE_BOOL, std::string("01000000")));
        }
        // The next growth, through the same editor, fits the room left.
        ASSERT_EQ(AddText(info, u"WM/Conductor", u"Karajan"), 0);
        ASSERT_EQ(editor.object->Flush(), 0);
        EXPECT_EQ(ReadFile(path).size(), after.size());
        // A header larger than the arena a reader or editor keeps it in.
        Bytes picture(40000);
        for (size_t i = 0; i < picture.size(); ++i) picture[i] = uint8_t(i * 31 + i / 256);
        ASSERT_EQ(info->AddAttribute(0, u"WM/Picture", nullptr, WMT_TYPE_BINARY, 0, picture.data(),
                                     uint32_t(picture.size())), 0);
        ASSERT_EQ(editor.object->Flush(), 0);
        EXPECT_EQ(Get(OpenReader(path).info.get(), u"WM/Picture").bytes, picture);
        EXPECT_EQ(Tail(ReadFile(path)), Tail(before));
        EXPECT_EQ(editor.object->Close(), 0);
    }
}

TEST(AsfFlushTest, AFileChangedSinceOpeningIsNotOverwritten) {
    TempDir dir;
    std::string path = dir.File("c.wma");
    WriteFile(path, TaggedFile(true));
    auto editor = OpenEditor(path);
    ASSERT_GE(editor.hr, 0);
    ASSERT_EQ(AddText(editor.info.get(), u"WM/Composer", u"Bach"), 0);
    Bytes changed = TaggedFile(true);
    changed[HeaderSize(changed) - 30] ^= 0xFF;  // inside the padding
    WriteFile(path, changed);
    EXPECT_LT(editor.object->Flush(), 0);
    EXPECT_EQ(ReadFile(path), changed);
}

}  // namespace
}  // namespace zm::test::asf
