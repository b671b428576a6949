// Writing a changed header. Objects whose attributes did not change are copied
// byte for byte; the padding of the header and of its extension is gathered
// into one Padding Object at the end of the header, which absorbs the
// difference when the new header is written in place.
#include <algorithm>
#include <span>
#include <string>

#include "asf/AttributeObjects.h"
#include "asf/Header.h"
#include "platform/File.h"
#include "platform/FileCopy.h"

namespace zm::asf {
namespace {

// Room left in a rewritten header so that the next edits are written in place.
constexpr size_t kGrowthPadding = 4096;
constexpr uint16_t kExtensionReserved2 = 6;

struct BuiltHeader {
    std::vector<uint8_t> bytes;
    size_t fileProperties = 0;  // offset of the File Properties Object
    uint32_t count = 0;         // child objects
};

void CopyObject(const Header& h, const ObjectSpan& span, ByteSink& sink) {
    sink.Bytes(h.bytes.data() + span.offset, span.size);
}

bool HasHome(const Header& h, Home home) {
    return std::any_of(h.attributes.begin(), h.attributes.end(), [home](const Attribute& a) { return a.home == home; });
}

Home HomeOfKind(ObjectKind kind) {
    switch (kind) {
        case ObjectKind::ContentDescription: return Home::ContentDescription;
        case ObjectKind::ExtendedContent: return Home::ExtendedContent;
        case ObjectKind::Metadata: return Home::Metadata;
        default: return Home::MetadataLibrary;
    }
}

// An attribute object found in the header (span) or missing there (null).
bool PutAttributeObject(const Header& h, const ObjectSpan* span, Home home, ByteSink& sink) {
    if (span && !h.dirty[int(home)]) {
        CopyObject(h, *span, sink);
        return true;
    }
    return BuildAttributeObject(home, h.attributes, sink);
}

// The Header Extension found in the header (span), or a new one for
// attributes that only its lists can store.
bool PutExtension(const Header& h, const ObjectSpan* span, ByteSink& sink) {
    size_t start = sink.BeginObject(kHeaderExtension);
    if (span) {
        sink.Bytes(h.bytes.data() + span->offset + kExtensionReservedAt, kExtensionDataSizeAt - kExtensionReservedAt);
    } else {
        sink.Guid(kHeaderExtensionReserved);
        sink.U16(kExtensionReserved2);
    }
    size_t dataSizeAt = sink.size();
    sink.U32(0);
    bool placed[kHomeCount] = {};
    for (const ObjectSpan& child : span ? std::span<const ObjectSpan>(h.extension) : std::span<const ObjectSpan>()) {
        if (child.kind == ObjectKind::Padding) continue;
        if (child.kind == ObjectKind::Other) {
            CopyObject(h, child, sink);
            continue;
        }
        Home home = HomeOfKind(child.kind);
        placed[int(home)] = true;
        if (!PutAttributeObject(h, &child, home, sink)) return false;
    }
    for (Home home : {Home::Metadata, Home::MetadataLibrary})
        if (!placed[int(home)] && HasHome(h, home) && !PutAttributeObject(h, nullptr, home, sink)) return false;
    sink.PatchU32(dataSizeAt, uint32_t(sink.size() - dataSizeAt - sizeof(uint32_t)));
    sink.EndObject(start);
    return true;
}

void SettleHeader(BuiltHeader& built) {
    platform::StoreLE64(built.bytes.data() + kObjectSizeAt, built.bytes.size());
    platform::StoreLE32(built.bytes.data() + kHeaderCountAt, built.count);
}

// The new header without padding; false when the attributes do not fit their objects.
bool BuildHeader(const Header& h, BuiltHeader& built) {
    built.bytes.assign(h.bytes.begin(), h.bytes.begin() + kHeaderObjectSize);
    ByteSink sink(built.bytes);
    bool placed[kHomeCount] = {};
    bool extension = false;
    for (const ObjectSpan& child : h.children) {
        bool ok = true;
        switch (child.kind) {
            case ObjectKind::Padding: continue;
            case ObjectKind::FileProperties:
                built.fileProperties = sink.size();
                CopyObject(h, child, sink);
                break;
            case ObjectKind::ContentDescription:
            case ObjectKind::ExtendedContent:
                placed[int(HomeOfKind(child.kind))] = true;
                ok = PutAttributeObject(h, &child, HomeOfKind(child.kind), sink);
                break;
            case ObjectKind::HeaderExtension:
                extension = true;
                ok = PutExtension(h, &child, sink);
                break;
            default: CopyObject(h, child, sink);
        }
        if (!ok) return false;
        ++built.count;
    }
    for (Home home : {Home::ContentDescription, Home::ExtendedContent}) {
        if (placed[int(home)] || !HasHome(h, home)) continue;
        if (!PutAttributeObject(h, nullptr, home, sink)) return false;
        ++built.count;
    }
    if (!extension && (HasHome(h, Home::Metadata) || HasHome(h, Home::MetadataLibrary))) {
        if (!PutExtension(h, nullptr, sink)) return false;
        ++built.count;
    }
    SettleHeader(built);
    return true;
}

void AddPadding(BuiltHeader& built, size_t size) {
    ByteSink sink(built.bytes);
    size_t start = sink.BeginObject(kPadding);
    built.bytes.resize(start + size, 0);
    sink.EndObject(start);
    ++built.count;
    SettleHeader(built);
}

// The header must still be the one the editor read: another writer may have
// changed the file since.
HRESULT CheckUnchanged(platform::File& file, std::span<const uint8_t> expected) {
    std::vector<uint8_t> now(expected.size());
    if (!file.Seek(0) || file.Read(now) != int64_t(now.size())) return kNS_E_FILE_READ;
    return std::equal(now.begin(), now.end(), expected.begin()) ? kS_OK : kNS_E_INVALID_REQUEST;
}

HRESULT WriteInPlace(const std::string& path, std::span<const uint8_t> header, std::span<const uint8_t> old) {
    platform::File file = platform::File::Open(path.c_str(), platform::File::Mode::Update);
    if (!file.IsOpen()) return kNS_E_FILE_OPEN_FAILED;
    if (file.Seek(0) && file.WriteAll(header) && file.Flush()) return kS_OK;
    // Put the old header back: the file stays as it was.
    if (file.Seek(0) && file.WriteAll(old)) file.Flush();
    return kNS_E_FILE_WRITE;
}

// Everything from offset to fileSize; false unless the source ends there.
// A source that grew since it was measured is not cut short: it fails.
bool CopyRest(platform::File& source, uint64_t offset, uint64_t fileSize, platform::File& target) {
    if (platform::CopyRange(source, target, {offset, fileSize}) != platform::CopyResult::Copied) return false;
    uint8_t beyond;
    return source.Seek(fileSize) && source.Read({&beyond, 1}) == 0;
}

// A file the user may not change is not replaced either, though its folder
// would allow it. Through a symbolic link the file it points to is rebuilt.
HRESULT Rewrite(const std::string& path, platform::File& source, uint64_t oldHeaderSize, uint64_t fileSize,
                const std::vector<uint8_t>& header) {
    std::string target = platform::FollowLinks(path.c_str());
    if (target.empty() || !platform::CanReplace(target.c_str())) return kNS_E_FILE_WRITE;
    // Made where nothing is left of it if we fail or are killed on the way.
    platform::File rebuilt = platform::File::CreateReplacement(target.c_str());
    if (!rebuilt.IsOpen()) return kNS_E_FILE_OPEN_FAILED;
    bool ok = rebuilt.WriteAll(header) && CopyRest(source, oldHeaderSize, fileSize, rebuilt) && rebuilt.Flush() &&
              rebuilt.TakePermissionsOf(target.c_str()) && rebuilt.ReplaceTarget(target.c_str(), &source);
    return ok ? kS_OK : kNS_E_FILE_WRITE;
}

void SetFileSize(BuiltHeader& built, const Header& h, uint64_t size) {
    // A broadcast file's size is unknown by definition and stays so.
    if (h.flags & kBroadcastFlag) return;
    platform::StoreLE64(built.bytes.data() + built.fileProperties + kFileSizeAt, size);
}

}  // namespace

HRESULT FlushHeader(const std::string& path, Header& header) {
    if (!header.Dirty()) return kS_OK;
    BuiltHeader built;
    if (!BuildHeader(header, built)) return kE_INVALIDARG;
    platform::File source = platform::File::Open(path.c_str(), platform::File::Mode::Read);
    if (!source.IsOpen()) return kNS_E_FILE_OPEN_FAILED;
    int64_t fileSize = source.Size();
    if (fileSize < int64_t(header.bytes.size())) return kNS_E_FILE_READ;
    HRESULT hr = CheckUnchanged(source, header.bytes);
    if (hr < 0) return hr;

    size_t oldSize = header.bytes.size();
    size_t coreSize = built.bytes.size();
    if (coreSize == oldSize || (coreSize < oldSize && oldSize - coreSize >= kObjectHeaderSize)) {
        if (coreSize < oldSize) AddPadding(built, oldSize - coreSize);
        source.Close();
        hr = WriteInPlace(path, built.bytes, header.bytes);
    } else {
        AddPadding(built, kGrowthPadding);
        SetFileSize(built, header, uint64_t(fileSize) - oldSize + built.bytes.size());
        hr = Rewrite(path, source, oldSize, uint64_t(fileSize), built.bytes);
    }
    if (hr < 0) return hr;
    return ParseHeader(Bytes(built.bytes.begin(), built.bytes.end(), header.arena()), header);
}

}  // namespace zm::asf
