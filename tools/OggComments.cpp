#include "OggComments.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>

namespace zmtagio {
namespace {

constexpr size_t kPageHeaderSize = 27;
constexpr size_t kSegmentCountOffset = 26;
constexpr unsigned kFullSegment = 255;
constexpr size_t kMaxPacketSize = size_t(64) << 20;
constexpr size_t kLengthSize = 4;

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

// The first count packets of the file, read page after page from its start;
// fewer when the pages end or break off first.
std::vector<std::string> FirstPackets(const std::string& path, size_t count) {
    std::unique_ptr<FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    std::vector<std::string> packets(1);  // the last one is not complete
    while (file && packets.size() <= count) {
        unsigned char header[kPageHeaderSize], lacing[kFullSegment];
        if (std::fread(header, 1, sizeof header, file.get()) != sizeof header || std::memcmp(header, "OggS", 4) != 0)
            break;
        size_t segments = header[kSegmentCountOffset];
        if (std::fread(lacing, 1, segments, file.get()) != segments) break;
        for (size_t i = 0; i < segments && packets.size() <= count; ++i) {
            std::string& packet = packets.back();
            size_t at = packet.size();
            packet.resize(at + lacing[i]);
            if (packet.size() > kMaxPacketSize || std::fread(packet.data() + at, 1, lacing[i], file.get()) != lacing[i])
                return {};
            if (lacing[i] < kFullSegment) packets.emplace_back();
        }
    }
    packets.pop_back();
    return packets;
}

template <size_t N>
const Magic* Find(std::string_view packet, const Magic (&table)[N]) {
    for (const Magic& magic : table)
        if (packet.starts_with(magic.bytes)) return &magic;
    return nullptr;
}

std::optional<uint32_t> LE32(std::string_view bytes, size_t at) {
    if (at > bytes.size() || bytes.size() - at < kLengthSize) return std::nullopt;
    uint32_t value = 0;
    for (size_t i = kLengthSize; i-- > 0;) value = value << 8 | uint8_t(bytes[at + i]);
    return value;
}

// The text at at (a 32-bit length, then the bytes), at moved past it.
std::optional<std::string_view> Item(std::string_view bytes, size_t& at) {
    auto length = LE32(bytes, at);
    if (!length || *length > bytes.size() - at - kLengthSize) return std::nullopt;
    std::string_view text = bytes.substr(at + kLengthSize, *length);
    at += kLengthSize + *length;
    return text;
}

std::string NameOf(std::string_view entry) {
    std::string name(entry.substr(0, entry.find('=')));
    for (char& c : name)
        if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    return name;
}

std::vector<std::string> Others(const std::vector<std::string>& entries, const std::vector<std::string>& names) {
    std::vector<std::string> others;
    for (const std::string& entry : entries)
        if (std::find(names.begin(), names.end(), NameOf(entry)) == names.end()) others.push_back(entry);
    return others;
}

}  // namespace

std::string OggCodec(const std::string& path) {
    std::vector<std::string> packets = FirstPackets(path, 1);
    if (packets.empty()) return {};
    const Magic* magic = Find(packets[0], kIdentifications);
    return magic ? magic->codec : "an unknown codec";
}

std::optional<std::vector<std::string>> OggEntries(const std::string& path) {
    std::vector<std::string> packets = FirstPackets(path, 2);
    if (packets.size() < 2) return std::nullopt;
    const Magic* magic = Find(packets[1], kCommentHeaders);
    if (!magic) return std::nullopt;
    std::string_view packet = packets[1];
    size_t at = magic->bytes.size();
    auto vendor = Item(packet, at);
    auto count = LE32(packet, at);
    if (!vendor || !count) return std::nullopt;
    at += kLengthSize;
    std::vector<std::string> entries;
    for (uint32_t i = 0; i < *count; ++i) {
        auto entry = Item(packet, at);
        if (!entry) return std::nullopt;
        entries.emplace_back(*entry);
    }
    return entries;
}

std::optional<std::string> ChangedOtherEntry(const std::vector<std::string>& before,
                                             const std::vector<std::string>& after,
                                             const std::vector<std::string>& names) {
    std::vector<std::string> kept = Others(before, names), now = Others(after, names);
    auto [was, is] = std::mismatch(kept.begin(), kept.end(), now.begin(), now.end());
    if (was != kept.end()) return NameOf(*was);
    if (is != now.end()) return NameOf(*is);
    return std::nullopt;
}

}  // namespace zmtagio
