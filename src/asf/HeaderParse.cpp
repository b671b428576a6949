// Reading the Header Object. Every size and count is checked against the
// object that holds it before anything is read; a header that fails any check
// is refused whole, so the editor never rewrites what it did not understand.
#include <algorithm>
#include <iterator>
#include <span>

#include "asf/AttributeObjects.h"
#include "asf/Header.h"
#include "platform/CodePage.h"
#include "platform/File.h"

namespace zm::asf {
namespace {

using platform::ByteView;

// A larger header is refused rather than read into memory.
constexpr uint64_t kMaxHeaderSize = 256u << 20;
constexpr uint8_t kReserved2 = 2;  // the second reserved byte; other values are not ASF
constexpr size_t kReserved2At = 29;

struct KnownObject {
    const ObjectGuid* guid;
    ObjectKind kind;
};

constexpr KnownObject kHeaderChildren[] = {
    {&kFileProperties, ObjectKind::FileProperties},
    {&kStreamProperties, ObjectKind::StreamProperties},
    {&kContentDescription, ObjectKind::ContentDescription},
    {&kExtendedContentDescription, ObjectKind::ExtendedContent},
    {&kHeaderExtension, ObjectKind::HeaderExtension},
    {&kPadding, ObjectKind::Padding},
};
constexpr KnownObject kExtensionChildren[] = {
    {&kMetadata, ObjectKind::Metadata},
    {&kMetadataLibrary, ObjectKind::MetadataLibrary},
    {&kPadding, ObjectKind::Padding},
};

// The objects that lie back to back in [from, to) of view; false unless they
// fill it exactly.
template <size_t N>
bool WalkObjects(ByteView view, size_t from, size_t to, const KnownObject (&known)[N],
                 std::pmr::vector<ObjectSpan>& out) {
    for (size_t at = from; at < to;) {
        auto size = view.LE64(at + kObjectSizeAt);
        if (to - at < kObjectHeaderSize || !size || *size < kObjectHeaderSize || *size > to - at) return false;
        ObjectSpan span{at, size_t(*size), ObjectKind::Other};
        for (const KnownObject& k : known)
            if (GuidAt(view, at, *k.guid)) {
                span.kind = k.kind;
                break;
            }
        out.push_back(span);
        at += span.size;
    }
    return true;
}

// Objects that a header holds at most once.
bool Unique(std::span<const ObjectSpan> spans, std::initializer_list<ObjectKind> kinds) {
    return std::all_of(kinds.begin(), kinds.end(), [&](ObjectKind kind) {
        return std::count_if(spans.begin(), spans.end(), [kind](const ObjectSpan& s) { return s.kind == kind; }) <= 1;
    });
}

bool ParseFileProperties(ByteView object, Header& header) {
    if (object.size() < kFilePropertiesSize) return false;
    header.playDuration = *object.LE64(kPlayDurationAt);
    header.preroll = *object.LE64(kPrerollAt);
    header.flags = *object.LE32(kFlagsAt);
    header.maxBitrate = *object.LE32(kMaxBitrateAt);
    return true;
}

bool ParseStreamProperties(ByteView object, Header& header) {
    if (object.size() < kStreamPropertiesFixedSize) return false;
    uint64_t extra = uint64_t(*object.LE32(kTypeSpecificLengthAt)) + *object.LE32(kErrorCorrectionLengthAt);
    if (extra > object.size() - kStreamPropertiesFixedSize) return false;
    header.hasAudio |= GuidAt(object, kStreamTypeAt, kAudioMedia);
    header.hasVideo |= GuidAt(object, kStreamTypeAt, kVideoMedia);
    header.hasImage |= GuidAt(object, kStreamTypeAt, kJfifMedia) || GuidAt(object, kStreamTypeAt, kDegradableJpegMedia);
    header.hasScript |= GuidAt(object, kStreamTypeAt, kCommandMedia);
    return true;
}

bool ParseHeaderExtension(ByteView view, const ObjectSpan& span, Header& header) {
    ByteView object = *view.Sub(span.offset, span.size);
    if (object.size() < kExtensionFixedSize || *object.LE32(kExtensionDataSizeAt) != object.size() - kExtensionFixedSize)
        return false;
    std::pmr::vector<ObjectSpan> children(header.arena());
    if (!WalkObjects(view, span.offset + kExtensionFixedSize, span.offset + span.size, kExtensionChildren, children) ||
        !Unique(children, {ObjectKind::Metadata, ObjectKind::MetadataLibrary}))
        return false;
    for (const ObjectSpan& child : children)
        if (!ParseAttributeObject(child.kind, *view.Sub(child.offset, child.size), header.attributes)) return false;
    header.extension = std::move(children);
    return true;
}

bool ParseChild(ByteView view, const ObjectSpan& span, Header& header) {
    ByteView object = *view.Sub(span.offset, span.size);
    switch (span.kind) {
        case ObjectKind::FileProperties:
            header.fileProperties = span.offset;
            return ParseFileProperties(object, header);
        case ObjectKind::StreamProperties: return ParseStreamProperties(object, header);
        case ObjectKind::HeaderExtension: return ParseHeaderExtension(view, span, header);
        case ObjectKind::ContentDescription:
        case ObjectKind::ExtendedContent: return ParseAttributeObject(span.kind, object, header.attributes);
        default:
            header.isProtected |= GuidAt(object, 0, kContentEncryption) || GuidAt(object, 0, kExtendedContentEncryption);
            header.hasScript |= GuidAt(object, 0, kScriptCommand);
            return true;
    }
}

std::string NarrowPath(const char16_t* path) {
    int size = platform::WideCharToMultiByte(platform::kCodePageHost, path, -1, nullptr, 0);
    if (size <= 0) return {};
    std::string narrow(size_t(size), '\0');
    if (platform::WideCharToMultiByte(platform::kCodePageHost, path, -1, narrow.data(), size) != size) return {};
    narrow.pop_back();  // the converted terminator
    return narrow;
}

}  // namespace

HRESULT ParseHeader(Bytes bytes, Header& header) {
    Header parsed(header.arena());
    parsed.bytes = std::move(bytes);
    ByteView view(parsed.bytes.data(), parsed.bytes.size());
    auto size = view.LE64(kObjectSizeAt);
    auto count = view.LE32(kHeaderCountAt);
    if (!GuidAt(view, 0, kHeaderObject) || view.size() < kHeaderObjectSize || size != view.size() ||
        view.U8(kReserved2At) != kReserved2)
        return kNS_E_INVALID_DATA;
    parsed.children.reserve(std::min<size_t>(*count, view.size() / kObjectHeaderSize));
    if (!WalkObjects(view, kHeaderObjectSize, view.size(), kHeaderChildren, parsed.children) ||
        parsed.children.size() != *count ||
        !Unique(parsed.children, {ObjectKind::FileProperties, ObjectKind::ContentDescription,
                                  ObjectKind::ExtendedContent, ObjectKind::HeaderExtension}))
        return kNS_E_INVALID_DATA;
    bool hasFileProperties = false;
    for (const ObjectSpan& child : parsed.children) {
        if (!ParseChild(view, child, parsed)) return kNS_E_INVALID_DATA;
        hasFileProperties |= child.kind == ObjectKind::FileProperties;
    }
    MergeRepeatedTexts(parsed.attributes);
    for (const Attribute& a : parsed.attributes) parsed.storedNames |= NameBit(a.name);
    // Attribute indices are 16-bit.
    if (!hasFileProperties || parsed.attributes.size() > 0xFFFF) return kNS_E_INVALID_DATA;
    header = std::move(parsed);
    return kS_OK;
}

HRESULT LoadHeader(const char16_t* path, platform::File* held, Header& header, std::string& narrowPath) {
    platform::File opened;
    if (!held) {
        if (path == nullptr) return kE_INVALIDARG;
        narrowPath = NarrowPath(path);
        if (narrowPath.empty()) return kNS_E_FILE_OPEN_FAILED;
        opened = platform::File::Open(narrowPath.c_str(), platform::File::Mode::Read);
    }
    platform::File& file = held ? *held : opened;
    if (!file.IsOpen()) return kNS_E_FILE_OPEN_FAILED;
    if (held && !file.Seek(0)) return kNS_E_FILE_READ;
    int64_t fileSize = file.Size();
    uint8_t start[kHeaderObjectSize];
    if (fileSize < 0 || file.Read(start) != int64_t(sizeof start)) return kNS_E_FILE_READ;
    ByteView first(start, sizeof start);
    if (!GuidAt(first, 0, kHeaderObject)) return kNS_E_INVALID_INPUT_FORMAT;
    // The Data Object's own header must follow the Header Object.
    uint64_t size = *first.LE64(kObjectSizeAt);
    if (size < kHeaderObjectSize || size > kMaxHeaderSize || size + kObjectHeaderSize > uint64_t(fileSize))
        return kNS_E_INVALID_DATA;
    Bytes bytes(size_t(size) + kObjectHeaderSize, header.arena());
    std::copy(std::begin(start), std::end(start), bytes.begin());
    std::span<uint8_t> rest(bytes.data() + kHeaderObjectSize, bytes.size() - kHeaderObjectSize);
    if (file.Read(rest) != int64_t(rest.size())) return kNS_E_FILE_READ;
    if (!GuidAt(ByteView(bytes.data(), bytes.size()), size_t(size), kDataObject)) return kNS_E_INVALID_DATA;
    bytes.resize(size_t(size));
    return ParseHeader(std::move(bytes), header);
}

}  // namespace zm::asf
