// Finding the ID3 tags of a file and reading its ID3v2 tag.
#include <algorithm>
#include <cstring>
#include <optional>

#include "id3/ByteOrder.h"
#include "id3/ID3.h"
#include "id3/ParseID3Frames.h"
#include "id3/TagHeader.h"
#include "id3/Unsync.h"
#include "platform/Trace.h"

namespace zm::id3 {
namespace {

constexpr uint32_t kID3V1Size = 128;
constexpr uint32_t kExtendedSizeBytes = 4;

bool IsID3V2Header(const uint8_t* header) {
    return std::memcmp(header, "ID3", 3) == 0 && header[kTagVersion] >= 2 && header[kTagVersion] <= 4;
}

// Version 2.4 may repeat the header as a footer ("3DI") behind the frames.
bool HasFooter(const uint8_t* header) { return header[kTagVersion] == 4 && (header[kTagFlags] & kTagFooter); }

// The length of the extended header at the start of the area, or nothing
// when it does not fit. Version 3 counts the bytes after its size field,
// version 4 the whole extended header.
std::optional<uint32_t> ExtendedHeaderLength(platform::ByteView area, int version) {
    auto size = area.Sub(0, kExtendedSizeBytes);
    if (!size) return std::nullopt;
    std::span<const uint8_t> bytes(size->data(), kExtendedSizeBytes);
    uint64_t length = version == 3 ? uint64_t(ReadBigEndian(bytes)) + kExtendedSizeBytes : ReadSyncsafe(bytes);
    if (length < kExtendedSizeBytes || length > area.size()) return std::nullopt;
    return uint32_t(length);
}

// Where the audio begins. The header's size says where the tag ends, and the
// zero padding between the last frame and that end belongs to the tag. A size
// field can be wrong, though: too large, so that the first MPEG frame lies
// inside the tag, or too small, so that the last frame runs past the end.
// Either way the bytes between the last readable frame and the declared end
// are then not all zeros, and the audio is taken to begin where the frames
// stop: whatever stands there is copied as it stands, so that no byte that
// may be audio is lost. The same holds for frames the reader cannot walk (a
// compressed version-2.2 tag, an extended header that does not fit).
//
// Padding runs to kilobytes: compared with itself one byte on, after its
// first byte is found zero, it is checked at the pace of memcmp.
uint64_t AudioStart(std::span<const uint8_t> area, size_t walked, uint64_t walkedInFile, uint64_t declaredEnd) {
    std::span<const uint8_t> rest = area.subspan(walked);
    bool padding = rest.empty() || (rest[0] == 0 && std::memcmp(rest.data(), rest.data() + 1, rest.size() - 1) == 0);
    return padding ? declaredEnd : kTagHeaderSize + walkedInFile;
}

}  // namespace

// Bytes the file holds that a read did not deliver say nothing about the
// tags; they must not pass for a file without them.
uint32_t ProbeID3Tags(platform::File& file, MDRecord& record, TagBlocks& blocks, platform::FileRange& audio) {
    uint32_t count = 0;
    const uint64_t fileSize = audio.end;
    auto failed = [&] {
        blocks.failed = true;
        return 0u;
    };
    if (audio.end >= kID3V1Size) {
        uint8_t block[kID3V1Size];
        if (!file.SeekFromEnd(kID3V1Size) || file.Read(block) != int64_t(kID3V1Size)) return failed();
        if (std::memcmp(block, "TAG", 3) == 0) {
            record.hasID3v1 = 1;
            blocks.id3v1 = kID3V1Size;
            audio.end -= kID3V1Size;
            count += kID3V1Size;
        }
    }
    uint8_t header[kTagHeaderSize];
    if (!file.Seek(0)) return failed();
    int64_t got = file.Read(header);
    if (got != int64_t(std::min<uint64_t>(fileSize, kTagHeaderSize))) return failed();
    if (got == kTagHeaderSize && IsID3V2Header(header)) {
        // A tag cannot hold more than the file: a size field that claims
        // more must not make MDInit allocate up to 256 MB for a small file.
        uint64_t claimed = uint64_t(ReadSyncsafe(std::span<const uint8_t>(header + kTagSize, 4))) + kTagHeaderSize +
                           (HasFooter(header) ? kTagHeaderSize : 0);
        uint32_t size = uint32_t(std::min<uint64_t>(claimed, std::max<uint64_t>(audio.end, kTagHeaderSize)));
        record.hasID3v2 = 1;
        blocks.id3v2 = size;
        audio.start = size;
        count += size;
    }
    return count;
}

// A tag claiming more than the file holds is measured by what was read, and
// never by the ID3v1 block behind the audio. A footer whose bytes do not read
// "3DI" is no footer: its ten bytes count as audio.
HRESULT ReadID3V2FromFile(platform::File& file, MDRecord& record, ID3State& state, uint8_t* destination,
                          uint32_t tagLength, const char* commentLanguage, platform::FileRange& audio) {
    if (!file.Seek(0)) return ZMTAGIO_E_FAIL;
    // The probe measured the tag within the file, so all of it is there.
    int64_t got = file.Read(std::span<uint8_t>(destination, tagLength));
    if (got < int64_t(kTagHeaderSize) || got != int64_t(tagLength)) return ZMTAGIO_E_FAIL;
    size_t bytes = size_t(std::min<uint64_t>(uint64_t(got), audio.end));
    int version = int8_t(destination[kTagVersion]);
    uint8_t flags = destination[kTagFlags];
    record.id3v2Version = int16_t(version);
    record.id3v2Flags = flags;
    audio.start = kTagHeaderSize;
    if (bytes < kTagHeaderSize) return ZMTAGIO_S_OK;
    uint32_t declaredSize = ReadSyncsafe(std::span<const uint8_t>(destination + kTagSize, 4));
    size_t tagEnd = std::min<size_t>(bytes, kTagHeaderSize + declaredSize);
    bool footer = HasFooter(destination) && bytes - tagEnd >= kTagHeaderSize &&
                  std::memcmp(destination + tagEnd, "3DI", 3) == 0;
    uint64_t declaredEnd = tagEnd + (footer ? kTagHeaderSize : 0);
    std::span<uint8_t> area(destination + kTagHeaderSize, tagEnd - kTagHeaderSize);

    // The frames of a compressed version-2.2 tag cannot be read (the scheme
    // was never defined): the tag counts as one without readable frames.
    if (version == 2 && (flags & kTagExtendedHeader)) {
        platform::TraceLine("ReadID3V2FromFile compressed tag, no frames read");
        audio.start = AudioStart(area, 0, 0, declaredEnd);
        return ZMTAGIO_S_OK;
    }

    // Tags of versions 2.2 and 2.3 are unsynchronised as a whole; the
    // original is kept for as long as the walk's end has to be found in the
    // file. In version 2.4 the flag marks every frame instead.
    platform::Buffer original;
    bool unsynchronised = flags & kTagUnsynchronised;
    if (version <= 3 && unsynchronised) {
        if (!original.Allocate(area.size())) return ZMTAGIO_E_FAIL;
        std::memcpy(original.data(), area.data(), area.size());
        area = area.first(UndoUnsynchronisation(area));
    }

    // A version-2.4 extended header describes a tag we do not write; only
    // version 2.3's is kept for the writer. One that does not fit leaves no
    // frame to read.
    uint32_t extended = 0;
    if (version >= 3 && (flags & kTagExtendedHeader)) {
        auto length = ExtendedHeaderLength(platform::ByteView(area.data(), area.size()), version);
        if (!length) {
            audio.start = AudioStart(area, 0, 0, declaredEnd);
            return ZMTAGIO_S_OK;
        }
        extended = *length;
        if (version == 3) {
            if (!state.extendedHeader.Allocate(extended)) return ZMTAGIO_E_FAIL;
            std::memcpy(state.extendedHeader.data(), area.data(), extended);
        }
    }

    uint32_t walked = ParseID3Frames(area.subspan(extended), version, version == 4 && unsynchronised, record,
                                     state, commentLanguage);
    size_t end = extended + walked;
    size_t endInFile = original.empty() ? end : OffsetBeforeUndo(original.span(), end);
    audio.start = AudioStart(area, end, endInFile, declaredEnd);
    return ZMTAGIO_S_OK;
}

}  // namespace zm::id3
