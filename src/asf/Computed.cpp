#include "asf/Computed.h"

namespace zm::asf {
namespace {

constexpr uint64_t kHundredNsPerMs = 10000;

struct ComputedRow {
    std::u16string_view name;
    WMT_ATTR_DATATYPE type;
    uint64_t (*value)(const Header&);
};

// The play duration counts the preroll; the file's duration does not. A
// header whose preroll exceeds its play duration has no duration.
uint64_t Duration(const Header& h) {
    uint64_t preroll = h.preroll > UINT64_MAX / kHundredNsPerMs ? UINT64_MAX : h.preroll * kHundredNsPerMs;
    return h.playDuration > preroll ? h.playDuration - preroll : 0;
}

// A local file plays at the rate it was made for, so the current and the
// optimal rate are the file's own.
uint64_t Bitrate(const Header& h) { return h.maxBitrate; }
uint64_t Seekable(const Header& h) { return (h.flags & kSeekableFlag) != 0; }
// Fast forward and reverse play need seeking and a video stream to stride through.
uint64_t Stridable(const Header& h) { return Seekable(h) && h.hasVideo; }
uint64_t Broadcast(const Header& h) { return (h.flags & kBroadcastFlag) != 0; }
uint64_t HasAudio(const Header& h) { return h.hasAudio; }
uint64_t HasVideo(const Header& h) { return h.hasVideo; }
uint64_t HasImage(const Header& h) { return h.hasImage; }
uint64_t HasScript(const Header& h) { return h.hasScript; }
uint64_t IsProtected(const Header& h) { return h.isProtected; }
// No signature is ever verified here, so no file counts as trusted.
uint64_t IsTrusted(const Header&) { return 0; }

constexpr ComputedRow kComputed[] = {
    {u"Duration", WMT_TYPE_QWORD, Duration},     {u"Bitrate", WMT_TYPE_DWORD, Bitrate},
    {u"Seekable", WMT_TYPE_BOOL, Seekable},      {u"Stridable", WMT_TYPE_BOOL, Stridable},
    {u"Broadcast", WMT_TYPE_BOOL, Broadcast},    {u"HasAudio", WMT_TYPE_BOOL, HasAudio},
    {u"HasVideo", WMT_TYPE_BOOL, HasVideo},      {u"HasImage", WMT_TYPE_BOOL, HasImage},
    {u"HasScript", WMT_TYPE_BOOL, HasScript},    {u"Is_Protected", WMT_TYPE_BOOL, IsProtected},
    {u"Is_Trusted", WMT_TYPE_BOOL, IsTrusted},   {u"CurrentBitrate", WMT_TYPE_DWORD, Bitrate},
    {u"OptimalBitrate", WMT_TYPE_DWORD, Bitrate},
};

constexpr uint64_t LetterBit(char16_t letter) { return uint64_t(1) << (letter & 63); }

constexpr uint64_t FirstLetters() {
    uint64_t letters = 0;
    for (const ComputedRow& row : kComputed) letters |= LetterBit(row.name[0]);
    return letters;
}
constexpr uint64_t kFirstLetters = FirstLetters();

// Every stored name ("WM/...", mostly) is looked up here first: the first
// letters of the rows turn most of them away before any row is compared.
const ComputedRow* FindRow(std::u16string_view name) {
    if (name.empty() || !(kFirstLetters & LetterBit(name[0]))) return nullptr;
    for (const ComputedRow& row : kComputed)
        if (row.name[0] == name[0] && SameName(row.name, name)) return &row;
    return nullptr;
}

}  // namespace

bool IsComputedName(std::u16string_view name) { return FindRow(name) != nullptr; }

bool ComputedAttribute(const Header& header, std::u16string_view name, WMT_ATTR_DATATYPE& type,
                       ComputedValue& value) {
    const ComputedRow* row = FindRow(name);
    if (!row) return false;
    type = row->type;
    value.size = type == WMT_TYPE_QWORD ? 8 : 4;
    uint64_t number = row->value(header);
    for (size_t i = 0; i < value.size; ++i) value.bytes[i] = uint8_t(number >> (8 * i));
    return true;
}

}  // namespace zm::asf
