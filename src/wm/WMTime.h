// Calendar time from the runtime's FILETIME (100 ns units since 1 January
// 1601 UTC), as Win32's FileTimeToSystemTime gives it.
#pragma once

#include <cstdint>

namespace zm::wm {

struct SystemTime {
    uint16_t year, month, dayOfWeek, day, hour, minute, second, milliseconds;
};

// False for times of 2^63 and above, which Win32 refuses as well.
bool FileTimeToSystemTime(uint64_t fileTime, SystemTime& out);

}  // namespace zm::wm
