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
};

// Sets isOgg when the file is an Ogg Vorbis file we can edit; returns the
// bytes the recognised values need.
uint32_t GetOGGTagSize(platform::File& file, MDRecord& record, OggState& state);
HRESULT ReadOGGFromFile(platform::File& file, MDRecord& record, OggState& state, uint8_t* destination,
                        platform::FileRange& page);
// Appends the rebuilt comment page; false when it wrote nothing.
bool WriteOGGIntoFile(const MDRecord& record, const OggState& state,
                      std::span<const uint8_t> stagedEntries, platform::File& out);
// The comment name of field id 1..16 ("TITLE" for 1), null outside.
const char* OGGFieldNameOf(int id);

// Stages a comment entry for field id (kind 3).
HRESULT EditOGGField(MDRecord& record, platform::GrowBuffer& stagedEntries, int id,
                     const MDField& value);

}  // namespace zm::ogg
