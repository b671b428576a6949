#include "platform/Trace.h"

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace zm::platform {
namespace {

constexpr size_t kFormatBuffer = 128;
constexpr size_t kLineBuffer = 512;
constexpr char kLineEnd[] = {' ', '\n'};

std::atomic<File::Native> traceHandle{};

}  // namespace

void TraceLine(const char* format, ...) {
    // A line nobody will see is not formatted: the output is the same and
    // the read path stays cheap.
    if (!TraceOn()) return;
    char fmt[kFormatBuffer] = {};
    std::strncpy(fmt, format, sizeof fmt - 1);
    char line[kLineBuffer] = {};
    va_list args;
    va_start(args, format);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    int n = std::vsnprintf(line, kLineBuffer - sizeof kLineEnd + 1, fmt, args);
#pragma GCC diagnostic pop
    va_end(args);
    if (n < 0) n = 0;
    // Text that does not fit is cut so that the line end still fits.
    size_t length = std::min<size_t>(size_t(n), kLineBuffer - sizeof kLineEnd);
    std::memcpy(line + length, kLineEnd, sizeof kLineEnd);
#ifdef _WIN32
    DWORD written;
    WriteFile(traceHandle.load(), line, DWORD(length + sizeof kLineEnd), &written, nullptr);
#else
    ssize_t ignored = ::write(traceHandle.load(), line, length + sizeof kLineEnd);
    (void)ignored;
#endif
}

void SetTrace(bool enabled, File::Native handle) {
    traceHandle = handle;
    traceOn = enabled;
}

}  // namespace zm::platform
