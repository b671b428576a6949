// The shared object as a host loads it: by path, with dlopen, through its
// exports only.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "com/ComChecks.h"

namespace zm::comcheck {
namespace {

constexpr char kLibrary[] = ZM_BINARY_DIR "/src/com/libzmTagIO.so";

class ComModule : public ::testing::Test {
protected:
    void SetUp() override {
        handle_ = dlopen(kLibrary, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(handle_, nullptr) << dlerror();
        module_.getClassObject = reinterpret_cast<GetClassObjectFn>(dlsym(handle_, "DllGetClassObject"));
        module_.canUnloadNow = reinterpret_cast<CanUnloadNowFn>(dlsym(handle_, "DllCanUnloadNow"));
        ASSERT_NE(module_.getClassObject, nullptr);
        ASSERT_NE(module_.canUnloadNow, nullptr);
    }
    void TearDown() override {
        if (handle_ != nullptr) dlclose(handle_);
    }
    template <typename Function>
    Function Export(const char* name) {
        return reinterpret_cast<Function>(dlsym(handle_, name));
    }
    void* handle_ = nullptr;
    Exports module_{};
    Report report_;
};

#define EXPECT_NO_FAILURES(report) \
    for (const std::string& failure : (report).failures()) ADD_FAILURE() << failure

TEST_F(ComModule, ClassObject) {
    CheckClassObject(module_, report_);
    EXPECT_NO_FAILURES(report_);
}

TEST_F(ComModule, LockCount) {
    CheckLocks(module_, report_);
    EXPECT_NO_FAILURES(report_);
}

TEST_F(ComModule, Object) {
    CheckObject(module_, report_);
    EXPECT_NO_FAILURES(report_);
}

TEST_F(ComModule, Aggregation) {
    CheckAggregation(module_, report_);
    EXPECT_NO_FAILURES(report_);
}

TEST_F(ComModule, RegistrationDoesNothingWithoutARegistry) {
    using Entry = HRESULT (*)();
    for (const char* name : {"DllRegisterServer", "DllUnregisterServer"}) {
        auto entry = Export<Entry>(name);
        ASSERT_NE(entry, nullptr) << name;
        EXPECT_EQ(entry(), ZMTAGIO_S_OK) << name;
    }
}

// Hosts on many threads may ask for the class object at once; all of them
// get the one factory, and no second one is made and lost.
TEST_F(ComModule, FirstRequestsRaceForOneFactory) {
    constexpr int kThreads = 8;
    std::vector<void*> factories(kThreads, nullptr);
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i)
        threads.emplace_back([&, i] { module_.getClassObject(CLSID_zmTagIO, IID_IClassFactory, &factories[i]); });
    for (auto& thread : threads) thread.join();
    for (void* factory : factories) {
        EXPECT_EQ(factory, factories[0]);
        if (factory != nullptr) static_cast<IUnknown*>(factory)->Release();
    }
    EXPECT_EQ(module_.canUnloadNow(), ZMTAGIO_S_OK);
}

}  // namespace
}  // namespace zm::comcheck
