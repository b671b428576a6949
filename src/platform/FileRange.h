#pragma once

#include <cstdint>

namespace zm::platform {

// A byte range of a file: [start, end).
struct FileRange {
    uint64_t start = 0;
    uint64_t end = 0;
};

}  // namespace zm::platform
