// Interface identity: what an object of the module answers to QueryInterface.
#pragma once

#include <cstring>

#include "zmTagIO.h"

namespace zm::com {

inline bool SameGuid(const GUID& a, const GUID& b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }

// The answer of an object that implements IUnknown and one interface of its
// own: itself, counted once more, or E_NOINTERFACE with the pointer cleared.
template <typename Interface>
HRESULT AnswerQuery(Interface* self, const IID& own, REFIID riid, void** object) {
    if (object == nullptr) return ZMTAGIO_E_POINTER;
    if (SameGuid(riid, IID_IUnknown) || SameGuid(riid, own)) {
        *object = self;
        self->AddRef();
        return ZMTAGIO_S_OK;
    }
    *object = nullptr;
    return ZMTAGIO_E_NOINTERFACE;
}

// Hands a newly made object (null when memory ran out) to its creator's
// caller: a failed query destroys it again.
template <typename Object>
HRESULT QueryNew(Object* created, REFIID riid, void** object) {
    if (created == nullptr) return ZMTAGIO_E_OUTOFMEMORY;
    HRESULT hr = created->QueryInterface(riid, object);
    if (hr < 0) delete created;
    return hr;
}

}  // namespace zm::com
