// The shared object as a host loads it: by path, with dlopen, through its
// exports only.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "com/ComChecks.h"

namespace zm::comcheck {
namespace {

TEST(ComModule, Contract) {
    void* module = dlopen(ZM_BINARY_DIR "/src/com/libzmTagIO.so", RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module, nullptr) << dlerror();
    auto getClassObject = reinterpret_cast<GetClassObjectFn>(dlsym(module, "DllGetClassObject"));
    auto canUnloadNow = reinterpret_cast<CanUnloadNowFn>(dlsym(module, "DllCanUnloadNow"));
    ASSERT_TRUE(getClassObject != nullptr && canUnloadNow != nullptr);

    // Hosts on many threads may ask for the class object first, at once: all
    // of them get the one factory, and no second one is made and lost.
    std::vector<void*> factories(8, nullptr);
    {
        std::vector<std::jthread> threads;
        for (void*& factory : factories)
            threads.emplace_back([&] { getClassObject(CLSID_zmTagIO, IID_IClassFactory, &factory); });
    }
    EXPECT_NE(factories[0], nullptr);
    for (void* factory : factories) {
        EXPECT_EQ(factory, factories[0]);
        if (factory != nullptr) static_cast<IUnknown*>(factory)->Release();
    }

    Report report;
    CheckModule(getClassObject, canUnloadNow, report);
    for (const std::string& failure : report.failures) ADD_FAILURE() << failure;

    // Without a registry, registration does nothing and succeeds.
    for (const char* name : {"DllRegisterServer", "DllUnregisterServer"}) {
        auto entry = reinterpret_cast<HRESULT (*)()>(dlsym(module, name));
        ASSERT_NE(entry, nullptr) << name;
        EXPECT_EQ(entry(), ZMTAGIO_S_OK) << name;
    }
    dlclose(module);
}

}  // namespace
}  // namespace zm::comcheck
