// The component's own runtime objects: a sync reader and a metadata editor,
// each with the header-info interfaces over the file's header.
#pragma once

#include "asf/WMRuntime.h"

namespace zm::asf {

HRESULT CreateEngineReader(IWMSyncReader** reader);
HRESULT CreateEngineEditor(IWMMetadataEditor** editor);

}  // namespace zm::asf
