// Exports for hosts beyond COM: the trace switch, the code page of paths and
// ANSI text, and the names of field ids.
#include "platform/CodePage.h"
#include "platform/Trace.h"
#include "session/CzmTagIO.h"
#include "zmTagIO.h"

extern "C" {

ZMTAGIO_EXPORT void STDAPICALLTYPE zmTagIOSetTrace(int enabled, zmTagIOHandle handle) {
    zm::platform::SetTrace(enabled != 0, handle);
}

ZMTAGIO_EXPORT HRESULT STDAPICALLTYPE zmTagIOSetCodePage(uint32_t codePage) {
    return zm::platform::SetAnsiCodePage(codePage) ? ZMTAGIO_S_OK : ZMTAGIO_E_INVALIDARG;
}

ZMTAGIO_EXPORT uint32_t STDAPICALLTYPE zmTagIOGetCodePage(void) { return zm::platform::AnsiCodePage(); }

ZMTAGIO_EXPORT const char* STDAPICALLTYPE zmTagIOFieldName(LONG kind, LONG id) {
    return zm::FieldName(int(kind), int(id));
}
}
