// The COM client that the Wine run drives, built for one width. Every failed
// check is printed; the exit status is 1 when any failed.
#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <tuple>
#include <vector>

#include "com/ComChecks.h"
#include "com/Resource.h"

namespace {

using zm::comcheck::Report;

constexpr char kClassId[] = "{D7BC36D7-5776-499A-96A6-297F3182E882}";
constexpr char kLibraryId[] = "{F870C70B-DDF8-40D7-88B6-B459BCCC906D}";
constexpr char kInterfaceKey[] = "Interface\\{3A748FCD-9456-4AC5-9354-3E3D27CB321D}";
const std::string kClassKey = std::string("CLSID\\") + kClassId;
const std::string kTypeLibKey = std::string("TypeLib\\") + kLibraryId;
constexpr char kNoLanguage[4] = {};

bool KeyExists(const std::string& key) {
    HKEY handle;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return false;
    return RegCloseKey(handle), true;
}

// A string value (the default one for an empty name), "<missing>" when absent.
std::string ReadValue(const std::string& key, const char* name) {
    char data[1024] = {};
    DWORD size = sizeof data - 1;
    LSTATUS status = RegGetValueA(HKEY_CLASSES_ROOT, key.c_str(), *name ? name : nullptr, RRF_RT_REG_SZ, nullptr,
                                  data, &size);
    return status == ERROR_SUCCESS ? data : "<missing>";
}

// An export of the zmTagIO.DLL that COM loaded; null when there is none.
template <typename Function>
Function ModuleExport(const char* name) {
    HMODULE module = GetModuleHandleA("zmTagIO.DLL");
    // GetProcAddress gives every export one generic type.
    return module == nullptr ? nullptr
                             : reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

IzmTagIO* Create(const CLSID& clsid, Report& report, const std::string& how) {
    void* tag = nullptr;
    report.CheckHr(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IzmTagIO, &tag), S_OK,
                   "CoCreateInstance " + how);
    return static_cast<IzmTagIO*>(tag);
}

void CheckResources(const std::string& modulePath, Report& report) {
    DWORD ignored = 0;
    std::vector<char> info(GetFileVersionInfoSizeA(modulePath.c_str(), &ignored));
    report.Check(!info.empty() && GetFileVersionInfoA(modulePath.c_str(), 0, DWORD(info.size()), info.data()),
                 "the DLL has a version resource");
    if (info.empty()) return;
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    report.Check(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length) &&
                     fixed->dwFileVersionMS == 0x00010000 && fixed->dwFileVersionLS == 22 &&
                     fixed->dwProductVersionMS == 0x00010000 && fixed->dwProductVersionLS == 22,
                 "file and product version 1.0.0.22");
    for (auto [name, want] : {std::pair{"ProductName", "TagIO Module"}, {"InternalName", "zmTagIO"},
                              {"OriginalFilename", "zmTagIO.DLL"}, {"FileVersion", "1.0.0.22"},
                              {"ProductVersion", "1.0.0.22"}, {"OLESelfRegister", ""}}) {
        char* text = nullptr;
        std::string query = std::string("\\StringFileInfo\\040904B0\\") + name, got = "<missing>";
        if (VerQueryValueA(info.data(), query.c_str(), reinterpret_cast<void**>(&text), &length))
            got.assign(text, length > 0 ? length - 1 : 0);
        report.Check(got == want, std::string("version string ") + name + " is \"" + got + "\"");
    }
    HMODULE module = LoadLibraryExA(modulePath.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    char name[64] = {};
    report.Check(module != nullptr && LoadStringA(module, IDS_PROJNAME, name, sizeof name) > 0 &&
                     std::string(name) == "TagIO",
                 std::string("string 100 is \"") + name + "\"");
    if (module != nullptr) FreeLibrary(module);
}

void CheckRegistered(const std::string& modulePath, const std::string& typeLibPath, Report& report) {
    const std::string version = kTypeLibKey + "\\1.0", &classKey = kClassKey;
    // Key, value name ("" for the default value; null when only the key must
    // exist), value.
    const std::tuple<std::string, const char*, std::string> table[] = {
        {"TagIO.zmTagIO.1", "", "zmTagIO Class"}, {"TagIO.zmTagIO.1\\CLSID", "", kClassId},
        {"TagIO.zmTagIO", "", "zmTagIO Class"}, {"TagIO.zmTagIO\\CLSID", "", kClassId},
        {"TagIO.zmTagIO\\CurVer", "", "TagIO.zmTagIO.1"}, {classKey, "", "zmTagIO Class"},
        {classKey + "\\ProgID", "", "TagIO.zmTagIO.1"}, {classKey + "\\VersionIndependentProgID", "", "TagIO.zmTagIO"},
        {classKey + "\\Programmable", nullptr, ""}, {classKey + "\\TypeLib", "", kLibraryId},
        {classKey + "\\InprocServer32", "", modulePath}, {classKey + "\\InprocServer32", "ThreadingModel", "Both"},
        {version, "", "TagIO 1.0 Type Library"}, {kInterfaceKey, "", "IzmTagIO"},
        {version + (sizeof(void*) == 4 ? "\\409\\win32" : "\\409\\win64"), "", typeLibPath},
        {version + "\\HELPDIR", "", typeLibPath.substr(0, typeLibPath.find_last_of("\\/:") + 1)},
    };
    for (const auto& [key, name, want] : table) {
        std::string got = name == nullptr ? (KeyExists(key) ? "" : "<missing>") : ReadValue(key, name);
        report.Check(got == want, "HKCR\\" + key + " [" + (name ? name : "key") + "] is \"" + got +
                                      "\", expected \"" + want + "\"");
    }
    // The run leaves a stale subkey under the class key before registering:
    // the class key is marked ForceRemove, so registration starts it afresh.
    report.Check(!KeyExists(classKey + "\\Stale"), "registration removes what the class key held before");
    CheckResources(modulePath, report);
}

void CheckUnregistered(Report& report) {
    for (const std::string& key : {std::string("TagIO.zmTagIO.1"), std::string("TagIO.zmTagIO"), kClassKey,
                                   kTypeLibKey, std::string(kInterfaceKey)})
        report.Check(!KeyExists(key), "HKCR\\" + key + " is gone");
    report.Check(KeyExists("CLSID"), "HKCR\\CLSID stays");
}

// Bytes that are no type library in place of the DLL's own, so that
// registration has to use the ".tlb" beside it.
void SpoilTypeLib(const std::string& modulePath, Report& report) {
    HANDLE update = BeginUpdateResourceA(modulePath.c_str(), FALSE);
    char notALibrary[] = "not a type library";
    bool replaced = update != nullptr && UpdateResourceA(update, "TYPELIB", MAKEINTRESOURCEA(1),
                                                         MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), notALibrary,
                                                         sizeof notALibrary);
    report.Check(replaced && EndUpdateResourceA(update, FALSE), "the TYPELIB resource can be replaced");
}

