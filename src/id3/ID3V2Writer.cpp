// Writing the new ID3v2 tag: always version 2.3, without padding, built in
// one buffer sized in advance and written with one write.
#include <cstring>

#include "id3/ByteOrder.h"
#include "id3/Comment.h"
#include "id3/FrameBuilder.h"
#include "id3/FrameTable.h"
#include "id3/ID3.h"
#include "id3/TagHeader.h"
#include "id3/TextEncoding.h"
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

uint64_t EstimateTag(const MDRecord& record, const ID3State& state, size_t edited) {
    uint64_t estimate = state.extendedHeader.size() + state.keptFrames.used + edited;
    for (int id = 1; id <= kLastField; ++id)
        if (record.fields[id].size > 0) estimate += uint64_t(record.fields[id].size) + kFrameHeader;
    return estimate;
}

// A converted field, re-encoded from the internal form. A UTF-16 comment
// gets back the language it had in the file, and an empty description when
// the internal form held its text alone. Encoding 0 drops the closing zero.
bool AppendTextFrame(platform::GrowBuffer& tag, const MDField& field, int id, const ID3State& state) {
    std::span<const uint8_t> internal(field.data, size_t(field.size));
    ConvertedText text = EncodeID3Text(internal, field.data[0]);
    if (text.bytes.empty() || text.length == 0) return true;
    std::span<const uint8_t> encoded = text.view();
    if (encoded[0] == kLatin1) return AppendFrame(tag, field.frameId, field.frameFlags, {encoded.first(encoded.size() - 1)});
    if (id != kCommentField) return AppendFrame(tag, field.frameId, field.frameFlags, {encoded});
    const uint8_t* language =
        state.storedComment.size() >= 4 ? state.storedComment.data() + 1 : kUnknownLanguage;
    CommentPrefix prefix = UTF16CommentPrefix(language, internal);
    return AppendFrame(tag, field.frameId, field.frameFlags,
                       {encoded.first(1), std::span<const uint8_t>(prefix.bytes, prefix.length), encoded.subspan(1)});
}

}  // namespace

// The fields are left as they are, so that an update that fails later can be
// tried again and still write every frame.
bool WriteID3V2IntoFile(MDRecord& record, ID3State& state, std::span<const uint8_t> editedFrames,
                        platform::File& out) {
    platform::TraceLine("WriteID3V2IntoFile Start");
    platform::GrowBuffer tag;
    if (!ReserveBuffer(tag, kGrowth * EstimateTag(record, state, editedFrames.size()) + kTagHeaderSize)) return false;

    record.id3v2Flags = TagFlags(record.id3v2Flags, !state.extendedHeader.empty());
    uint8_t header[kTagHeaderSize];
    std::memcpy(header, kHeader, kTagHeaderSize);
    header[kTagFlags] = record.id3v2Flags;
    bool ok = platform::AppendToBuffer(header, kTagHeaderSize, tag) &&
              platform::AppendToBuffer(state.extendedHeader.data(), uint32_t(state.extendedHeader.size()), tag) &&
              platform::AppendToBuffer(editedFrames.data(), uint32_t(editedFrames.size()), tag);
    for (int id = 1; ok && id <= kLastField; ++id) {
        const MDField& field = record.fields[id];
        if (field.size <= 0 || field.data == nullptr) continue;
        ok = IsConvertedField(id) ? AppendTextFrame(tag, field, id, state)
                                  : AppendFrame(tag, field.frameId, field.frameFlags,
                                                {std::span<const uint8_t>(field.data, size_t(field.size))});
    }
    ok = ok && platform::AppendToBuffer(state.keptFrames.data, state.keptFrames.used, tag);
    if (!ok || tag.used - kTagHeaderSize >= kSyncsafeLimit) return false;
    StoreSyncsafe(tag.data + kTagSize, tag.used - kTagHeaderSize);
    bool written = out.WriteAll(tag.bytes());
    platform::TraceLine("WriteID3V2IntoFile End");
    return written;
}

}  // namespace zm::id3
