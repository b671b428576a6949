// The exports for hosts beyond COM, on Windows: the trace goes to a file
// handle, the code page is the system's.
#include <objbase.h>

#include <string>

#include "WineChecks.h"

namespace zm::winecheck {
namespace {

using SetTraceFn = void(STDAPICALLTYPE*)(int, HANDLE);
using GetCodePageFn = uint32_t(STDAPICALLTYPE*)();
using SetCodePageFn = HRESULT(STDAPICALLTYPE*)(uint32_t);

constexpr char kNoLanguage[4] = {};

std::string ReadWhole(const std::string& path) {
    std::string bytes;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return bytes;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
    CloseHandle(file);
    return bytes;
}

// The first line of MDInit, and nothing once the trace is off again.
void CheckTrace(IzmTagIO* tag, const std::string& path, comcheck::Report& report) {
    auto setTrace = ModuleExport<SetTraceFn>("zmTagIOSetTrace");
    report.Check(setTrace != nullptr, "the DLL exports zmTagIOSetTrace");
    if (setTrace == nullptr) return;
    char directory[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, directory);
    std::string tracePath = std::string(directory) + "zmtagio-trace.txt";
    HANDLE file = CreateFileA(tracePath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    report.Check(file != INVALID_HANDLE_VALUE, "a trace file can be made");
    if (file == INVALID_HANDLE_VALUE) return;

    MDRecord* record = nullptr;
    setTrace(1, file);
    tag->MDInit(0, path.c_str(), &record, kNoLanguage, 0);
    setTrace(0, nullptr);
    std::string traced = ReadWhole(tracePath);
    tag->MDInit(0, path.c_str(), &record, kNoLanguage, 0);
    CloseHandle(file);

    std::string firstLine = "MDInit " + path + " \n";
    report.Check(traced.compare(0, firstLine.size(), firstLine) == 0,
                 "the trace begins with \"" + firstLine + "\": \"" + traced.substr(0, 200) + "\"");
    report.Check(ReadWhole(tracePath) == traced, "nothing is traced once the trace is off");
    DeleteFileA(tracePath.c_str());
}

void CheckCodePage(comcheck::Report& report) {
    auto getCodePage = ModuleExport<GetCodePageFn>("zmTagIOGetCodePage");
    auto setCodePage = ModuleExport<SetCodePageFn>("zmTagIOSetCodePage");
    report.Check(getCodePage != nullptr && setCodePage != nullptr, "the DLL exports the code page calls");
    if (getCodePage == nullptr || setCodePage == nullptr) return;
    report.Check(getCodePage() == GetACP(), "the code page is the system's ANSI code page");
    report.CheckHr(setCodePage(0), S_OK, "zmTagIOSetCodePage(0)");
    report.CheckHr(setCodePage(GetACP() == 1252 ? 1250 : 1252), E_INVALIDARG,
                   "zmTagIOSetCodePage of another code page");
    report.Check(getCodePage() == GetACP(), "a refused code page changes nothing");
}

}  // namespace

void CheckHostExports(const std::string& path, comcheck::Report& report) {
    void* object = nullptr;
    report.CheckHr(CoCreateInstance(CLSID_zmTagIO, nullptr, CLSCTX_INPROC_SERVER, IID_IzmTagIO, &object), S_OK,
                   "CoCreateInstance for the host exports");
    auto* tag = static_cast<IzmTagIO*>(object);
    if (tag == nullptr) return;
    CheckTrace(tag, path, report);
    CheckCodePage(report);
    tag->MDUninit();
    tag->Release();
}

}  // namespace zm::winecheck
