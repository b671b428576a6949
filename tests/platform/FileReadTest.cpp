// Read handles keep their own position and the windows they last read; what
// they return must be the file's bytes whatever the order of seeks and reads.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

#include "platform/FaultInjection.h"
#include "platform/File.h"
#include "support/TestSupport.h"

namespace zm::platform {
namespace {

using test::Bytes;
using test::TempDir;

constexpr size_t kWindow = ReadWindows::kBytes;

Bytes Pattern(size_t size) {
    Bytes bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = uint8_t(i * 7 + i / 251);
    return bytes;
}

// Seeks and reads at random, as probes and readers do, against a model of
// the position: every read returns exactly the bytes the file holds there.
void CheckAgainstModel(const std::string& path, const Bytes& content, uint32_t seed) {
    File file = File::Open(path.c_str(), File::Mode::Read);
    ASSERT_TRUE(file.IsOpen());
    if (seed % 2) {  // with and without a measured size
        ASSERT_EQ(file.Size(), int64_t(content.size()));
    }
    const size_t sizes[] = {0, 1, 4, 10, 128, kWindow - 1, kWindow, kWindow + 1, 10240};
    // Window edges and the file's end, where reads get cut, besides anywhere.
    const uint64_t end = content.size();
    const uint64_t edges[] = {0, 1, kWindow - 1, kWindow, end - 1, end, end + 1};
    std::mt19937 random(seed);
    uint64_t position = 0;
    for (int step = 0; step < 400; ++step) {
        switch (random() % 3) {
            case 0: {
                uint64_t to = random() % 2 ? edges[random() % std::size(edges)] % (end + 2 * kWindow)
                                           : random() % (end + 2 * kWindow);
                ASSERT_TRUE(file.Seek(to));
                position = to;
                break;
            }
            case 1: {
                int64_t back = int64_t(random() % 2 ? random() % 3 : random() % (end + 200));
                bool fits = uint64_t(back) <= content.size();
                ASSERT_EQ(file.SeekFromEnd(back), fits) << back;
                if (fits) position = content.size() - uint64_t(back);
                break;
            }
            default: {
                Bytes buffer(sizes[random() % std::size(sizes)], 0xEE);
                int64_t got = file.Read(buffer);
                size_t expected = position < content.size() ? std::min(buffer.size(), content.size() - position) : 0;
                ASSERT_EQ(got, int64_t(expected)) << "step " << step << " at " << position;
                ASSERT_TRUE(std::equal(buffer.begin(), buffer.begin() + long(expected), content.begin() + long(position)))
                    << "step " << step << " at " << position;
                position += expected;
            }
        }
    }
}

TEST(FileReadTest, EverySeekAndReadOrderReturnsTheFilesBytes) {
    TempDir dir;
    for (size_t size : {size_t(0), size_t(100), kWindow, 3 * kWindow + 77}) {
        std::string path = dir.File(std::to_string(size));
        Bytes content = Pattern(size);
        test::WriteFile(path, content);
        for (uint32_t seed = 1; seed <= 6; ++seed) CheckAgainstModel(path, content, seed * 7919 + uint32_t(size));
    }
}

// Faults act on the calls that were made, read from a window or not.
TEST(FileReadTest, FaultsHitReadsThatAWindowAnswers) {
    TempDir dir;
    std::string path = dir.File("f");
    Bytes content = Pattern(1000);
    test::WriteFile(path, content);
    File file = File::Open(path.c_str(), File::Mode::Read);
    uint8_t buffer[100];
    ASSERT_EQ(file.Read(buffer), 100);  // fills a window
    fault::Arm(2, fault::Kind::ShortRead);
    ASSERT_TRUE(file.Seek(10));
    EXPECT_EQ(file.Read(buffer), 50);
    EXPECT_TRUE(std::equal(buffer, buffer + 50, content.begin() + 10));
    EXPECT_EQ(file.Read(buffer), 100);  // on from where the short read ended
    EXPECT_TRUE(std::equal(buffer, buffer + 100, content.begin() + 60));
    EXPECT_EQ(fault::Calls(), 3u);
    fault::Arm(1, fault::Kind::Error);
    EXPECT_EQ(file.Read(buffer), -1);
    fault::Arm(1, fault::Kind::Error);
    EXPECT_FALSE(file.SeekFromEnd(128));
    fault::Reset();
    EXPECT_EQ(file.Read(buffer), 100);
    EXPECT_TRUE(std::equal(buffer, buffer + 100, content.begin() + 160));
}

}  // namespace
}  // namespace zm::platform
