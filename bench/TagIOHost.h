// What every bench host shares: the component's object, made the way any
// host makes it, through the exported class object.
#pragma once

#include <cstdio>

#include "zmTagIO.h"

namespace zm::bench {

inline IzmTagIO* CreateTagIO() {
    IClassFactory* factory = nullptr;
    if (DllGetClassObject(CLSID_zmTagIO, IID_IClassFactory, reinterpret_cast<void**>(&factory)) < 0)
        return nullptr;
    IzmTagIO* tagio = nullptr;
    factory->CreateInstance(nullptr, IID_IzmTagIO, reinterpret_cast<void**>(&tagio));
    factory->Release();
    if (tagio == nullptr) std::fprintf(stderr, "cannot create the zmTagIO object\n");
    return tagio;
}

inline constexpr char kNoLanguage[4] = {};

}  // namespace zm::bench
