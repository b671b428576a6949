// The contract of the module's exports, class factory and objects, checked
// the same way against the Linux shared object (test_com) and, under Wine,
// against both Windows DLLs (tests/wine). No test framework: failures are
// collected as text.
#pragma once

#include <string>
#include <vector>

#include "zmTagIO.h"

namespace zm::comcheck {

using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID clsid, REFIID riid, void** object);
using CanUnloadNowFn = HRESULT(STDAPICALLTYPE*)(void);

struct Report {
    void Check(bool ok, const std::string& what) {
        if (!ok) failures.push_back(what);
    }
    void CheckHr(HRESULT got, HRESULT want, const std::string& what);
    std::vector<std::string> failures;
};

// DllGetClassObject and its one cached factory, LockServer, objects with and
// without an outer object, each against DllCanUnloadNow. The module holds no
// object or lock when the checks start, and none when they end.
void CheckModule(GetClassObjectFn getClassObject, CanUnloadNowFn canUnloadNow, Report& report);

}  // namespace zm::comcheck
