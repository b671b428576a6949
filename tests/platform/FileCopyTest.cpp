#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/FaultInjection.h"
#include "platform/FileCopy.h"
#include "support/TestSupport.h"

namespace zm::platform {
namespace {

using test::Bytes;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

constexpr size_t kSourceSize = 2 * kCopyChunk + 1234;

Bytes Pattern(size_t size) {
    Bytes bytes(size);
    uint32_t x = 2463534242u;
    for (auto& b : bytes) {
        x ^= x << 13, x ^= x >> 17, x ^= x << 5;
        b = uint8_t(x);
    }
    return bytes;
}

std::span<const uint8_t> Span(const std::string& s) {
    return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

// Where the source may lie: beside the destination, where the kernel copies,
// and on another file system, where the bytes go through the buffer.
struct SourcePlace {
    std::string path;
    ~SourcePlace() { ::unlink(path.c_str()); }
};

std::vector<std::string> SourcePaths(const TempDir& dir) {
    std::vector<std::string> paths{dir.File("source")};
    struct stat shm, here;
    if (::stat("/dev/shm", &shm) == 0 && ::stat(dir.path().c_str(), &here) == 0 && shm.st_dev != here.st_dev)
        paths.push_back("/dev/shm/zmtagio-copy-" + std::to_string(::getpid()));
    return paths;
}

struct Copy {
    CopyResult result;
    Bytes bytes;  // the whole destination
};

// Copies range between a head and a tail written through the destination's
// own position, with a fault armed at the nth file call of the copy if asked.
Copy CopyBetween(const std::string& source, const std::string& destination, FileRange range,
                 uint64_t nth = 0, fault::Kind kind = fault::Kind::Error) {
    File from = File::Open(source.c_str(), File::Mode::Read);
    File to = File::Open(destination.c_str(), File::Mode::CreateWrite);
    EXPECT_TRUE(from.IsOpen() && to.IsOpen());
    EXPECT_TRUE(to.WriteAll(Span("head")));
    if (nth) fault::Arm(nth, kind);
    CopyResult result = CopyRange(from, to, range);
    fault::Reset();
    EXPECT_TRUE(to.WriteAll(Span("tail")));
    to.Close();
    return {result, ReadFile(destination)};
}

Bytes Expected(const Bytes& source, FileRange range) {
    Bytes out = test::ToBytes("head");
    out.insert(out.end(), source.begin() + long(range.start), source.begin() + long(range.end));
    for (char c : std::string("tail")) out.push_back(uint8_t(c));
    return out;
}

TEST(FileCopyTest, EveryRangeArrivesExactlyAtTheDestinationsPosition) {
    TempDir dir;
    Bytes source = Pattern(kSourceSize);
    const FileRange ranges[] = {
        {0, 0}, {5, 5}, {0, kSourceSize}, {1, kCopyChunk}, {7, kCopyChunk + 8},
        {kCopyChunk - 1, 2 * kCopyChunk + 1}, {kSourceSize - 1, kSourceSize},
    };
    for (const std::string& path : SourcePaths(dir)) {
        SourcePlace place{path};
        WriteFile(path, source);
        for (FileRange range : ranges) {
            Copy copy = CopyBetween(path, dir.File("out"), range);
            EXPECT_EQ(copy.result, CopyResult::Copied) << path << " " << range.start << ".." << range.end;
            EXPECT_EQ(copy.bytes, Expected(source, range)) << path << " " << range.start << ".." << range.end;
        }
    }
}

TEST(FileCopyTest, RangeBeyondTheSourceOrBackwardsFails) {
    TempDir dir;
    for (const std::string& path : SourcePaths(dir)) {
        SourcePlace place{path};
        WriteFile(path, Pattern(1000));
        for (FileRange range : {FileRange{10, 1001}, FileRange{2000, 2001}, FileRange{20, 10}})
            EXPECT_EQ(CopyBetween(path, dir.File("out"), range).result, CopyResult::Failed)
                << path << " " << range.start << ".." << range.end;
    }
}

// Whichever file call of the copy fails, the copy fails or delivers every
// byte: a failed read or write is never taken for the end of the range.
TEST(FileCopyTest, InjectedFaultsFailTheCopyOrLeaveItWhole) {
    TempDir dir;
    Bytes source = Pattern(kSourceSize);
    FileRange whole{0, kSourceSize};
    for (const std::string& path : SourcePaths(dir)) {
        SourcePlace place{path};
        WriteFile(path, source);
        for (fault::Kind kind : {fault::Kind::Error, fault::Kind::DiskFull, fault::Kind::ShortWrite,
                                 fault::Kind::ShortRead}) {
            int wholeCopies = 0;
            for (uint64_t nth = 1; nth <= 6; ++nth) {
                Copy copy = CopyBetween(path, dir.File("out"), whole, nth, kind);
                if (copy.result == CopyResult::Copied) {
                    ++wholeCopies;
                    EXPECT_EQ(copy.bytes, Expected(source, whole)) << path << " call " << nth;
                }
            }
            // Only a short read lets the copy go on, with more chunks.
            if (kind == fault::Kind::ShortRead)
                EXPECT_GE(wholeCopies, 2) << path;
            else
                EXPECT_EQ(wholeCopies, 0) << path << " kind " << int(kind);
        }
    }
}

}  // namespace
}  // namespace zm::platform
