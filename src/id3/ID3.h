// The MP3 tags: probe, ID3v1 and ID3v2 readers and writers, and the staging of
// edits, as the tag session calls them.
#pragma once

#include <cstdint>
#include <span>
#include <utility>

#include "platform/Bytes.h"
#include "platform/File.h"
#include "platform/FileRange.h"
#include "platform/GrowBuffer.h"
#include "zmTagIO.h"

namespace zm::id3 {

// What the ID3 code keeps in the session between reading and writing.
struct ID3State {
    platform::Buffer extendedHeader;  // the ID3v2 extended header, as read
    platform::GrowBuffer keptFrames;  // frames carried into the new tag verbatim
    platform::GrowBuffer readText;    // converted text, reading direction
    platform::GrowBuffer writeText;   // converted text, writing direction
    platform::ByteView storedComment; // the body of the comment in field 50, as read

    // Emptied for the next file. The block of converted text is kept, so
    // that reading file after file allocates nothing for their text.
    void Clear() {
        platform::GrowBuffer text = std::move(readText);
        text.used = 0;
        *this = {};
        readText = std::move(text);
    }
};

// Sizes of the tag blocks the probe found.
struct TagBlocks {
    uint32_t id3v1 = 0;  // 128 when an ID3v1 block ends the file
    uint32_t id3v2 = 0;  // the whole ID3v2 tag, header included
    bool failed = false; // a read failed: the file's tags are unknown
};

// audio.end holds the file size on entry. Returns the bytes to buffer (0: no
// tag, or a failed read with blocks.failed set) and sets hasID3v1/hasID3v2,
// blocks and audio.
uint32_t ProbeID3Tags(platform::File& file, MDRecord& record, TagBlocks& blocks,
                      platform::FileRange& audio);
HRESULT ReadID3V1FromFile(platform::File& file, MDRecord& record, uint8_t* destination);
HRESULT ReadID3V2FromFile(platform::File& file, MDRecord& record, ID3State& state,
                          uint8_t* destination, uint32_t tagLength, const char* commentLanguage,
                          platform::FileRange& audio);

inline constexpr size_t kID3V1BlockSize = 128;
// The ID3v1 block of the record's fields 110 to 116.
void BuildID3V1Block(const MDRecord& record, std::span<uint8_t, kID3V1BlockSize> block);

// Padding a new tag gets when it does not fit in the old tag's room.
inline constexpr uint32_t kFreshPadding = 1024;

// The new ID3v2 tag as one block: header, frames, and zero padding counted in
// its size.
struct ID3V2Tag {
    platform::GrowBuffer bytes;
    bool fillsRoom = false;  // exactly `room` bytes long
};

// Builds the version-2.3 tag for the record, the edited frames and what the
// reader kept. room is the length of everything in front of the audio that
// the old tag took (0 for a file without one): when the new tag fits in it,
// it is padded to exactly that length and fillsRoom is set, so that it can
// take the old tag's place with the audio left where it is; otherwise it gets
// kFreshPadding bytes of padding. False when memory ran out or the tag would
// exceed what a tag size can give.
bool BuildID3V2Tag(MDRecord& record, ID3State& state, std::span<const uint8_t> editedFrames, uint64_t room,
                   ID3V2Tag& tag);

// The frame id of field id 1..84 ("TIT2" for 17), null outside.
const char* FrameIdOf(int id);
// Whether the reader holds field id in the internal text form: the frame's
// encoding byte, then the text in UTF-8.
bool IsConvertedField(int id);

// Staging of edits (kinds 1 and 2).
HRESULT EditID3V1Field(MDRecord& record, platform::Buffer& editBlock, int id, const MDField& value);
HRESULT EditID3V2Field(MDRecord& record, ID3State& state, platform::GrowBuffer& editedFrames, int id,
                       MDField& value, const char* commentLanguage);

}  // namespace zm::id3
