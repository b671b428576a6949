#include "TagCensus.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <set>
#include <span>

#include "Fields.h"
#include "ID3Text.h"
#include "zmTagIO.h"

namespace zmtagio {
namespace {

constexpr size_t kTagHeader = 10;
constexpr size_t kVersionByte = 3;
constexpr size_t kFlagsByte = 5;
constexpr size_t kSizeBytes = 6;
constexpr uint8_t kTagUnsynchronised = 0x80;
constexpr uint8_t kTagExtendedHeader = 0x40;
constexpr uint32_t kKeepLimit = 20480;
// Version-2.4 frame flags that put bytes in front of the body, and its own
// unsynchronisation.
constexpr uint16_t kV24Grouping = 0x0040;
constexpr uint16_t kV24Encryption = 0x0004;
constexpr uint16_t kV24Unsynchronised = 0x0002;
constexpr uint16_t kV24DataLength = 0x0001;
constexpr size_t kDataLengthBytes = 4;

enum Encoding : uint8_t { kLatin1 = 0, kUtf16 = 1, kUtf16BE = 2 };

struct Tag {
    int version = 0;
    std::vector<uint8_t> frames;  // the frame area, synchronised
};

struct FrameShape {
    size_t idLength, headerLength;
};

uint32_t Syncsafe(const uint8_t* p) { return uint32_t(p[0] & 0x7F) << 21 | (p[1] & 0x7F) << 14 | (p[2] & 0x7F) << 7 | (p[3] & 0x7F); }

uint32_t BigEndian(const uint8_t* p, size_t count) {
    uint32_t value = 0;
    for (size_t i = 0; i < count; ++i) value = value << 8 | p[i];
    return value;
}

// FF 00 stands for FF in unsynchronised data.
std::vector<uint8_t> Synchronised(std::span<const uint8_t> bytes) {
    std::vector<uint8_t> out;
    for (size_t i = 0; i < bytes.size(); ++i) {
        out.push_back(bytes[i]);
        if (bytes[i] == 0xFF && i + 1 < bytes.size() && bytes[i + 1] == 0x00) ++i;
    }
    return out;
}

struct FileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
};

std::optional<Tag> ReadTag(const std::string& path) {
    std::unique_ptr<FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    uint8_t header[kTagHeader];
    if (!file || std::fread(header, 1, kTagHeader, file.get()) != kTagHeader || std::memcmp(header, "ID3", 3) != 0)
        return std::nullopt;
    Tag tag;
    tag.version = header[kVersionByte];
    if (tag.version < 2 || tag.version > 4) return std::nullopt;
    // A size field may claim more than the file holds.
    long end = std::fseek(file.get(), 0, SEEK_END) == 0 ? std::ftell(file.get()) : -1;
    if (end < long(kTagHeader) || std::fseek(file.get(), long(kTagHeader), SEEK_SET) != 0) return std::nullopt;
    std::vector<uint8_t> body(std::min<size_t>(Syncsafe(header + kSizeBytes), size_t(end) - kTagHeader));
    body.resize(std::fread(body.data(), 1, body.size(), file.get()));
    uint8_t flags = header[kFlagsByte];
    if ((flags & kTagUnsynchronised) && tag.version < 4) body = Synchronised(body);
    size_t skip = 0;
    if ((flags & kTagExtendedHeader) && tag.version > 2 && body.size() >= 4)
        skip = tag.version == 3 ? 4 + BigEndian(body.data(), 4) : Syncsafe(body.data());
    tag.frames.assign(body.begin() + std::ptrdiff_t(std::min(skip, body.size())), body.end());
    return tag;
}

// The reader's rule for the eleven converted frames: ISO-8859-1, UTF-16 with
// a little-endian mark before some text, or UTF-16 big-endian. Text without a
// character loses nothing.
bool TextIsCarried(std::span<const uint8_t> body) {
    if (body.size() < 2 || std::all_of(body.begin() + 1, body.end(), [](uint8_t b) { return b == 0; })) return true;
    switch (body[0]) {
        case kLatin1:
        case kUtf16BE: return true;
        case kUtf16:
            for (size_t i = 1; i + 3 < body.size(); ++i)
                if (body[i] == 0xFF && body[i + 1] == 0xFE && (body[i + 2] | body[i + 3]) != 0) return true;
            return false;
        default: return false;
    }
}

std::vector<uint8_t> TextBody(std::span<const uint8_t> body, uint16_t flags, int version) {
    if (version != 4) return {body.begin(), body.end()};
    std::vector<uint8_t> plain = flags & kV24Unsynchronised ? Synchronised(body) : std::vector<uint8_t>(body.begin(), body.end());
    size_t extras = (flags & kV24Grouping ? 1 : 0) + (flags & kV24Encryption ? 1 : 0) +
                    (flags & kV24DataLength ? kDataLengthBytes : 0);
    plain.erase(plain.begin(), plain.begin() + std::ptrdiff_t(std::min(extras, plain.size())));
    return plain;
}

// The record slot a frame id fills, 0 for none. Version-2.2 ids are not
// named by the interface; each first frame of an id is taken to fill one.
int SlotOf(const std::string& id) {
    for (int slot = 1; slot <= kLastID3V2Field; ++slot)
        if (const char* name = zmTagIOFieldName(MD_KIND_ID3V2, slot); name && id == name) return slot;
    return 0;
}

struct Loss {
    std::string id;
    std::string reason;
    bool replaceable;  // false when frames that were not named go with it
};

class FrameWalk {
public:
    explicit FrameWalk(const Tag& tag)
        : tag_(tag), shape_(tag.version == 2 ? FrameShape{3, 6} : FrameShape{4, 10}) {}

