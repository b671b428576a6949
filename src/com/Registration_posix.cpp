// Without a registry there is nothing to register: hosts load the shared
// object by its path and ask it for the class object directly.
#include "zmTagIO.h"

extern "C" {

ZMTAGIO_EXPORT HRESULT STDAPICALLTYPE DllRegisterServer(void) { return ZMTAGIO_S_OK; }
ZMTAGIO_EXPORT HRESULT STDAPICALLTYPE DllUnregisterServer(void) { return ZMTAGIO_S_OK; }
}
