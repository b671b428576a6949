// Exit statuses, one-line errors, --help and --version; the installed package.
#include "cli/Cli.h"

namespace zm::test::cli {
namespace {

TEST_F(Cli, BadUsageExitsWithTwoAndOneLineHelpAndVersionWithZero) {
    std::string file = Quote(File("a.mp3"));
    WriteFile(File("a.mp3"), ToBytes("x"));
    const std::string rows[] = {"", "unknown", "show", "show --lang english " + file, "show --codepage 12345 " + file,
                                "set " + file, "set " + file + " --field TIT2", "set " + file + " --title",
                                "remove " + file, "scan --jobs 0 " + Quote(dir.path()), "scan",
                                "set --jobs 0 " + file + " --title x", "remove --jobs 257 --id3v1 " + file};
    for (const std::string& arguments : rows) {
        Outcome run = Zmtagio(arguments);
        EXPECT_EQ(run.status, 2) << arguments;
        EXPECT_EQ(run.errLines(), 1u) << arguments << ": " << run.err;
        EXPECT_EQ(run.err.rfind("zmtagio: ", 0), 0u) << run.err;
        EXPECT_TRUE(ReadFile(File("a.mp3")) == ToBytes("x"));
    }
    Outcome help = Zmtagio("--help");
    EXPECT_EQ(help.status, 0);
    for (std::string command : {"show", "set", "remove", "scan"}) {
        EXPECT_NE(help.out.find("zmtagio " + command + " "), std::string::npos) << command;
        Outcome sub = Zmtagio(command + " --help");
        EXPECT_EQ(sub.status, 0) << command;
        EXPECT_NE(sub.out.find("Examples:\n  zmtagio " + command), std::string::npos) << sub.out;
    }
    Outcome version = Zmtagio("--version");
    EXPECT_TRUE(version.status == 0 && version.out == "zmtagio 1.0.0\n") << version.status << version.out;
}

// The C and C++ examples build against the installed package with CMake (the
// C host of tests/host builds with pkg-config). A sanitizer build installs a
// library that needs its runtime; a host built without it may still load it.
TEST_F(Cli, InstalledPackageBuildsTheExamples) {
    std::string prefix = Quote(File("prefix")), build = File("build"), song = Quote(File("song.mp3"));
    std::string text = "Gr\u00f6\u00dfe";
    auto run = [&](const std::string& command) {
        return test::Run("ASAN_OPTIONS=verify_asan_link_order=0 TMPDIR=" + Quote(dir.path()) + " " + command);
    };
    ASSERT_EQ(run("cmake --install " + Quote(ZM_BINARY_DIR) + " --prefix " + prefix + " >/dev/null").status, 0);
    EXPECT_TRUE(std::filesystem::exists(File("prefix/share/man/man1/zmtagio.1")));
    EXPECT_EQ(run(Quote(File("prefix/bin/zmtagio")) + " --version").output, "zmtagio 1.0.0\n");
    ASSERT_EQ(run("cmake -S " + Quote(ZM_SOURCE_DIR "/examples") + " -B " + Quote(build) + " -DCMAKE_PREFIX_PATH=" +
                  prefix + " >/dev/null && cmake --build " + Quote(build) + " >/dev/null 2>&1").status, 0);
    ASSERT_TRUE(MakeMp3(File("song.mp3")));
    ASSERT_EQ(run(Quote(build + "/set_title") + " " + song + " " + text).status, 0);
    EXPECT_EQ(run(Quote(build + "/show_title") + " " + song).output, text + "\n");
}

}  // namespace
}  // namespace zm::test::cli
