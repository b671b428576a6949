// Ogg Vorbis and Ogg Opus comments: probe, reader, writer and the staging of
// edits, as the tag session calls them.
#pragma once

#include <cstdint>
#include <functional>
#include <span>

#include "platform/Bytes.h"
#include "platform/File.h"
#include "platform/FileRange.h"
#include "platform/GrowBuffer.h"
#include "zmTagIO.h"

namespace zm::ogg {

enum class Codec : uint8_t { Vorbis, Opus };

inline constexpr int kOGGFieldCount = 16;

// Where the value a field takes lies in the comment packet: that of the first
// non-empty entry of its name, or else of the last empty one. Every entry
// whose name OGGFieldNames knows takes room in the reader's destination, in
// list order; roomAt is this value's.
struct FieldValue {
    bool found = false;
    uint64_t at = 0;  // packet position
    uint64_t size = 0;
    uint64_t roomAt = 0;
};

// The header pages that follow the identification page, as the reader found
// them: where the comment and setup packets lie, and what the writer needs to
// lay them out anew. The packets themselves stay in the file.
struct HeaderPages {
    Codec codec = Codec::Vorbis;
    bool found = false;           // the reader found them whole and well-formed
    uint64_t commentSize = 0;     // bytes of the comment packet
    uint64_t setupSize = 0;       // of the setup packet behind it (Vorbis)
    uint64_t listStart = 0;       // where the entries start in the comment packet
    uint64_t listEnd = 0;         // and where they end: the rest is the tail
    uint32_t entryCount = 0;
    uint64_t fieldBytes = 0;      // the values of the entries whose names OGGFieldNames knows
    FieldValue values[kOGGFieldCount];  // by row
    platform::FileRange range;    // from the comment page to the end of the last header page
    uint32_t pageCount = 0;       // pages in range
    uint32_t serial = 0;          // of the logical stream
    uint32_t firstSequence = 0;   // of the comment page
    bool lastPageEndsStream = false;
    bool rebuildable = false;     // false: the writer must refuse these pages
};

// What the Ogg code keeps in the session between reading and writing.
struct OggState {
    HeaderPages headers;
    // Rows (bit r: field id r + 1) whose entries in the file an edit
    // replaced or removed.
    uint32_t editedRows = 0;
    // The first bytes of the file, read once by the probe and handed on to
    // the reader, which releases them.
    platform::Buffer head;
    size_t headBytes = 0;  // how many of them the file held
    bool unreadable = false;  // reading the file failed: its tags are unknown
};

// One row of OGGFieldNames: field id row + 1.
struct OGGFieldName {
    const char* name;  // upper case
    uint32_t length;
};
extern const OGGFieldName OGGFieldNames[kOGGFieldCount];

// Sets isOgg when the file is an Ogg Vorbis or Ogg Opus file we can read;
// returns the bytes the recognised values need (0 also when state.unreadable
// is set).
uint32_t GetOGGTagSize(platform::File& file, MDRecord& record, OggState& state);
// Copies the values into destination (sized by GetOGGTagSize) and sets
// headerRange to the header pages after the identification page.
HRESULT ReadOGGFromFile(platform::File& file, MDRecord& record, OggState& state,
                        std::span<uint8_t> destination, platform::FileRange& headerRange);

// The plan of the new header pages and what they replace. The file's bytes
// before replaced.start and the identification page stay as they are.
struct NewHeaderPages {
    uint64_t size = 0;             // bytes of the new pages, headers included
    platform::FileRange replaced;  // the old header pages
    // New page count less the old: every later page of the stream has its
    // sequence number moved by this much (CopyOGGPages); 0 when the rest of
    // the file can be copied as it is.
    int64_t pageShift = 0;
    bool keepEntries = true;  // false: the new list has no entry
    uint32_t entryCount = 0;  // of the new list
    uint64_t commentSize = 0; // of the new comment packet
};
// Plans the pages of the new comment packet (the file's own entries, with the
// edits; none when keepEntries is false) and the setup packet, reading the
// old list from file. False when nothing may be built.
bool PlanOGGHeaderPages(platform::File& file, const MDRecord& record, const OggState& state,
                        std::span<const uint8_t> stagedEntries, bool keepEntries, NewHeaderPages& out);
// Takes each complete page, checksum included; false stops the writing.
using PageOut = std::function<bool(std::span<const uint8_t> page)>;
// Fills the planned pages one at a time from the old packets in file and the
// staged entries, and hands each to out. False when a read or out failed, or
// the file no longer holds what the plan was made from.
bool WriteOGGHeaderPages(platform::File& file, const OggState& state, std::span<const uint8_t> stagedEntries,
                         const NewHeaderPages& plan, const PageOut& out);
enum class CopyOutcome { Copied, Failed, NoMemory };
// Copies range from `from` to the current position of `to`, moving the
// sequence number of every page of the stream by shift and adjusting its
// checksum to match.
CopyOutcome CopyOGGPages(platform::File& from, platform::File& to, platform::FileRange range,
                         const HeaderPages& headers, int64_t shift);

// The row (0..15) of the name an entry's text (NAME=value) starts with, in
// any case; -1 when none does.
int FindOGGFieldName(std::span<const uint8_t> entry);
// The comment name of field id 1..16 ("TITLE" for 1), null outside.
const char* OGGFieldNameOf(int id);

// Computes the page checksum over header and body and stores it in the
// header. Does nothing with a header too short to hold one.
void OGGPageChecksum(std::span<uint8_t> header, std::span<const uint8_t> body);
// How a page's checksum changes when the bytes change at some place, given
// the XOR of old and new bytes there and the count of bytes that follow them
// on the page. The checksum is linear in the page's bits, so a page need not
// be read again to be renumbered.
uint32_t OGGChecksumChange(std::span<const uint8_t> change, size_t bytesAfter);

// Stages a comment entry for field id (kind 3).
HRESULT EditOGGField(MDRecord& record, OggState& state, platform::GrowBuffer& stagedEntries, int id,
                     const MDField& value);

}  // namespace zm::ogg
