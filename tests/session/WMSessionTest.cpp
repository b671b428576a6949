// Windows Media files made by ffmpeg, read and changed through the session,
// and checked by independent tools: mutagen for the attributes, ffmpeg for
// the audio.
#include <gtest/gtest.h>

#include <map>

#include "asf/WMRuntime.h"
#include "support/Session.h"
#include "support/TestSupport.h"

namespace zm::test {
namespace {

using Tags = std::map<std::string, std::vector<std::string>>;

std::string Python() { return FileExists("/usr/bin/python3") ? "/usr/bin/python3" : "python3"; }

// Every attribute as mutagen reads it; line feeds in values shown as \n.
Tags MutagenTags(const std::string& path) {
    Result r = Run(Python() +
                   " -c 'import sys, mutagen.asf as a\n"
                   "for k, vs in sorted(a.ASF(sys.argv[1]).tags.as_dict().items()):\n"
                   "  for v in vs: print(k + \"=\" + str(v).replace(\"\\n\", \"\\\\n\"))' " +
                   Quote(path));
    EXPECT_EQ(r.status, 0) << "mutagen could not read " << path;
    Tags tags;
    for (size_t at = 0, end; (end = r.output.find('\n', at)) != std::string::npos; at = end + 1) {
        std::string line = r.output.substr(at, end - at);
        size_t equals = line.find('=');
        tags[line.substr(0, equals)].push_back(line.substr(equals + 1));
    }
    return tags;
}

std::string Field(const MDRecord& record, int id) {
    const MDField& f = record.fields[id];
    return f.data ? std::string(reinterpret_cast<const char*>(f.data)) : std::string();
}

// Text with its terminator, as hosts hand Windows Media values over.
std::string Value(const std::string& text) { return text + '\0'; }

const std::vector<std::string> kMetadata = {"title=Hello", "artist=Art", "album=Alb",  "genre=Rock",
                                            "track=7",     "copyright=cc", "comment=cmt"};

TEST(WMSessionTest, FfmpegAttributesAreReadAndEditsReachTheFileAtOnce) {
    TempDir dir;
    std::string path = dir.File("e.wma");
    ASSERT_TRUE(MakeWma(path, kMetadata));
    std::string audio = DecodedMd5(path);
    ASSERT_FALSE(audio.empty());
    std::string album(250, 'x');
    Session session;
    MDRecord* record = nullptr;
    ASSERT_EQ(session.Open(path, &record), ZMTAGIO_S_FALSE);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->isASF, 1u);
    for (auto [id, text] : {std::pair{1, "Hello"}, {14, "Art"}, {13, "Alb"}, {7, "Rock"}, {6, "7"}, {10, "cmt"}}) {
        EXPECT_EQ(Field(*record, id), text) << id;
        EXPECT_EQ(record->fields[id].size, int(std::string(text).size() + 1)) << id;
    }
    EXPECT_EQ(record->fields[2].size, 0);
    EXPECT_EQ(Field(*record, 2).size(), 12u);  // the clock text of the encoding time

    EXPECT_EQ(session.Edit(1, MD_KIND_WM, Value("Hallo")), 0);  // fits in place
    EXPECT_EQ(session.Edit(13, MD_KIND_WM, Value(album)), 0);   // grows the header
    EXPECT_EQ(session.Edit(9, MD_KIND_WM, Value("Bach")), 0);
    EXPECT_EQ(session.Edit(7, MD_KIND_WM, Value("")), 0);
    EXPECT_EQ(session.Edit(3, MD_KIND_WM, Value("2001")), 0);
    EXPECT_EQ(session.Edit(2, MD_KIND_WM, Value("12:00:00:000")), 0);
    EXPECT_EQ(Field(*record, 1), "Hallo");

    Tags tags = MutagenTags(path);
    EXPECT_EQ(tags["Title"], std::vector<std::string>{"Hallo"});
    EXPECT_EQ(tags["WM/AlbumTitle"], std::vector<std::string>{album});
    EXPECT_EQ(tags["WM/Composer"], std::vector<std::string>{"Bach"});
    EXPECT_EQ(tags["WM/OriginalReleaseYear"], std::vector<std::string>{"2001"});
    EXPECT_EQ(tags["EMPTY"], std::vector<std::string>{"12:00:00:000"});
    EXPECT_EQ(tags.count("WM/Genre"), 0u);
    EXPECT_EQ(tags["Author"].front(), "Art");
    EXPECT_EQ(DecodedMd5(path), audio);

    MDRecord* again = nullptr;
    ASSERT_EQ(session.Open(path, &again), ZMTAGIO_S_FALSE);
    EXPECT_EQ(Field(*again, 13), album);
    EXPECT_EQ(Field(*again, 7), "");
}

// A track number stored as a number comes back as the text the reader made
// of it, line feed included.
TEST(WMSessionTest, UpdateWritesEveryReadFieldBackAsText) {
    TempDir dir;
    std::string path = dir.File("u.wma");
    ASSERT_TRUE(MakeWma(path, kMetadata));
    {
        std::u16string wide(path.begin(), path.end());
        asf::ComPtr<asf::IWMMetadataEditor> editor;
        asf::ComPtr<asf::IWMHeaderInfo3> info;
        ASSERT_GE(asf::WMCreateEditor(editor.Put()), 0);
        ASSERT_GE(editor->Open(wide.c_str()), 0);
        ASSERT_GE(editor->QueryInterface(asf::IID_IWMHeaderInfo3, info.PutVoid()), 0);
        uint16_t index = 0, count = 1;
        ASSERT_GE(info->GetAttributeIndices(0, u"WM/TrackNumber", nullptr, &index, &count), 0);
        ASSERT_EQ(count, 1);
        uint8_t twelve[4] = {12, 0, 0, 0};
        ASSERT_GE(info->ModifyAttribute(0, index, asf::WMT_TYPE_DWORD, 0, twelve, 4), 0);
        ASSERT_GE(editor->Flush(), 0);
    }
    std::string audio = DecodedMd5(path);
    Session session;
    MDRecord* record = nullptr;
    ASSERT_EQ(session.Open(path, &record), ZMTAGIO_S_FALSE);
    EXPECT_EQ(Field(*record, 6), "12\n");
    ASSERT_EQ(session.MDUpdate(0), 0);
    Tags tags = MutagenTags(path);
    EXPECT_EQ(tags["WM/TrackNumber"], std::vector<std::string>{"12\\n"});
    EXPECT_EQ(tags["Title"], std::vector<std::string>{"Hello"});
    EXPECT_EQ(tags["WM/Genre"], std::vector<std::string>{"Rock"});
    EXPECT_EQ(tags.count("EMPTY"), 0u);
    EXPECT_EQ(DecodedMd5(path), audio);
}

}  // namespace
}  // namespace zm::test