    std::vector<Loss> Losses() {
        const std::vector<uint8_t>& area = tag_.frames;
        size_t pos = 0;
        while (pos + shape_.headerLength <= area.size()) {
            const uint8_t* header = area.data() + pos;
            std::string id(reinterpret_cast<const char*>(header), shape_.idLength);
            if (!std::all_of(id.begin(), id.end(), [](char c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }))
                break;
            size_t sizeBytes = shape_.headerLength - shape_.idLength - (tag_.version == 2 ? 0 : 2);
            uint32_t size = tag_.version == 4 ? Syncsafe(header + shape_.idLength)
                                              : BigEndian(header + shape_.idLength, sizeBytes);
            if (size > area.size() - pos - shape_.headerLength) break;
            uint16_t flags = tag_.version == 2 ? 0 : uint16_t(header[8] << 8 | header[9]);
            if (!Place(id, flags, std::span<const uint8_t>(header + shape_.headerLength, size))) return losses_;
            pos += shape_.headerLength + size;
        }
        if (std::any_of(area.begin() + std::ptrdiff_t(pos), area.end(), [](uint8_t b) { return b != 0; }))
            losses_.push_back({"", "the bytes after the last frame zmTagIO can read", false});
        return losses_;
    }

private:
    // False when the walk ends at this frame. Any comment may be the one
    // chosen for the slot, and any may be kept.
    bool Place(const std::string& id, uint16_t flags, std::span<const uint8_t> body) {
        int slot = tag_.version == 2 ? 0 : SlotOf(id);
        bool comment = slot == MD_ID3V2_COMM;
        bool first = tag_.version == 2 ? seen_.insert(id).second : slot > 0 && filled_.count(slot) == 0;
        bool mayBeStored = comment || first;
        if (mayBeStored && IsConvertedID3V2Field(slot) && !TextIsCarried(TextBody(body, flags, tag_.version))) {
            losses_.push_back({id, "text in an encoding zmTagIO cannot carry", true});
            if (!comment) return true;
        } else if (first && slot > 0) {
            filled_.insert(slot);
        }
        if ((comment || !first) && (body.empty() || body.size() >= kKeepLimit)) {
            losses_.push_back({id, "a frame of " + std::to_string(body.size()) +
                                       " bytes zmTagIO does not keep, and every frame behind it", false});
            return false;
        }
        return true;
    }

    const Tag& tag_;
    FrameShape shape_;
    std::set<int> filled_;
    std::set<std::string> seen_;
    std::vector<Loss> losses_;
};

}  // namespace

std::vector<std::string> FramesLostByRewrite(const std::string& path, const std::vector<std::string>& replaced) {
    std::optional<Tag> tag = ReadTag(path);
    if (!tag) return {};
    std::vector<std::string> lost;
    for (const Loss& loss : FrameWalk(*tag).Losses()) {
        if (loss.replaceable && std::find(replaced.begin(), replaced.end(), loss.id) != replaced.end()) continue;
        lost.push_back(loss.id.empty() ? loss.reason : loss.id + " (" + loss.reason + ")");
    }
    return lost;
}

}  // namespace zmtagio
