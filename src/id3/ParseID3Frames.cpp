#include "id3/ParseID3Frames.h"

#include <cstring>
#include <optional>

#include "id3/ByteOrder.h"
#include "id3/Comment.h"
#include "id3/FrameBuilder.h"
#include "id3/FrameCarry.h"
#include "id3/FrameTable.h"
#include "id3/UnicodeHandle.h"
#include "platform/Trace.h"

namespace zm::id3 {
namespace {

constexpr uint16_t kFrameUnsynchronised = 0x0002;  // version 2.4

struct FrameHeader {
    char id[5] = {};
    uint32_t size = 0;
    uint16_t flags = 0;
    size_t length = 0;     // the whole header
};

// One frame in the version-2.3 layout: its id, flags and body as we write them.
struct Frame {
    char id[5] = {};
    uint16_t flags = 0;
    std::span<uint8_t> body;
};

bool IsIdCharacter(uint8_t c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }

// The header at pos, or nothing when its id is invalid or it does not fit.
std::optional<FrameHeader> ReadFrameHeader(platform::ByteView area, size_t pos, int version) {
    FrameHeader header;
    size_t idLength = version == 2 ? 3 : 4;
    header.length = version == 2 ? 6 : 10;
    auto bytes = area.Sub(pos, header.length);
    if (!bytes) return std::nullopt;
    const uint8_t* p = bytes->data();
    for (size_t i = 0; i < idLength; ++i) {
        if (!IsIdCharacter(p[i])) return std::nullopt;
        header.id[i] = char(p[i]);
    }
    std::span<const uint8_t> size(p + idLength, version == 2 ? 3 : 4);
    header.size = version == 4 ? ReadSyncsafe(size) : ReadBigEndian(size);
    if (version != 2) header.flags = uint16_t(p[8] << 8 | p[9]);
    return header;
}

class FrameWalk {
public:
    FrameWalk(MDRecord& record, ID3State& state, int version, bool allUnsynchronised, const char* commentLanguage)
        : record_(record),
          state_(state),
          version_(version),
          extraFlags_(allUnsynchronised ? kFrameUnsynchronised : 0),
          language_(commentLanguage) {}

    uint32_t Walk(std::span<uint8_t> area) {
        platform::ByteView view(area.data(), area.size());
        size_t pos = 0;
        while (area.size() > pos + 4) {
            auto header = ReadFrameHeader(view, pos, version_);
            if (!header) break;
            if (platform::TraceOn()) platform::TraceLine("ParseID3Frames-> %s (%ld)", header->id, long(header->size));
            size_t bodyStart = pos + header->length;
            if (!view.Has(bodyStart, header->size)) break;
            Place(*header, area.subspan(bodyStart, header->size));
            pos = bodyStart + header->size;
        }
        return uint32_t(pos);
    }

private:
    // Stores or keeps one frame.
    void Place(const FrameHeader& header, std::span<uint8_t> body) {
        Frame frame;
        frame.flags = header.flags | extraFlags_;
        frame.body = version_ == 4 ? CarryV24Frame(body, &frame.flags) : body;
        if (version_ == 4 && HoldsJoinedValues(header.id)) frame.body = JoinTextValues(frame.body);
        int row = FindFrameRow(header.id, version_);
        std::memcpy(frame.id, row >= 0 ? ID3FrameTable[row].v23 : header.id, 4);
        if (row == kCommentField - 1) return ChooseComment(frame);
        if (row >= 0 && record_.fields[row + 1].size == 0) return Store(row + 1, frame);
        Keep(frame, row);
    }

    // Text that cannot be converted (invalid UTF-8, an unknown encoding,
    // UTF-16 without a mark) leaves the field empty; the frame is kept as it
    // stands, so that a rewrite still carries it.
    void Store(int id, const Frame& frame) {
        MDField& field = record_.fields[id];
        std::memcpy(field.frameId, frame.id, 4);
        field.frameFlags = frame.flags;
        field.data = frame.body.data();
        field.size = int32_t(frame.body.size());
        if (IsConvertedField(id) &&
            UnicodeHandle(record_.fields, id, field.size, state_, Direction::Reading) == 0) {
            field.size = 0;
            Keep(frame, id - 1);
        }
    }

    // Frames of any size are kept, bounded only by the tag. Frames of a
    // version-2.2 tag that have no version-2.3 id are left out.
    void Keep(const Frame& frame, int row) {
        if (version_ == 2 && row < 0) {
            platform::TraceLine("ParseID3Frames-> %s left out", frame.id);
            return;
        }
        Append(frame, row);
    }

    // A full kept-frames buffer is released by the append; the walk goes on.
    void Append(const Frame& frame, int row) {
        platform::Buffer picture;
        std::span<const uint8_t> body = frame.body;
        if (version_ == 2 && row == kPictureField - 1) {
            if (!PictureToAPIC(frame.body, picture)) return;
            body = picture.span();
        }
        AppendFrame(state_.keptFrames, frame.id, frame.flags, {body});
    }

    // Field 50 takes one comment: the first one in the preferred language that
    // is not a player's own, or until then a comment of another language with
    // a description (the fallback). Every other comment is kept.
    void ChooseComment(const Frame& frame) {
        MDField& field = record_.fields[kCommentField];
        if (field.size > 0 && !holdsFallback_) return Keep(frame, kCommentField - 1);
        if (CommentLanguageMatches(frame.body, language_)) {
            if (IsITunesComment(frame.body)) return Keep(frame, kCommentField - 1);
            if (field.size > 0) {
                Append(fallback_, kCommentField - 1);
                field.size = 0;
            }
            return StoreComment(frame, false);
        }
        if (field.size == 0 && !IsPlainComment(frame.body) && !IsITunesComment(frame.body))
            return StoreComment(frame, true);
        Keep(frame, kCommentField - 1);
    }

    void StoreComment(const Frame& frame, bool fallback) {
        Store(kCommentField, frame);
        bool stored = record_.fields[kCommentField].size > 0;
        holdsFallback_ = stored && fallback;
        fallback_ = frame;
        state_.storedComment = stored ? platform::ByteView(frame.body.data(), frame.body.size())
                                      : platform::ByteView();
    }

    MDRecord& record_;
    ID3State& state_;
    int version_;
    uint16_t extraFlags_;
    const char* language_;
    bool holdsFallback_ = false;
    Frame fallback_;
};

}  // namespace

uint32_t ParseID3Frames(std::span<uint8_t> area, int version, bool allUnsynchronised, MDRecord& record,
                        ID3State& state, const char* commentLanguage) {
    platform::TraceLine("ParseID3Frames");
    return FrameWalk(record, state, version, allUnsynchronised, commentLanguage).Walk(area);
}

}  // namespace zm::id3
