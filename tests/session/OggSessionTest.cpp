// Ogg Vorbis files made by the reference encoder, read, edited and rewritten
// through the session, and checked by independent tools: ogginfo for the
// pages, mutagen for the comments, ffmpeg for the audio.
#include <gtest/gtest.h>

#include <cstdlib>

#include "ogg/OggTestPages.h"
#include "support/Session.h"
#include "support/TestSupport.h"

namespace zm::test {
namespace {

using namespace oggpages;

// Where a page lies in a file.
struct PageSpan {
    size_t start = 0;
    size_t size = 0;
};

std::vector<PageSpan> Pages(const Bytes& file) {
    std::vector<PageSpan> pages;
    for (size_t at = 0; at + 27 <= file.size() && file[at] == 'O';) {
        size_t size = 27 + file[at + 26];
        for (size_t i = 0; i < file[at + 26] && at + 27 + i < file.size(); ++i) size += file[at + 27 + i];
        pages.push_back({at, size});
        at += size;
    }
    return pages;
}

Bytes Slice(const Bytes& file, size_t start, size_t size) {
    return Bytes(file.begin() + long(start), file.begin() + long(std::min(file.size(), start + size)));
}

Bytes From(const Bytes& file, size_t start) { return Slice(file, start, file.size() - start); }

std::string Python() { return FileExists("/usr/bin/python3") ? "/usr/bin/python3" : "python3"; }

// The vendor and the comments as mutagen reads them, one per line.
std::string MutagenComments(const std::string& path) {
    Result r = Run(Python() +
                   " -c 'import sys, mutagen.oggvorbis as o; t = o.OggVorbis(sys.argv[1]).tags; "
                   "print(t.vendor); [print(k + \"=\" + v) for k, v in t]' " +
                   Quote(path));
    EXPECT_EQ(r.status, 0) << "mutagen could not read " << path;
    return r.output;
}

void ExpectOggInfoClean(const std::string& path) {
    Result r = Run("ogginfo " + Quote(path) + " 2>&1");
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(r.output.find("WARNING"), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("ERROR"), std::string::npos) << r.output;
}

std::string Field(const MDRecord& record, int id) {
    const MDField& f = record.fields[id];
    return f.size > 0 && f.data ? std::string(reinterpret_cast<const char*>(f.data), size_t(f.size)) : "";
}

class OggSession : public ::testing::Test {
protected:
    void SetUp() override {
        const char* old = std::getenv("TMPDIR");
        if (old) oldTmp_ = old;
        setenv("TMPDIR", dir_.path().c_str(), 1);
    }
    void TearDown() override {
        if (oldTmp_.empty())
            unsetenv("TMPDIR");
        else
            setenv("TMPDIR", oldTmp_.c_str(), 1);
        session_.MDUninit();
    }
    bool NoTemporaryLeft() { return !FileExists(dir_.File("VOYdklna7tG.tmp")); }

    TempDir dir_;
    std::string path_ = dir_.File("song.ogg");
    Session session_;
    MDRecord* record_ = nullptr;

private:
    std::string oldTmp_;
};

TEST_F(OggSession, ReadsEncodedCommentsAndFindsSetupPacketOnTheCommentPage) {
    ASSERT_TRUE(MakeOgg(path_, {"title=Song", "Artist=Band", "ALBUM=Disc", "ENCODED_BY=me", "DATE=2004"}));
    ASSERT_EQ(session_.Open(path_, &record_), ZMTAGIO_S_OK);
    EXPECT_EQ(record_->isOgg, 1u);
    EXPECT_EQ(record_->hasID3v1 | record_->hasID3v2 | record_->isASF, 0u);
    EXPECT_EQ(Field(*record_, 1), "Song");
    EXPECT_EQ(Field(*record_, 5), "Band");
    EXPECT_EQ(Field(*record_, 3), "Disc");
    EXPECT_EQ(Field(*record_, 12), "2004");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(record_->tagBuffer), 16), "SongBandDisc2004");

    // The encoder puts the setup header behind the comments on the same
    // page, so the rebuilt page must carry it through.
    Bytes file = ReadFile(path_);
    auto pages = Pages(file);
    ASSERT_GE(pages.size(), 3u);
    size_t lacingAt = pages[1].start + 27, segments = file[pages[1].start + 26];
    size_t firstEnd = 0;
    while (firstEnd < segments && file[lacingAt + firstEnd] == 255) ++firstEnd;
    EXPECT_LT(firstEnd + 1, segments);
}

