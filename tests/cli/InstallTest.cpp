// The installed package: hosts build against it with CMake and pkg-config.
#include <gtest/gtest.h>

#include "cli/Cli.h"

namespace zm::test::cli {
namespace {

// A sanitizer build installs a library that needs its runtime; a host built
// without it may still load it.
constexpr const char* kRunEnvironment = "ASAN_OPTIONS=verify_asan_link_order=0 ";

TEST(CliInstall, ExamplesBuildAgainstTheInstalledPackage) {
    TempDir dir;
    std::string prefix = dir.File("prefix"), build = dir.File("build");
    ASSERT_EQ(test::Run("cmake --install " + Quote(ZM_BINARY_DIR) + " --prefix " + Quote(prefix) + " >/dev/null").status, 0);
    for (const char* installed : {"include/zmTagIO.h", "lib/libzmTagIO.so", "bin/zmtagio", "lib/pkgconfig/zmtagio.pc",
                                  "lib/cmake/zmTagIO/zmTagIOConfig.cmake", "share/man/man1/zmtagio.1"})
        EXPECT_TRUE(FileExists(prefix + "/" + installed)) << installed;
    EXPECT_EQ(test::Run(kRunEnvironment + Quote(prefix + "/bin/zmtagio") + " --version").output, "zmtagio 1.0.0\n");

    ASSERT_EQ(test::Run("cmake -S " + Quote(ZM_SOURCE_DIR "/examples") + " -B " + Quote(build) +
                        " -DCMAKE_PREFIX_PATH=" + Quote(prefix) + " >/dev/null && cmake --build " + Quote(build) +
                        " >/dev/null 2>&1")
                  .status,
              0);
    std::string song = dir.File("song.mp3");
    ASSERT_TRUE(MakeMp3(song));
    std::string environment = std::string(kRunEnvironment) + "TMPDIR=" + Quote(dir.path()) + " ";
    ASSERT_EQ(test::Run(environment + Quote(build + "/set_title") + " " + Quote(song) + " 'Gr\u00f6\u00dfe'").status, 0);
    EXPECT_EQ(test::Run(environment + Quote(build + "/show_title") + " " + Quote(song)).output, "Gr\u00f6\u00dfe\n");

    std::string viaPkgConfig = dir.File("show_title_pc");
    ASSERT_EQ(test::Run("export PKG_CONFIG_PATH=" + Quote(prefix + "/lib/pkgconfig") + "; cc -o " + Quote(viaPkgConfig) +
                        " " + Quote(ZM_SOURCE_DIR "/examples/show_title.c") + " $(pkg-config --cflags --libs zmtagio) 2>/dev/null")
                  .status,
              0);
    EXPECT_EQ(test::Run(environment + "LD_LIBRARY_PATH=" + Quote(prefix + "/lib") + " " + Quote(viaPkgConfig) + " " +
                        Quote(song))
                  .output,
              "Gr\u00f6\u00dfe\n");
}

}  // namespace
}  // namespace zm::test::cli
