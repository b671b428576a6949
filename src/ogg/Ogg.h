// Ogg Vorbis comments: probe, reader, writer and the staging of edits, as the
// tag session calls them.
#pragma once

#include <cstdint>
#include <span>

#include "platform/Bytes.h"
#include "platform/File.h"
#include "platform/FileRange.h"
#include "platform/GrowBuffer.h"
#include "zmTagIO.h"

namespace zm::ogg {

// What the Ogg code keeps in the session between reading and writing.
struct OggState {
    platform::Buffer savedPage;  // the whole comment page, as in the file
    bool rebuildable = true;     // false: the writer must refuse this page
    // The first bytes of the file, read once by the probe and handed on to
    // the reader, which releases them.
    platform::Buffer head;
    size_t headBytes = 0;  // how many of them the file held
    bool unreadable = false;  // reading them failed: the file's tags are unknown
};

// One row of OGGFieldNames: field id row + 1.
struct OGGFieldName {
    const char* name;  // upper case
    uint32_t length;
};
inline constexpr int kOGGFieldCount = 16;
extern const OGGFieldName OGGFieldNames[kOGGFieldCount];

// Sets isOgg when the file is an Ogg Vorbis file we can edit; returns the
// bytes the recognised values need (0 also when state.unreadable is set).
uint32_t GetOGGTagSize(platform::File& file, MDRecord& record, OggState& state);
// Copies the values into destination (sized by GetOGGTagSize), saves the
// comment page and sets page to its place in the file.
HRESULT ReadOGGFromFile(platform::File& file, MDRecord& record, OggState& state,
                        std::span<uint8_t> destination, platform::FileRange& page);
// Appends the rebuilt comment page; false when it wrote nothing.
bool WriteOGGIntoFile(const MDRecord& record, const OggState& state,
                      std::span<const uint8_t> stagedEntries, platform::File& out);

// The row (0..15) of the name an entry's text (NAME=value) starts with, in
// any case; -1 when none does.
int FindOGGFieldName(std::span<const uint8_t> entry);
// The comment name of field id 1..16 ("TITLE" for 1), null outside.
const char* OGGFieldNameOf(int id);

// Computes the page checksum over header and body and stores it in the
// header. Does nothing with a header too short to hold one.
void OGGPageChecksum(std::span<uint8_t> header, std::span<const uint8_t> body);

// Stages a comment entry for field id (kind 3).
HRESULT EditOGGField(MDRecord& record, platform::GrowBuffer& stagedEntries, int id,
                     const MDField& value);

}  // namespace zm::ogg
