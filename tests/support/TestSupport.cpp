#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <filesystem>
#include <fstream>

namespace zm::test {

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "zmtagio-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string DeepFolder(const std::string& root) {
    std::string folder = root + "/" + std::string(250, 'd') + "/" + std::string(250, 'e');
    std::filesystem::create_directories(folder);
    return folder;
}

Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);  // in one read: files here run to megabytes
    Bytes bytes(in ? size_t(in.tellg()) : 0);
    in.seekg(0).read(reinterpret_cast<char*>(bytes.data()), std::streamsize(bytes.size()));
    return bytes;
}

void WriteFile(const std::string& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

Bytes ToBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }
std::string Hex(const Bytes& bytes) { return Hex(bytes.data(), bytes.size()); }

std::string Hex(const uint8_t* data, size_t size) {
    std::string out;
    for (size_t i = 0; i < size; ++i) out += {"0123456789abcdef"[data[i] >> 4], "0123456789abcdef"[data[i] & 15]};
    return out;
}

Bytes FromHex(const std::string& hex) {
    Bytes out;
    std::string digits;
    for (char c : hex)
        if (!std::isspace(static_cast<unsigned char>(c))) digits += c;
    for (size_t i = 0; i + 1 < digits.size(); i += 2)
        out.push_back(uint8_t(std::stoi(digits.substr(i, 2), nullptr, 16)));
    return out;
}

Result Run(const std::string& command) {
    Result result{-1, {}};
    FILE* pipe = popen(command.c_str(), "r");
    char buffer[4096];
    for (size_t n; pipe && (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) result.output.append(buffer, n);
    if (int status = pipe ? pclose(pipe) : -1; status != -1 && WIFEXITED(status)) result.status = WEXITSTATUS(status);
    return result;
}

std::string Quote(const std::string& text) {
    std::string out = "'";
    for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

namespace {

bool RunTool(const std::string& tool, const std::string& command) {
    if (Run("command -v " + tool + " >/dev/null 2>&1").status != 0) {
        ADD_FAILURE() << tool << " is not installed (make test installs it)";
        return false;
    }
    bool ok = Run(command + " >/dev/null 2>&1").status == 0;
    if (!ok) ADD_FAILURE() << "command failed: " << command;
    return ok;
}

// A second of it, mono.
constexpr const char* kSine =
    "ffmpeg -nostdin -y -loglevel error -f lavfi -i 'sine=frequency=440:sample_rate=44100:duration=1' -ac 1 ";

}  // namespace

bool MakeMp3(const std::string& path) {
    return RunTool("ffmpeg", kSine + std::string("-c:a libmp3lame -b:a 64k -write_xing 0 -id3v2_version 0 "
                                             "-write_id3v1 0 -map_metadata -1 -f mp3 ") + Quote(path));
}

bool MakeOgg(const std::string& path, const std::vector<std::string>& comments) {
    std::string wav = path + ".wav", command = "oggenc -Q -o " + Quote(path);
    if (!RunTool("ffmpeg", kSine + Quote(wav))) return false;
    for (const auto& c : comments) command += " -c " + Quote(c);
    bool ok = RunTool("oggenc", command + " " + Quote(wav));
    std::remove(wav.c_str());
    return ok;
}

bool MakeWma(const std::string& path, const std::vector<std::string>& metadata) {
    std::string command = kSine + std::string("-c:a wmav2 -b:a 64k");
    for (const auto& m : metadata) command += " -metadata " + Quote(m);
    return RunTool("ffmpeg", command + " -f asf " + Quote(path));
}

std::string Python(const std::string& script) {
    Result r = Run("/usr/bin/python3 -c " + Quote(script));
    EXPECT_EQ(r.status, 0) << script;
    return r.output;
}

bool TagMp3(const std::string& path, const std::string& frames, bool id3v1, int version, int padding) {
    Result r = Run("/usr/bin/python3 -c " + Quote("import sys, mutagen.id3\nglobals().update(vars(mutagen.id3))\n"
                   "t = ID3()\nfor f in " + frames + ":\n    t.add(f)\nt.save(sys.argv[1], v2_version=" +
                   std::to_string(version) + ", v1=" + (id3v1 ? "2" : "0") + ", padding=lambda info: " +
                   std::to_string(padding) + ")\n") + " " + Quote(path));
    if (r.status != 0) ADD_FAILURE() << "mutagen could not tag " << path;
    return r.status == 0;
}

std::string DecodedMd5(const std::string& path) {
    Result r = Run("ffmpeg -nostdin -loglevel error -i " + Quote(path) + " -map 0:a -f md5 - 2>/dev/null");
    return r.status == 0 ? r.output : std::string();
}

uint32_t BitwiseOggChecksum(const Bytes& page) {
    uint32_t crc = 0;
    for (size_t i = 0; i < page.size(); ++i) {
        crc ^= uint32_t(i >= 22 && i < 26 ? 0 : page[i]) << 24;
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x80000000u) ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
    }
    return crc;
}

std::string OggPageProblem(const Bytes& file) {
    std::map<uint32_t, uint32_t> nextSequence;  // by serial number
    auto le32 = [&](size_t at) { return uint32_t(file[at]) | file[at + 1] << 8 | file[at + 2] << 16 | uint32_t(file[at + 3]) << 24; };
    for (size_t at = 0; at < file.size();) {
        std::string where = "page at " + std::to_string(at);
        if (file.size() - at < 27 || std::memcmp(&file[at], "OggS", 4) != 0) return where + ": no page";
        size_t size = 27 + file[at + 26];
        if (file.size() - at < size) return where + ": cut";
        for (size_t i = 0; i < file[at + 26]; ++i) size += file[at + 27 + i];
        if (file.size() - at < size) return where + ": cut";
        Bytes page(file.begin() + long(at), file.begin() + long(at + size));
        if (BitwiseOggChecksum(page) != le32(at + 22)) return where + ": wrong checksum";
        uint32_t serial = le32(at + 14), sequence = le32(at + 18);
        if (nextSequence.count(serial) && nextSequence[serial] != sequence)
            return where + ": sequence " + std::to_string(sequence) + " after " + std::to_string(nextSequence[serial] - 1);
        nextSequence[serial] = sequence + 1;
        at += size;
    }
    return "";
}

}  // namespace zm::test
