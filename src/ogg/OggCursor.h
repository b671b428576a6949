// Reading the header packets where they lie in the file. A cursor walks the
// header pages one at a time, checking each before it takes its bytes, and
// hands out the packets' bytes in order through a buffer of its own: packets
// of any size cost the same few kilobytes, and bytes it is told to skip are
// not read at all. The comment list is walked through it, every length
// checked against the comment packet, and no entry is held.
#pragma once

#include <span>

#include "ogg/OggLayout.h"
#include "platform/Bytes.h"

namespace zm::ogg {

enum class HeadersFound {
    Yes,
    NotOurs,    // not an Ogg stream we tag, or its header pages are damaged or too long
    Unreadable  // reading the file failed, or no memory for the cursor's buffer
};

// What the pages walked so far held.
struct WalkedPages {
    uint64_t end = 0;  // of the last page walked
    uint32_t count = 0;
    uint32_t firstSequence = 0;
    uint64_t packetBytes[kMaxHeaderPacketCount] = {};
    bool endsStream = false;
    bool moreAfterPackets = false;  // the last page goes on past the header packets
};

class PacketCursor {
public:
    // The packetCount header packets of stream serial, from the page at
    // start on. head: the file's first bytes, when they are at hand.
    PacketCursor(platform::File& file, uint64_t start, uint32_t serial, uint32_t packetCount,
                 platform::ByteView head = {});
    // The header packets as the reader found them.
    PacketCursor(platform::File& file, const HeaderPages& headers, platform::ByteView head = {});

    // The next bytes of the packets, at most count of them, consumed; empty
    // at the end of the packets or when the walk stopped (Status).
    platform::ByteView Take(size_t count);
    bool Read(std::span<uint8_t> out);  // all of out, or false
    std::optional<uint32_t> ReadLE32();
    bool Skip(uint64_t count);
    // Walks the pages up to the end of the last header packet.
    void SkipToEnd();
    uint64_t Position() const { return position_; }  // packet bytes consumed
    // Yes while every page walked was good; otherwise why the walk stopped.
    HeadersFound Status() const { return status_; }
    const WalkedPages& Walked() const { return walked_; }

private:
    bool NextPage();
    std::optional<platform::ByteView> FileBytes(uint64_t offset, size_t count, size_t ahead);
    const uint8_t* InHand(uint64_t offset, size_t count) const;
    const uint8_t* Held(size_t count) const;
    bool Stop(HeadersFound why, const char* trace = nullptr);

    platform::File& file_;
    platform::ByteView head_;
    uint64_t fileSize_ = 0;
    platform::Buffer buffer_;
    uint64_t bufferStart_ = 0;  // file offset of the buffer's first byte
    size_t buffered_ = 0;

    uint64_t start_;
    uint32_t serial_;
    uint32_t packetCount_;
    uint32_t packetsDone_ = 0;
    bool inPacket_ = false;
    bool skipping_ = false;
    uint64_t next_;             // file offset of the next page
    uint64_t lastPageSize_ = 0;
    uint64_t at_ = 0;           // of the next packet byte on the current page
    uint32_t leftOnPage_ = 0;   // packet bytes left on the current page
    uint64_t position_ = 0;
    HeadersFound status_ = HeadersFound::Yes;
    WalkedPages walked_;
};

// The start of the entry the cursor stood at: the length of its text and its
// first bytes, as many as tell its name.
inline constexpr size_t kEntryHeadBytes = 13;  // the longest name (ORGANIZATION) and "="
struct EntryStart {
    uint32_t length = 0;
    uint8_t head[kEntryHeadBytes] = {};
    size_t headSize = 0;
    int row = -1;  // FindOGGFieldName's
    platform::ByteView Head() const { return {head, headSize}; }
    // The bytes of its value, for an entry whose name OGGFieldNames knows.
    size_t ValueSize() const { return size_t(length - OGGFieldNames[row].length - 1); }
};

// Reads the comment packet's magic, vendor string and entry count, the cursor
// at the packet's start; it then stands at the first entry. False when they
// do not fit in commentSize bytes or the count is negative as a signed number.
bool ReadCommentStart(PacketCursor& cursor, const CodecLayout& codec, uint64_t commentSize, uint32_t& count);
// Reads an entry's length and head, false when the entry does not end by
// listLimit (a packet position).
bool ReadEntryStart(PacketCursor& cursor, uint64_t listLimit, EntryStart& entry);

// Calls visit(entry) for each of count entries, the cursor standing after
// the entry's head; visit may read or skip what follows, and the rest of the
// entry is skipped after it. False when an entry does not fit or visit says so.
template <typename Visit>
bool ForEachEntry(PacketCursor& cursor, uint32_t count, uint64_t listLimit, Visit&& visit) {
    for (uint32_t i = 0; i < count; ++i) {
        EntryStart entry;
        if (!ReadEntryStart(cursor, listLimit, entry)) return false;
        uint64_t end = cursor.Position() + (entry.length - entry.headSize);
        if (!visit(entry) || cursor.Position() > end || !cursor.Skip(end - cursor.Position())) return false;
    }
    return true;
}

// A cursor standing at the first entry of the comment list the reader found.
bool StandAtList(PacketCursor& cursor, const HeaderPages& headers);

}  // namespace zm::ogg
