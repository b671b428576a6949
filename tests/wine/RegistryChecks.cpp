// What registration leaves in the registry and what the DLL carries.
#include <windows.h>
#include <oleauto.h>

#include <string>
#include <vector>

#include "WineChecks.h"
#include "com/Resource.h"

namespace zm::winecheck {
namespace {

constexpr char kClassKey[] = "CLSID\\{D7BC36D7-5776-499A-96A6-297F3182E882}";
constexpr char kClassId[] = "{D7BC36D7-5776-499A-96A6-297F3182E882}";
constexpr char kTypeLibKey[] = "TypeLib\\{F870C70B-DDF8-40D7-88B6-B459BCCC906D}";
constexpr char kLibraryId[] = "{F870C70B-DDF8-40D7-88B6-B459BCCC906D}";
constexpr char kTypeLibInterfaceKey[] = "Interface\\{3A748FCD-9456-4AC5-9354-3E3D27CB321D}";

bool KeyExists(const std::string& key) {
    HKEY handle;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return false;
    RegCloseKey(handle);
    return true;
}

// The string value (the default one for an empty name); "<missing>" when the
// key or value is not there.
std::string ReadValue(const std::string& key, const char* name) {
    char data[1024] = {};
    DWORD size = sizeof data - 1;
    if (RegGetValueA(HKEY_CLASSES_ROOT, key.c_str(), *name ? name : nullptr, RRF_RT_REG_SZ, nullptr, data,
                     &size) != ERROR_SUCCESS)
        return "<missing>";
    return data;
}

struct Expected {
    std::string key;
    const char* name;   // "" for the default value
    std::string value;  // checked unless the name is null: the key alone must exist
};

std::string DirectoryOf(const std::string& path) { return path.substr(0, path.find_last_of("\\/:") + 1); }

std::string VersionString(const std::vector<char>& info, const char* name) {
    char* text = nullptr;
    UINT length = 0;
    std::string query = std::string("\\StringFileInfo\\040904B0\\") + name;
    if (!VerQueryValueA(info.data(), query.c_str(), reinterpret_cast<void**>(&text), &length)) return "<missing>";
    return std::string(text, length > 0 ? length - 1 : 0);
}

void CheckResources(const std::string& modulePath, comcheck::Report& report) {
    DWORD ignored = 0;
    std::vector<char> info(GetFileVersionInfoSizeA(modulePath.c_str(), &ignored));
    report.Check(!info.empty() && GetFileVersionInfoA(modulePath.c_str(), 0, DWORD(info.size()), info.data()),
                 "the DLL has a version resource");
    if (info.empty()) return;
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    bool found = VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length);
    report.Check(found && fixed->dwFileVersionMS == 0x00010000 && fixed->dwFileVersionLS == 22 &&
                     fixed->dwProductVersionMS == 0x00010000 && fixed->dwProductVersionLS == 22,
                 "file and product version 1.0.0.22");
    const std::pair<const char*, const char*> strings[] = {
        {"ProductName", "TagIO Module"}, {"InternalName", "zmTagIO"},      {"OriginalFilename", "zmTagIO.DLL"},
        {"FileVersion", "1.0.0.22"},     {"ProductVersion", "1.0.0.22"}, {"OLESelfRegister", ""}};
    for (const auto& [name, value] : strings) {
        std::string got = VersionString(info, name);
        report.Check(got == value, std::string("version string ") + name + " is \"" + got + "\"");
    }

    HMODULE module = LoadLibraryExA(modulePath.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    char name[64] = {};
    report.Check(module != nullptr && LoadStringA(module, IDS_PROJNAME, name, sizeof name) > 0 &&
                     std::string(name) == "TagIO",
                 std::string("string 100 is \"") + name + "\"");
    if (module != nullptr) FreeLibrary(module);
}

}  // namespace

void CheckRegistered(const std::string& modulePath, const std::string& typeLibPath, comcheck::Report& report) {
    std::string classKey = kClassKey;
    std::string version = std::string(kTypeLibKey) + "\\1.0";
    const char* platform = sizeof(void*) == 4 ? "\\409\\win32" : "\\409\\win64";
    const Expected table[] = {
        {"TagIO.zmTagIO.1", "", "zmTagIO Class"},
        {"TagIO.zmTagIO.1\\CLSID", "", kClassId},
        {"TagIO.zmTagIO", "", "zmTagIO Class"},
        {"TagIO.zmTagIO\\CLSID", "", kClassId},
        {"TagIO.zmTagIO\\CurVer", "", "TagIO.zmTagIO.1"},
        {classKey, "", "zmTagIO Class"},
        {classKey + "\\ProgID", "", "TagIO.zmTagIO.1"},
        {classKey + "\\VersionIndependentProgID", "", "TagIO.zmTagIO"},
        {classKey + "\\Programmable", nullptr, ""},
        {classKey + "\\InprocServer32", "", modulePath},
        {classKey + "\\InprocServer32", "ThreadingModel", "Both"},
        {classKey + "\\TypeLib", "", kLibraryId},
        {version, "", "TagIO 1.0 Type Library"},
        {version + platform, "", typeLibPath},
        {version + "\\HELPDIR", "", DirectoryOf(typeLibPath)},
        {kTypeLibInterfaceKey, "", "IzmTagIO"},
    };
    for (const Expected& expected : table) {
        if (expected.name == nullptr) {
            report.Check(KeyExists(expected.key), "key HKCR\\" + expected.key + " exists");
            continue;
        }
        std::string got = ReadValue(expected.key, expected.name);
        report.Check(got == expected.value, "HKCR\\" + expected.key + " [" + expected.name + "] is \"" + got +
                                                "\", expected \"" + expected.value + "\"");
    }
    // The run leaves a stale subkey under the class key before registering:
    // the class key is marked ForceRemove, so registration starts it afresh.
    report.Check(!KeyExists(classKey + "\\Stale"), "registration removes what the class key held before");
    CheckResources(modulePath, report);
}

void CheckUnregistered(comcheck::Report& report) {
    for (const char* key : {"TagIO.zmTagIO.1", "TagIO.zmTagIO", kClassKey, kTypeLibKey, kTypeLibInterfaceKey})
        report.Check(!KeyExists(key), std::string("HKCR\\") + key + " is gone");
    report.Check(KeyExists("CLSID"), "HKCR\\CLSID stays");
}

void SpoilTypeLib(const std::string& modulePath, comcheck::Report& report) {
    HANDLE update = BeginUpdateResourceA(modulePath.c_str(), FALSE);
    report.Check(update != nullptr, "BeginUpdateResource");
    if (update == nullptr) return;
    char notALibrary[] = "not a type library";
    bool replaced = UpdateResourceA(update, "TYPELIB", MAKEINTRESOURCEA(1),
                                    MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), notALibrary,
                                    sizeof notALibrary);
    report.Check(replaced, "the TYPELIB resource can be replaced");
    report.Check(EndUpdateResourceA(update, !replaced), "EndUpdateResource");
    wchar_t widePath[MAX_PATH] = {};
    MultiByteToWideChar(CP_ACP, 0, modulePath.c_str(), -1, widePath, MAX_PATH);
    ITypeLib* library = nullptr;
    report.Check(FAILED(LoadTypeLib(widePath, &library)), "the spoilt module yields no type library");
    if (library != nullptr) library->Release();
}

}  // namespace zm::winecheck
