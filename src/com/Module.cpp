// The module's state and the two exports that hand out and account for its
// objects.
#include "com/Module.h"

#include <atomic>

#include "com/ClassFactory.h"
#include "com/CriticalSection.h"
#include "com/Query.h"
#include "com/TagObject.h"

namespace zm::com {
namespace {

std::atomic<LONG> moduleLocks{0};

// One row per creatable class. The factory is made on the first request and
// kept until the module stops; the cache holds one reference to it.
struct ClassEntry {
    const CLSID& clsid;
    InstanceCreator createInstance;
    std::atomic<IUnknown*> cachedFactory;
};

ClassEntry classTable[] = {{CLSID_zmTagIO, CreateTagObject, nullptr}};

// Guards the creation of cached factories.
CriticalSection classTableLock;

#ifdef _WIN32
HINSTANCE moduleInstance = nullptr;
#endif

ClassEntry* FindClass(REFCLSID clsid) {
    for (ClassEntry& entry : classTable)
        if (SameGuid(entry.clsid, clsid)) return &entry;
    return nullptr;
}

// The entry's factory, made under the lock by the first caller that finds
// none. Null with the creation's failure in hr.
IUnknown* CachedFactory(ClassEntry& entry, HRESULT& hr) {
    IUnknown* factory = entry.cachedFactory.load(std::memory_order_acquire);
    if (factory != nullptr) return factory;
    CriticalSection::Guard guard(classTableLock);
    factory = entry.cachedFactory.load(std::memory_order_acquire);
    if (factory == nullptr) {
        hr = ClassFactory::Create(entry.createInstance, IID_IUnknown, reinterpret_cast<void**>(&factory));
        entry.cachedFactory.store(factory, std::memory_order_release);
    }
    return factory;
}

#ifndef _WIN32
// Unloading the shared object ends the module as the detach of the DLL does.
struct ModuleLifetime {
    ~ModuleLifetime() { StopModule(); }
} moduleLifetime;
#endif

}  // namespace

void LockModule() { moduleLocks.fetch_add(1); }
void UnlockModule() { moduleLocks.fetch_sub(1); }
LONG ModuleLocks() { return moduleLocks.load(); }

#ifdef _WIN32
void StartModule(HINSTANCE instance) { moduleInstance = instance; }
HINSTANCE ModuleInstance() { return moduleInstance; }
#endif

void StopModule() {
    for (ClassEntry& entry : classTable)
        if (IUnknown* factory = entry.cachedFactory.exchange(nullptr)) factory->Release();
}

}  // namespace zm::com

extern "C" {

ZMTAGIO_EXPORT HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID riid, void** object) {
    using namespace zm::com;
    if (object == nullptr) return ZMTAGIO_E_POINTER;
    *object = nullptr;
    ClassEntry* entry = FindClass(clsid);
    if (entry == nullptr) return ZMTAGIO_CLASS_E_CLASSNOTAVAILABLE;
    HRESULT hr = ZMTAGIO_S_OK;
    if (IUnknown* factory = CachedFactory(*entry, hr)) hr = factory->QueryInterface(riid, object);
    if (*object == nullptr && hr >= 0) hr = ZMTAGIO_CLASS_E_CLASSNOTAVAILABLE;
    return hr;
}

ZMTAGIO_EXPORT HRESULT STDAPICALLTYPE DllCanUnloadNow(void) {
    return zm::com::ModuleLocks() == 0 ? ZMTAGIO_S_OK : ZMTAGIO_S_FALSE;
}

}
