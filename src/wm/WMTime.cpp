#include "wm/WMTime.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace zm::wm {
#ifdef _WIN32

bool FileTimeToSystemTime(uint64_t fileTime, SystemTime& out) {
    FILETIME ft{DWORD(fileTime), DWORD(fileTime >> 32)};
    SYSTEMTIME st;
    if (!::FileTimeToSystemTime(&ft, &st)) return false;
    out = {st.wYear, st.wMonth, st.wDayOfWeek, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds};
    return true;
}

#else
namespace {

constexpr uint64_t kTicksPerMs = 10000;
constexpr uint64_t kMsPerDay = 86400000;
constexpr int64_t kDaysFrom1601To1970 = 134774;
constexpr uint64_t kFirstRefused = uint64_t(1) << 63;

struct CivilDate {
    int64_t year;
    unsigned month, day;
};

// The proleptic Gregorian date of a day counted from 1 January 1970.
CivilDate DateOfDay(int64_t days) {
    days += 719468;  // from 1 March of year 0
    int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    unsigned dayOfEra = unsigned(days - era * 146097);
    unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    unsigned shiftedMonth = (5 * dayOfYear + 2) / 153;  // 0 is March
    unsigned day = dayOfYear - (153 * shiftedMonth + 2) / 5 + 1;
    unsigned month = shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9;
    return {int64_t(yearOfEra) + era * 400 + (month <= 2), month, day};
}

}  // namespace

bool FileTimeToSystemTime(uint64_t fileTime, SystemTime& out) {
    if (fileTime >= kFirstRefused) return false;
    uint64_t ms = fileTime / kTicksPerMs;
    uint64_t days = ms / kMsPerDay;
    uint64_t inDay = ms % kMsPerDay;
    CivilDate date = DateOfDay(int64_t(days) - kDaysFrom1601To1970);
    out.year = uint16_t(date.year);
    out.month = uint16_t(date.month);
    out.day = uint16_t(date.day);
    out.dayOfWeek = uint16_t((days + 1) % 7);  // 1 January 1601 was a Monday
    out.hour = uint16_t(inDay / 3600000);
    out.minute = uint16_t(inDay / 60000 % 60);
    out.second = uint16_t(inDay / 1000 % 60);
    out.milliseconds = uint16_t(inDay % 1000);
    return true;
}

#endif
}  // namespace zm::wm
