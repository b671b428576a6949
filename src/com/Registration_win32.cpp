// Registration: the registrar script that the module carries writes the class
// and its program ids; the type library is registered beside it.
#include <windows.h>
#include <oleauto.h>

#include <cwchar>

#include "com/Module.h"
#include "com/Registrar.h"
#include "com/Resource.h"

namespace zm::com {
namespace {

// A module path, with room for ".tlb" after a name that has no extension.
constexpr size_t kPathUnits = MAX_PATH + 5;
using WidePath = wchar_t[kPathUnits];

// The module's path as the ANSI call gives it, widened with the ANSI code
// page. A path cut at the limit would name another file, so it is refused.
HRESULT GetModulePath(WidePath& path) {
    char ansi[MAX_PATH + 1] = {};
    DWORD length = GetModuleFileNameA(ModuleInstance(), ansi, MAX_PATH);
    if (length == 0) return HRESULT_FROM_WIN32(GetLastError());
    if (length >= MAX_PATH) return HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);
    if (MultiByteToWideChar(CP_ACP, 0, ansi, int(length) + 1, path, int(kPathUnits)) == 0)
        return HRESULT_FROM_WIN32(GetLastError());
    return S_OK;
}

// Where the file name begins: after the last "\", "/" or ":".
wchar_t* FileNameOf(wchar_t* path) {
    wchar_t* name = path;
    for (wchar_t* p = path; *p != 0; ++p)
        if (*p == L'\\' || *p == L'/' || *p == L':') name = p + 1;
    return name;
}

// The script quotes its strings with single quotes, so a quote in the path
// is written twice. out holds twice the path's units.
void DoubleQuotes(const wchar_t* text, wchar_t* out) {
    for (; *text != 0; ++text) {
        if (*text == L'\'') *out++ = L'\'';
        *out++ = *text;
    }
    *out = 0;
}

HRESULT RunRegistrarScript(bool install) {
    IRegistrar* registrar = nullptr;
    HRESULT hr = CoCreateInstance(kCLSID_Registrar, nullptr, CLSCTX_INPROC_SERVER, kIID_IRegistrar,
                                  reinterpret_cast<void**>(&registrar));
    if (FAILED(hr)) return hr;
    WidePath path;
    hr = GetModulePath(path);
    if (SUCCEEDED(hr)) {
        wchar_t quoted[2 * kPathUnits];
        DoubleQuotes(path, quoted);
        hr = registrar->AddReplacement(L"Module", quoted);
    }
    if (SUCCEEDED(hr))
        hr = install ? registrar->ResourceRegister(path, IDR_ZMTAGIO, L"REGISTRY")
                     : registrar->ResourceUnregister(path, IDR_ZMTAGIO, L"REGISTRY");
    registrar->Release();
    return hr;
}

// The type library from the module itself, else from the file beside it
// named like the module with the extension ".tlb". path receives the file
// that was loaded.
HRESULT LoadModuleTypeLib(WidePath& path, ITypeLib** library) {
    HRESULT hr = GetModulePath(path);
    if (FAILED(hr)) return hr;
    if (SUCCEEDED(LoadTypeLib(path, library))) return S_OK;
    wchar_t* name = FileNameOf(path);
    wchar_t* extension = std::wcsrchr(name, L'.');
    std::wcscpy(extension != nullptr ? extension : name + std::wcslen(name), L".tlb");
    return LoadTypeLib(path, library);
}

HRESULT RegisterTypeLibrary() {
    WidePath path;
    ITypeLib* library = nullptr;
    HRESULT hr = LoadModuleTypeLib(path, &library);
    if (FAILED(hr)) return hr;
    WidePath helpDirectory;
    size_t directoryUnits = size_t(FileNameOf(path) - path);
    std::wmemcpy(helpDirectory, path, directoryUnits);
    helpDirectory[directoryUnits] = 0;
    hr = RegisterTypeLib(library, path, helpDirectory);
    library->Release();
    return hr;
}

void UnregisterTypeLibrary() {
    WidePath path;
    ITypeLib* library = nullptr;
    if (FAILED(LoadModuleTypeLib(path, &library))) return;
    TLIBATTR* attributes = nullptr;
    if (SUCCEEDED(library->GetLibAttr(&attributes))) {
        UnRegisterTypeLib(attributes->guid, attributes->wMajorVerNum, attributes->wMinorVerNum,
                          attributes->lcid, attributes->syskind);
        library->ReleaseTLibAttr(attributes);
    }
    library->Release();
}

}  // namespace
}  // namespace zm::com

extern "C" {

HRESULT STDAPICALLTYPE DllRegisterServer(void) {
    HRESULT hr = zm::com::RunRegistrarScript(true);
    if (FAILED(hr)) return hr;
    return zm::com::RegisterTypeLibrary();
}

// Removes whatever is left of the registration; nothing to report if a part
// was not there.
HRESULT STDAPICALLTYPE DllUnregisterServer(void) {
    zm::com::RunRegistrarScript(false);
    zm::com::UnregisterTypeLibrary();
    return S_OK;
}
}
