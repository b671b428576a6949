// The module: its lock count, its class table with the cached class factory,
// and its start and end.
#pragma once

#include "zmTagIO.h"

namespace zm::com {

// Every live object, every LockServer(TRUE) not yet undone and every
// reference to the cached factory besides the cache's own holds one lock;
// the module may be unloaded when none is left. Changed only by interlocked
// operations.
void LockModule();
void UnlockModule();
LONG ModuleLocks();

#ifdef _WIN32
// The loaded DLL; its resources and its path belong to this handle.
void StartModule(HINSTANCE instance);
HINSTANCE ModuleInstance();
#endif
// Releases the cached class factories.
void StopModule();

}  // namespace zm::com
