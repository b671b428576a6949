// Running the zmtagio program and the independent readers its tests compare
// against (mutagen, ffprobe, vorbiscomment).
#pragma once

#include <sys/types.h>

#include <nlohmann/json.hpp>
#include <string>

#include "support/TestSupport.h"

namespace zm::test::cli {

using Json = nlohmann::json;

struct Outcome {
    int status;
    std::string out;
    std::string err;
};

// Runs zmtagio with arguments already quoted for the shell. Files are
// rebuilt in the folder's "tmp" folder, so parallel tests never share one.
Outcome Zmtagio(const TempDir& dir, const std::string& arguments);
// The one line of `show --json`, parsed.
Json ShowJson(const TempDir& dir, const std::string& path, const std::string& options = "");
// The field of that kind and id in a JSON line, or null.
const Json* FindField(const Json& line, const std::string& kind, int id);
// True when the rebuild folder holds nothing (no temporary file was left).
bool NoTemporaryFiles(const TempDir& dir);

// Runs a Python script that may import mutagen; its standard output.
std::string Python(const std::string& script);
// An MP3 (ffmpeg) tagged by mutagen with the given list of frames, as
// ID3v2.3 (or the version given) without padding, with or without an ID3v1
// block.
bool MakeTaggedMp3(const std::string& path, const std::string& frames, bool id3v1);
bool TagMp3(const std::string& path, const std::string& frames, bool id3v1, int version = 3);
// What mutagen reads from the ID3v2 tag: {"TIT2": {"text": ..., "encoding": n}, ...}.
Json MutagenFrames(const std::string& path);
// Format tags as ffprobe reads them.
Json FfprobeTags(const std::string& path);

mode_t Permissions(const std::string& path);
Bytes Tail(const Bytes& bytes, size_t count);

}  // namespace zm::test::cli
