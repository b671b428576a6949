#include "com/ComChecks.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace zm::comcheck {
namespace {

// Neither answered by the object: IDispatch, although the type library calls
// the interface dual, and the interface id that only the type library uses.
constexpr IID kIDispatch = {0x00020400, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr IID kTypeLibInterface = {0x3A748FCD, 0x9456, 0x4AC5, {0x93, 0x54, 0x3E, 0x3D, 0x27, 0xCB, 0x32, 0x1D}};
constexpr CLSID kOtherClass = {0x12345678, 0x1234, 0x1234, {0x12, 0x34, 0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC}};

// What a failed call must leave in its out pointer.
void* const kPoison = reinterpret_cast<void*>(uintptr_t(0x5A5A5A50));

std::string HexOf(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", unsigned(hr));
    return text;
}

IClassFactory* GetFactory(const Exports& module, Report& report) {
    void* factory = nullptr;
    report.CheckHr(module.getClassObject(CLSID_zmTagIO, IID_IClassFactory, &factory), ZMTAGIO_S_OK,
                   "DllGetClassObject for IClassFactory");
    return static_cast<IClassFactory*>(factory);
}

void CheckUnload(const Exports& module, Report& report, HRESULT want, const std::string& when) {
    report.CheckHr(module.canUnloadNow(), want, "DllCanUnloadNow " + when);
}

// An object that aggregates the tag object: it owns the inner unknown and
// hands out IzmTagIO from it. It lives on the stack, so it only counts.
class Outer final : public IUnknown {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (std::memcmp(&riid, &IID_IUnknown, sizeof(IID)) == 0) {
            *object = static_cast<IUnknown*>(this);
            AddRef();
            return ZMTAGIO_S_OK;
        }
        if (inner != nullptr && std::memcmp(&riid, &IID_IzmTagIO, sizeof(IID)) == 0)
            return inner->QueryInterface(riid, object);
        *object = nullptr;
        return ZMTAGIO_E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override { return --references; }

    ULONG references = 1;
    IUnknown* inner = nullptr;
};

}  // namespace

void Report::Check(bool ok, const std::string& what) {
    if (!ok) failures_.push_back(what);
}

void Report::CheckHr(HRESULT got, HRESULT want, const std::string& what) {
    if (got != want) failures_.push_back(what + ": " + HexOf(got) + ", expected " + HexOf(want));
}

void CheckClassObject(const Exports& module, Report& report) {
    CheckUnload(module, report, ZMTAGIO_S_OK, "before any request");
    report.CheckHr(module.getClassObject(CLSID_zmTagIO, IID_IClassFactory, nullptr), ZMTAGIO_E_POINTER,
                   "DllGetClassObject without an out pointer");

    void* object = kPoison;
    report.CheckHr(module.getClassObject(kOtherClass, IID_IClassFactory, &object),
                   ZMTAGIO_CLASS_E_CLASSNOTAVAILABLE, "DllGetClassObject for another class");
    report.Check(object == nullptr, "DllGetClassObject for another class clears the out pointer");

    object = kPoison;
    report.CheckHr(module.getClassObject(CLSID_zmTagIO, IID_IzmTagIO, &object), ZMTAGIO_E_NOINTERFACE,
                   "DllGetClassObject for an interface the factory lacks");
    report.Check(object == nullptr, "a factory query that fails clears the out pointer");

    IClassFactory* first = GetFactory(module, report);
    void* second = nullptr;
    report.CheckHr(module.getClassObject(CLSID_zmTagIO, IID_IUnknown, &second), ZMTAGIO_S_OK,
                   "DllGetClassObject for IUnknown");
    report.Check(first != nullptr && static_cast<void*>(first) == second,
                 "every request gets the one cached factory");
    CheckUnload(module, report, ZMTAGIO_S_FALSE, "while a host holds the factory");
    if (second != nullptr) static_cast<IUnknown*>(second)->Release();
    CheckUnload(module, report, ZMTAGIO_S_FALSE, "while a host still holds one reference");
    if (first != nullptr) first->Release();
    CheckUnload(module, report, ZMTAGIO_S_OK, "with only the cache holding the factory");
}

void CheckLocks(const Exports& module, Report& report) {
    IClassFactory* factory = GetFactory(module, report);
    if (factory == nullptr) return;
    report.CheckHr(factory->LockServer(1), ZMTAGIO_S_OK, "LockServer(TRUE)");
    report.CheckHr(factory->LockServer(1), ZMTAGIO_S_OK, "LockServer(TRUE) again");
    factory->Release();
    CheckUnload(module, report, ZMTAGIO_S_FALSE, "with two server locks");
    if ((factory = GetFactory(module, report)) == nullptr) return;
    report.CheckHr(factory->LockServer(0), ZMTAGIO_S_OK, "LockServer(FALSE)");
    factory->Release();
    CheckUnload(module, report, ZMTAGIO_S_FALSE, "with one server lock left");

    if ((factory = GetFactory(module, report)) == nullptr) return;
    void* object = nullptr;
    report.CheckHr(factory->CreateInstance(nullptr, IID_IzmTagIO, &object), ZMTAGIO_S_OK, "CreateInstance");
    report.CheckHr(factory->LockServer(0), ZMTAGIO_S_OK, "LockServer(FALSE) for the last lock");
    factory->Release();
    CheckUnload(module, report, ZMTAGIO_S_FALSE, "while an object lives");
    if (object != nullptr) static_cast<IzmTagIO*>(object)->Release();
    CheckUnload(module, report, ZMTAGIO_S_OK, "after the last object and lock are gone");
}

void CheckObject(const Exports& module, Report& report) {
    IClassFactory* factory = GetFactory(module, report);
    if (factory == nullptr) return;
    report.CheckHr(factory->CreateInstance(nullptr, IID_IzmTagIO, nullptr), ZMTAGIO_E_POINTER,
                   "CreateInstance without an out pointer");
    void* object = kPoison;
    report.CheckHr(factory->CreateInstance(nullptr, kIDispatch, &object), ZMTAGIO_E_NOINTERFACE,
                   "CreateInstance for IDispatch");
    report.Check(object == nullptr, "CreateInstance for IDispatch clears the out pointer");

    report.CheckHr(factory->CreateInstance(nullptr, IID_IzmTagIO, &object), ZMTAGIO_S_OK,
                   "CreateInstance for IzmTagIO");
    factory->Release();
    auto* tag = static_cast<IzmTagIO*>(object);
    if (tag == nullptr) return;

    report.CheckHr(tag->QueryInterface(IID_IzmTagIO, nullptr), ZMTAGIO_E_POINTER,
                   "QueryInterface without an out pointer");
    for (const IID* refused : {&kIDispatch, &kTypeLibInterface, &IID_IClassFactory}) {
        void* other = kPoison;
        report.CheckHr(tag->QueryInterface(*refused, &other), ZMTAGIO_E_NOINTERFACE,
                       "QueryInterface for an interface the object lacks");
        report.Check(other == nullptr, "a failed QueryInterface clears the out pointer");
    }
    void* unknown = nullptr;
    report.CheckHr(tag->QueryInterface(IID_IUnknown, &unknown), ZMTAGIO_S_OK, "QueryInterface for IUnknown");
    report.Check(unknown == static_cast<IUnknown*>(tag), "the object's IUnknown is the object");
    report.Check(static_cast<IUnknown*>(unknown)->Release() == 1, "QueryInterface counts one reference");

    // The session answers through the interface: a file that is not there.
    MDRecord* record = nullptr;
    report.CheckHr(tag->MDInit(0, "no such file.mp3", &record, "\0\0\0", 0), ZMTAGIO_E_FAIL,
                   "MDInit of a missing file");
    report.Check(record == nullptr, "a failed MDInit leaves the out pointer alone");
    report.CheckHr(tag->MDUninit(), ZMTAGIO_S_OK, "MDUninit");
    report.Check(tag->Release() == 0, "the last Release frees the object");
    CheckUnload(module, report, ZMTAGIO_S_OK, "after the object is freed");
}

void CheckAggregation(const Exports& module, Report& report) {
    IClassFactory* factory = GetFactory(module, report);
    if (factory == nullptr) return;
    Outer outer;
    void* object = kPoison;
    report.CheckHr(factory->CreateInstance(&outer, IID_IzmTagIO, &object), ZMTAGIO_CLASS_E_NOAGGREGATION,
                   "aggregated CreateInstance for IzmTagIO");
    report.Check(object == nullptr, "a refused aggregation clears the out pointer");

    report.CheckHr(factory->CreateInstance(&outer, IID_IUnknown, &object), ZMTAGIO_S_OK,
                   "aggregated CreateInstance for IUnknown");
    factory->Release();
    outer.inner = static_cast<IUnknown*>(object);
    if (outer.inner == nullptr) return;
    report.Check(outer.inner != static_cast<IUnknown*>(&outer), "the inner unknown is the aggregate's own");
    report.Check(outer.references == 1, "creating the aggregate does not count the outer object");
    CheckUnload(module, report, ZMTAGIO_S_FALSE, "while an aggregate lives");

    void* unknown = nullptr;
    report.CheckHr(outer.inner->QueryInterface(IID_IUnknown, &unknown), ZMTAGIO_S_OK,
                   "inner QueryInterface for IUnknown");
    report.Check(unknown == outer.inner, "the inner unknown answers IUnknown with itself");
    if (unknown != nullptr) static_cast<IUnknown*>(unknown)->Release();

    void* asked = nullptr;
    report.CheckHr(outer.inner->QueryInterface(IID_IzmTagIO, &asked), ZMTAGIO_S_OK,
                   "inner QueryInterface for IzmTagIO");
    auto* tag = static_cast<IzmTagIO*>(asked);
    report.Check(outer.references == 2, "the interface's reference belongs to the outer object");
    void* other = kPoison;
    report.CheckHr(outer.inner->QueryInterface(kIDispatch, &other), ZMTAGIO_E_NOINTERFACE,
                   "inner QueryInterface for IDispatch");
    report.Check(other == nullptr, "a failed inner QueryInterface clears the out pointer");
    if (tag != nullptr) {
        void* identity = nullptr;
        report.CheckHr(tag->QueryInterface(IID_IUnknown, &identity), ZMTAGIO_S_OK,
                       "IzmTagIO QueryInterface for IUnknown");
        report.Check(identity == static_cast<IUnknown*>(&outer), "the aggregated interface has the outer identity");
        if (identity != nullptr) static_cast<IUnknown*>(identity)->Release();
        tag->AddRef();
        report.Check(outer.references == 3, "AddRef on the interface counts on the outer object");
        tag->Release();
        tag->Release();
    }
    report.Check(outer.references == 1, "releases on the interface go to the outer object");
    report.Check(outer.inner->Release() == 0, "the last inner Release frees the aggregate");
    CheckUnload(module, report, ZMTAGIO_S_OK, "after the aggregate is freed");
}

}  // namespace zm::comcheck
