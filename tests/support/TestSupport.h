// Shared test helpers: temporary folders, whole-file I/O, hex, running tools.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zm::test {

using Bytes = std::vector<uint8_t>;

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

Bytes ReadFile(const std::string& path);
void WriteFile(const std::string& path, const Bytes& bytes);
bool FileExists(const std::string& path);
Bytes ToBytes(const std::string& text);
std::string Hex(const uint8_t* data, size_t size);
std::string Hex(const Bytes& bytes);
Bytes FromHex(const std::string& hex);  // spaces ignored

struct Result {
    int status;  // exit status, or -1 when the command could not run
    std::string output;  // standard output
};
// Runs a shell command; standard error goes to the test's own.
Result Run(const std::string& command);
// Quotes a string for the shell.
std::string Quote(const std::string& text);
// True when the program is on PATH.
bool HaveTool(const std::string& name);

// Media made by real encoders. The functions fail the test (ADD_FAILURE)
// and return false when the encoder is missing or fails.
// A mono sine MP3 of the given length (ffmpeg, libmp3lame), without tags.
bool MakeMp3(const std::string& path, double seconds = 1.0);
// An Ogg Vorbis file (oggenc) with the given NAME=value comments.
bool MakeOgg(const std::string& path, const std::vector<std::string>& comments, double seconds = 1.0);
// A WMA (ASF, wmav2) file made by ffmpeg with the given key=value metadata.
bool MakeWma(const std::string& path, const std::vector<std::string>& metadata, double seconds = 1.0);
// MD5 of the decoded PCM of a file (ffmpeg), "" on failure.
std::string DecodedMd5(const std::string& path);

}  // namespace zm::test
