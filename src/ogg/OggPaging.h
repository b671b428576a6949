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

// Writes the page headers and segment tables for packets of these sizes into
// block (sized by PagedSize); the bodies are left for PageBodies.
void LayOutPages(std::span<const uint64_t> packetSizes, const PageStamp& stamp, std::span<uint8_t> block);

// Fills the bodies of pages laid out by LayOutPages with the packets' bytes,
// in order, stepping over the page headers.
class PageBodies {
public:
    explicit PageBodies(std::span<uint8_t> block) : block_(block) {}
    void Put(platform::ByteView bytes);
    void PutLE32(uint32_t value);

private:
    bool NextPage();  // false when no page is left
    std::span<uint8_t> block_;
    size_t next_ = 0;  // start of the next page
    size_t at_ = 0;    // where the next byte goes
    size_t left_ = 0;  // room left in the current page's body
};

// Computes and stores the checksum of every page in block.
void StampChecksums(std::span<uint8_t> block);

}  // namespace zm::ogg
