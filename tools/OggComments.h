// What an Ogg file's own pages say, read apart from the component: the codec
// of its first stream, and the comment entries of a Vorbis or Opus stream.
// The component's record shows 16 names; these show every entry, so that a
// rewrite can be checked to have kept those it was not asked to change. The
// pages are read a few kilobytes at a time, and an entry is kept as its name
// and a digest of its bytes: a 10 MB picture costs no more than a title.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zmtagio {

// "Vorbis", "Opus", "FLAC", "Speex", "Theora"; empty for a file that does not
// start with an Ogg page, "an unknown codec" for a codec not in the list.
std::string OggCodec(const std::string& path);

// An entry (NAME=value) as the read-back compares it: its name in upper case
// (its first 256 bytes), its size, and a 64-bit digest of its bytes.
struct OggEntry {
    std::string name;
    uint64_t size = 0;
    uint64_t digest = 0;
    bool operator==(const OggEntry&) const = default;
};

// The entries of an Ogg Vorbis or Ogg Opus file in the file's order; nothing
// when its comment packet cannot be read.
std::optional<std::vector<OggEntry>> OggEntries(const std::string& path);

// The first entry whose name is not in names (in any letter case) that was
// added, dropped, changed or moved between before and after; nothing when
// all of them are where they were.
std::optional<std::string> ChangedOtherEntry(const std::vector<OggEntry>& before, const std::vector<OggEntry>& after,
                                             const std::vector<std::string>& names);

}  // namespace zmtagio
