#include "asf/Engine.h"

#include <new>

#include "asf/HeaderInfo.h"

namespace zm::asf {

const IID IID_IHeldFileReader = {0x5f0c2a7e, 0x41d3, 0x4b8e, {0x9a, 0x61, 0x2e, 0x7d, 0x13, 0xc4, 0x58, 0xb0}};

namespace {

// IUnknown for an object that is one runtime role (Role, whose IID is
// kRoleIid) and answers the header-info interfaces.
template <typename Role, const IID& kRoleIid>
class CRuntimeObject : public CHeaderInfo, public Role {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (!object) return kE_POINTER;
        *object = nullptr;
        if (SameGuid(iid, kIID_IUnknown) || SameGuid(iid, kRoleIid)) {
            *object = static_cast<Role*>(this);
        } else if (SameGuid(iid, IID_IWMHeaderInfo) || SameGuid(iid, IID_IWMHeaderInfo2) ||
                   SameGuid(iid, IID_IWMHeaderInfo3)) {
            *object = static_cast<IWMHeaderInfo3*>(this);
        } else {
            return kE_NOINTERFACE;
        }
        AddRef();
        return kS_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return AddReference(); }
    ULONG STDMETHODCALLTYPE Release() override {
        ULONG left = DropReference();
        if (left == 0) delete this;
        return left;
    }

protected:
    explicit CRuntimeObject(bool writable) : CHeaderInfo(writable) {}
};

class CSyncReader final : public CRuntimeObject<IWMSyncReader, IID_IWMSyncReader>, public IHeldFileReader {
public:
    CSyncReader() : CRuntimeObject(false) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (!object || !SameGuid(iid, IID_IHeldFileReader)) return CRuntimeObject::QueryInterface(iid, object);
        *object = static_cast<IHeldFileReader*>(this);
        AddRef();
        return kS_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return CRuntimeObject::AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return CRuntimeObject::Release(); }
    HRESULT STDMETHODCALLTYPE Open(const char16_t* path) override { return OpenFile(path, nullptr); }
    HRESULT STDMETHODCALLTYPE OpenHeld(platform::File& file) override { return OpenFile(nullptr, &file); }
    HRESULT STDMETHODCALLTYPE Close() override { return CloseFile(); }
};

// Close drops changes that were not flushed.
class CMetadataEditor final : public CRuntimeObject<IWMMetadataEditor, IID_IWMMetadataEditor> {
public:
    CMetadataEditor() : CRuntimeObject(true) {}
    HRESULT STDMETHODCALLTYPE Open(const char16_t* path) override { return OpenFile(path, nullptr); }
    HRESULT STDMETHODCALLTYPE Close() override { return CloseFile(); }
    HRESULT STDMETHODCALLTYPE Flush() override { return FlushFile(); }
};

template <typename Object, typename Interface>
HRESULT Create(Interface** out) {
    if (!out) return kE_POINTER;
    *out = new (std::nothrow) Object();
    return *out ? kS_OK : kE_OUTOFMEMORY;
}

}  // namespace

HRESULT CreateEngineReader(IWMSyncReader** reader) { return Create<CSyncReader>(reader); }
HRESULT CreateEngineEditor(IWMMetadataEditor** editor) { return Create<CMetadataEditor>(editor); }

}  // namespace zm::asf
