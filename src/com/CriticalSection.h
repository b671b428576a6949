// A lock for the one place where the module's objects meet: the creation of
// the cached class factory. The Windows
// build keeps to the platform's own critical section, which needs no thread
// support from the C++ runtime.
#pragma once

#ifdef _WIN32
#include <windows.h>
#else
#include <mutex>
#endif

namespace zm::com {

class CriticalSection {
public:
#ifdef _WIN32
    CriticalSection() { InitializeCriticalSection(&section_); }
    ~CriticalSection() { DeleteCriticalSection(&section_); }
    void Enter() { EnterCriticalSection(&section_); }
    void Leave() { LeaveCriticalSection(&section_); }
#else
    CriticalSection() = default;
    void Enter() { mutex_.lock(); }
    void Leave() { mutex_.unlock(); }
#endif
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;

    // Held for the guard's scope.
    class Guard {
    public:
        explicit Guard(CriticalSection& section) : section_(section) { section_.Enter(); }
        ~Guard() { section_.Leave(); }
        Guard(const Guard&) = delete;
        Guard& operator=(const Guard&) = delete;

    private:
        CriticalSection& section_;
    };

private:
#ifdef _WIN32
    CRITICAL_SECTION section_;
#else
    std::mutex mutex_;
#endif
};

}  // namespace zm::com
