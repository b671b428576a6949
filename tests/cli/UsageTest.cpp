// Exit statuses, one-line errors, --help and --version.
#include <gtest/gtest.h>

#include "cli/Cli.h"

namespace zm::test::cli {
namespace {

TEST(CliUsage, BadUsageExitsWithTwoAndOneLine) {
    TempDir dir;
    std::string file = dir.File("a.mp3");
    WriteFile(file, ToBytes("x"));
    const std::string rows[] = {
        "",
        "unknown",
        "show",
        "show --lang english " + Quote(file),
        "show --codepage 12345 " + Quote(file),
        "set " + Quote(file),
        "set " + Quote(file) + " --field TIT2",
        "set " + Quote(file) + " --title",
        "remove " + Quote(file),
        "scan --jobs 0 " + Quote(dir.path()),
        "scan",
    };
    for (const std::string& arguments : rows) {
        Outcome run = Zmtagio(dir, arguments);
        EXPECT_EQ(run.status, 2) << arguments;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << arguments << ": " << run.err;
        EXPECT_EQ(run.err.rfind("zmtagio: ", 0), 0u) << run.err;
        EXPECT_TRUE(ReadFile(file) == ToBytes("x"));
    }
}

TEST(CliUsage, HelpShowsEachCommandWithAnExample) {
    TempDir dir;
    Outcome help = Zmtagio(dir, "--help");
    EXPECT_EQ(help.status, 0);
    for (const char* example : {"zmtagio show ", "zmtagio set ", "zmtagio remove ", "zmtagio scan "})
        EXPECT_NE(help.out.find(example), std::string::npos) << example;
    for (const char* command : {"show", "set", "remove", "scan"}) {
        Outcome sub = Zmtagio(dir, std::string(command) + " --help");
        EXPECT_EQ(sub.status, 0) << command;
        EXPECT_NE(sub.out.find("Examples:\n  zmtagio " + std::string(command)), std::string::npos) << sub.out;
    }
    Outcome version = Zmtagio(dir, "--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "zmtagio 1.0.0\n");
}

}  // namespace
}  // namespace zm::test::cli
