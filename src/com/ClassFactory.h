// The class object of a creatable class. The module caches one per class and
// hands it out from DllGetClassObject.
#pragma once

#include <atomic>

#include "zmTagIO.h"

namespace zm::com {

// Makes a new object of the class, plain (no outer) or aggregated, and asks
// it for riid; the object is destroyed again when the query fails.
using InstanceCreator = HRESULT (*)(IUnknown* outer, REFIID riid, void** object);

class ClassFactory final : public IClassFactory {
public:
    // A new factory for the class that creator makes, asked for riid.
    static HRESULT Create(InstanceCreator creator, REFIID riid, void** object);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** object) override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

    ~ClassFactory() = default;

private:
    explicit ClassFactory(InstanceCreator creator) : createInstance_(creator) {}

    InstanceCreator createInstance_;
    std::atomic<ULONG> references_{0};
};

}  // namespace zm::com
