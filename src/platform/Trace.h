// Diagnostic trace: one printf-style line per event, ending in a space and a
// line feed, written to a handle the host chose. Off at load; the component
// formats every line and writes only while the host has switched it on.
#pragma once

#include <atomic>

#include "platform/File.h"

namespace zm::platform {

inline std::atomic<bool> traceOn{false};

// A loop over a tag's frames asks this before each of its lines: a call with
// a variable argument list saves its registers even when it writes nothing.
inline bool TraceOn() { return traceOn.load(std::memory_order_relaxed); }

// Format language: %d, %ld, %u, %lu, %x, %c and %s. The format is cut at 127
// characters and the formatted text at 510, so a line is at most 512 bytes.
void TraceLine(const char* format, ...) __attribute__((format(printf, 1, 2)));

void SetTrace(bool enabled, File::Native handle);

}  // namespace zm::platform
