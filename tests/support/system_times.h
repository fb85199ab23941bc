#pragma once
// A SYSTEMTIME spelled as a date and a time of day.

#include "platform/types.h"

namespace qm::test {

inline platform::SYSTEMTIME At(platform::WORD year, platform::WORD month, platform::WORD day, platform::WORD hour = 0,
                               platform::WORD minute = 0, platform::WORD second = 0, platform::WORD ms = 0) {
    platform::SYSTEMTIME t;
    t.wYear = year;
    t.wMonth = month;
    t.wDay = day;
    t.wHour = hour;
    t.wMinute = minute;
    t.wSecond = second;
    t.wMilliseconds = ms;
    return t;
}

}  // namespace qm::test
