// Ogg Vorbis files made by the reference encoder, read, edited and rewritten
// through the session, and checked by independent tools: ogginfo for the
// pages, mutagen for the comments, ffmpeg for the audio.
#include <gtest/gtest.h>

#include <cstdlib>

#include "ogg/OggTestPages.h"
#include "support/Session.h"

namespace zm::test {
namespace {

using namespace oggpages;

struct PageSpan {
    size_t start, size;
};

std::vector<PageSpan> Pages(const Bytes& file) {
    std::vector<PageSpan> pages;
    for (size_t at = 0; at + 27 <= file.size();) {
        size_t size = 27 + file[at + 26];
        for (size_t i = 0; i < file[at + 26]; ++i) size += file[at + 27 + i];
        pages.push_back({at, size});
        at += size;
    }
    return pages;
}

std::string Slice(const Bytes& file, size_t start, size_t size) {
    return Hex(file.data() + start, std::min(size, file.size() - start));
}

// The vendor, then the comments as mutagen reads them, one a line.
std::string MutagenComments(const std::string& path) {
    std::string python = FileExists("/usr/bin/python3") ? "/usr/bin/python3" : "python3";
    Result r = Run(python +
                   " -c 'import sys, mutagen.oggvorbis as o; t = o.OggVorbis(sys.argv[1]).tags; "
                   "print(t.vendor); [print(k + \"=\" + v) for k, v in t]' " + Quote(path));
    EXPECT_EQ(r.status, 0) << "mutagen could not read " << path;
    return r.output;
}

void ExpectOggInfoClean(const std::string& path) {
    Result r = Run("ogginfo " + Quote(path) + " 2>&1");
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(r.output.find("WARNING"), std::string::npos) << r.output;
}

class OggSession : public ::testing::Test {
protected:
    // The temporary file of the update goes into the test's own folder.
    void SetUp() override { setenv("TMPDIR", dir_.path().c_str(), 1); }
    void TearDown() override {
        unsetenv("TMPDIR");
        session_.MDUninit();
    }
    std::string Field(int id) const { return FieldText(*record_, id); }
    bool NoTemporaryLeft() const { return !FileExists(dir_.File("VOYdklna7tG.tmp")); }

    TempDir dir_;
    std::string path_ = dir_.File("song.ogg");
    Session session_;
    MDRecord* record_ = nullptr;
};

// Only the comment page changes; the encoder put the setup header on it too,
// which must come through with the pages after it.
TEST_F(OggSession, RewriteChangesOnlyTheCommentPage) {
    ASSERT_TRUE(MakeOgg(path_, {"title=Song", "Artist=Band", "ALBUM=Disc", "ENCODED_BY=me", "DATE=2004"}, 3.0));
    Bytes before = ReadFile(path_);
    std::string audio = DecodedMd5(path_);
    std::string longComment(4000, 'c');
    ASSERT_EQ(session_.Open(path_, &record_), ZMTAGIO_S_OK);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(record_->tagBuffer), 16), "SongBandDisc2004");
    EXPECT_EQ(Field(1) + Field(5) + Field(3) + Field(12), "SongBandDisc2004");
    EXPECT_EQ(session_.Edit(1, MD_KIND_OGG, "First"), ZMTAGIO_S_OK);
    EXPECT_EQ(session_.Edit(11, MD_KIND_OGG, "Jazz"), ZMTAGIO_S_OK);
    EXPECT_EQ(session_.Edit(5, MD_KIND_OGG, ""), ZMTAGIO_S_OK);
    EXPECT_EQ(session_.Edit(16, MD_KIND_OGG, longComment), ZMTAGIO_S_OK);
    EXPECT_EQ(session_.Edit(1, MD_KIND_OGG, "Bj\xC3\xB6rk"), ZMTAGIO_S_OK);
    ASSERT_EQ(session_.MDUpdate(0), ZMTAGIO_S_OK);
    EXPECT_TRUE(NoTemporaryLeft());

