// Placeholder until the Windows Media reader and writer land.
#include "wm/WM.h"

namespace zm::wm {
HRESULT ReadWMFromFile(MDRecord&, WMState&, const char*, MDRecord**) { return ZMTAGIO_E_FAIL; }
const char* WMAttributeNameOf(int) { return nullptr; }
HRESULT WriteWMIntoFile(MDRecord&, int) { return ZMTAGIO_E_FAIL; }
}  // namespace zm::wm
