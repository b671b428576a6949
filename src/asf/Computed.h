// Attributes that the runtime computes from the header's objects instead of
// storing them. They answer for stream 0 only and cannot be set.
#pragma once

#include <string_view>
#include <vector>

#include "asf/Header.h"

namespace zm::asf {

bool IsComputedName(std::u16string_view name);

// The value of a computed attribute in its runtime form; false for a name
// that is not computed.
bool ComputedAttribute(const Header& header, std::u16string_view name, WMT_ATTR_DATATYPE& type,
                       std::vector<uint8_t>& value);

}  // namespace zm::asf