// Creation through COM, then the module contract through the exports of the
// DLL that COM loaded.
void CheckCreation(const std::string& modulePath, Report& report) {
    for (std::string name : {"TagIO.zmTagIO", "TagIO.zmTagIO.1"}) {
        CLSID clsid{};
        report.Check(SUCCEEDED(CLSIDFromProgID(std::wstring(name.begin(), name.end()).c_str(), &clsid)) &&
                         IsEqualCLSID(clsid, CLSID_zmTagIO),
                     name + " names the class");
        if (IzmTagIO* tag = Create(clsid, report, "by program id " + name)) tag->Release();
    }
    char loaded[MAX_PATH] = {};
    if (HMODULE module = GetModuleHandleA("zmTagIO.DLL")) GetModuleFileNameA(module, loaded, MAX_PATH);
    report.Check(lstrcmpiA(loaded, modulePath.c_str()) == 0,
                 std::string("COM loaded \"") + loaded + "\", expected \"" + modulePath + "\"");
    auto getClassObject = ModuleExport<zm::comcheck::GetClassObjectFn>("DllGetClassObject");
    auto canUnloadNow = ModuleExport<zm::comcheck::CanUnloadNowFn>("DllCanUnloadNow");
    if (getClassObject == nullptr || canUnloadNow == nullptr) return report.Check(false, "the DLL's COM exports");
    zm::comcheck::CheckModule(getClassObject, canUnloadNow, report);

    // With no object and no lock left, only the cached factory remains: COM
    // may unload the DLL, and loads it again for the next object, created by
    // class id.
    CoFreeUnusedLibrariesEx(0, 0);
    report.Check(GetModuleHandleA("zmTagIO.DLL") == nullptr, "COM unloads the DLL once nothing holds it");
    if (IzmTagIO* tag = Create(CLSID_zmTagIO, report, "after the DLL was unloaded")) tag->Release();
}

