// Staging an ID3v2 edit: a complete version-2.3 frame in the edited-frames
// buffer, written by the ID3v2 writer in front of the frames of the record.
#include <cstring>

#include "id3/ByteOrder.h"
#include "id3/Comment.h"
#include "id3/FrameBuilder.h"
#include "id3/FrameTable.h"
#include "id3/ID3.h"
#include "id3/TextEncoding.h"
#include "id3/UnicodeHandle.h"
#include "id3/V23Carry.h"
#include "platform/Trace.h"

namespace zm::id3 {
namespace {

using Bytes = std::span<const uint8_t>;

constexpr size_t kLatin1CommentPrefix = 4;  // language and the zero of an empty description
constexpr size_t kCommentTextStart = 4;     // encoding byte and language come first

// A second edit of a frame replaces what the first one staged, so the tag
// holds one frame per edit. Comments are told apart by their language.
void RemoveFrames(platform::GrowBuffer& frames, const char* frameId, const char* language) {
    for (uint32_t pos = 0; pos + kFrameHeader <= frames.used;) {
        uint32_t size = ReadBigEndian(Bytes(frames.data + pos + 4, 4));
        if (size > frames.used - pos - kFrameHeader) return;
        Bytes body(frames.data + pos + kFrameHeader, size);
        bool same = std::memcmp(frames.data + pos, frameId, 4) == 0 &&
                    (language == nullptr || HasCommentLanguage(body, language));
        if (same)
            platform::EraseFromBuffer(frames, pos, kFrameHeader + size);
        else
            pos += kFrameHeader + size;
    }
}

// The comment as the file had it (the field holds its converted text).
Bytes StoredComment(const ID3State& state, const MDField& field) {
    if (state.storedComment.size() > 0) return Bytes(state.storedComment.data(), state.storedComment.size());
    return Bytes(field.data, size_t(field.size));
}

// Deleting a comment that is in another language than the requested one
// leaves it and stages an empty comment in the requested language.
void StageEmptyComment(platform::GrowBuffer& staged, const char* commentLanguage) {
    const uint8_t latin1 = kLatin1;
    AppendFrame(staged, FrameIdOf(kCommentField), 0,
                {Bytes(&latin1, 1), Bytes(reinterpret_cast<const uint8_t*>(commentLanguage), kLatin1CommentPrefix)});
}

// A comment read from the file in another language is written again beside
// the new one, re-encoded; a UTF-16 one keeps its language.
void CarryComment(MDRecord& record, ID3State& state, platform::GrowBuffer& staged) {
    MDField& field = record.fields[kCommentField];
    Bytes stored = StoredComment(state, field);
    uint8_t language[3] = {'X', 'X', 'X'};
    if (stored.size() >= 4) std::memcpy(language, stored.data() + 1, 3);
    Bytes internal(field.data, size_t(field.size));
    const char* id = FrameIdOf(kCommentField);
    // UTF-8 text is the body as read; it goes in as UTF-16, as the writer
    // carries it.
    CarryContext asRead;
    if (internal[0] == kUtf8) {
        AppendCarriedFrame(staged, id, field.frameFlags, internal, asRead);
        return;
    }
    uint32_t n = UnicodeHandle(record.fields, kCommentField, field.size, state, Direction::Writing);
    if (n == 0) {
        const uint8_t empty = 0;
        AppendFrame(staged, id, field.frameFlags, {Bytes(&empty, 1)});
        return;
    }
    Bytes encoded(field.data, n);
    CommentPrefix prefix{{}, 0};
    if (encoded[0] == kUtf16) prefix = UTF16CommentPrefix(language, internal);
    AppendFrame(staged, id, field.frameFlags,
                {encoded.first(1), Bytes(prefix.bytes, prefix.length), encoded.subspan(1)});
}

// The body of a new comment: encoding byte, the host's language with an
// empty description, the text.
CommentPrefix NewCommentPrefix(uint8_t encoding, const char* commentLanguage, Bytes internal) {
    auto language = reinterpret_cast<const uint8_t*>(commentLanguage);
    if (encoding == kUtf16) return UTF16CommentPrefix(language, internal);
    CommentPrefix prefix{{}, kLatin1CommentPrefix};
    std::memcpy(prefix.bytes, language, kLatin1CommentPrefix);
    return prefix;
}

// TRCK and TYER are always written in encoding 0; UTF-8, which the tags we
// write lack, becomes UTF-16.
void FixEncodingByte(int id, uint8_t* value) {
    if (id == kTrackField || id == kYearField)
        value[0] = kLatin1;
    else if (value[0] == kUtf8)
        value[0] = kUtf16;
}

// The host's bytes are only read (they may be a string literal): the encoding
// byte is fixed in a copy of our own, which lives for this call. The field
// then points at its converted text, or at nothing.
bool StageFrame(MDRecord& record, ID3State& state, platform::GrowBuffer& staged, int id, MDField& value,
                const char* commentLanguage) {
    platform::Buffer copy;
    if (!copy.AllocateUnfilled(size_t(value.size))) return false;
    std::memcpy(copy.data(), value.data, size_t(value.size));
    MDField& field = record.fields[id];
    const char* frameId = FrameIdOf(id);
    record.hasID3v2 = 1;
    field.frameFlags = value.frameFlags;
    std::memcpy(field.frameId, frameId, 4);
    FixEncodingByte(id, copy.data());
    Bytes internal(copy.data(), copy.size());
    field.data = copy.data();
    uint32_t n = UnicodeHandle(record.fields, id, value.size, state, Direction::Writing);
    if (n == 0) field.data = nullptr;
    // Unconverted bodies (no text, or an encoding we do not convert) go in
    // as the host gave them.
    Bytes body = n > 0 ? Bytes(field.data, n) : internal;
    CommentPrefix prefix{{}, 0};
    if (id == kCommentField) {
        prefix = NewCommentPrefix(body[0], commentLanguage, internal);
        if (n == 0) value.size += int32_t(prefix.length);
    }
    AppendFrame(staged, frameId, value.frameFlags,
                {body.first(1), Bytes(prefix.bytes, prefix.length), body.subspan(1)});
    return true;
}

}  // namespace

// A failed append loses the edited-frames buffer as a whole; the edit itself
// still succeeds.
HRESULT EditID3V2Field(MDRecord& record, ID3State& state, platform::GrowBuffer& editedFrames, int id,
                       MDField& value, const char* commentLanguage) {
    if (value.size < 0 || (value.size > 0 && value.data == nullptr)) return ZMTAGIO_E_INVALIDARG;
    MDField& field = record.fields[id];
    RemoveFrames(editedFrames, FrameIdOf(id), id == kCommentField ? commentLanguage : nullptr);
    // A text frame whose text could not be converted was kept as it stood;
    // the edit replaces it too, so the tag never holds the old and the new
    // value of one text frame. Other comments and bodies stay.
    if (IsConvertedField(id) && id != kCommentField) RemoveFrames(state.keptFrames, FrameIdOf(id), nullptr);
    if (field.size != 0 || value.size == 0) {
        if (id == kCommentField && field.size > 0) {
            bool matches = CommentLanguageMatches(StoredComment(state, field), commentLanguage);
            if (value.size == 0) {
                if (matches)
                    field.size = 0;
                else
                    StageEmptyComment(editedFrames, commentLanguage);
                return ZMTAGIO_S_OK;
            }
            // A comment too short to hold any text has nothing to carry;
            // carried, it would come back longer, in a form that is read
            // instead of the new one.
            if (!matches && StoredComment(state, field).size() > kCommentTextStart)
                CarryComment(record, state, editedFrames);
        }
        field.size = 0;
    }
    if (value.size >= 2 && !StageFrame(record, state, editedFrames, id, value, commentLanguage))
        return ZMTAGIO_E_OUTOFMEMORY;
    platform::TraceLine("MDEditField OK");
    return ZMTAGIO_S_OK;
}

}  // namespace zm::id3
