#include "asf/AttributeObjects.h"

#include <algorithm>
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

void NameInto(ByteView bytes, Name& name) {
    size_t units = 0;
    while (units < bytes.size() / 2 && platform::LoadLE16(bytes.data() + 2 * units) != 0) ++units;
    name.resize(units);
    for (size_t i = 0; i < units; ++i) name[i] = char16_t(platform::LoadLE16(bytes.data() + 2 * i));
}

// An entry takes at least these bytes of its list; a count that claims more
// entries than the list could hold reserves no more room than it could.
constexpr size_t kMinDescriptorBytes = 6, kMinRecordBytes = 12;

// The next attribute of out, made in place from the list's arena: a list that
// fails to parse is thrown away whole.
Attribute& NewAttribute(std::pmr::vector<Attribute>& out) {
    return out.emplace_back(out.get_allocator().resource());
}

// A stored value in its runtime form; boolSize is the object's width of BOOL.
bool ValueFrom(WMT_ATTR_DATATYPE type, ByteView stored, size_t boolSize, Bytes& out) {
    out.reserve(stored.size() + 2);  // room for a missing terminator
    out.assign(stored.data(), stored.data() + stored.size());
    if (type == WMT_TYPE_STRING) {
        if (stored.size() % 2 != 0) return false;
        if (out.empty() || out[out.size() - 1] != 0 || out[out.size() - 2] != 0) out.insert(out.end(), {0, 0});
        return true;
    }
    if (type == WMT_TYPE_BOOL) {
        if (stored.size() != boolSize) return false;
        out.resize(kWideBoolSize, 0);
        return true;
    }
    return type == WMT_TYPE_BINARY || stored.size() == FixedSize(type);
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
        Attribute& attribute = NewAttribute(out);
        attribute.name = kDescriptionNames[i];
        attribute.type = WMT_TYPE_STRING;
        attribute.home = Home::ContentDescription;
        if (!ValueFrom(WMT_TYPE_STRING, text, kWideBoolSize, attribute.value)) return false;
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
        Attribute& attribute = NewAttribute(out);
        NameInto(name, attribute.name);
        attribute.type = kStoredTypes[code];
        attribute.home = Home::ExtendedContent;
        if (!ValueFrom(attribute.type, value, kWideBoolSize, attribute.value)) return false;
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
        Attribute& attribute = NewAttribute(out);
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
        NameInto(name, attribute.name);
        attribute.type = kStoredTypes[code];
        if (!ValueFrom(attribute.type, value, kNarrowBoolSize, attribute.value)) return false;
    }
    return cursor.AtEnd();
}

// The value as the object stores it: BOOL narrows in the Header Extension lists.
std::vector<uint8_t> StoredValue(const Attribute& attribute) {
    if (attribute.type != WMT_TYPE_BOOL || attribute.home == Home::ExtendedContent)
        return {attribute.value.begin(), attribute.value.end()};
    uint16_t truth = platform::LoadLE32(attribute.value.data()) != 0;
    return {uint8_t(truth), 0};
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
            for (const Name& name : a.repeats) PutDescriptor(sink, name, a.type, a.value);
    for (const Attribute& a : attributes) {
        if (!inHome(a)) continue;
        std::vector<uint8_t> value = StoredValue(a);
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
    // Made when the first repeat is found: most headers have none.
    std::pmr::vector<bool> repeat(attributes.get_allocator());
    for (Attribute& text : attributes) {
        if (text.home != Home::ContentDescription) continue;
        for (size_t i = 0; i < attributes.size(); ++i) {
            const Attribute& a = attributes[i];
            if ((!repeat.empty() && repeat[i]) || a.home != Home::ExtendedContent || a.type != WMT_TYPE_STRING ||
                !SameLetters(a.name, text.name) || a.value != text.value)
                continue;
            repeat.resize(attributes.size());
            repeat[i] = true;
            text.repeats.push_back(a.name);
        }
    }
    if (repeat.empty()) return;
    size_t kept = 0;
    for (size_t i = 0; i < attributes.size(); ++i) {
        if (repeat[i]) continue;
        if (kept != i) attributes[kept] = std::move(attributes[i]);
        ++kept;
    }
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

bool NormalizeValue(WMT_ATTR_DATATYPE type, const uint8_t* value, uint32_t length, Bytes& out) {
    if (type < WMT_TYPE_DWORD || type > WMT_TYPE_GUID || (value == nullptr && length != 0)) return false;
    return ValueFrom(type, ByteView(value, length), kWideBoolSize, out);
}

Home HomeFor(std::span<const Attribute> attributes, const Attribute& attribute, Home preferred,
             const Attribute* self) {
    for (int home = int(preferred); home < kHomeCount; ++home)
        if (Fits(attributes, attribute, Home(home), self)) return Home(home);
    return Home::MetadataLibrary;
}

}  // namespace zm::asf
