// The probe and the reader. The probe reads the first bytes of the file once,
// decides from them whether it is an Ogg Vorbis or Ogg Opus file, and reads
// the comment and setup packets whole; the reader then fills the fields from
// the same packets, so both always agree on what the comments need.
//
// Every entry's length and the entry count are checked against the comment
// packet; a packet that does not hold what it claims makes the file one we do
// not edit. Fields 1 to 16 take the first non-empty value of their name; the
// packets stay with the session, so the writer carries every entry.
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

// The header packets, read once per opening.
bool LoadHeaders(platform::File& file, OggState& state) {
    if (!state.headers.packets.empty()) return true;
    if (!LoadHead(file, state)) return false;
    HeadersFound found = ReadHeaderPages(file, HeadOf(state), state.headers);
    state.unreadable = state.unreadable || found == HeadersFound::Unreadable;
    return found == HeadersFound::Yes;
}

CommentParts CommentsOf(const HeaderPages& headers) {
    ByteView comment(headers.packets.data(), headers.commentSize);
    return *SplitComments(LayoutOf(headers.codec), comment);  // checked when read
}

}  // namespace

uint32_t GetOGGTagSize(platform::File& file, MDRecord& record, OggState& state) {
    if (!LoadHeaders(file, state)) {
        ReleaseHead(state);
        return 0;
    }
    uint32_t total = 0;
    ForEachField(CommentsOf(state.headers), [&](int, ByteView value) { total += uint32_t(value.size()); });
    record.isOgg = 1;
    return total;
}

HRESULT ReadOGGFromFile(platform::File& file, MDRecord& record, OggState& state,
                        std::span<uint8_t> destination, platform::FileRange& headerRange) {
    bool loaded = LoadHeaders(file, state);
    ReleaseHead(state);
    if (!loaded) return ZMTAGIO_E_FAIL;

    // Every recognised entry takes its room, also one whose field is already
    // filled: the first non-empty occurrence of a name wins.
    size_t out = 0;
    bool fits = true;
    ForEachField(CommentsOf(state.headers), [&](int row, ByteView value) {
        if (value.size() > destination.size() - out) {
            fits = false;
            return;
        }
        MDField& field = record.fields[row + 1];
        if (field.size < 1) {
            std::copy_n(value.data(), value.size(), destination.data() + out);
            field.size = int32_t(value.size());
            field.data = destination.data() + out;
        }
        out += value.size();
    });
    if (!fits) return ZMTAGIO_E_FAIL;
    headerRange = state.headers.range;
    return ZMTAGIO_S_OK;
}

}  // namespace zm::ogg
