#include "com/ComChecks.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>

namespace zm::comcheck {
namespace {

// Neither answered by the object: IDispatch, although the type library calls
// the interface dual, and the interface id that only the type library uses.
constexpr IID kIDispatch = {0x00020400, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr IID kTypeLibInterface = {0x3A748FCD, 0x9456, 0x4AC5, {0x93, 0x54, 0x3E, 0x3D, 0x27, 0xCB, 0x32, 0x1D}};
constexpr CLSID kOtherClass = {0x12345678, 0x1234, 0x1234, {0x12, 0x34, 0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC}};

// An object that aggregates the tag object: it owns the inner unknown and
// hands out IzmTagIO from it. It lives on the stack, so it only counts.
struct Outer final : IUnknown {
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (inner != nullptr && std::memcmp(&riid, &IID_IzmTagIO, sizeof(IID)) == 0)
            return inner->QueryInterface(riid, object);
        bool unknown = std::memcmp(&riid, &IID_IUnknown, sizeof(IID)) == 0;
        *object = unknown ? (AddRef(), this) : nullptr;
        return unknown ? ZMTAGIO_S_OK : ZMTAGIO_E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override { return --references; }
    ULONG references = 1;
    IUnknown* inner = nullptr;
};

struct Checker {
    GetClassObjectFn getClassObject;
    CanUnloadNowFn canUnloadNow;
    Report& report;

    void Unload(HRESULT want, const std::string& when) {
        report.CheckHr(canUnloadNow(), want, "DllCanUnloadNow " + when);
    }
    // The object that call gives; a call that must fail has to clear the out
    // pointer it was given.
    template <typename Interface = IUnknown>
    Interface* Call(HRESULT want, const std::string& what, const std::function<HRESULT(void**)>& call) {
        bool refused = want < 0;
        void* object = refused ? reinterpret_cast<void*>(uintptr_t(0x5A5A5A50)) : nullptr;
        report.CheckHr(call(&object), want, what);
        if (refused) report.Check(object == nullptr, what + " clears the out pointer");
        return refused ? nullptr : static_cast<Interface*>(object);
    }
    IClassFactory* Factory() {
        auto get = [&](void** out) { return getClassObject(CLSID_zmTagIO, IID_IClassFactory, out); };
        return Call<IClassFactory>(ZMTAGIO_S_OK, "DllGetClassObject for IClassFactory", get);
    }
    // CreateInstance of a factory held for the call only.
    HRESULT Create(IUnknown* outer, REFIID riid, void** out) {
        IClassFactory* factory = Factory();
        HRESULT hr = factory != nullptr ? factory->CreateInstance(outer, riid, out) : ZMTAGIO_E_FAIL;
        if (factory != nullptr) factory->Release();
        return hr;
    }
    void LockServer(BOOL lock, const std::string& what) {
        if (IClassFactory* factory = Factory()) {
            report.CheckHr(factory->LockServer(lock), ZMTAGIO_S_OK, what);
            factory->Release();
        }
    }

    void ClassObject() {
        Unload(ZMTAGIO_S_OK, "with nothing held");
        report.CheckHr(getClassObject(CLSID_zmTagIO, IID_IClassFactory, nullptr), ZMTAGIO_E_POINTER,
                       "DllGetClassObject without an out pointer");
        Call(ZMTAGIO_CLASS_E_CLASSNOTAVAILABLE, "DllGetClassObject for another class",
             [&](void** out) { return getClassObject(kOtherClass, IID_IClassFactory, out); });
        Call(ZMTAGIO_E_NOINTERFACE, "DllGetClassObject for an interface the factory lacks",
             [&](void** out) { return getClassObject(CLSID_zmTagIO, IID_IzmTagIO, out); });
        IClassFactory* first = Factory();
        IUnknown* second = Call(ZMTAGIO_S_OK, "DllGetClassObject for IUnknown",
                                [&](void** out) { return getClassObject(CLSID_zmTagIO, IID_IUnknown, out); });
        report.Check(first != nullptr && first == second, "every request gets the one cached factory");
        Unload(ZMTAGIO_S_FALSE, "while a host holds the factory twice");
        if (second != nullptr) second->Release();
        Unload(ZMTAGIO_S_FALSE, "while a host holds the factory once");
        if (first != nullptr) first->Release();
        Unload(ZMTAGIO_S_OK, "with only the cache holding the factory");
    }

    void Locks() {
        LockServer(1, "LockServer(TRUE)");
        LockServer(1, "LockServer(TRUE) again");
        Unload(ZMTAGIO_S_FALSE, "with two server locks");
        LockServer(0, "LockServer(FALSE)");
        Unload(ZMTAGIO_S_FALSE, "with one server lock left");
        auto* tag = Call<IzmTagIO>(ZMTAGIO_S_OK, "CreateInstance",
                                   [&](void** out) { return Create(nullptr, IID_IzmTagIO, out); });
        LockServer(0, "LockServer(FALSE) for the last lock");
        Unload(ZMTAGIO_S_FALSE, "while an object lives");
        if (tag != nullptr) tag->Release();
        Unload(ZMTAGIO_S_OK, "after the last object and lock are gone");
    }

    void Object() {
        report.CheckHr(Create(nullptr, IID_IzmTagIO, nullptr), ZMTAGIO_E_POINTER,
                       "CreateInstance without an out pointer");
        Call(ZMTAGIO_E_NOINTERFACE, "CreateInstance for IDispatch",
             [&](void** out) { return Create(nullptr, kIDispatch, out); });
        auto* tag = Call<IzmTagIO>(ZMTAGIO_S_OK, "CreateInstance for IzmTagIO",
                                   [&](void** out) { return Create(nullptr, IID_IzmTagIO, out); });
        if (tag == nullptr) return;
        report.CheckHr(tag->QueryInterface(IID_IzmTagIO, nullptr), ZMTAGIO_E_POINTER,
                       "QueryInterface without an out pointer");
        for (const IID* refused : {&kIDispatch, &kTypeLibInterface, &IID_IClassFactory})
            Call(ZMTAGIO_E_NOINTERFACE, "QueryInterface for an interface the object lacks",
                 [&](void** out) { return tag->QueryInterface(*refused, out); });
        IUnknown* unknown = Call(ZMTAGIO_S_OK, "QueryInterface for IUnknown",
                                 [&](void** out) { return tag->QueryInterface(IID_IUnknown, out); });
        report.Check(unknown == tag, "the object's IUnknown is the object");
        report.Check(unknown != nullptr && unknown->Release() == 1, "QueryInterface counts one reference");
        report.Check(tag->Release() == 0, "the last Release frees the object");
        Unload(ZMTAGIO_S_OK, "after the object is freed");
    }

    void Aggregation() {
        Outer outer;
        Call(ZMTAGIO_CLASS_E_NOAGGREGATION, "aggregated CreateInstance for IzmTagIO",
             [&](void** out) { return Create(&outer, IID_IzmTagIO, out); });
        outer.inner = Call(ZMTAGIO_S_OK, "aggregated CreateInstance for IUnknown",
                           [&](void** out) { return Create(&outer, IID_IUnknown, out); });
        if (outer.inner == nullptr) return;
        report.Check(outer.inner != &outer, "the inner unknown is the aggregate's own");
        report.Check(outer.references == 1, "creating the aggregate does not count the outer object");
        Unload(ZMTAGIO_S_FALSE, "while an aggregate lives");

        IUnknown* unknown = Call(ZMTAGIO_S_OK, "inner QueryInterface for IUnknown",
                                 [&](void** out) { return outer.inner->QueryInterface(IID_IUnknown, out); });
        report.Check(unknown == outer.inner, "the inner unknown answers IUnknown with itself");
        if (unknown != nullptr) unknown->Release();
        auto* tag = Call<IzmTagIO>(ZMTAGIO_S_OK, "inner QueryInterface for IzmTagIO",
                                   [&](void** out) { return outer.inner->QueryInterface(IID_IzmTagIO, out); });
        report.Check(outer.references == 2, "the interface's reference belongs to the outer object");
        Call(ZMTAGIO_E_NOINTERFACE, "inner QueryInterface for IDispatch",
             [&](void** out) { return outer.inner->QueryInterface(kIDispatch, out); });
        if (tag != nullptr) {
            IUnknown* identity = Call(ZMTAGIO_S_OK, "IzmTagIO QueryInterface for IUnknown",
                                      [&](void** out) { return tag->QueryInterface(IID_IUnknown, out); });
            report.Check(identity == &outer, "the aggregated interface has the outer identity");
            if (identity != nullptr) identity->Release();
            tag->AddRef();
            report.Check(outer.references == 3, "AddRef on the interface counts on the outer object");
            tag->Release();
            tag->Release();
        }
        report.Check(outer.references == 1, "releases on the interface go to the outer object");
        report.Check(outer.inner->Release() == 0, "the last inner Release frees the aggregate");
        Unload(ZMTAGIO_S_OK, "after the aggregate is freed");
    }
};

}  // namespace

void Report::CheckHr(HRESULT got, HRESULT want, const std::string& what) {
    char text[48];
    std::snprintf(text, sizeof text, ": 0x%08X, expected 0x%08X", unsigned(got), unsigned(want));
    if (got != want) failures.push_back(what + text);
}

void CheckModule(GetClassObjectFn getClassObject, CanUnloadNowFn canUnloadNow, Report& report) {
    Checker checker{getClassObject, canUnloadNow, report};
    checker.ClassObject();
    checker.Locks();
    checker.Object();
    checker.Aggregation();
}

}  // namespace zm::comcheck
