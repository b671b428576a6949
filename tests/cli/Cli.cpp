#include "cli/Cli.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

namespace zm::test::cli {
namespace {

std::string RebuildFolder(const TempDir& dir) {
    std::string folder = dir.File("tmp");
    std::filesystem::create_directories(folder);
    return folder;
}

// Debian's mutagen lives with the system Python, which may not be first on PATH.
const std::string& PythonWithMutagen() {
    static const std::string python = [] {
        for (const char* candidate : {"/usr/bin/python3", "python3"})
            if (Run(std::string(candidate) + " -c 'import mutagen' 2>/dev/null").status == 0) return std::string(candidate);
        return std::string("python3");
    }();
    return python;
}

}  // namespace

Outcome Zmtagio(const TempDir& dir, const std::string& arguments) {
    std::string errors = dir.File("stderr.txt");
    Result r = Run("TMPDIR=" + Quote(RebuildFolder(dir)) + " " + Quote(ZM_BINARY_DIR "/tools/zmtagio") + " " +
                   arguments + " 2>" + Quote(errors));
    Bytes err = ReadFile(errors);
    return {r.status, r.output, std::string(err.begin(), err.end())};
}

Json ShowJson(const TempDir& dir, const std::string& path, const std::string& options) {
    Outcome shown = Zmtagio(dir, "show --json " + options + " " + Quote(path));
    EXPECT_EQ(std::count(shown.out.begin(), shown.out.end(), '\n'), 1) << shown.out;
    return Json::parse(shown.out);
}

const Json* FindField(const Json& line, const std::string& kind, int id) {
    for (const Json& field : line.at("fields"))
        if (field.at("kind") == kind && field.at("id") == id) return &field;
    return nullptr;
}

bool NoTemporaryFiles(const TempDir& dir) { return std::filesystem::is_empty(RebuildFolder(dir)); }

std::string Python(const std::string& script) {
    std::string file = std::filesystem::temp_directory_path() / ("zmtagio-test-" + std::to_string(getpid()) + ".py");
    WriteFile(file, ToBytes(script));
    Result r = Run(PythonWithMutagen() + " " + Quote(file));
    std::remove(file.c_str());
    EXPECT_EQ(r.status, 0) << script;
    return r.output;
}

bool MakeTaggedMp3(const std::string& path, const std::string& frames, bool id3v1) {
    return MakeMp3(path) && TagMp3(path, frames, id3v1);
}

bool TagMp3(const std::string& path, const std::string& frames, bool id3v1, int version) {
    Python("import mutagen.id3\nglobals().update(vars(mutagen.id3))\nt = ID3()\nfor f in " + frames + ":\n    t.add(f)\nt.save(" +
           Quote(path) + ", v2_version=" + std::to_string(version) + ", v1=" + (id3v1 ? "2" : "0") +
           ", padding=lambda info: 0)\n");
    return !::testing::Test::HasFailure();
}

Json MutagenFrames(const std::string& path) {
    return Json::parse(Python(
        "import json\nfrom mutagen.id3 import ID3\nout = {}\n"
        "try:\n    t = ID3(" + Quote(path) + ", translate=False)\nexcept Exception:\n    t = {}\n"
        "for k, f in (t.items() if t else []):\n"
        "    out[k] = {'text': str(f), 'encoding': int(getattr(f, 'encoding', -1))}\n"
        "print(json.dumps(out))\n"));
}

Json FfprobeTags(const std::string& path) {
    Result r = Run("ffprobe -v error -show_entries format_tags -of json " + Quote(path));
    EXPECT_EQ(r.status, 0);
    Json probed = Json::parse(r.output);
    return probed["format"].value("tags", Json::object());
}

mode_t Permissions(const std::string& path) {
    struct stat info {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
    return info.st_mode & 07777;
}

Bytes Tail(const Bytes& bytes, size_t count) {
    return bytes.size() < count ? bytes : Bytes(bytes.end() - std::ptrdiff_t(count), bytes.end());
}

}  // namespace zm::test::cli
