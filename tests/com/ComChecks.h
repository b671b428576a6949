// The contract of the module's exports, class factory and objects, checked
// the same way against the Linux shared object (test_com) and, under Wine,
// against both Windows DLLs (tests/wine). No test framework: each group
// reports its failures as text.
#pragma once

#include <string>
#include <vector>

#include "zmTagIO.h"

namespace zm::comcheck {

using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID clsid, REFIID riid, void** object);
using CanUnloadNowFn = HRESULT(STDAPICALLTYPE*)(void);

// The module under test, reached the way a host reaches it. The checks need
// the module without any object or lock when they start.
struct Exports {
    GetClassObjectFn getClassObject;
    CanUnloadNowFn canUnloadNow;
};

class Report {
public:
    void Check(bool ok, const std::string& what);
    void CheckHr(HRESULT got, HRESULT want, const std::string& what);
    const std::vector<std::string>& failures() const { return failures_; }

private:
    std::vector<std::string> failures_;
};

// DllGetClassObject: results, the one cached factory, unloading while only
// the cache holds it.
void CheckClassObject(const Exports& module, Report& report);
// LockServer and live objects against DllCanUnloadNow.
void CheckLocks(const Exports& module, Report& report);
// CreateInstance without an outer object and QueryInterface of the object.
void CheckObject(const Exports& module, Report& report);
// CreateInstance with an outer object: the aggregation rules.
void CheckAggregation(const Exports& module, Report& report);

}  // namespace zm::comcheck
