// Attributes that the runtime computes from the header's objects instead of
// storing them. They answer for stream 0 only and cannot be set.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "asf/Header.h"

namespace zm::asf {

bool IsComputedName(std::u16string_view name);

// A computed value in its runtime form: a little-endian number of 4 or 8
// bytes, held in place so that reading one allocates nothing.
struct ComputedValue {
    uint8_t bytes[8] = {};
    size_t size = 0;
};

// The value of a computed attribute; false for a name that is not computed.
bool ComputedAttribute(const Header& header, std::u16string_view name, WMT_ATTR_DATATYPE& type,
                       ComputedValue& value);

}  // namespace zm::asf