    Bytes after = ReadFile(path_);
    auto oldPages = Pages(before), newPages = Pages(after);
    ASSERT_EQ(oldPages.size(), newPages.size());
    PageSpan was = oldPages[1], is = newPages[1];
    EXPECT_EQ(Slice(after, 0, is.start + 22), Slice(before, 0, was.start + 22));
    EXPECT_EQ(Slice(after, is.start + is.size, after.size()), Slice(before, was.start + was.size, before.size()));
    EXPECT_GT(was.size, 2000u) << "the setup header shares the comment page";
    Bytes page(after.begin() + long(is.start), after.begin() + long(is.start + is.size));
    EXPECT_EQ(StoredCrc(page), BitwisePageCrc(page));

    ExpectOggInfoClean(path_);
    EXPECT_EQ(DecodedMd5(path_), audio);
    EXPECT_EQ(MutagenComments(path_), std::string(kVendor) + "\nALBUM=Disc\nDATE=2004\nGENRE=Jazz\nCOMMENT=" +
                                          longComment + "\nTITLE=Bj\xC3\xB6rk\n");
    ASSERT_EQ(session_.Open(path_, &record_), ZMTAGIO_S_OK);
    EXPECT_EQ(Field(1) + "|" + Field(5) + "|" + Field(11), "Bj\xC3\xB6rk||Jazz");
    EXPECT_EQ(Field(16), longComment);
}

// No recognised comment: no tag buffer, yet the page is kept, so the file can
// be tagged; removing the tag leaves the vendor alone.
TEST_F(OggSession, TaggingAndRemovingKeepVendorAndAudio) {
    ASSERT_TRUE(MakeOgg(path_, {"ENCODED_BY=me"}));
    std::string audio = DecodedMd5(path_);
    ASSERT_EQ(session_.Open(path_, &record_), ZMTAGIO_S_OK);
    EXPECT_EQ(record_->isOgg, 1u);
    EXPECT_EQ(static_cast<const void*>(record_->tagBuffer), nullptr);  // packed: compare a copy
    EXPECT_EQ(session_.Edit(4, MD_KIND_OGG, "7"), ZMTAGIO_S_OK);
    ASSERT_EQ(session_.MDUpdate(0), ZMTAGIO_S_OK);
    EXPECT_EQ(MutagenComments(path_), std::string(kVendor) + "\nTRACKNUMBER=7\n");

    ASSERT_EQ(session_.Open(path_, &record_), ZMTAGIO_S_OK);
    EXPECT_EQ(session_.Edit(3, MD_KIND_OGG, "staged, then dropped"), ZMTAGIO_S_OK);
    EXPECT_EQ(session_.MDRemoveTag(MD_KIND_OGG, 0), ZMTAGIO_S_OK);
    ASSERT_EQ(session_.MDUpdate(0), ZMTAGIO_S_OK);
    ExpectOggInfoClean(path_);
    EXPECT_EQ(DecodedMd5(path_), audio);
    EXPECT_EQ(MutagenComments(path_), std::string(kVendor) + "\n");
}

// A comment packet too large for one page is read as far as the searched
// bytes go, and the update refuses to touch the file.
TEST_F(OggSession, PacketSpanningPagesIsReadButNeverRewritten) {
    ASSERT_TRUE(MakeOgg(path_, {"TITLE=Song", "COMMENT=" + std::string(70000, 'x'), "ARTIST=Band"}));
    Bytes before = ReadFile(path_);
    ASSERT_EQ(session_.Open(path_, &record_), ZMTAGIO_S_OK);
    EXPECT_EQ(Field(1) + "|" + Field(16), "Song|");
    EXPECT_EQ(session_.Edit(1, MD_KIND_OGG, "Changed"), ZMTAGIO_S_OK);
    EXPECT_EQ(session_.MDUpdate(0), ZMTAGIO_E_FAIL);
    EXPECT_EQ(ReadFile(path_), before);
    EXPECT_TRUE(NoTemporaryLeft());
}

}  // namespace
}  // namespace zm::test
