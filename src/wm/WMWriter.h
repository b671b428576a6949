// Writing record fields into a Windows Media file's header through the
// runtime's metadata editor. Every value is written as text.
#pragma once

#include <cstdint>
#include <memory>

#include "asf/WMRuntime.h"
#include "wm/WM.h"

namespace zm::wm {

using IndexList = std::unique_ptr<uint16_t[]>;

// Makes an editor, opens path with it and asks for its IWMHeaderInfo3. A
// null path or out-pointer gives E_INVALIDARG.
HRESULT OpenWMEditor(const char16_t* path, asf::IWMMetadataEditor** editor, asf::IWMHeaderInfo3** info);

// Changes the first attribute of the name, deletes it when a text value is
// empty, or adds the attribute when there is none.
HRESULT SetWMAttribute(asf::IWMHeaderInfo3* info, uint16_t stream, const char16_t* name,
                       asf::WMT_ATTR_DATATYPE type, const char16_t* value, uint16_t language);

// The indices of the attributes of the name in that language; none: count 0
// and no list.
HRESULT FindWMAttribute(asf::IWMHeaderInfo3* info, uint16_t stream, const char16_t* name, uint16_t language,
                        IndexList* indices, uint16_t* count);

// Both refuse a missing text (and AddWMAttribute a missing name) with
// E_INVALIDARG. Types without a text form print "Unsupported data type for
// SetAttribute" and still reach the runtime, with no value.
HRESULT ModifyWMAttribute(asf::IWMHeaderInfo3* info, uint16_t stream, uint16_t index, asf::WMT_ATTR_DATATYPE type,
                          const char16_t* value, uint16_t language);
HRESULT AddWMAttribute(asf::IWMHeaderInfo3* info, uint16_t stream, const char16_t* name,
                       asf::WMT_ATTR_DATATYPE type, const char16_t* value, uint16_t language);
// Prints the failure of the runtime's delete and returns it.
HRESULT DeleteWMAttribute(asf::IWMHeaderInfo3* info, uint16_t stream, uint16_t index);

// Decimal text to a number the way _wtoi and _wtoi64 read it: leading white
// space, an optional sign, digits up to the first non-digit; values beyond
// the type's range give its limit.
int32_t WideToInt(const char16_t* text);
int64_t WideToInt64(const char16_t* text);

}  // namespace zm::wm
