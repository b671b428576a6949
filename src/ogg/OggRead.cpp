// The probe and the reader. The probe reads the first bytes of the file once,
// decides from them whether it is an Ogg Vorbis or Ogg Opus file, and checks
// the comment and setup packets where they lie, counting the room the fields'
// values take and noting where each field's value lies as it goes; the reader
// then reads just those values, so both always agree on what the comments
// need.
//
// Every entry's length and the entry count are checked against the comment
// packet; a packet that does not hold what it claims makes the file one we do
// not edit. Fields 1 to 16 take the first non-empty value of their name; only
// their values are read, and the other entries are stepped over: the session
// keeps where the packets lie, and the writer carries every entry from there.
#include <algorithm>

#include "ogg/OggHeaders.h"

namespace zm::ogg {
namespace {

using platform::ByteView;

// Reads the first bytes of the file into state.head unless the probe did.
// Only the end of the file may stop the reading short; a read that fails
// leaves the file's tags unknown, not absent.
bool LoadHead(platform::File& file, OggState& state) {
    if (!state.head.empty()) return state.headBytes > 0;
    // Only the bytes read are ever looked at (HeadOf).
    if (!state.head.AllocateUnfilled(kHeadBytes)) return false;
    state.unreadable = !file.Seek(0);
    size_t got = 0;
    while (!state.unreadable && got < kHeadBytes) {
        int64_t n = file.Read(state.head.span().subspan(got));
        if (n == 0) break;
        state.unreadable = n < 0;
        if (n > 0) got += size_t(n);
    }
    state.headBytes = state.unreadable ? 0 : got;
    return state.headBytes > 0;
}

ByteView HeadOf(const OggState& state) { return ByteView(state.head.data(), state.headBytes); }

void ReleaseHead(OggState& state) {
    state.head.Reset();
    state.headBytes = 0;
}

// The header packets, found once per opening.
bool LoadHeaders(platform::File& file, OggState& state) {
    if (state.headers.found) return true;
    if (!LoadHead(file, state)) return false;
    HeadersFound found = ReadHeaderPages(file, HeadOf(state), state.headers);
    state.unreadable = state.unreadable || found == HeadersFound::Unreadable;
    return found == HeadersFound::Yes;
}

// Reads the values the probe found into destination, in the order they lie:
// the cursor steps over everything between them, as each value lies after
// the one before. A read that fails over a list the probe found whole is a
// failed read.
bool ReadValues(platform::File& file, MDRecord& record, OggState& state, std::span<uint8_t> destination) {
    const HeaderPages& headers = state.headers;
    int rows[kOGGFieldCount];
    int count = 0;
    for (int row = 0; row < kOGGFieldCount; ++row)
        if (headers.values[row].found) rows[count++] = row;
    std::sort(rows, rows + count, [&](int a, int b) { return headers.values[a].at < headers.values[b].at; });
    PacketCursor cursor(file, headers, HeadOf(state));
    bool read = true;
    for (int i = 0; i < count; ++i) {
        const FieldValue& value = headers.values[rows[i]];
        read = value.roomAt <= destination.size() && value.size <= destination.size() - value.roomAt &&
               cursor.Skip(value.at - cursor.Position()) && cursor.Read(destination.subspan(value.roomAt, value.size));
        if (!read) break;
        MDField& field = record.fields[rows[i] + 1];
        field.data = destination.data() + value.roomAt;
        field.size = int32_t(value.size);
    }
    state.unreadable = state.unreadable || cursor.Status() != HeadersFound::Yes;
    return read;
}

}  // namespace

uint32_t GetOGGTagSize(platform::File& file, MDRecord& record, OggState& state) {
    if (!LoadHeaders(file, state)) {
        ReleaseHead(state);
        return 0;
    }
    record.isOgg = 1;
    return uint32_t(state.headers.fieldBytes);
}

HRESULT ReadOGGFromFile(platform::File& file, MDRecord& record, OggState& state,
                        std::span<uint8_t> destination, platform::FileRange& headerRange) {
    if (!LoadHeaders(file, state)) {
        ReleaseHead(state);
        return ZMTAGIO_E_FAIL;
    }
    bool read = ReadValues(file, record, state, destination);
    ReleaseHead(state);
    if (!read) return ZMTAGIO_E_FAIL;
    headerRange = state.headers.range;
    return ZMTAGIO_S_OK;
}

}  // namespace zm::ogg
