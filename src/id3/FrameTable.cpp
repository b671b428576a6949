#include "id3/FrameTable.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <iterator>

#include "id3/ID3.h"

namespace zm::id3 {

constexpr FrameRow ID3FrameTable[kFrameRows] = {
    {"TAL", "TALB"}, {"TBP", "TBPM"}, {"TCM", "TCOM"}, {"TCO", "TCON"}, {"TCR", "TCOP"},
    {"", "TDEN"},    {"TDY", "TDLY"}, {"TOR", "TDOR"}, {"TRD", "TDRC"}, {"", "TDRL"},
    {"", "TDTG"},    {"TEN", "TENC"}, {"TXT", "TEXT"}, {"TFT", "TFLT"}, {"IPL", "TIPL"},
    {"TT1", "TIT1"}, {"TT2", "TIT2"}, {"TT3", "TIT3"}, {"TKE", "TKEY"}, {"TLA", "TLAN"},
    {"TLE", "TLEN"}, {"", "TMCL"},    {"TMT", "TMED"}, {"", "TMOO"},    {"TOT", "TOAL"},
    {"TOF", "TOFN"}, {"TOL", "TOLY"}, {"TOA", "TOPE"}, {"", "TOWN"},    {"TP1", "TPE1"},
    {"TP2", "TPE2"}, {"TP3", "TPE3"}, {"TP4", "TPE4"}, {"TPA", "TPOS"}, {"", "TPRO"},
    {"TPB", "TPUB"}, {"TRK", "TRCK"}, {"", "TRSN"},    {"", "TRSO"},    {"", "TSOA"},
    {"", "TSOP"},    {"", "TSOT"},    {"TRC", "TSRC"}, {"TSS", "TSSE"}, {"", "TSST"},
    {"TXX", "TXXX"}, {"CRA", "AENC"}, {"PIC", "APIC"}, {"", "ASPI"},    {"COM", "COMM"},
    {"", "COMR"},    {"", "ENCR"},    {"EQU", "EQU2"}, {"ETC", "ETCO"}, {"GEO", "GEOB"},
    {"", "GRID"},    {"LNK", "LINK"}, {"MCI", "MCDI"}, {"MLL", "MLLT"}, {"", "OWNE"},
    {"", "PRIV"},    {"CNT", "PCNT"}, {"POP", "POPM"}, {"", "POSS"},    {"BUF", "RBUF"},
    {"RVA", "RVA2"}, {"REV", "RVRB"}, {"", "SEEK"},    {"", "SIGN"},    {"SLT", "SYLT"},
    {"STC", "SYTC"}, {"UFI", "UFID"}, {"", "USER"},    {"ULT", "USLT"}, {"WCM", "WCOM"},
    {"WCP", "WCOP"}, {"WAF", "WOAF"}, {"WAR", "WOAR"}, {"WAS", "WOAS"}, {"", "WORS"},
    {"", "WPAY"},    {"WPB", "WPUB"}, {"WXX", "WXXX"}, {"TYE", "TYER"},
};

namespace {

constexpr V23Conversion kV23Conversions[] = {
    {"TDRC", "TYER", V23Rule::DateParts},
    {"TDOR", "TORY", V23Rule::Year},
    {"TIPL", "IPLS", V23Rule::Rename},
    {"TMCL", "IPLS", V23Rule::Rename},
};

using enum BodyPart;
constexpr TextLayout kTextLayouts[] = {
    {"T", 1, {Texts}},  // TXXX too: a description, then the value
    {"IPLS", 1, {Texts}},  // roles and names
    {"COMM", 3, {Fixed3, Text, Texts}},
    {"USLT", 3, {Fixed3, Text, Texts}},
    {"USER", 2, {Fixed3, Texts}},
    {"SYLT", 5, {Fixed3, Fixed1, Fixed1, Text, SyncedTexts}},
    {"APIC", 4, {Latin1, Fixed1, Text, Binary}},
    {"GEOB", 4, {Latin1, Text, Text, Binary}},
    {"WXXX", 2, {Text, Binary}},
    {"OWNE", 3, {Latin1, Fixed8, Texts}},
    {"COMR", 7, {Latin1, Fixed8, Latin1, Fixed1, Text, Text, Binary}},
};

// Version 2.2 has two frames for the date and the time; both land in the row
// that has no 2.2 id of its own.
constexpr int kDateTimeRow = 5;
constexpr const char* kDateTimeIds[] = {"TDA", "TIM"};

constexpr int kConvertedFields[] = {1, 3, 4, 9, 16, 17, 30, 31, kTrackField, kCommentField, kYearField};

// Asked for every frame of every tag read: a flag per id answers at once.
constexpr int kFieldBits = 128;
constexpr std::array<bool, kFieldBits> kConvertedFieldBits = [] {
    std::array<bool, kFieldBits> bits{};
    for (int id : kConvertedFields) bits[size_t(id)] = true;
    return bits;
}();

// Frame ids as numbers (their bytes, the first one highest), sorted at
// compile time: every frame of every tag finds its row by a binary search
// instead of a walk of the table.
struct IdRow {
    uint32_t key;
    int row;
};

constexpr uint32_t IdKey(const char* id, size_t length) {
    uint32_t key = 0;
    for (size_t i = 0; i < 4; ++i) key = key << 8 | (i < length ? uint8_t(id[i]) : 0);
    return key;
}

struct IdIndex {
    std::array<IdRow, kFrameRows + std::size(kDateTimeIds)> ids{};
    size_t count = 0;
    size_t length = 0;  // of an id
};

constexpr IdIndex SortedIds(bool v22) {
    IdIndex index;
    index.length = v22 ? 3 : 4;
    for (int row = 0; row < kFrameRows; ++row) {
        const char* id = v22 ? ID3FrameTable[row].v22 : ID3FrameTable[row].v23;
        if (id[0] != 0) index.ids[index.count++] = {IdKey(id, index.length), row};
    }
    if (v22)
        for (const char* id : kDateTimeIds) index.ids[index.count++] = {IdKey(id, 3), kDateTimeRow};
    std::sort(index.ids.begin(), index.ids.begin() + ptrdiff_t(index.count),
              [](const IdRow& a, const IdRow& b) { return a.key < b.key; });
    return index;
}

constexpr bool UniqueKeys(const IdIndex& index) {
    for (size_t i = 1; i < index.count; ++i)
        if (index.ids[i - 1].key == index.ids[i].key) return false;
    return true;
}

constexpr IdIndex kV22Ids = SortedIds(true);
constexpr IdIndex kV23Ids = SortedIds(false);
static_assert(UniqueKeys(kV22Ids) && UniqueKeys(kV23Ids), "a frame id names one row");

}  // namespace

int FindFrameRow(std::span<const char> id, int version) {
    if (version < 2) return -1;
    const IdIndex& index = version == 2 ? kV22Ids : kV23Ids;
    if (id.size() < index.length) return -1;
    uint32_t key = IdKey(id.data(), index.length);
    auto end = index.ids.begin() + ptrdiff_t(index.count);
    auto found = std::lower_bound(index.ids.begin(), end, key,
                                  [](const IdRow& entry, uint32_t wanted) { return entry.key < wanted; });
    return found != end && found->key == key ? found->row : -1;
}

bool IsConvertedField(int id) { return id >= 0 && id < kFieldBits && kConvertedFieldBits[size_t(id)]; }

const V23Conversion* FindV23Conversion(const char* id) {
    for (const V23Conversion& conversion : kV23Conversions)
        if (std::memcmp(conversion.from, id, 4) == 0) return &conversion;
    return nullptr;
}

const TextLayout* FindTextLayout(const char* id) {
    for (const TextLayout& layout : kTextLayouts)
        if (std::strncmp(layout.id, id, std::strlen(layout.id)) == 0) return &layout;
    return nullptr;
}

const char* FrameIdOf(int id) { return id >= 1 && id <= kFrameRows ? ID3FrameTable[id - 1].v23 : nullptr; }

}  // namespace zm::id3
