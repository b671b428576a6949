// Which runtime answers. On Windows the system's wmvcore.dll is used when it
// can make both a reader and an editor (some implementations of it cannot
// edit); the choice is made once per process. Elsewhere the engine answers.
#include <cstring>

#include "asf/Engine.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace zm::asf {

const IID IID_IWMSyncReader = {0x9397f121, 0x7705, 0x4dc9, {0xb0, 0x49, 0x98, 0xb6, 0x98, 0x18, 0x84, 0x14}};
const IID IID_IWMMetadataEditor = {0x96406bd9, 0x2b2b, 0x11d3, {0xb3, 0x6b, 0x00, 0xc0, 0x4f, 0x61, 0x08, 0xff}};
const IID IID_IWMHeaderInfo = {0x96406bda, 0x2b2b, 0x11d3, {0xb3, 0x6b, 0x00, 0xc0, 0x4f, 0x61, 0x08, 0xff}};
const IID IID_IWMHeaderInfo2 = {0x15cf9781, 0x454e, 0x482e, {0xb3, 0x93, 0x85, 0xfa, 0xe4, 0x87, 0xa8, 0x10}};
const IID IID_IWMHeaderInfo3 = {0x15cc68e3, 0x27cc, 0x4ecd, {0xb2, 0x22, 0x3f, 0x5d, 0x02, 0xd8, 0x0b, 0xd5}};
const IID kIID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xc0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

bool SameGuid(const GUID& a, const GUID& b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }

#ifdef _WIN32
namespace {

using CreateReaderCall = HRESULT(STDAPICALLTYPE*)(IUnknown*, DWORD, IWMSyncReader**);
using CreateEditorCall = HRESULT(STDAPICALLTYPE*)(IWMMetadataEditor**);

struct SystemRuntime {
    CreateReaderCall createReader = nullptr;
    CreateEditorCall createEditor = nullptr;
};

template <typename Call>
Call Entry(HMODULE module, const char* name) {
    return reinterpret_cast<Call>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

bool MakesBoth(const SystemRuntime& runtime) {
    ComPtr<IWMSyncReader> reader;
    ComPtr<IWMMetadataEditor> editor;
    return runtime.createReader && runtime.createEditor && runtime.createReader(nullptr, 0, reader.Put()) >= 0 &&
           reader && runtime.createEditor(editor.Put()) >= 0 && editor;
}

SystemRuntime Probe() {
    HMODULE module = LoadLibraryW(L"wmvcore.dll");
    if (!module) return {};
    SystemRuntime found{Entry<CreateReaderCall>(module, "WMCreateSyncReader"),
                        Entry<CreateEditorCall>(module, "WMCreateEditor")};
    if (MakesBoth(found)) return found;  // the module stays loaded for the process
    FreeLibrary(module);
    return {};
}

const SystemRuntime& System() {
    static const SystemRuntime runtime = Probe();
    return runtime;
}

}  // namespace
#endif

HRESULT WMCreateSyncReader(IUnknown* certificate, uint32_t rights, IWMSyncReader** reader) {
#ifdef _WIN32
    if (System().createReader) return System().createReader(certificate, rights, reader);
#else
    (void)certificate;
    (void)rights;
#endif
    return CreateEngineReader(reader);
}

HRESULT WMCreateEditor(IWMMetadataEditor** editor) {
#ifdef _WIN32
    if (System().createEditor) return System().createEditor(editor);
#endif
    return CreateEngineEditor(editor);
}

}  // namespace zm::asf
