// The four objects that store attributes: Content Description (five fixed
// texts), Extended Content Description, Metadata and Metadata Library (both in
// the Header Extension). Parsing them into attributes and building them back.
#pragma once

#include <span>
#include <string_view>
#include <vector>

#include "asf/Header.h"

namespace zm::asf {

// "Title", "Author", "Copyright", "Description" and "Rating" live in the
// Content Description Object.
bool IsContentDescriptionName(std::u16string_view name);

// Appends the attributes of one object (kind ContentDescription,
// ExtendedContent, Metadata or MetadataLibrary); false when the object is
// malformed, and out then holds a part of them and is to be thrown away.
bool ParseAttributeObject(ObjectKind kind, platform::ByteView object, std::pmr::vector<Attribute>& out);

// Some writers store each Content Description text a second time as a
// descriptor of the same name (in any letter case) and the same text. Such a
// descriptor is the same attribute: it leaves the list and is kept as a
// repeat of the text, rewritten with it.
void MergeRepeatedTexts(std::pmr::vector<Attribute>& attributes);

// Appends the object that holds the attributes of home; false when they do
// not fit its counts.
bool BuildAttributeObject(Home home, std::span<const Attribute> attributes, ByteSink& sink);

// A value handed to the runtime in its runtime form: the right width for
// fixed types, text given a terminating zero. False for a value that its type
// cannot have. The value is held in the arena.
bool NormalizeValue(WMT_ATTR_DATATYPE type, const uint8_t* value, uint32_t length, std::pmr::memory_resource* arena,
                    Value& out);

// The first home from preferred on (in the order of Home) that can store the
// attribute; self, when given, is the attribute's own slot in attributes.
Home HomeFor(std::span<const Attribute> attributes, const Attribute& attribute, Home preferred,
             const Attribute* self = nullptr);

// Whether a name can be stored at all (its bytes and terminator in 16 bits).
bool StorableName(std::u16string_view name);

ObjectKind KindOfHome(Home home);

}  // namespace zm::asf
