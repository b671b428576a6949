// The creatable object: the tag session with its IUnknown, on its own or
// aggregated into an outer object.
#pragma once

#include "zmTagIO.h"

namespace zm::com {

// The instance creator of the class (see ClassFactory): without an outer
// unknown the plain object, with one the aggregated object.
HRESULT CreateTagObject(IUnknown* outer, REFIID riid, void** object);

}  // namespace zm::com
