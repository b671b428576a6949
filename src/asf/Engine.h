// The component's own runtime objects: a sync reader and a metadata editor,
// each with the header-info interfaces over the file's header.
#pragma once

#include "asf/WMRuntime.h"
#include "platform/File.h"

namespace zm::asf {

// The engine's reader answers this besides the runtime's interfaces: it reads
// the header through a file that the caller already holds open, so reading a
// file's tags opens it once and needs no wide copy of its path. The system
// runtime does not know it; a caller whose reader does not answer it opens by
// path.
struct IHeldFileReader : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE OpenHeld(platform::File& file) = 0;

protected:
    ~IHeldFileReader() = default;
};
extern const IID IID_IHeldFileReader;

HRESULT CreateEngineReader(IWMSyncReader** reader);
HRESULT CreateEngineEditor(IWMMetadataEditor** editor);

}  // namespace zm::asf
