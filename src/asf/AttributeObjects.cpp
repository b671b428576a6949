#include "asf/AttributeObjects.h"

#include <algorithm>
#include <bit>
#include <iterator>

namespace zm::asf {
namespace {

using platform::ByteView;

// Content Description: five 16-bit byte lengths, then the five texts.
constexpr std::u16string_view kDescriptionNames[] = {u"Title", u"Author", u"Copyright", u"Description",
                                                     u"Rating"};
constexpr size_t kDescriptionLengthsAt = 24;
// The three attribute lists: a 16-bit count, then the entries.
constexpr size_t kListCountAt = 24;
constexpr uint32_t kMax16 = 0xFFFF;
constexpr size_t kWideBoolSize = 4;   // Extended Content Description, and the runtime
constexpr size_t kNarrowBoolSize = 2;  // Metadata and Metadata Library

// The lists' type codes, by code; the Metadata Library alone knows GUIDs.
constexpr WMT_ATTR_DATATYPE kStoredTypes[] = {WMT_TYPE_STRING, WMT_TYPE_BINARY, WMT_TYPE_BOOL, WMT_TYPE_DWORD,
                                              WMT_TYPE_QWORD,  WMT_TYPE_WORD,   WMT_TYPE_GUID};
constexpr uint16_t kLastListCode = 5;
constexpr uint16_t kLastLibraryCode = 6;

uint16_t StoredCode(WMT_ATTR_DATATYPE type) {
    return uint16_t(std::find(std::begin(kStoredTypes), std::end(kStoredTypes), type) - std::begin(kStoredTypes));
}

size_t FixedSize(WMT_ATTR_DATATYPE type) {
    switch (type) {
        case WMT_TYPE_DWORD:
        case WMT_TYPE_BOOL: return 4;
        case WMT_TYPE_QWORD: return 8;
        case WMT_TYPE_WORD: return 2;
        case WMT_TYPE_GUID: return 16;
        default: return 0;
    }
}

// The stored name up to its first zero unit, in the arena: the header's
// bytes hold it at any alignment. Its little-endian units are the machine's
// own, so it is copied whole.
static_assert(std::endian::native == std::endian::little);

std::u16string_view NameFrom(ByteView bytes, std::pmr::memory_resource* arena) {
    size_t units = 0;
    while (units < bytes.size() / 2 && platform::LoadLE16(bytes.data() + 2 * units) != 0) ++units;
    if (units == 0) return {};
    auto* name = static_cast<char16_t*>(arena->allocate(units * sizeof(char16_t), alignof(char16_t)));
    std::memcpy(name, bytes.data(), units * sizeof(char16_t));
    return {name, units};
}

// An entry takes at least these bytes of its list; a count that claims more
// entries than the list could hold reserves no more room than it could.
constexpr size_t kMinDescriptorBytes = 6, kMinRecordBytes = 12;

std::pmr::memory_resource* ArenaOf(const std::pmr::vector<Attribute>& attributes) {
    return attributes.get_allocator().resource();
}

// A copy of bytes in the arena, zero-filled up to size.
Value Widened(Value bytes, size_t size, std::pmr::memory_resource* arena) {
    uint8_t* copy = ArenaBytes(arena, size);
    std::fill(std::copy(bytes.begin(), bytes.end(), copy), copy + size, uint8_t(0));
    return {copy, size};
}

// A stored value in its runtime form; boolSize is the object's width of BOOL.
// A value that is in that form already is referred to where it lies.
bool ValueFrom(WMT_ATTR_DATATYPE type, ByteView stored, size_t boolSize, std::pmr::memory_resource* arena,
               Value& out) {
    Value bytes(stored.data(), stored.size());
    switch (type) {
        case WMT_TYPE_STRING: {
            if (bytes.size() % 2 != 0) return false;
            bool terminated = bytes.size() >= 2 && bytes[bytes.size() - 1] == 0 && bytes[bytes.size() - 2] == 0;
            out = terminated ? bytes : Widened(bytes, bytes.size() + 2, arena);
            return true;
        }
        case WMT_TYPE_BOOL:
            if (bytes.size() != boolSize) return false;
            out = Widened(bytes, kWideBoolSize, arena);
            return true;
        default:
            out = bytes;
            return type == WMT_TYPE_BINARY || bytes.size() == FixedSize(type);
    }
}

bool ParseContentDescription(ByteView object, std::pmr::vector<Attribute>& out) {
    Cursor cursor(object, kDescriptionLengthsAt);
    uint16_t lengths[std::size(kDescriptionNames)];
    for (uint16_t& length : lengths) length = cursor.U16();
    out.reserve(out.size() + std::size(kDescriptionNames));
    for (size_t i = 0; i < std::size(kDescriptionNames); ++i) {
        ByteView text = cursor.Take(lengths[i]);
        if (!cursor.ok()) return false;
        if (lengths[i] == 0) continue;  // an empty slot is no attribute
        Attribute& attribute = out.emplace_back();
        attribute.name = kDescriptionNames[i];
        attribute.type = WMT_TYPE_STRING;
        attribute.home = Home::ContentDescription;
        if (!ValueFrom(WMT_TYPE_STRING, text, kWideBoolSize, ArenaOf(out), attribute.value)) return false;
    }
    return cursor.AtEnd();
}

bool ParseExtendedContent(ByteView object, std::pmr::vector<Attribute>& out) {
    Cursor cursor(object, kListCountAt);
    uint16_t count = cursor.U16();
    out.reserve(out.size() + std::min<size_t>(count, object.size() / kMinDescriptorBytes));
    for (; count > 0 && cursor.ok(); --count) {
        ByteView name = cursor.Take(cursor.U16());
        uint16_t code = cursor.U16();
        ByteView value = cursor.Take(cursor.U16());
        if (!cursor.ok() || name.size() % 2 != 0 || code > kLastListCode) return false;
        Attribute& attribute = out.emplace_back();
        attribute.name = NameFrom(name, ArenaOf(out));
        attribute.type = kStoredTypes[code];
        attribute.home = Home::ExtendedContent;
        if (!ValueFrom(attribute.type, value, kWideBoolSize, ArenaOf(out), attribute.value)) return false;
    }
    return cursor.AtEnd();
}

// Metadata and Metadata Library records: language (reserved in Metadata),
// stream, name length, type, 32-bit data length, name, data.
bool ParseMetadataList(Home home, ByteView object, std::pmr::vector<Attribute>& out) {
    Cursor cursor(object, kListCountAt);
    uint16_t lastCode = home == Home::MetadataLibrary ? kLastLibraryCode : kLastListCode;
    uint16_t count = cursor.U16();
    out.reserve(out.size() + std::min<size_t>(count, object.size() / kMinRecordBytes));
    for (; count > 0 && cursor.ok(); --count) {
        Attribute& attribute = out.emplace_back();
        attribute.home = home;
        uint16_t language = cursor.U16();
        attribute.language = home == Home::MetadataLibrary ? language : 0;
        attribute.stream = cursor.U16();
        uint16_t nameLength = cursor.U16();
        uint16_t code = cursor.U16();
        uint32_t dataLength = cursor.U32();
        ByteView name = cursor.Take(nameLength);
        ByteView value = cursor.Take(dataLength);
        if (!cursor.ok() || name.size() % 2 != 0 || code > lastCode) return false;
        attribute.name = NameFrom(name, ArenaOf(out));
        attribute.type = kStoredTypes[code];
        if (!ValueFrom(attribute.type, value, kNarrowBoolSize, ArenaOf(out), attribute.value)) return false;
    }
    return cursor.AtEnd();
}

// The value as the object stores it: BOOL narrows (into narrow) in the
// Header Extension lists.
Value StoredValue(const Attribute& attribute, uint8_t (&narrow)[kNarrowBoolSize]) {
    if (attribute.type != WMT_TYPE_BOOL || attribute.home == Home::ExtendedContent) return attribute.value;
    narrow[0] = platform::LoadLE32(attribute.value.data()) != 0;
    narrow[1] = 0;
    return narrow;
}

void PutName(ByteSink& sink, std::u16string_view name) {
    for (char16_t unit : name) sink.U16(unit);
    sink.U16(0);
}

uint16_t NameBytes(std::u16string_view name) { return uint16_t((name.size() + 1) * 2); }

void BuildContentDescription(std::span<const Attribute> attributes, ByteSink& sink) {
    const Attribute* texts[std::size(kDescriptionNames)] = {};
    for (const Attribute& a : attributes) {
        if (a.home != Home::ContentDescription) continue;
        auto slot = std::find(std::begin(kDescriptionNames), std::end(kDescriptionNames), a.name);
        texts[slot - std::begin(kDescriptionNames)] = &a;
    }
    size_t start = sink.BeginObject(kContentDescription);
    for (const Attribute* text : texts) sink.U16(text ? uint16_t(text->value.size()) : 0);
    for (const Attribute* text : texts)
        if (text) sink.Bytes(text->value.data(), text->value.size());
    sink.EndObject(start);
}

void PutDescriptor(ByteSink& sink, std::u16string_view name, WMT_ATTR_DATATYPE type,
                   std::span<const uint8_t> value) {
    sink.U16(NameBytes(name));
    PutName(sink, name);
    sink.U16(StoredCode(type));
    sink.U16(uint16_t(value.size()));
    sink.Bytes(value.data(), value.size());
}

bool SameLetters(std::u16string_view a, std::u16string_view b) {
    auto lower = [](char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c; };
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [&](char16_t x, char16_t y) { return lower(x) == lower(y); });
}

bool BuildList(Home home, std::span<const Attribute> attributes, ByteSink& sink) {
    auto inHome = [home](const Attribute& a) { return a.home == home; };
    size_t count = size_t(std::count_if(attributes.begin(), attributes.end(), inHome));
    if (home == Home::ExtendedContent)
        for (const Attribute& a : attributes) count += a.repeats.size();
    if (count > kMax16) return false;
    static constexpr ObjectGuid const* kGuids[] = {nullptr, &kExtendedContentDescription, &kMetadata,
                                                   &kMetadataLibrary};
    size_t start = sink.BeginObject(*kGuids[int(home)]);
    sink.U16(uint16_t(count));
    if (home == Home::ExtendedContent)
        for (const Attribute& a : attributes)
            for (std::u16string_view name : a.repeats) PutDescriptor(sink, name, a.type, a.value);
    for (const Attribute& a : attributes) {
        if (!inHome(a)) continue;
        uint8_t narrow[kNarrowBoolSize];
        Value value = StoredValue(a, narrow);
        if (home == Home::ExtendedContent) {
            PutDescriptor(sink, a.name, a.type, value);
            continue;
        }
        sink.U16(home == Home::MetadataLibrary ? a.language : 0);
        sink.U16(a.stream);
        sink.U16(NameBytes(a.name));
        sink.U16(StoredCode(a.type));
        sink.U32(uint32_t(value.size()));
        PutName(sink, a.name);
        sink.Bytes(value.data(), value.size());
    }
    sink.EndObject(start);
    return true;
}

bool Fits(std::span<const Attribute> attributes, const Attribute& a, Home home, const Attribute* self) {
    bool fileWide = a.stream == 0 && a.language == 0;
    switch (home) {
        case Home::ContentDescription:
            return fileWide && a.type == WMT_TYPE_STRING && a.value.size() <= kMax16 &&
                   IsContentDescriptionName(a.name) &&
                   std::none_of(attributes.begin(), attributes.end(), [&](const Attribute& other) {
                       return &other != self && other.home == home && other.name == a.name;
                   });
        case Home::ExtendedContent:
            return fileWide && a.type != WMT_TYPE_GUID && a.value.size() <= kMax16;
        case Home::Metadata:
            return a.language == 0 && a.type != WMT_TYPE_GUID && a.value.size() <= UINT32_MAX;
        case Home::MetadataLibrary:
            return a.value.size() <= UINT32_MAX;
    }
    return false;
}

}  // namespace