std::string ReadWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// The exports for hosts beyond COM: the trace goes to a file handle (the
// first line of MDInit, and nothing once it is off again); both code pages
// are the system's and no other. path: a file that MDInit can open.
void CheckHostExports(const std::string& path, Report& report) {
    IzmTagIO* tag = Create(CLSID_zmTagIO, report, "for the host exports");
    if (tag == nullptr) return;
    auto setTrace = ModuleExport<void(STDAPICALLTYPE*)(int, HANDLE)>("zmTagIOSetTrace");
    auto getCodePage = ModuleExport<uint32_t(STDAPICALLTYPE*)()>("zmTagIOGetCodePage");
    auto setCodePage = ModuleExport<HRESULT(STDAPICALLTYPE*)(uint32_t)>("zmTagIOSetCodePage");
    auto getHostCodePage = ModuleExport<uint32_t(STDAPICALLTYPE*)()>("zmTagIOGetHostCodePage");
    auto setHostCodePage = ModuleExport<HRESULT(STDAPICALLTYPE*)(uint32_t)>("zmTagIOSetHostCodePage");
    auto fieldName = ModuleExport<const char*(STDAPICALLTYPE*)(LONG, LONG)>("zmTagIOFieldName");
    auto isConverted = ModuleExport<int(STDAPICALLTYPE*)(LONG, LONG)>("zmTagIOIsConvertedField");
    const char* title = fieldName ? fieldName(MD_KIND_ID3V2, MD_ID3V2_TIT2) : nullptr;
    report.Check(title && std::string(title) == "TIT2" && isConverted && isConverted(MD_KIND_ID3V2, MD_ID3V2_TIT2) &&
                     !isConverted(MD_KIND_ID3V2, MD_ID3V2_APIC) && !isConverted(MD_KIND_OGG, MD_OGG_TITLE),
                 "the DLL names the fields and tells which hold converted text");
    char directory[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, directory);
    std::string tracePath = std::string(directory) + "zmtagio-trace.txt";
    HANDLE file = CreateFileA(tracePath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    bool exported = setTrace && getCodePage && setCodePage && getHostCodePage && setHostCodePage;
    report.Check(exported && file != INVALID_HANDLE_VALUE,
                 "the DLL exports the trace and code page calls, and a trace file can be made");
    if (exported && file != INVALID_HANDLE_VALUE) {
        MDRecord* record = nullptr;
        setTrace(1, file);
        tag->MDInit(0, path.c_str(), &record, kNoLanguage, 0);
        setTrace(0, nullptr);
        std::string traced = ReadWhole(tracePath), firstLine = "MDInit " + path + " \n";
        tag->MDInit(0, path.c_str(), &record, kNoLanguage, 0);
        report.Check(traced.compare(0, firstLine.size(), firstLine) == 0,
                     "the trace begins with \"" + firstLine + "\": \"" + traced.substr(0, 200) + "\"");
        report.Check(ReadWhole(tracePath) == traced, "nothing is traced once the trace is off");

        report.Check(getCodePage() == GetACP(), "the code page is the system's ANSI code page");
        report.CheckHr(setCodePage(0), S_OK, "zmTagIOSetCodePage(0)");
        report.CheckHr(setCodePage(GetACP() == 1252 ? 1250 : 1252), E_INVALIDARG, "zmTagIOSetCodePage of another");
        report.Check(getCodePage() == GetACP(), "a refused code page changes nothing");
        report.Check(getHostCodePage() == GetACP(), "the host code page is the system's ANSI code page too");
        report.CheckHr(setHostCodePage(0), S_OK, "zmTagIOSetHostCodePage(0)");
        report.CheckHr(setHostCodePage(65001), E_INVALIDARG, "zmTagIOSetHostCodePage of another");
    }
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file), DeleteFileA(tracePath.c_str());
    tag->MDUninit();
    tag->Release();
}

}  // namespace

int main(int argc, char** argv) {
    std::string mode = argc > 1 ? argv[1] : "";
    Report report;
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        report.Check(false, "CoInitializeEx");
    } else if (mode == "registered" && (argc == 4 || argc == 5)) {
        CheckRegistered(argv[2], argv[3], report);
        CheckCreation(argv[2], report);
        if (argc == 5) CheckHostExports(argv[4], report);
    } else if (mode == "unregistered" && argc == 2) {
        CheckUnregistered(report);
    } else if (mode == "spoil-typelib" && argc == 3) {
        SpoilTypeLib(argv[2], report);
    } else {
        std::fprintf(stderr, "usage: zmtagio_client registered <module> <typelib file> [<media file>] |\n"
                             "       unregistered | spoil-typelib <module>\n");
        return 2;
    }
    for (const std::string& failure : report.failures) std::printf("FAIL %s: %s\n", mode.c_str(), failure.c_str());
    std::printf("%s: %s\n", mode.c_str(), report.failures.empty() ? "ok" : "failed");
    CoUninitialize();
    return report.failures.empty() ? 0 : 1;
}
