// Finding and reading the comment page. The comment header is taken from the
// page at the second capture pattern within the first bytes of the file; the
// probe and the reader walk the same bytes, which the probe reads once and
// hands on, so both always agree on what the comments need.
//
// Every length and count is checked against those bytes. A comment list that
// runs past them, a vendor length below 1, a negative count or an entry
// longer than what remains of its packet makes the file one we do not edit.
// A comment packet that does not end on its page, or a page that continues an
// earlier packet, is read as far as it lies within the bytes read but marked
// so that the writer never rebuilds it.
#include <algorithm>

#include "ogg/OggLayout.h"
#include "platform/Trace.h"

namespace zm::ogg {
namespace {

using platform::ByteView;

// The comment page as the first bytes of the file show it.
struct CommentPage {
    size_t start = 0;  // offset of its capture pattern in the file
    PageLayout layout;
    ByteView packet;  // the comment packet, cut where the bytes read end
    bool continued = false;
};

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

// Any occurrence of the capture pattern counts; the scan does not step from
// page to page.
std::optional<size_t> FindSecondCapturePattern(ByteView head) {
    int found = 0;
    for (size_t at = 0; head.Has(at, sizeof kCapturePattern); ++at) {
        if (head.Equals(at, kCapturePattern, sizeof kCapturePattern) && ++found == 2) return at;
    }
    return std::nullopt;
}

std::optional<CommentPage> LocateCommentPage(ByteView head) {
    auto start = FindSecondCapturePattern(head);
    if (!start) return std::nullopt;
    ByteView fromPage = *head.Sub(*start, head.size() - *start);
    auto layout = ReadPageLayout(fromPage);
    if (!layout) return std::nullopt;
    size_t bodyStart = layout->HeaderSize();
    size_t held = std::min<size_t>(layout->packetBytes, fromPage.size() - bodyStart);
    return CommentPage{*start, *layout, *fromPage.Sub(bodyStart, held),
                       (*fromPage.U8(kHeaderTypeOffset) & kContinuedPacket) != 0};
}

// A packet that goes on past its page is read as far as the bytes reach; one
// that ends on its page must lie wholly within them.
template <typename Visit>
Walk WalkPage(const CommentPage& page, Visit&& visit) {
    return WalkComments(page.packet, !page.layout.packetEnds, visit);
}

// Copies the page: what lies within the first bytes from there, the rest
// from the file. False when the file ends before the page does.
bool CopyPage(platform::File& file, ByteView head, size_t start, platform::Buffer& copy) {
    size_t inHead = std::min(copy.size(), head.size() - start);
    std::copy_n(head.data() + start, inHead, copy.data());
    if (inHead == copy.size()) return true;
    auto rest = copy.span().subspan(inHead);
    return file.Seek(start + inHead) && file.Read(rest) == int64_t(rest.size());
}

// The writer needs the comment packet to begin and end on this page.
void CheckRebuildable(const CommentPage& page, bool copied, OggState& state) {
    if (!page.layout.packetEnds)
        platform::TraceLine("ReadOGGFromFile comment packet does not end on its page, kept as it is");
    if (page.continued)
        platform::TraceLine("ReadOGGFromFile comment page continues an earlier packet, kept as it is");
    if (!copied) platform::TraceLine("ReadOGGFromFile file ends inside the comment page, kept as it is");
    state.rebuildable = page.layout.packetEnds && !page.continued && copied;
}

}  // namespace

uint32_t GetOGGTagSize(platform::File& file, MDRecord& record, OggState& state) {
    uint32_t total = 0;
    std::optional<CommentPage> page;
    if (LoadHead(file, state)) page = LocateCommentPage(HeadOf(state));
    if (!page || WalkPage(*page, [&](int, ByteView value) { total += uint32_t(value.size()); }) ==
                     Walk::Invalid) {
        ReleaseHead(state);
        return 0;
    }
    record.isOgg = 1;
    return total;
}

HRESULT ReadOGGFromFile(platform::File& file, MDRecord& record, OggState& state,
                        std::span<uint8_t> destination, platform::FileRange& range) {
    if (!LoadHead(file, state)) return ZMTAGIO_E_FAIL;
    ByteView head = HeadOf(state);
    auto page = LocateCommentPage(head);
    if (!page) return ZMTAGIO_E_FAIL;
    if (!state.savedPage.Allocate(page->layout.Size())) return ZMTAGIO_E_OUTOFMEMORY;
    CheckRebuildable(*page, CopyPage(file, head, page->start, state.savedPage), state);

    // Every recognised entry takes its room, also one whose field is already
    // filled: the first non-empty occurrence of a name wins.
    size_t out = 0;
    bool fits = true;
    Walk walk = WalkPage(*page, [&](int row, ByteView value) {
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
    ReleaseHead(state);
    if (walk == Walk::Invalid || !fits) {
        state.savedPage.Reset();
        return ZMTAGIO_E_FAIL;
    }
    range.start = page->start;
    range.end = page->start + page->layout.Size();
    return ZMTAGIO_S_OK;
}

}  // namespace zm::ogg
