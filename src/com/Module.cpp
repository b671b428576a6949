// The exports of the module and its lock count, the class factory and the COM
// object around the tag session.
#include <atomic>
#include <cstring>
#include <mutex>
#include <new>

#include "platform/CodePage.h"
#include "platform/Trace.h"
#include "session/CzmTagIO.h"
#include "zmTagIO.h"

namespace zm {
namespace {

std::atomic<long> moduleLocks{0};

bool SameGuid(const GUID& a, const GUID& b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }

class TagObject final : public CzmTagIO {
public:
    TagObject() { ++moduleLocks; }
    ~TagObject() override { --moduleLocks; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr) return ZMTAGIO_E_POINTER;
        if (SameGuid(riid, IID_IUnknown) || SameGuid(riid, IID_IzmTagIO)) {
            *object = static_cast<IzmTagIO*>(this);
            AddRef();
            return ZMTAGIO_S_OK;
        }
        *object = nullptr;
        return ZMTAGIO_E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }

private:
    ULONG references_ = 0;
};

class ClassFactory final : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr) return ZMTAGIO_E_POINTER;
        if (SameGuid(riid, IID_IUnknown) || SameGuid(riid, IID_IClassFactory)) {
            *object = static_cast<IClassFactory*>(this);
            AddRef();
            return ZMTAGIO_S_OK;
        }
        *object = nullptr;
        return ZMTAGIO_E_NOINTERFACE;
    }
    // The cached factory counts as a module lock only while someone besides
    // the cache holds it.
    ULONG STDMETHODCALLTYPE AddRef() override {
        ULONG count = ++references_;
        if (count == 2) ++moduleLocks;
        return count;
    }
    ULONG STDMETHODCALLTYPE Release() override {
        ULONG count = --references_;
        if (count == 1) --moduleLocks;
        return count;
    }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
        if (object == nullptr) return ZMTAGIO_E_POINTER;
        *object = nullptr;
        if (outer != nullptr) return ZMTAGIO_CLASS_E_NOAGGREGATION;
        auto* created = new (std::nothrow) TagObject();
        if (created == nullptr) return ZMTAGIO_E_OUTOFMEMORY;
        created->AddRef();
        HRESULT hr = created->QueryInterface(riid, object);
        created->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        if (lock)
            ++moduleLocks;
        else
            --moduleLocks;
        return ZMTAGIO_S_OK;
    }

private:
    std::atomic<ULONG> references_{1};  // the cache's own reference
};

ClassFactory& CachedFactory() {
    static ClassFactory factory;
    return factory;
}

}  // namespace
}  // namespace zm

extern "C" {

ZMTAGIO_EXPORT HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID riid, void** object) {
    if (object == nullptr) return ZMTAGIO_E_POINTER;
    *object = nullptr;
    if (!zm::SameGuid(clsid, CLSID_zmTagIO)) return ZMTAGIO_CLASS_E_CLASSNOTAVAILABLE;
    return zm::CachedFactory().QueryInterface(riid, object);
}

ZMTAGIO_EXPORT HRESULT STDAPICALLTYPE DllCanUnloadNow(void) {
    return zm::moduleLocks.load() == 0 ? ZMTAGIO_S_OK : ZMTAGIO_S_FALSE;
}

ZMTAGIO_EXPORT HRESULT STDAPICALLTYPE DllRegisterServer(void) { return ZMTAGIO_S_OK; }
ZMTAGIO_EXPORT HRESULT STDAPICALLTYPE DllUnregisterServer(void) { return ZMTAGIO_S_OK; }

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
