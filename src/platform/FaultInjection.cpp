#include "platform/FaultInjection.h"

#include <atomic>
#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#endif

namespace zm::platform::fault {
namespace {
std::atomic<bool> armed{false};
std::atomic<uint64_t> calls{0};
std::atomic<uint64_t> target{0};
std::atomic<Kind> armedKind{Kind::Error};
}  // namespace

void Arm(uint64_t nth, Kind kind) {
    calls = 0;
    target = nth;
    armedKind = kind;
    armed = true;
}

void Disarm() { armed = false; }

uint64_t Calls() { return calls.load(); }

void Reset() {
    armed = false;
    calls = 0;
}

bool Hit(Op, Kind* kind) {
    if (!armed.load(std::memory_order_relaxed)) return false;
    if (++calls != target.load()) return false;
    if (kind) *kind = armedKind.load();
#ifdef _WIN32
    SetLastError(ERROR_GEN_FAILURE);
#else
    errno = EIO;
#endif
    return true;
}

bool AllowWrite(size_t& want) {
    Kind kind;
    if (!Hit(Op::Write, &kind)) return true;
    if (kind == Kind::Error) return false;
    want /= 2;
    return true;
}

}  // namespace zm::platform::fault