bool IsContentDescriptionName(std::u16string_view name) {
    return std::find(std::begin(kDescriptionNames), std::end(kDescriptionNames), name) != std::end(kDescriptionNames);
}

bool StorableName(std::u16string_view name) { return !name.empty() && (name.size() + 1) * 2 <= kMax16; }

ObjectKind KindOfHome(Home home) {
    static constexpr ObjectKind kKinds[] = {ObjectKind::ContentDescription, ObjectKind::ExtendedContent,
                                            ObjectKind::Metadata, ObjectKind::MetadataLibrary};
    return kKinds[int(home)];
}

void MergeRepeatedTexts(std::pmr::vector<Attribute>& attributes) {
    auto repeats = [](const Attribute& a, const Attribute& text) {
        return a.home == Home::ExtendedContent && a.type == WMT_TYPE_STRING && SameLetters(a.name, text.name) &&
               std::equal(a.value.begin(), a.value.end(), text.value.begin(), text.value.end());
    };
    // Which text (its index + 1) each descriptor repeats; made when the first
    // repeat is found, as most headers have none.
    std::pmr::vector<size_t> owner(ArenaOf(attributes));
    for (size_t t = 0; t < attributes.size(); ++t) {
        Attribute& text = attributes[t];
        if (text.home != Home::ContentDescription) continue;
        size_t count = 0;
        for (size_t i = 0; i < attributes.size(); ++i) {
            if ((!owner.empty() && owner[i]) || !repeats(attributes[i], text)) continue;
            owner.resize(attributes.size());
            owner[i] = t + 1;
            ++count;
        }
        if (count == 0) continue;
        auto* names = static_cast<std::u16string_view*>(
            ArenaOf(attributes)->allocate(count * sizeof(std::u16string_view), alignof(std::u16string_view)));
        for (size_t i = 0, n = 0; n < count; ++i)
            if (owner[i] == t + 1) std::construct_at(&names[n++], attributes[i].name);
        text.repeats = {names, count};
    }
    if (owner.empty()) return;
    size_t kept = 0;
    for (size_t i = 0; i < attributes.size(); ++i)
        if (owner[i] == 0) attributes[kept++] = attributes[i];
    attributes.erase(attributes.begin() + ptrdiff_t(kept), attributes.end());
}

