// A page on which a header packet ends has granule position 0, as header
// pages have; one on which none ends has none (all bits set). Only the last
// page takes the end-of-stream flag, and only when the old last header page
// had it.
#include "ogg/OggPaging.h"

#include <algorithm>

namespace zm::ogg {

uint64_t PagedSize(std::span<const uint64_t> packetSizes, uint32_t& pages) {
    uint64_t values = 0, bytes = 0;
    for (uint64_t size : packetSizes) {
        values += size / kFullSegment + 1;
        bytes += size;
    }
    pages = uint32_t((values + kMaxSegments - 1) / kMaxSegments);
    return uint64_t(pages) * kSegmentTableOffset + values + bytes;
}

uint8_t Lacing::Next(bool& ends) {
    ends = fulls_ == 0;
    if (!ends) {
        --fulls_;
        return uint8_t(kFullSegment);
    }
    uint8_t value = last_;
    ++packet_;
    Start();
    return value;
}

void Lacing::Start() {
    if (Done()) return;
    fulls_ = sizes_[packet_] / kFullSegment;
    last_ = uint8_t(sizes_[packet_] % kFullSegment);
}

PageWriter::PageWriter(std::span<const uint64_t> packetSizes, const PageStamp& stamp, const PageOut& out)
    : lacing_(packetSizes), stamp_(stamp), out_(out), sequence_(stamp.firstSequence) {
    ok_ = page_.AllocateUnfilled(kMaxPageSize);
    open_ = ok_ && StartPage();
    SendFullPages();
}

// Writes the next page's header and segment table into the page; its body
// is put after them.
bool PageWriter::StartPage() {
    if (lacing_.Done()) return false;
    uint8_t* page = page_.data();
    uint32_t segments = 0;
    size_t body = 0;
    bool ends = false, anyEnds = false;
    while (segments < kMaxSegments && !lacing_.Done()) {
        uint8_t value = lacing_.Next(ends);
        page[kSegmentTableOffset + segments++] = value;
        body += value;
        anyEnds = anyEnds || ends;
    }
    std::copy_n(kCapturePattern, sizeof kCapturePattern, page);
    page[kVersionOffset] = 0;
    page[kHeaderTypeOffset] = uint8_t((continued_ ? kContinuedPacket : 0) |
                                      (lacing_.Done() && stamp_.lastPageEndsStream ? kLastPage : 0));
    platform::StoreLE64(&page[kGranuleOffset], anyEnds ? 0 : kNoGranule);
    platform::StoreLE32(&page[kSerialOffset], stamp_.serial);
    platform::StoreLE32(&page[kSequenceOffset], sequence_++);
    platform::StoreLE32(&page[kChecksumOffset], 0);
    page[kSegmentCountOffset] = uint8_t(segments);
    continued_ = !ends;
    at_ = kSegmentTableOffset + segments;
    left_ = body;
    return true;
}

// Sends the page once its body is full, and every page after it whose body
// is empty (a packet of a multiple of 255 bytes ends with a lacing value 0,
// which may stand alone on a page).
void PageWriter::SendFullPages() {
    while (ok_ && open_ && left_ == 0) {
        size_t header = kSegmentTableOffset + page_.data()[kSegmentCountOffset];
        OGGPageChecksum(page_.span().first(header), page_.span().subspan(header, at_ - header));
        ok_ = out_(page_.span().first(at_));
        open_ = ok_ && StartPage();
    }
}

bool PageWriter::Put(platform::ByteView bytes) {
    for (size_t done = 0; ok_ && done < bytes.size();) {
        if (!open_) return ok_ = false;  // more bytes than the packets' sizes
        size_t take = std::min(left_, bytes.size() - done);
        std::copy_n(bytes.data() + done, take, page_.data() + at_);
        at_ += take;
        left_ -= take;
        done += take;
        SendFullPages();
    }
    return ok_;
}

bool PageWriter::PutLE32(uint32_t value) {
    uint8_t bytes[kLengthSize];
    platform::StoreLE32(bytes, value);
    return Put(platform::ByteView(bytes, sizeof bytes));
}

}  // namespace zm::ogg
