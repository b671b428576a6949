#include "com/ClassFactory.h"

#include <new>

#include "com/Module.h"
#include "com/Query.h"

namespace zm::com {

HRESULT ClassFactory::Create(InstanceCreator creator, REFIID riid, void** object) {
    return QueryNew(new (std::nothrow) ClassFactory(creator), riid, object);
}

HRESULT STDMETHODCALLTYPE ClassFactory::QueryInterface(REFIID riid, void** object) {
    return AnswerQuery<IClassFactory>(this, IID_IClassFactory, riid, object);
}

// The module's cache holds the first reference. The factory keeps the module
// loaded only while someone else holds it too: the lock is taken when the
// count rises to 2 and given back when it falls to 1. The count is
// interlocked, as threads of any apartment may share the factory.
ULONG STDMETHODCALLTYPE ClassFactory::AddRef() {
    ULONG count = references_.fetch_add(1, std::memory_order_relaxed) + 1;
    if (count == 2) LockModule();
    return count;
}

ULONG STDMETHODCALLTYPE ClassFactory::Release() {
    ULONG left = references_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 1) UnlockModule();
    if (left == 0) delete this;
    return left;
}

HRESULT STDMETHODCALLTYPE ClassFactory::CreateInstance(IUnknown* outer, REFIID riid, void** object) {
    if (object == nullptr) return ZMTAGIO_E_POINTER;
    *object = nullptr;
    // An aggregating outer object must take the inner object's own unknown.
    if (outer != nullptr && !SameGuid(riid, IID_IUnknown)) return ZMTAGIO_CLASS_E_NOAGGREGATION;
    return createInstance_(outer, riid, object);
}

HRESULT STDMETHODCALLTYPE ClassFactory::LockServer(BOOL lock) {
    if (lock)
        LockModule();
    else
        UnlockModule();
    return ZMTAGIO_S_OK;
}

}  // namespace zm::com
