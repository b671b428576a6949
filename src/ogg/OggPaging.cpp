// A page on which a header packet ends has granule position 0, as header
// pages have; one on which none ends has none (all bits set). Only the last
// page takes the end-of-stream flag, and only when the old last header page
// had it.
#include "ogg/OggPaging.h"

#include <algorithm>

namespace zm::ogg {
namespace {

// The lacing values of packets laid end to end: for each packet, one 255 per
// full 255 bytes, then the rest (0 when there is none).
class Lacing {
public:
    explicit Lacing(std::span<const uint64_t> sizes) : sizes_(sizes) { Start(); }
    bool Done() const { return packet_ == sizes_.size(); }
    // ends: the value closes its packet.
    uint8_t Next(bool& ends) {
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

private:
    void Start() {
        if (Done()) return;
        fulls_ = sizes_[packet_] / kFullSegment;
        last_ = uint8_t(sizes_[packet_] % kFullSegment);
    }
    std::span<const uint64_t> sizes_;
    size_t packet_ = 0;
    uint64_t fulls_ = 0;
    uint8_t last_ = 0;
};

// The body size of the page at offset, from its segment table.
uint64_t BodySize(std::span<const uint8_t> block, size_t page) {
    uint64_t body = 0;
    for (size_t i = 0; i < block[page + kSegmentCountOffset]; ++i) body += block[page + kSegmentTableOffset + i];
    return body;
}

size_t HeaderSize(std::span<const uint8_t> block, size_t page) {
    return kSegmentTableOffset + block[page + kSegmentCountOffset];
}

}  // namespace

uint64_t PagedSize(std::span<const uint64_t> packetSizes, uint32_t& pages) {
    uint64_t values = 0, bytes = 0;
    for (uint64_t size : packetSizes) {
        values += size / kFullSegment + 1;
        bytes += size;
    }
    pages = uint32_t((values + kMaxSegments - 1) / kMaxSegments);
    return uint64_t(pages) * kSegmentTableOffset + values + bytes;
}

void LayOutPages(std::span<const uint64_t> packetSizes, const PageStamp& stamp, std::span<uint8_t> block) {
    Lacing lacing(packetSizes);
    size_t at = 0;
    uint32_t sequence = stamp.firstSequence;
    bool continued = false;
    while (!lacing.Done()) {
        std::span<uint8_t> page = block.subspan(at);
        uint32_t segments = 0;
        uint64_t body = 0;
        bool ends = false, anyEnds = false;
        while (segments < kMaxSegments && !lacing.Done()) {
            uint8_t value = lacing.Next(ends);
            page[kSegmentTableOffset + segments++] = value;
            body += value;
            anyEnds = anyEnds || ends;
        }
        std::copy_n(kCapturePattern, sizeof kCapturePattern, page.begin());
        page[kVersionOffset] = 0;
        page[kHeaderTypeOffset] = uint8_t((continued ? kContinuedPacket : 0) |
                                          (lacing.Done() && stamp.lastPageEndsStream ? kLastPage : 0));
        platform::StoreLE64(&page[kGranuleOffset], anyEnds ? 0 : kNoGranule);
        platform::StoreLE32(&page[kSerialOffset], stamp.serial);
        platform::StoreLE32(&page[kSequenceOffset], sequence++);
        platform::StoreLE32(&page[kChecksumOffset], 0);
        page[kSegmentCountOffset] = uint8_t(segments);
        continued = !ends;
        at += kSegmentTableOffset + segments + size_t(body);
    }
}

void PageBodies::Put(platform::ByteView bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        while (left_ == 0)
            if (!NextPage()) return;
        size_t take = std::min(left_, bytes.size() - done);
        std::copy_n(bytes.data() + done, take, block_.begin() + std::ptrdiff_t(at_));
        at_ += take;
        left_ -= take;
        done += take;
    }
}

void PageBodies::PutLE32(uint32_t value) {
    uint8_t bytes[4];
    platform::StoreLE32(bytes, value);
    Put(platform::ByteView(bytes, sizeof bytes));
}

bool PageBodies::NextPage() {
    if (next_ + kSegmentTableOffset > block_.size()) return false;
    at_ = next_ + HeaderSize(block_, next_);
    left_ = size_t(BodySize(block_, next_));
    next_ = at_ + left_;
    return true;
}

void StampChecksums(std::span<uint8_t> block) {
    for (size_t page = 0; page + kSegmentTableOffset <= block.size();) {
        size_t header = HeaderSize(block, page), body = size_t(BodySize(block, page));
        OGGPageChecksum(block.subspan(page, header), block.subspan(page + header, body));
        page += header + body;
    }
}

}  // namespace zm::ogg
