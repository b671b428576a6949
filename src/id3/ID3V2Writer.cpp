// Writing the new ID3v2 tag: always version 2.3, built in memory as one block
// (header, frames, padding) and written with one write.
//
// The tag is padded with zeros inside its own size, so that the audio follows
// it directly and the next edit can be written in place:
// - when the new frames fit in the room the old tag took in front of the
//   audio, the tag is padded to exactly that room (an old footer's ten bytes
//   included), and the bytes from the audio on stay where they are;
// - otherwise, or when the file had no tag, it gets kFreshPadding bytes of
//   padding behind its frames.
#include <algorithm>
#include <cstring>

#include "id3/ByteOrder.h"
#include "id3/Comment.h"
#include "id3/FrameBuilder.h"
#include "id3/FrameCarry.h"
#include "id3/FrameTable.h"
#include "id3/ID3.h"
#include "id3/TagHeader.h"
#include "id3/TextEncoding.h"
#include "id3/V23Carry.h"
#include "platform/Trace.h"

namespace zm::id3 {
namespace {

constexpr uint8_t kHeader[kTagHeaderSize] = {'I', 'D', '3', 3, 0};
constexpr int kLastField = 109;
// Re-encoded text may grow up to five times.
constexpr uint64_t kGrowth = 5;
constexpr uint8_t kUnknownLanguage[3] = {'X', 'X', 'X'};

// Bodies are stored with unsynchronisation undone and the footer is never
// written; the extended-header flag stands only when its copy is written.
uint8_t TagFlags(uint8_t read, bool extendedHeader) {
    uint8_t flags = read & uint8_t(~(kTagFooter | kTagUnsynchronised));
    return extendedHeader ? flags : flags & uint8_t(~kTagExtendedHeader);
}

// Room enough that the frames never move the buffer; text fields may grow
// when they are re-encoded, other bodies are copied as they are.
uint64_t EstimateTag(const MDRecord& record, const ID3State& state, size_t edited) {
    uint64_t estimate = kTagHeaderSize + state.extendedHeader.size() + state.keptFrames.used + edited;
    for (int id = 1; id <= kLastField; ++id)
        if (record.fields[id].size > 0)
            estimate += uint64_t(record.fields[id].size) * (IsConvertedField(id) ? kGrowth : 1) + kFrameHeader;
    return estimate;
}

// A converted field, re-encoded from the internal form. A UTF-16 comment
// gets back the language it had in the file, and an empty description when
// the internal form held its text alone. Encoding 0 drops the closing zero.
// UTF-8 text (encoding 3) is the frame's body as read.
bool AppendTextFrame(platform::GrowBuffer& tag, const MDField& field, int id, const ID3State& state,
                     CarryContext& context) {
    std::span<const uint8_t> internal(field.data, size_t(field.size));
    if (internal[0] == kUtf8) return AppendCarriedFrame(tag, field.frameId, field.frameFlags, internal, context);
    ConvertedText text = EncodeID3Text(internal, field.data[0]);
    if (text.bytes.empty() || text.length == 0) return true;
    std::span<const uint8_t> encoded = text.view();
    if (encoded[0] == kLatin1) encoded = encoded.first(encoded.size() - 1);
    if (id != kCommentField || encoded[0] == kLatin1)
        return AppendCarriedFrame(tag, field.frameId, field.frameFlags, encoded, context);
    const uint8_t* language =
        state.storedComment.size() >= 4 ? state.storedComment.data() + 1 : kUnknownLanguage;
    CommentPrefix prefix = UTF16CommentPrefix(language, internal);
    return AppendFrame(tag, field.frameId, field.frameFlags,
                       {encoded.first(1), std::span<const uint8_t>(prefix.bytes, prefix.length), encoded.subspan(1)});
}

// A field holding a frame body as read; a version-2.2 picture becomes an
// APIC body here.
bool AppendBodyFrame(platform::GrowBuffer& tag, const MDRecord& record, int id, CarryContext& context) {
    const MDField& field = record.fields[id];
    std::span<const uint8_t> body(field.data, size_t(field.size));
    platform::Buffer picture;
    if (id == kPictureField && record.id3v2Version == 2) {
        if (!PictureToAPIC(body, picture)) return false;
        body = picture.span();
    }
    return AppendCarriedFrame(tag, field.frameId, field.frameFlags, body, context);
}

bool HoldsFrame(std::span<const uint8_t> frames, const char* wanted) {
    bool found = false;
    ForEachFrame(frames, [&](const char* id, uint16_t, std::span<const uint8_t>) {
        found = std::memcmp(id, wanted, 4) == 0;
        return !found;
    });
    return found;
}

bool AppendFrames(platform::GrowBuffer& tag, const MDRecord& record, const ID3State& state,
                  std::span<const uint8_t> editedFrames) {
    const char* year = FrameIdOf(kYearField);
    CarryContext context{record.id3v2Version == 4, record.fields[kYearField].size > 0 ||
                                                       HoldsFrame(editedFrames, year) ||
                                                       HoldsFrame(state.keptFrames.bytes(), year)};
    bool ok = platform::AppendToBuffer(state.extendedHeader.data(), uint32_t(state.extendedHeader.size()), tag) &&
              platform::AppendToBuffer(editedFrames.data(), uint32_t(editedFrames.size()), tag);
    for (int id = 1; ok && id <= kLastField; ++id) {
        const MDField& field = record.fields[id];
        if (field.size <= 0 || field.data == nullptr) continue;
        ok = IsConvertedField(id) ? AppendTextFrame(tag, field, id, state, context)
                                  : AppendBodyFrame(tag, record, id, context);
    }
    ForEachFrame(state.keptFrames.bytes(), [&](const char* id, uint16_t flags, std::span<const uint8_t> body) {
        return ok = ok && AppendCarriedFrame(tag, id, flags, body, context);
    });
    return ok;
}

// The length the tag takes with its padding: the room when the frames fit in
// it (and its size can be written), else the frames and kFreshPadding.
uint64_t PaddedLength(uint64_t frames, uint64_t room) {
    if (frames <= room && room - kTagHeaderSize < kSyncsafeLimit) return room;
    return frames + kFreshPadding;
}

}  // namespace

// The fields are left as they are, so that an update that fails later can be
// tried again and still write every frame.
bool BuildID3V2Tag(MDRecord& record, ID3State& state, std::span<const uint8_t> editedFrames, uint64_t room,
                   ID3V2Tag& out) {
    platform::TraceLine("WriteID3V2IntoFile Start");
    platform::GrowBuffer& tag = out.bytes;
    uint64_t estimate = EstimateTag(record, state, editedFrames.size());
    if (!ReserveBuffer(tag, std::max(estimate + kFreshPadding, room))) return false;

    record.id3v2Flags = TagFlags(record.id3v2Flags, !state.extendedHeader.empty());
    uint8_t header[kTagHeaderSize];
    std::memcpy(header, kHeader, kTagHeaderSize);
    header[kTagFlags] = record.id3v2Flags;
    if (!platform::AppendToBuffer(header, kTagHeaderSize, tag) || !AppendFrames(tag, record, state, editedFrames))
        return false;
    uint64_t length = PaddedLength(tag.used, room);
    if (length - kTagHeaderSize >= kSyncsafeLimit || length > UINT32_MAX) return false;
    if (!AppendZeros(tag, uint32_t(length - tag.used))) return false;
    StoreSyncsafe(tag.data + kTagSize, tag.used - kTagHeaderSize);
    out.fillsRoom = tag.used == room;
    platform::TraceLine("WriteID3V2IntoFile End");
    return true;
}

}  // namespace zm::id3
