// Reading and writing the ID3v1 block, and staging edits of its fields.
#include "id3/ID3V1.h"

#include <cstring>

#include "id3/ID3.h"
#include "platform/Trace.h"

namespace zm::id3 {

const ID3V1Slot ID3V1Layout[kID3V1Fields] = {{0, 30}, {30, 30}, {60, 30}, {90, 4}, {94, 30}, {123, 1}, {124, 1}};

namespace {

constexpr uint32_t kBlockSize = kID3V1BlockSize;
constexpr uint32_t kFieldsStart = 3;  // behind "TAG"
constexpr int kComment = 114;
constexpr int kTrack = 115;
constexpr int kGenre = 116;
// A comment whose byte 28 is zero is 28 bytes long and byte 29 is the track.
constexpr uint32_t kShortComment = 28;
constexpr uint32_t kMaxValue = 30;

const ID3V1Slot& SlotOf(int id) { return ID3V1Layout[id - kFirstID3V1Field]; }
uint8_t* InBlock(uint8_t* block, int id) { return block + kFieldsStart + SlotOf(id).offset; }

void PointAt(MDRecord& record, int id, uint8_t* data, uint32_t size) {
    record.fields[id].data = data;
    record.fields[id].size = int32_t(size);
}

}  // namespace

HRESULT ReadID3V1FromFile(platform::File& file, MDRecord& record, uint8_t* destination) {
    if (!file.SeekFromEnd(kBlockSize) || file.Read(std::span<uint8_t>(destination, kBlockSize)) != int64_t(kBlockSize))
        return ZMTAGIO_E_FAIL;
    for (int id = kFirstID3V1Field; id < kComment; ++id) PointAt(record, id, InBlock(destination, id), SlotOf(id).width);
    uint8_t* comment = InBlock(destination, kComment);
    if (comment[kShortComment] == 0) {
        PointAt(record, kComment, comment, kShortComment);
        PointAt(record, kTrack, InBlock(destination, kTrack), 1);
    } else {
        PointAt(record, kComment, comment, kMaxValue);
    }
    PointAt(record, kGenre, InBlock(destination, kGenre), 1);
    return ZMTAGIO_S_OK;
}

// A field's data always spans its full width (the file's block or the edit
// block), so the whole width is copied whatever the field's size.
void BuildID3V1Block(const MDRecord& record, std::span<uint8_t, kID3V1BlockSize> out) {
    platform::TraceLine("WriteID3V1IntoFile Start");
    uint8_t* block = out.data();
    std::memset(block, 0, kBlockSize);
    std::memcpy(block, "TAG", kFieldsStart);
    for (int id = kFirstID3V1Field; id < kComment; ++id)
        if (record.fields[id].size != 0) std::memcpy(InBlock(block, id), record.fields[id].data, SlotOf(id).width);
    const MDField& comment = record.fields[kComment];
    if (comment.size != 0) {
        bool withTrack = comment.data[kShortComment] == 0;
        std::memcpy(InBlock(block, kComment), comment.data, withTrack ? kShortComment + 1 : kMaxValue);
        if (withTrack && record.fields[kTrack].size != 0) *InBlock(block, kTrack) = record.fields[kTrack].data[0];
    }
    if (record.fields[kGenre].size != 0) *InBlock(block, kGenre) = record.fields[kGenre].data[0];
    platform::TraceLine("WriteID3V1IntoFile End");
}

// Values above 30 bytes fail as they always have; a value wider than its own
// field would run into the fields behind it (or past the block) and is
// refused.
HRESULT EditID3V1Field(MDRecord& record, platform::Buffer& editBlock, int id, const MDField& value) {
    MDField& field = record.fields[id];
    if (value.size == 0) {
        field.size = 0;
        platform::TraceLine("MDEditField OK");
        return ZMTAGIO_S_OK;
    }
    if (value.size < 0 || uint32_t(value.size) > kMaxValue) return ZMTAGIO_E_FAIL;
    if (uint32_t(value.size) > SlotOf(id).width || value.data == nullptr) return ZMTAGIO_E_INVALIDARG;
    if (editBlock.empty() && !editBlock.Allocate(kBlockSize)) return ZMTAGIO_E_OUTOFMEMORY;
    record.hasID3v1 = 1;
    // What an earlier, longer value left behind is cleared; the comment's
    // last byte is the track's and stays.
    uint8_t* place = editBlock.data() + SlotOf(id).offset;
    uint32_t width = id == kComment ? kShortComment + 1 : SlotOf(id).width;
    if (uint32_t(value.size) < width) std::memset(place + value.size, 0, width - uint32_t(value.size));
    std::memcpy(place, value.data, size_t(value.size));
    PointAt(record, id, place, uint32_t(value.size));
    platform::TraceLine("MDEditField OK");
    return ZMTAGIO_S_OK;
}

}  // namespace zm::id3
