// Windows Media files made by ffmpeg, changed through the session and checked
// by independent tools: mutagen for the attributes, ffmpeg for the audio.
// (Reading ffmpeg's attributes into fields is the command line's show test.)
#include <gtest/gtest.h>

#include "support/Session.h"
#include "support/TestSupport.h"

namespace zm::test {
namespace {

// The named attributes (all without names) as mutagen reads them, a line
// "name=value|value" ("name=None" when absent) each.
std::string Mutagen(const std::string& path, const std::string& names = "") {
    Result r = Run("/usr/bin/python3 -c 'import sys, mutagen.asf as a\n"
                   "d = a.ASF(sys.argv[1]).tags.as_dict()\n"
                   "for k in sys.argv[2:] or sorted(d):\n"
                   "  print(k, \"|\".join(map(str, d[k])) if k in d else None, sep=\"=\")' " +
                   Quote(path) + " " + names);
    EXPECT_EQ(r.status, 0) << "mutagen could not read " << path;
    return r.output;
}

// Edits go to the file at once, in place or growing its header; an update
// then writes every field back as the text it was read as, changing nothing.
TEST(WMSessionTest, EditsAndUpdatesReachTheFileAndLeaveTheAudio) {
    TempDir dir;
    std::string path = dir.File("e.wma");
    ASSERT_TRUE(MakeWma(path, {"title=Hello", "artist=Art", "album=Alb", "genre=Rock", "track=7", "copyright=cc",
                               "comment=cmt"}));
    std::string audio = DecodedMd5(path), album(250, 'x');
    ASSERT_FALSE(audio.empty());
    Session session;
    MDRecord* record = nullptr;
    ASSERT_EQ(session.Open(path, &record), ZMTAGIO_S_FALSE);
    EXPECT_EQ(record->isASF, 1u);
    for (auto [id, text] : {std::pair<int, std::string>{1, "Hallo"}, {13, album}, {9, "Bach"}, {7, ""}, {3, "2001"},
                            {2, "12:00:00:000"}})
        EXPECT_EQ(session.Edit(id, MD_KIND_WM, text + '\0'), 0) << id;
    EXPECT_STREQ(reinterpret_cast<const char*>(record->fields[1].data), "Hallo");
    EXPECT_EQ(Mutagen(path, "Title WM/AlbumTitle WM/Composer WM/Genre WM/OriginalReleaseYear EMPTY Copyright "
                            "Description WM/TrackNumber"),
              "Title=Hallo\nWM/AlbumTitle=" + album +
                  "\nWM/Composer=Bach\nWM/Genre=None\nWM/OriginalReleaseYear=2001\nEMPTY=12:00:00:000\nCopyright=cc\n"
                  "Description=cmt\nWM/TrackNumber=7\n");
    EXPECT_EQ(DecodedMd5(path), audio);

    std::string tags = Mutagen(path);
    ASSERT_EQ(session.Open(path, &record), ZMTAGIO_S_FALSE);
    ASSERT_EQ(session.MDUpdate(0), 0);
    EXPECT_EQ(Mutagen(path), tags);
    EXPECT_EQ(DecodedMd5(path), audio);
}

// An attribute too long for the runtime's 16-bit length (an 80 KB cover URL
// that mutagen keeps in the Metadata Library) is read in part, the other
// fields whole; an update leaves it as stored, and an edit of its field
// replaces it.
TEST(WMSessionTest, AnAttributeBeyond64KBIsReadInPartAndKeptUntilChanged) {
    TempDir dir;
    std::string path = dir.File("long.wma"), url = "http://example.org/" + std::string(80 * 1024, 'u');
    ASSERT_TRUE(MakeWma(path, {"title=Hello", "artist=Art", "album=Alb"}));
    ASSERT_EQ(test::Run("/usr/bin/python3 -c 'import sys, mutagen.asf as a\nf = a.ASF(sys.argv[1])\n"
                  "f.tags[\"WM/AlbumCoverURL\"] = sys.argv[2]\nf.save()' " + Quote(path) + " " + url).status, 0);
    std::string audio = DecodedMd5(path), tags = Mutagen(path);
    ASSERT_NE(tags.find(url), std::string::npos);
    Session session;
    MDRecord* record = nullptr;
    ASSERT_EQ(session.Open(path, &record), ZMTAGIO_S_FALSE);
    auto text = [&](int id) { return std::string(reinterpret_cast<const char*>(record->fields[id].data)); };
    EXPECT_EQ(text(1) + "|" + text(14) + "|" + text(13), "Hello|Art|Alb");
    EXPECT_EQ(text(12), url.substr(0, 299));
    EXPECT_EQ(record->fields[12].size, 300);

    ASSERT_EQ(session.MDUpdate(0), 0);
    EXPECT_EQ(Mutagen(path), tags);
    ASSERT_EQ(session.Open(path, &record), ZMTAGIO_S_FALSE);
    ASSERT_EQ(session.Edit(12, MD_KIND_WM, std::string("http://example.org/c.jpg", 25)), 0);
    EXPECT_EQ(Mutagen(path, "WM/AlbumCoverURL Title"), "WM/AlbumCoverURL=http://example.org/c.jpg\nTitle=Hello\n");
    EXPECT_EQ(DecodedMd5(path), audio);
}

}  // namespace
}  // namespace zm::test
