// Exports for hosts beyond COM: the trace switch, the code pages of 8-bit tag
// text and of the host's text, the names of field ids and which of them hold
// converted text.
#include "platform/CodePage.h"
#include "platform/Trace.h"
#include "session/CzmTagIO.h"
#include "zmTagIO.h"

extern "C" {

ZMTAGIO_EXPORT void STDAPICALLTYPE zmTagIOSetTrace(int enabled, zmTagIOHandle handle) {
    zm::platform::SetTrace(enabled != 0, handle);
}

ZMTAGIO_EXPORT HRESULT STDAPICALLTYPE zmTagIOSetCodePage(uint32_t codePage) {
    return zm::platform::SetCodePage(zm::platform::kCodePageTag, codePage) ? ZMTAGIO_S_OK : ZMTAGIO_E_INVALIDARG;
}

ZMTAGIO_EXPORT uint32_t STDAPICALLTYPE zmTagIOGetCodePage(void) {
    return zm::platform::CodePageOf(zm::platform::kCodePageTag);
}

ZMTAGIO_EXPORT HRESULT STDAPICALLTYPE zmTagIOSetHostCodePage(uint32_t codePage) {
    return zm::platform::SetCodePage(zm::platform::kCodePageHost, codePage) ? ZMTAGIO_S_OK : ZMTAGIO_E_INVALIDARG;
}

ZMTAGIO_EXPORT uint32_t STDAPICALLTYPE zmTagIOGetHostCodePage(void) {
    return zm::platform::CodePageOf(zm::platform::kCodePageHost);
}

ZMTAGIO_EXPORT const char* STDAPICALLTYPE zmTagIOFieldName(LONG kind, LONG id) {
    return zm::FieldName(int(kind), int(id));
}

ZMTAGIO_EXPORT int STDAPICALLTYPE zmTagIOIsConvertedField(LONG kind, LONG id) {
    return zm::IsConvertedField(int(kind), int(id)) ? 1 : 0;
}
}
