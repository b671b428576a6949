// zmtagio remove: whole tags leave the file and nothing else does.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "cli/Cli.h"

namespace zm::test::cli {
namespace {

constexpr const char* kFrames = "[TIT2(encoding=0, text='Title'), TPE1(encoding=1, text='Artist')]";

// The tags are made without padding, so removing both gives back the very
// bytes the encoder wrote.
TEST(CliRemove, ID3TagsLeaveTheFile) {
    struct Row {
        const char* options;
        bool id3v1After;
        bool id3v2After;
    } rows[] = {
        {"--id3v1", false, true},
        {"--id3v2", true, false},
        {"--id3v1 --id3v2", false, false},
    };
    for (const Row& row : rows) {
        TempDir dir;
        std::string path = dir.File("a.mp3");
        ASSERT_TRUE(MakeTaggedMp3(path, kFrames, true));
        ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
        Outcome removed = Zmtagio(dir, "remove " + Quote(path) + " " + row.options);
        ASSERT_EQ(removed.status, 0) << row.options << removed.err;
        Json line = ShowJson(dir, path);
        EXPECT_EQ(line["hasID3v1"], row.id3v1After) << row.options;
        EXPECT_EQ(line["hasID3v2"], row.id3v2After) << row.options;
        Bytes bytes = ReadFile(path);
        EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 3) == "ID3", row.id3v2After) << row.options;
        Bytes tail = Tail(bytes, 128);
        EXPECT_EQ(std::string(tail.begin(), tail.begin() + 3) == "TAG", row.id3v1After) << row.options;
        if (row.id3v2After) {
            EXPECT_EQ(MutagenFrames(path)["TPE1"]["text"], "Artist");
        }
        EXPECT_EQ(Permissions(path), 0640u);
        EXPECT_NE(removed.out.find("removed the ID3v"), std::string::npos) << removed.out;
        EXPECT_TRUE(NoTemporaryFiles(dir));
    }
}

TEST(CliRemove, BothTagsGoneGivesBackTheEncodersBytes) {
    TempDir dir;
    std::string plain = dir.File("plain.mp3"), path = dir.File("a.mp3");
    ASSERT_TRUE(MakeMp3(plain));
    WriteFile(path, ReadFile(plain));
    ASSERT_TRUE(TagMp3(path, kFrames, true));
    ASSERT_NE(ReadFile(path), ReadFile(plain));
    ASSERT_EQ(Zmtagio(dir, "remove " + Quote(path) + " --id3v2 --id3v1").status, 0);
    EXPECT_TRUE(ReadFile(path) == ReadFile(plain));
}

TEST(CliRemove, OggCommentsLeaveAndTheVendorStays) {
    TempDir dir;
    std::string path = dir.File("a.ogg");
    ASSERT_TRUE(MakeOgg(path, {"TITLE=T", "ARTIST=A"}));
    std::string audio = DecodedMd5(path);
    Outcome removed = Zmtagio(dir, "remove " + Quote(path) + " --ogg");
    ASSERT_EQ(removed.status, 0) << removed.err;
    EXPECT_EQ(test::Run("vorbiscomment -l " + Quote(path)).output, "");
    Json line = ShowJson(dir, path);
    EXPECT_EQ(line["isOgg"], true);
    EXPECT_TRUE(line["fields"].empty());
    EXPECT_EQ(DecodedMd5(path), audio);
    EXPECT_EQ(test::Run("ogginfo " + Quote(path) + " | grep -q 'Vendor: Xiph'").status, 0);
}

// A tag the file does not have is reported and nothing is written; an Ogg
// stream the component does not accept is refused.
TEST(CliRemove, NothingToRemoveOrRefusedLeavesTheFile) {
    TempDir dir;
    std::string plain = dir.File("plain.mp3"), opus = dir.File("a.opus");
    ASSERT_TRUE(MakeMp3(plain));
    ASSERT_EQ(test::Run("ffmpeg -nostdin -y -loglevel error -f lavfi -i sine=duration=0.5 -c:a libopus -f ogg " +
                        Quote(opus))
                  .status,
              0);
    struct Row {
        std::string path;
        const char* options;
        int status;
    } rows[] = {{plain, "--id3v1 --id3v2", 0}, {plain, "--ogg", 0}, {opus, "--ogg", 1}};
    for (const Row& row : rows) {
        Bytes before = ReadFile(row.path);
        Outcome removed = Zmtagio(dir, "remove " + Quote(row.path) + " " + row.options);
        EXPECT_EQ(removed.status, row.status) << row.path << " " << row.options << removed.err;
        EXPECT_TRUE(ReadFile(row.path) == before) << row.path;
    }
    EXPECT_NE(Zmtagio(dir, "remove " + Quote(plain) + " --id3v1").out.find("no ID3v1 tag to remove"),
              std::string::npos);
}

}  // namespace
}  // namespace zm::test::cli
