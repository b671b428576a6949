// zmtagio on paths that are not plain files: symbolic links are followed to the file they point to, which changes
// while the link stays a link; folders, FIFOs and devices are refused at once and left as they were.
#include <sys/sysmacros.h>
#include <unistd.h>

#include "cli/Cli.h"

namespace zm::test::cli {
namespace {

// Through a relative and an absolute link, to MP3 files with and without room in their tags, to Ogg and to Windows
// Media: set changes the file linked to, the link still points where it did, and the link's folder, the file's folder
// and the temporary folder hold nothing new. A second name of the file (a hard link) sees a change written in place; a
// rebuild gives the path a new file and leaves the other name with the old one.
TEST_F(Cli, SetThroughASymbolicLinkChangesTheFileLinkedTo) {
    std::filesystem::create_directories(File("music/albums"));
    std::filesystem::create_directories(File("links"));
    const struct {
        const char* file;
        const char* kind;
        int title;
        bool inPlace;
    } kFiles[] = {{"tight.mp3", "id3v2", 17, false}, {"room.mp3", "id3v2", 17, true}, {"song.ogg", "ogg", 1, false},
                  {"song.wma", "wm", 1, false}};
    for (const auto& [fileName, kind, field, inPlace] : kFiles) {
        std::string target = File("music/albums/") + fileName, other = target + ".hard", format = kind;
        ASSERT_TRUE(format == "ogg"  ? MakeOgg(target, {"TITLE=Old"})
                    : format == "wm" ? MakeWma(target, {"title=Old"})
                                     : MakeMp3(target) && TagMp3(target, "[TIT2(text='Old')]", true, 3,
                                                                 inPlace ? 4096 : 0));  // room in the tag, or none
        std::filesystem::create_hard_link(target, other);
        std::string audio = DecodedMd5(target);
        for (const std::string& pointsTo : {"../music/albums/" + std::string(fileName), target}) {
            SCOPED_TRACE(pointsTo);
            std::string link = File("links/") + fileName;
            std::filesystem::remove(link);
            std::filesystem::create_symlink(pointsTo, link);
            std::string title = "Through " + pointsTo.substr(0, 3);
            Outcome set = Zmtagio("set " + Quote(link) + " --title " + Quote(title));
            ASSERT_EQ(set.status, 0) << set.err;
            EXPECT_TRUE(std::filesystem::is_symlink(link));
            EXPECT_EQ(std::filesystem::read_symlink(link), pointsTo);
            for (const std::string& name : {target, other}) {
                std::string expected = name == target || inPlace ? title : "Old";
                EXPECT_EQ(Field(ShowJson(name), kind, field).value("text", ""), expected) << name;
            }
            EXPECT_EQ(DecodedMd5(target), audio);
            EXPECT_TRUE(NoTemporaryFiles());
        }
    }
    auto count = [](const std::string& folder) {
        return std::distance(std::filesystem::directory_iterator(folder), {});
    };
    EXPECT_EQ(count(File("music/albums")), 8);
    EXPECT_EQ(count(File("links")), 4);
}

// A folder, a FIFO without a writer (a plain open would wait on it for ever) and a character device, all named as
// music: show (and set, which walks a folder instead) fail at once with the reason, and each stays what it was. The
// device is a copy of /dev/null made in the test's own folder where the test may make one, else /dev/null itself.
TEST_F(Cli, ShowAndSetRefuseWhatIsNotARegularFile) {
    std::string folder = File("folder.mp3"), fifo = File("fifo.mp3"), device = File("null.mp3");
    std::filesystem::create_directory(folder);
    std::filesystem::create_directory(File("tmp"));
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    if (::mknod(device.c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0) device = "/dev/null";
    for (const std::string& path : {folder, fifo, device}) {
        struct stat before, after;
        ASSERT_EQ(::stat(path.c_str(), &before), 0);
        for (const char* command : {"show ", "show --json ", "set --title x "}) {
            if (path == folder && command[1] == 'e') continue;  // set walks a folder for the files in it
            SCOPED_TRACE(command + path);
            // A hang is a failure (timeout's status 124), not a stuck test.
            Result outcome = test::Run("TMPDIR=" + Quote(File("tmp")) + " timeout 20 " +
                                       Quote(ZM_BINARY_DIR "/tools/zmtagio") + " " + command + Quote(path) + " 2>&1");
            EXPECT_NE(outcome.status, 0);
            EXPECT_NE(outcome.status, 124) << "it waited";
            EXPECT_TRUE(outcome.output.find("not a regular file") != std::string::npos ||
                        outcome.output.find("folder") != std::string::npos)
                << outcome.output;
        }
        ASSERT_EQ(::stat(path.c_str(), &after), 0);
        EXPECT_EQ(after.st_mode, before.st_mode);
        EXPECT_EQ(after.st_ino, before.st_ino);
        EXPECT_EQ(after.st_rdev, before.st_rdev);
    }
    EXPECT_TRUE(std::filesystem::is_empty(folder));
    EXPECT_TRUE(NoTemporaryFiles());
}

}  // namespace
}  // namespace zm::test::cli