TEST_F(OggSession, RewriteChangesOnlyTheCommentPage) {
    ASSERT_TRUE(MakeOgg(path_, {"title=Song", "Artist=Band", "ALBUM=Disc", "ENCODED_BY=me", "DATE=2004"}, 3.0));
    Bytes before = ReadFile(path_);
    std::string audio = DecodedMd5(path_);
    ASSERT_FALSE(audio.empty());
    std::string longComment(4000, 'c');

    ASSERT_EQ(session_.Open(path_, &record_), ZMTAGIO_S_OK);
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
    PageSpan oldComment = oldPages[1], newComment = newPages[1];
    EXPECT_EQ(Hex(Slice(after, 0, newComment.start)), Hex(Slice(before, 0, oldComment.start)));
    EXPECT_EQ(Hex(From(after, newComment.start + newComment.size)),
              Hex(From(before, oldComment.start + oldComment.size)));
    Bytes page = Slice(after, newComment.start, newComment.size);
    EXPECT_EQ(Hex(Slice(page, 0, 22)), Hex(Slice(before, oldComment.start, 22)));
    EXPECT_EQ(StoredCrc(page), BitwisePageCrc(page));

    ExpectOggInfoClean(path_);
    EXPECT_EQ(DecodedMd5(path_), audio);
    EXPECT_EQ(MutagenComments(path_), std::string(kVendor) +
                                          "\nALBUM=Disc\nDATE=2004\nGENRE=Jazz\nCOMMENT=" + longComment +
                                          "\nTITLE=Bj\xC3\xB6rk\n");

    ASSERT_EQ(session_.Open(path_, &record_), ZMTAGIO_S_OK);
    EXPECT_EQ(Field(*record_, 1), "Bj\xC3\xB6rk");
    EXPECT_EQ(Field(*record_, 5), "");
    EXPECT_EQ(Field(*record_, 11), "Jazz");
    EXPECT_EQ(Field(*record_, 16), longComment);
}

TEST_F(OggSession, RemovingTheTagKeepsVendorAndAudio) {
    ASSERT_TRUE(MakeOgg(path_, {"TITLE=Song", "ARTIST=Band", "ENCODED_BY=me"}));
    std::string audio = DecodedMd5(path_);
    ASSERT_EQ(session_.Open(path_, &record_), ZMTAGIO_S_OK);
    EXPECT_EQ(session_.Edit(3, MD_KIND_OGG, "staged, then dropped"), ZMTAGIO_S_OK);
    EXPECT_EQ(session_.MDRemoveTag(MD_KIND_OGG, 0), ZMTAGIO_S_OK);
    ASSERT_EQ(session_.MDUpdate(0), ZMTAGIO_S_OK);
    ExpectOggInfoClean(path_);
    EXPECT_EQ(DecodedMd5(path_), audio);
    EXPECT_EQ(MutagenComments(path_), std::string(kVendor) + "\n");
}

// All recognised comments empty: no tag buffer, yet the page is read and the
// file can be given comments.
TEST_F(OggSession, FileWithoutRecognisedCommentsCanBeTagged) {
    ASSERT_TRUE(MakeOgg(path_, {"ENCODED_BY=me"}));
    ASSERT_EQ(session_.Open(path_, &record_), ZMTAGIO_S_OK);
    EXPECT_EQ(record_->isOgg, 1u);
    EXPECT_EQ(static_cast<const void*>(record_->tagBuffer), nullptr);  // packed: compare a copy
    EXPECT_EQ(session_.Edit(4, MD_KIND_OGG, "7"), ZMTAGIO_S_OK);
    ASSERT_EQ(session_.MDUpdate(0), ZMTAGIO_S_OK);
    ExpectOggInfoClean(path_);
    EXPECT_EQ(MutagenComments(path_), std::string(kVendor) + "\nTRACKNUMBER=7\n");
}

// A comment packet too large for one page is read as far as the first page
// goes, and the update refuses to touch the file.
TEST_F(OggSession, PacketSpanningPagesIsReadButNeverRewritten) {
    ASSERT_TRUE(MakeOgg(path_, {"TITLE=Song", "COMMENT=" + std::string(70000, 'x'), "ARTIST=Band"}));
    Bytes before = ReadFile(path_);
    ASSERT_EQ(session_.Open(path_, &record_), ZMTAGIO_S_OK);
    EXPECT_EQ(record_->isOgg, 1u);
    EXPECT_EQ(Field(*record_, 1), "Song");
    EXPECT_EQ(Field(*record_, 16), "");
    EXPECT_EQ(session_.Edit(1, MD_KIND_OGG, "Changed"), ZMTAGIO_S_OK);
    EXPECT_EQ(session_.MDUpdate(0), ZMTAGIO_E_FAIL);
    EXPECT_EQ(ReadFile(path_), before);
    EXPECT_TRUE(NoTemporaryLeft());
}

// Comments that no longer fit one page: the update fails and the file stays.
TEST_F(OggSession, CommentsTooLargeForOnePageLeaveTheFileAsItWas) {
    ASSERT_TRUE(MakeOgg(path_, {"TITLE=Song"}));
    Bytes before = ReadFile(path_);
    ASSERT_EQ(session_.Open(path_, &record_), ZMTAGIO_S_OK);
    EXPECT_EQ(session_.Edit(16, MD_KIND_OGG, std::string(64000, 'y')), ZMTAGIO_S_OK);
    EXPECT_EQ(session_.MDUpdate(0), ZMTAGIO_E_FAIL);
    EXPECT_EQ(ReadFile(path_), before);
    EXPECT_TRUE(NoTemporaryLeft());
}

}  // namespace
}  // namespace zm::test