bool ParseAttributeObject(ObjectKind kind, ByteView object, std::pmr::vector<Attribute>& out) {
    switch (kind) {
        case ObjectKind::ContentDescription: return ParseContentDescription(object, out);
        case ObjectKind::ExtendedContent: return ParseExtendedContent(object, out);
        case ObjectKind::Metadata: return ParseMetadataList(Home::Metadata, object, out);
        case ObjectKind::MetadataLibrary: return ParseMetadataList(Home::MetadataLibrary, object, out);
        default: return true;
    }
}

bool BuildAttributeObject(Home home, std::span<const Attribute> attributes, ByteSink& sink) {
    if (home != Home::ContentDescription) return BuildList(home, attributes, sink);
    BuildContentDescription(attributes, sink);
    return true;
}

bool NormalizeValue(WMT_ATTR_DATATYPE type, const uint8_t* value, uint32_t length, std::pmr::memory_resource* arena,
                    Value& out) {
    if (type < WMT_TYPE_DWORD || type > WMT_TYPE_GUID || (value == nullptr && length != 0)) return false;
    if (!ValueFrom(type, ByteView(value, length), kWideBoolSize, arena, out)) return false;
    // The caller's buffer is not kept.
    if (out.data() == value) out = Widened(out, out.size(), arena);
    return true;
}

uint8_t* ArenaBytes(std::pmr::memory_resource* arena, size_t size) {
    return size ? static_cast<uint8_t*>(arena->allocate(size, 1)) : nullptr;
}

std::u16string_view ArenaName(std::pmr::memory_resource* arena, std::u16string_view name) {
    if (name.empty()) return {};
    auto* copy = static_cast<char16_t*>(arena->allocate(name.size() * sizeof(char16_t), alignof(char16_t)));
    return {copy, size_t(std::copy(name.begin(), name.end(), copy) - copy)};
}

Home HomeFor(std::span<const Attribute> attributes, const Attribute& attribute, Home preferred,
             const Attribute* self) {
    for (int home = int(preferred); home < kHomeCount; ++home)
        if (Fits(attributes, attribute, Home(home), self)) return Home(home);
    return Home::MetadataLibrary;
}

}  // namespace zm::asf
