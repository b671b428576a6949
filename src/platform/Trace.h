// Diagnostic trace: one printf-style line per event, ending in a space and a
// line feed, written to a handle the host chose. Off at load; the component
// formats every line and writes only while the host has switched it on.
#pragma once

#include "platform/File.h"

namespace zm::platform {

// Format language: %d, %ld, %u, %lu, %x, %c and %s. The format is cut at 127
// characters and the formatted text at 510, so a line is at most 512 bytes.
void TraceLine(const char* format, ...) __attribute__((format(printf, 1, 2)));

void SetTrace(bool enabled, File::Native handle);

}  // namespace zm::platform
