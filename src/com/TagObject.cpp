#include "com/TagObject.h"

#include <atomic>
#include <new>

#include "com/Module.h"
#include "com/Query.h"
#include "session/CzmTagIO.h"

namespace zm::com {
namespace {

static_assert(sizeof(void*) != 4 || sizeof(MDRecord) == 6220,
              "hosts built for 32-bit Windows read the record as 6220 bytes");

// The class is registered for every apartment, so threads of the
// multithreaded one may AddRef and Release one object at the same time: its
// count is interlocked. The last Release frees it.
using References = std::atomic<ULONG>;

template <typename Object>
ULONG ReleaseReference(Object* object, References& references) {
    ULONG left = references.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) delete object;
    return left;
}

ULONG AddReference(References& references) { return references.fetch_add(1, std::memory_order_relaxed) + 1; }

// The session as a host creates it on its own.
class PlainTagObject final : public CzmTagIO {
public:
    PlainTagObject() { LockModule(); }
    ~PlainTagObject() override { UnlockModule(); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        return AnswerQuery<IzmTagIO>(this, IID_IzmTagIO, riid, object);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return AddReference(references_); }
    ULONG STDMETHODCALLTYPE Release() override { return ReleaseReference(this, references_); }

private:
    References references_{0};
};

// The session inside an aggregate: its identity and its lifetime are the
// outer object's, so every IUnknown call goes there. The outer object is not
// counted; it owns the aggregate, not the other way round.
class ContainedTagObject final : public CzmTagIO {
public:
    explicit ContainedTagObject(IUnknown* outer) : outer_(outer) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        return outer_->QueryInterface(riid, object);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return outer_->AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return outer_->Release(); }

private:
    IUnknown* outer_;
};

// What the outer object holds: an unknown of its own, counted on its own,
// that answers IUnknown with itself and IzmTagIO with the contained session.
class AggregatedTagObject final : public IUnknown {
public:
    explicit AggregatedTagObject(IUnknown* outer) : contained_(outer) { LockModule(); }
    ~AggregatedTagObject() { UnlockModule(); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (object != nullptr && SameGuid(riid, IID_IUnknown)) {
            *object = static_cast<IUnknown*>(this);
            AddRef();
            return ZMTAGIO_S_OK;
        }
        return AnswerQuery<IzmTagIO>(&contained_, IID_IzmTagIO, riid, object);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return AddReference(references_); }
    ULONG STDMETHODCALLTYPE Release() override { return ReleaseReference(this, references_); }

private:
    References references_{0};
    ContainedTagObject contained_;
};

}  // namespace

HRESULT CreateTagObject(IUnknown* outer, REFIID riid, void** object) {
    if (outer == nullptr) return QueryNew(new (std::nothrow) PlainTagObject(), riid, object);
    return QueryNew(new (std::nothrow) AggregatedTagObject(outer), riid, object);
}

}  // namespace zm::com
