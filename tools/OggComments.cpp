#include "OggComments.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>

namespace zmtagio {
namespace {

constexpr size_t kPageHeaderSize = 27;
constexpr char kCapturePattern[4] = {'O', 'g', 'g', 'S'};  // every page starts with it
constexpr size_t kSegmentCountOffset = 26;
constexpr unsigned kFullSegment = 255;
constexpr size_t kLengthSize = 4;
constexpr size_t kLongestMagic = 8;
// What an entry keeps of its name: more than any name the edits use.
constexpr size_t kNameLimit = 256;
constexpr size_t kChunk = 4096;

struct Magic {
    std::string_view bytes;
    const char* codec;
};

constexpr Magic kIdentifications[] = {
    {{"\x01vorbis", 7}, "Vorbis"}, {"OpusHead", "Opus"}, {{"\x7f" "FLAC", 5}, "FLAC"},
    {"Speex   ", "Speex"},         {{"\x80theora", 7}, "Theora"},
};
constexpr Magic kCommentHeaders[] = {{{"\x03vorbis", 7}, "Vorbis"}, {"OpusTags", "Opus"}};

struct FileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
};

// The packets of the file's first pages, read page after page from its start
// a few bytes at a time, so that a comment packet of megabytes is never held.
class PacketStream {
public:
    explicit PacketStream(const std::string& path) : file_(std::fopen(path.c_str(), "rb")) {}
    bool Broken() const { return broken_; }

    // Up to size bytes of the current packet: fewer at its end, or where the
    // pages break off (Broken).
    size_t Read(char* out, size_t size) {
        size_t done = 0;
        while (done < size && !broken_) {
            if (left_ == 0) {
                if (ends_) break;
                broken_ = !NextSegment();
                continue;
            }
            size_t n = std::min(left_, size - done);
            broken_ = std::fread(out + done, 1, n, file_.get()) != n;
            if (broken_) break;
            done += n;
            left_ -= n;
        }
        return done;
    }
    // Moves on to the next packet, past the rest of this one.
    bool NextPacket() {
        char skip[kChunk];
        while (Read(skip, sizeof skip) > 0) {}
        ends_ = false;
        return !broken_;
    }

private:
    bool NextSegment() {
        while (next_ == segments_)
            if (!NextPage()) return false;
        left_ = lacing_[next_++];
        ends_ = left_ < kFullSegment;
        return true;
    }
    bool NextPage() {
        unsigned char header[kPageHeaderSize];
        if (!file_ || std::fread(header, 1, sizeof header, file_.get()) != sizeof header ||
            std::memcmp(header, kCapturePattern, sizeof kCapturePattern) != 0)
            return false;
        segments_ = header[kSegmentCountOffset];
        next_ = 0;
        return std::fread(lacing_, 1, segments_, file_.get()) == segments_;
    }

    std::unique_ptr<FILE, FileCloser> file_;
    unsigned char lacing_[kFullSegment] = {};
    size_t segments_ = 0, next_ = 0;
    size_t left_ = 0;    // bytes left in the current segment
    bool ends_ = false;  // the current segment ends its packet
    bool broken_ = false;
};

template <size_t N>
const Magic* Find(std::string_view packet, const Magic (&table)[N]) {
    for (const Magic& magic : table)
        if (packet.starts_with(magic.bytes)) return &magic;
    return nullptr;
}

// The comment packet's magic, read up to its last byte and no further.
const Magic* ReadCommentMagic(PacketStream& stream) {
    std::string read;
    for (char c; read.size() < kLongestMagic && stream.Read(&c, 1) == 1;) {
        read += c;
        if (const Magic* magic = Find(read, kCommentHeaders)) return magic;
    }
    return nullptr;
}

std::optional<uint32_t> ReadLE32(PacketStream& stream) {
    unsigned char bytes[kLengthSize];
    if (stream.Read(reinterpret_cast<char*>(bytes), sizeof bytes) != sizeof bytes) return std::nullopt;
    return uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 | uint32_t(bytes[3]) << 24;
}

std::string Upper(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    return text;
}

// A 64-bit digest of a run of bytes, taken eight at a time whatever chunks
// they arrive in: the read-back takes one of every entry, a picture of
// megabytes among them, before the change and after it. A word's lowest byte
// is its first in memory, as the bytes left over are gathered.
static_assert(std::endian::native == std::endian::little);

class Digest {
public:
    void Add(const char* bytes, size_t count) {
        for (; used_ > 0 && count > 0; --count) Put(uint8_t(*bytes++));
        for (; count >= sizeof(uint64_t); bytes += sizeof(uint64_t), count -= sizeof(uint64_t)) {
            uint64_t word;
            std::memcpy(&word, bytes, sizeof word);
            Mix(word);
        }
        for (; count > 0; --count) Put(uint8_t(*bytes++));
    }
    // The bytes left over count with their number, so that trailing zeros
    // still change the digest.
    uint64_t Value() {
        Mix(pending_ ^ (uint64_t(used_) << 59));
        return state_;
    }

private:
    void Put(uint8_t byte) {
        pending_ |= uint64_t(byte) << (8 * used_);
        if (++used_ < sizeof(uint64_t)) return;
        Mix(pending_);
        pending_ = 0;
        used_ = 0;
    }
    void Mix(uint64_t word) {
        state_ = (state_ ^ word) * 0x9E3779B97F4A7C15u;
        state_ ^= state_ >> 29;
    }

