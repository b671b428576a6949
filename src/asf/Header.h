// The Header Object of an ASF file as the engine holds it: the bytes as read,
// where each child object lies, what the runtime computes from them, and the
// attributes of the four objects that store them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory_resource>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "asf/ObjectIO.h"
#include "asf/WMRuntime.h"
#include "platform/Bytes.h"
#include "platform/File.h"

namespace zm::asf {

// Object layouts: offsets from the start of each object.
inline constexpr size_t kHeaderObjectSize = 30;  // + child count, two reserved bytes
inline constexpr size_t kHeaderCountAt = 24;
inline constexpr size_t kFilePropertiesSize = 104;
inline constexpr size_t kFileSizeAt = 40;
inline constexpr size_t kPlayDurationAt = 64;
inline constexpr size_t kPrerollAt = 80;
inline constexpr size_t kFlagsAt = 88;
inline constexpr size_t kMaxBitrateAt = 100;
inline constexpr uint32_t kBroadcastFlag = 1;
inline constexpr uint32_t kSeekableFlag = 2;
inline constexpr size_t kStreamTypeAt = 24;
inline constexpr size_t kTypeSpecificLengthAt = 64;
inline constexpr size_t kErrorCorrectionLengthAt = 68;
inline constexpr size_t kStreamPropertiesFixedSize = 78;
inline constexpr size_t kExtensionReservedAt = 24;
inline constexpr size_t kExtensionDataSizeAt = 42;
inline constexpr size_t kExtensionFixedSize = 46;

// Attribute names match unit for unit. Equal lengths are compared as bytes,
// which is faster than the unit loop of a string comparison.
inline bool SameName(std::u16string_view a, std::u16string_view b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(char16_t)) == 0;
}

// The bit of a name in Header::storedNames, from its length and last unit:
// the names of a tag mostly share their first letters ("WM/").
inline uint64_t NameBit(std::u16string_view name) {
    return name.empty() ? 1 : uint64_t(1) << ((name.size() * 7 + name.back()) & 63);
}

// Where an attribute is stored in the file.
enum class Home : uint8_t { ContentDescription, ExtendedContent, Metadata, MetadataLibrary };
inline constexpr int kHomeCount = 4;

// A header and everything parsed from it are carved from one arena, which
// its owner keeps while the file is open: reading a file's tags then costs no
// allocation per attribute.
using Bytes = std::pmr::vector<uint8_t>;
using Value = std::span<const uint8_t>;

// An attribute refers to its name and value, which live in the header's bytes
// or in the arena and stay there until the file is closed. An edit points the
// attribute at a new copy and leaves the old bytes where they are.
struct Attribute {
    std::u16string_view name;  // without a terminating zero
    WMT_ATTR_DATATYPE type = WMT_TYPE_BINARY;
    // As the runtime hands it out: text with its terminating zero, BOOL as 4 bytes.
    Value value;
    uint16_t stream = 0;
    uint16_t language = 0;
    Home home = Home::ExtendedContent;
    // Names under which the Extended Content Description repeats this
    // Content Description text; they follow its changes.
    std::span<const std::u16string_view> repeats;
};

// Bytes that live as long as the arena; null only when size is 0.
uint8_t* ArenaBytes(std::pmr::memory_resource* arena, size_t size);
// The name held in the arena, so that it outlives the caller's buffer.
std::u16string_view ArenaName(std::pmr::memory_resource* arena, std::u16string_view name);

enum class ObjectKind : uint8_t {
    Other,  // kept byte for byte
    FileProperties,
    StreamProperties,
    ContentDescription,
    ExtendedContent,
    HeaderExtension,
    Metadata,
    MetadataLibrary,
    Padding
};

struct ObjectSpan {
    size_t offset = 0;  // in Header::bytes
    size_t size = 0;
    ObjectKind kind = ObjectKind::Other;
};

struct Header {
    explicit Header(std::pmr::memory_resource* arena = std::pmr::get_default_resource())
        : bytes(arena), children(arena), extension(arena), attributes(arena) {}
    std::pmr::memory_resource* arena() const { return attributes.get_allocator().resource(); }

    Bytes bytes;                             // the whole Header Object as read
    std::pmr::vector<ObjectSpan> children;   // of the Header Object, in file order
    std::pmr::vector<ObjectSpan> extension;  // of the Header Extension Object
    size_t fileProperties = 0;          // offset in bytes
    // Computed by the runtime.
    uint64_t playDuration = 0;  // 100 ns
    uint64_t preroll = 0;       // ms
    uint32_t flags = 0;
    uint32_t maxBitrate = 0;
    bool hasAudio = false, hasVideo = false, hasImage = false, hasScript = false;
    bool isProtected = false;
    std::pmr::vector<Attribute> attributes;  // in file order
    // A bit per stored name (NameBit): most names looked up are not stored,
    // and a clear bit says so without a walk of the list. Deleting an
    // attribute leaves its bit, which only costs that walk.
    uint64_t storedNames = 0;
    bool dirty[kHomeCount] = {};        // homes whose object must be rebuilt

    bool Dirty() const {
        for (bool d : dirty)
            if (d) return true;
        return false;
    }
};

// Parses a complete Header Object. Anything that does not fit its object,
// counts beyond its object, odd text lengths and unknown value types refuse
// the header with kNS_E_INVALID_DATA; nothing is read outside bytes.
HRESULT ParseHeader(Bytes bytes, Header& header);

// Reads the Header Object of the file at path (it must be followed by the
// Data Object) and parses it; through held, from its start, when the caller
// holds the file open already (path is then not used, and may be null).
// narrowPath is the path in the ANSI code page, for a later flush; a held
// file is only read, and leaves it as it was.
HRESULT LoadHeader(const char16_t* path, platform::File* held, Header& header, std::string& narrowPath);

// Writes the changed attributes into the file: in place when the new header
// fits the old one with its padding, otherwise through a new file that takes
// the old one's place. On success header describes the file as written; on
// failure the file is as it was.
HRESULT FlushHeader(const std::string& path, Header& header);

}  // namespace zm::asf
