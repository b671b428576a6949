#include "id3/FrameTable.h"

#include <algorithm>
#include <cstring>

#include "id3/ID3.h"

namespace zm::id3 {

const FrameRow ID3FrameTable[kFrameRows] = {
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

// Version 2.2 has two frames for the date and the time; both land in the row
// that has no 2.2 id of its own.
constexpr int kDateTimeRow = 5;
constexpr const char* kDateTimeIds[] = {"TDA", "TIM"};

constexpr int kConvertedFields[] = {1, 3, 4, 9, 16, 17, 30, 31, kTrackField, kCommentField, kYearField};

}  // namespace

int FindFrameRow(std::span<const char> id, int version) {
    if (version < 2) return -1;
    size_t length = version == 2 ? 3 : 4;
    if (id.size() < length) return -1;
    if (version == 2)
        for (const char* dateTime : kDateTimeIds)
            if (std::memcmp(id.data(), dateTime, 3) == 0) return kDateTimeRow;
    for (int row = 0; row < kFrameRows; ++row) {
        const char* candidate = version == 2 ? ID3FrameTable[row].v22 : ID3FrameTable[row].v23;
        if (candidate[0] != 0 && std::memcmp(id.data(), candidate, length) == 0) return row;
    }
    return -1;
}

bool IsConvertedField(int id) {
    return std::find(std::begin(kConvertedFields), std::end(kConvertedFields), id) !=
           std::end(kConvertedFields);
}

const char* FrameIdOf(int id) { return id >= 1 && id <= kFrameRows ? ID3FrameTable[id - 1].v23 : nullptr; }

}  // namespace zm::id3
