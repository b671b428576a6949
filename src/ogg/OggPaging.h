// Laying packets out into pages the way an encoder lays out its header
// packets: as many lacing values on a page as it holds (255), packets one
// after another, each page's body the bytes its lacing values count.
#pragma once

#include <span>

#include "ogg/OggLayout.h"

namespace zm::ogg {

// What every new page takes from the stream.
struct PageStamp {
    uint32_t serial = 0;
    uint32_t firstSequence = 0;
    bool lastPageEndsStream = false;
};

// The pages that packets of these sizes take, and their total size.
uint64_t PagedSize(std::span<const uint64_t> packetSizes, uint32_t& pages);

// The lacing values of packets laid end to end: for each packet, one 255 per
// full 255 bytes, then the rest (0 when there is none).
class Lacing {
public:
    explicit Lacing(std::span<const uint64_t> sizes) : sizes_(sizes) { Start(); }
    bool Done() const { return packet_ == sizes_.size(); }
    // ends: the value closes its packet.
    uint8_t Next(bool& ends);

private:
    void Start();
    std::span<const uint64_t> sizes_;
    size_t packet_ = 0;
    uint64_t fulls_ = 0;
    uint8_t last_ = 0;
};

// Lays packets of the given sizes out into pages and fills them with the
// packets' bytes, in order, a page at a time: each page goes to out, its
// checksum computed, as soon as its body is full, so that no more than one
// page is held.
class PageWriter {
public:
    PageWriter(std::span<const uint64_t> packetSizes, const PageStamp& stamp, const PageOut& out);
    // False when out refused a page, or when there is no memory for a page.
    bool Put(platform::ByteView bytes);
    bool PutLE32(uint32_t value);
    // Whether every page went out: the packets' bytes were all put.
    bool Finished() const { return ok_ && !open_; }

private:
    bool StartPage();
    void SendFullPages();

    Lacing lacing_;
    PageStamp stamp_;
    const PageOut& out_;
    platform::Buffer page_;
    uint32_t sequence_;
    size_t at_ = 0;    // where the next byte goes
    size_t left_ = 0;  // room left in the page's body
    bool continued_ = false;
    bool open_ = false;  // a page is being filled
    bool ok_ = true;
};

}  // namespace zm::ogg
