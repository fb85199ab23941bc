#include "platform/time.h"

namespace qm::platform {

// Days from 1601-01-01; the civil-calendar algorithm shifted so that March starts the year.
std::int64_t DaysFromCivil(int year, unsigned month, unsigned day) {
    std::int64_t y = year - (month <= 2 ? 1 : 0);
    std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    auto yoe = static_cast<std::int64_t>(y - era * 400);
    std::int64_t mp = (static_cast<std::int64_t>(month) + 9) % 12;
    std::int64_t doy = (153 * mp + 2) / 5 + static_cast<std::int64_t>(day) - 1;
    std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    std::int64_t daysFrom1970 = era * 146097 + doe - 719468;
    return daysFrom1970 + 134774;  // 1601-01-01 .. 1970-01-01
}

unsigned DaysInMonth(int year, unsigned month) {
    static constexpr unsigned kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) return 0;
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

SYSTEMTIME FileTimeToSystemTime(FILETIME time) {
    std::uint64_t days = time.ticks / kTicksPerDay;
    std::uint64_t rest = time.ticks % kTicksPerDay;
    // Civil date from days since 1970 (inverse of DaysFromCivil).
    std::int64_t z = static_cast<std::int64_t>(days) - 134774 + 719468;
    std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    std::int64_t doe = z - era * 146097;
    std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    std::int64_t y = yoe + era * 400;
    std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    std::int64_t mp = (5 * doy + 2) / 153;
    std::int64_t d = doy - (153 * mp + 2) / 5 + 1;
    std::int64_t m = mp < 10 ? mp + 3 : mp - 9;
    SYSTEMTIME st;
    st.wYear = static_cast<WORD>(y + (m <= 2 ? 1 : 0));
    st.wMonth = static_cast<WORD>(m);
    st.wDay = static_cast<WORD>(d);
    st.wDayOfWeek = static_cast<WORD>((days + 1) % 7);  // 1601-01-01 was a Monday
    std::uint64_t ms = rest / kTicksPerMillisecond;
    st.wMilliseconds = static_cast<WORD>(ms % 1000);
    st.wSecond = static_cast<WORD>(ms / 1000 % 60);
    st.wMinute = static_cast<WORD>(ms / 60000 % 60);
    st.wHour = static_cast<WORD>(ms / 3600000);
    return st;
}

bool SystemTimeToFileTime(const SYSTEMTIME& t, FILETIME& result) {
    if (t.wYear < 1601 || t.wYear > 30827 || t.wMonth < 1 || t.wMonth > 12 || t.wDay < 1 ||
        t.wDay > DaysInMonth(t.wYear, t.wMonth) || t.wHour > 23 || t.wMinute > 59 || t.wSecond > 59 ||
        t.wMilliseconds > 999)
        return false;
    auto days = static_cast<std::uint64_t>(DaysFromCivil(t.wYear, t.wMonth, t.wDay));
    std::uint64_t ms = ((t.wHour * 60ull + t.wMinute) * 60ull + t.wSecond) * 1000ull + t.wMilliseconds;
    result.ticks = days * kTicksPerDay + ms * kTicksPerMillisecond;
    return true;
}

bool FileTimeToDosDateTime(FILETIME time, WORD& dosDate, WORD& dosTime) {
    SYSTEMTIME st = FileTimeToSystemTime(time);
    if (st.wYear < 1980 || st.wYear > 2107) return false;
    dosDate = static_cast<WORD>(((st.wYear - 1980) << 9) | (st.wMonth << 5) | st.wDay);
    dosTime = static_cast<WORD>((st.wHour << 11) | (st.wMinute << 5) | (st.wSecond / 2));
    return true;
}

}  // namespace qm::platform
