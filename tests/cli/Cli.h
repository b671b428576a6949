// The fixture of the command-line tests: zmtagio run in a fresh folder, and
// the independent readers its tests compare against.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "support/TestSupport.h"

namespace zm::test::cli {

using Json = nlohmann::json;

struct Outcome {
    int status;
    std::string out, err;
    size_t errLines() const { return std::count(err.begin(), err.end(), '\n'); }
};

class Cli : public ::testing::Test {
protected:
    TempDir dir;
    std::string File(const std::string& name) const { return dir.File(name); }
    // zmtagio rebuilds files in "tmp", where what it leaves behind shows.
    bool NoTemporaryFiles() const { return std::filesystem::is_empty(File("tmp")); }
    // Runs zmtagio with arguments already quoted for the shell.
    Outcome Zmtagio(const std::string& arguments) const {
        std::filesystem::create_directories(File("tmp"));
        Result r = test::Run("TMPDIR=" + Quote(File("tmp")) + " " + Quote(ZM_BINARY_DIR "/tools/zmtagio") + " " +
                             arguments + " 2>" + Quote(File("stderr.txt")));
        Bytes err = ReadFile(File("stderr.txt"));
        return {r.status, r.output, std::string(err.begin(), err.end())};
    }
    // The one line of `show --json`, parsed.
    Json ShowJson(const std::string& path, const std::string& options = "") const {
        Outcome shown = Zmtagio("show --json " + options + " " + Quote(path));
        EXPECT_EQ(std::count(shown.out.begin(), shown.out.end(), '\n'), 1) << shown.out;
        return Json::parse(shown.out);
    }
};

// The field of that kind and id in a JSON line, or null.
inline Json Field(const Json& line, const std::string& kind, int id) {
    for (const Json& field : line.at("fields"))
        if (field.at("kind") == kind && field.at("id") == id) return field;
    return Json();
}

inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    for (size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1)
        lines.push_back(text.substr(at, end - at));
    return lines;
}

// What mutagen reads from the ID3v2 tag: {"TIT2": {"text": ..., "encoding": n}, ...}.
inline Json MutagenFrames(const std::string& path) {
    return Json::parse(Python("import json\nfrom mutagen.id3 import ID3\nt = ID3('" + path + "', translate=False)\n"
                              "print(json.dumps({k: {'text': str(f), 'encoding': int(getattr(f, 'encoding', -1))}"
                              " for k, f in t.items()}))\n"));
}

// An ID3v1 block: title, artist, album, year and comment in their widths, a zero, the track, the genre.
inline Bytes ID3v1Block(std::vector<std::string> texts, uint8_t track, uint8_t genre) {
    texts.resize(5);
    std::string block = "TAG";
    const size_t widths[] = {30, 30, 30, 4, 28};
    for (size_t i = 0; i < 5; ++i) block += texts[i] + std::string(widths[i] - texts[i].size(), 0);
    return ToBytes(block + '\0' + char(track) + char(genre));
}
inline Bytes Tail(const Bytes& bytes) { return Bytes(bytes.end() - std::min<size_t>(128, bytes.size()), bytes.end()); }
inline void Append(const std::string& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::app) << std::string(bytes.begin(), bytes.end());
}
inline unsigned Permissions(const std::string& path) { return unsigned(std::filesystem::status(path).permissions()); }

}  // namespace zm::test::cli
