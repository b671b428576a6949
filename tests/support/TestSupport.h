// Shared test helpers: temporary folders, whole-file I/O, hex, running tools.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zm::test {

using Bytes = std::vector<uint8_t>;
inline Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// value in width bytes, least significant first.
inline Bytes Le(uint64_t value, int width) {
    Bytes out;
    for (int i = 0; i < width; ++i) out.push_back(uint8_t(value >> (8 * i)));
    return out;
}

// A fresh folder, removed with everything in it at the end of the scope.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Two nested folders under root, each named as long as a name may be, for paths longer than a record holds.
std::string DeepFolder(const std::string& root);
Bytes ReadFile(const std::string& path);
void WriteFile(const std::string& path, const Bytes& bytes);
Bytes ToBytes(const std::string& text);
std::string Hex(const uint8_t* data, size_t size);
std::string Hex(const Bytes& bytes);
Bytes FromHex(const std::string& hex);  // spaces ignored

// A shell command's exit status (-1 when it could not run) and standard output; standard error goes to the test's.
struct Result {
    int status;
    std::string output;
};
Result Run(const std::string& command);
std::string Quote(const std::string& text);  // for the shell

// A second of media made by real encoders (ffmpeg, oggenc); false and a test failure when the encoder is missing or
// fails. MP3: mono sine, libmp3lame, no tags. Ogg: oggenc with NAME=value comments. WMA: wmav2 with key=value metadata.
bool MakeMp3(const std::string& path);
bool MakeOgg(const std::string& path, const std::vector<std::string>& comments);
bool MakeWma(const std::string& path, const std::vector<std::string>& metadata);
// Runs a script with the system Python, where Debian's mutagen lives; its output, and a test failure when it fails.
std::string Python(const std::string& script);
// Tags an MP3 with mutagen: the frames (a Python list) as ID3v2.<version> with that much padding, and an ID3v1 block
// if asked; false when mutagen failed.
bool TagMp3(const std::string& path, const std::string& frames, bool id3v1, int version = 3, int padding = 0);
// MD5 of the decoded PCM of a file (ffmpeg), "" on failure.
std::string DecodedMd5(const std::string& path);

// The checksum of an Ogg page (its checksum field taken as zero), computed bit by bit.
uint32_t BitwiseOggChecksum(const Bytes& page);
// What is wrong with the pages of an Ogg file: a page that does not start where the last ended, a wrong checksum, a
// gap in a stream's page sequence; "" when nothing is.
std::string OggPageProblem(const Bytes& file);

}  // namespace zm::test
