// The DLL's entry point starts the module when the DLL is loaded and ends it
// when it is unloaded.
#include <windows.h>

#include "com/Module.h"

// When the whole process ends (reserved not null), other threads are already
// gone, perhaps inside the module's locks; the system takes back the memory,
// so the module is left as it is.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) zm::com::StartModule(instance);
    if (reason == DLL_PROCESS_DETACH && reserved == nullptr) zm::com::StopModule();
    return TRUE;
}
