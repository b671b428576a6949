// Placeholder until the Windows Media reader and writer land.
#include "wm/WM.h"

namespace zm::wm {
HRESULT ReadWMFromFile(MDRecord&, WMState&, const char*, MDRecord**) { return ZMTAGIO_E_FAIL; }
HRESULT WriteWMIntoFile(MDRecord&, int) { return ZMTAGIO_E_FAIL; }
}  // namespace zm::wm
