// The checks that the Wine client runs against a registered zmTagIO.DLL.
#pragma once

#include <windows.h>

#include <string>

#include "com/ComChecks.h"

namespace zm::winecheck {

// Every key and value of the registrar script, the type library's keys, the
// version resource and the project name. modulePath: the DLL as registered;
// typeLibPath: the file the type library was loaded from (the DLL or the
// ".tlb" beside it).
void CheckRegistered(const std::string& modulePath, const std::string& typeLibPath, comcheck::Report& report);
// Both program ids, the class key, the type library and its interface are
// gone; "CLSID" itself stays.
void CheckUnregistered(comcheck::Report& report);
// Creation through COM by program id and class id, then the module contract
// through the exports of the DLL that COM loaded.
void CheckCreation(const std::string& modulePath, comcheck::Report& report);
// The exports beyond COM: the trace written to a file handle and the code
// page. path: a file that MDInit can open.
void CheckHostExports(const std::string& path, comcheck::Report& report);
// Reads, edits and updates a file of each kind through the interface.
void CheckMp3Session(const std::string& path, comcheck::Report& report);
void CheckOggSession(const std::string& path, comcheck::Report& report);
void CheckWmaSession(const std::string& path, comcheck::Report& report);
// Replaces the type library in a copy of the DLL with bytes that are none,
// so that registration has to use the ".tlb" beside it.
void SpoilTypeLib(const std::string& modulePath, comcheck::Report& report);

// An export of the zmTagIO.DLL that COM loaded; null when there is none.
template <typename Function>
Function ModuleExport(const char* name) {
    HMODULE module = GetModuleHandleA("zmTagIO.DLL");
    if (module == nullptr) return nullptr;
    // GetProcAddress gives every export one generic type.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// The texts that the media files carry before the session edits them, and
// the texts that the session writes; the run script checks the files with
// independent readers afterwards.
inline constexpr char kOriginalTitle[] = "Wine Title";
inline constexpr char kEditedTitle[] = "Edited under Wine";
inline constexpr char kEditedArtist[] = "V1 Artist";

}  // namespace zm::winecheck