    uint64_t state_ = 0xcbf29ce484222325u;
    uint64_t pending_ = 0;
    unsigned used_ = 0;
};

// An entry of length bytes: its name and a digest of all its bytes, read a
// chunk at a time.
std::optional<OggEntry> ReadEntry(PacketStream& stream, uint32_t length) {
    OggEntry entry;
    entry.size = length;
    Digest digest;
    bool named = false;
    char chunk[kChunk];
    for (uint64_t left = length; left > 0;) {
        size_t n = stream.Read(chunk, size_t(std::min<uint64_t>(left, sizeof chunk)));
        if (n == 0) return std::nullopt;
        digest.Add(chunk, n);
        if (!named) {
            const char* end = static_cast<const char*>(std::memchr(chunk, '=', n));
            named = end != nullptr;
            size_t take = std::min(size_t((end ? end : chunk + n) - chunk), kNameLimit - entry.name.size());
            entry.name.append(chunk, take);
        }
        left -= n;
    }
    entry.digest = digest.Value();
    entry.name = Upper(entry.name);
    return entry;
}

std::vector<OggEntry> Others(const std::vector<OggEntry>& entries, const std::vector<std::string>& names) {
    std::vector<OggEntry> others;
    for (const OggEntry& entry : entries)
        if (std::find(names.begin(), names.end(), entry.name) == names.end()) others.push_back(entry);
    return others;
}

}  // namespace

// The first page holds the identification packet alone, and the packet
// names its codec in its first bytes: one small unbuffered read of the
// page's start tells, where a buffered stream would read 4 KB for every
// Ogg file a scan lists.
std::string OggCodec(const std::string& path) {
    std::unique_ptr<FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) return {};
    std::setvbuf(file.get(), nullptr, _IONBF, 0);
    unsigned char start[kPageHeaderSize + kFullSegment + kLongestMagic];
    size_t got = std::fread(start, 1, sizeof start, file.get());
    if (got < kPageHeaderSize || std::memcmp(start, kCapturePattern, sizeof kCapturePattern) != 0) return {};
    size_t packet = kPageHeaderSize + start[kSegmentCountOffset];
    if (got <= packet) return {};
    const Magic* magic = Find(std::string_view(reinterpret_cast<const char*>(start) + packet, got - packet),
                              kIdentifications);
    return magic ? magic->codec : "an unknown codec";
}

std::optional<std::vector<OggEntry>> OggEntries(const std::string& path) {
    PacketStream stream(path);
    if (!stream.NextPacket() || !ReadCommentMagic(stream)) return std::nullopt;
    auto vendor = ReadLE32(stream);
    if (!vendor || !ReadEntry(stream, *vendor)) return std::nullopt;
    auto count = ReadLE32(stream);
    if (!count) return std::nullopt;
    std::vector<OggEntry> entries;
    for (uint32_t i = 0; i < *count; ++i) {
        auto length = ReadLE32(stream);
        std::optional<OggEntry> entry = length ? ReadEntry(stream, *length) : std::nullopt;
        if (!entry) return std::nullopt;
        entries.push_back(std::move(*entry));
    }
    return entries;
}

std::optional<std::string> ChangedOtherEntry(const std::vector<OggEntry>& before, const std::vector<OggEntry>& after,
                                             const std::vector<std::string>& names) {
    std::vector<OggEntry> kept = Others(before, names), now = Others(after, names);
    auto [was, is] = std::mismatch(kept.begin(), kept.end(), now.begin(), now.end());
    if (was != kept.end()) return was->name;
    if (is != now.end()) return is->name;
    return std::nullopt;
}

}  // namespace zmtagio
