#pragma once
// Conversions between FILETIME, SYSTEMTIME and the packed DOS date and time, as the Win32
// conversion functions do them. Pure arithmetic: no time zone is involved.

#include <cstdint>

#include "platform/types.h"

namespace qm::platform {

inline constexpr std::uint64_t kTicksPerMillisecond = 10'000;
inline constexpr std::uint64_t kTicksPerDay = 86'400'000ull * kTicksPerMillisecond;
// 1601-01-01 to 1970-01-01.
inline constexpr std::uint64_t kUnixEpochTicks = 116'444'736'000'000'000ull;

// FileTimeToSystemTime (day of week filled in).
SYSTEMTIME FileTimeToSystemTime(FILETIME time);
// SystemTimeToFileTime: false for a field out of range (the day of week is ignored).
bool SystemTimeToFileTime(const SYSTEMTIME& time, FILETIME& result);
// FileTimeToDosDateTime: two-second resolution; false outside 1980 to 2107.
bool FileTimeToDosDateTime(FILETIME time, WORD& dosDate, WORD& dosTime);
// Days since 1601-01-01 of a civil date (proleptic Gregorian).
std::int64_t DaysFromCivil(int year, unsigned month, unsigned day);
unsigned DaysInMonth(int year, unsigned month);

}  // namespace qm::platform
