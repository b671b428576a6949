// The DLL's entry point starts the module when the DLL is loaded and ends it
// when it is unloaded.
#include <windows.h>

#include "com/Module.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) zm::com::StartModule(instance);
    if (reason == DLL_PROCESS_DETACH) zm::com::StopModule();
    return TRUE;
}
