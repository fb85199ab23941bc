#include <gtest/gtest.h>

#include <cstdint>
#include <utility>

#include "platform/time.h"
#include "support/system_times.h"

using namespace qm::platform;
using qm::test::At;

TEST(TimeConversions, SystemTimesAndFileTimesConvertBothWaysWithTheDayOfTheWeek) {
    struct Case {
        const char* name;
        SYSTEMTIME time;
        std::uint64_t ticks;
        WORD dayOfWeek;  // 0 is Sunday
    };
    const Case cases[] = {
        {"the first instant", At(1601, 1, 1), 0, 1},
        {"the Unix epoch", At(1970, 1, 1), kUnixEpochTicks, 4},
        {"a leap day, to the millisecond", At(2000, 2, 29, 12, 34, 56, 789), 125963012967890000ull, 2},
        {"the last millisecond of a day", At(2026, 12, 9, 23, 59, 59, 999),
         155570ull * kTicksPerDay + 86399999ull * kTicksPerMillisecond, 3},
        {"the DOS epoch", At(1980, 1, 1), 138426ull * kTicksPerDay, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FILETIME ft;
        ASSERT_TRUE(SystemTimeToFileTime(c.time, ft));
        EXPECT_EQ(ft.ticks, c.ticks);
        SYSTEMTIME back = FileTimeToSystemTime(ft);
        SYSTEMTIME expected = c.time;
        expected.wDayOfWeek = c.dayOfWeek;
        EXPECT_EQ(back, expected);
    }
}

TEST(TimeConversions, ASystemTimeOutOfRangeIsRefused) {
    const std::pair<const char*, SYSTEMTIME> refused[] = {
        {"the year before the first", At(1600, 12, 31)},
        {"the year after the last", At(30828, 1, 1)},
        {"month 0", At(2026, 0, 1)},
        {"month 13", At(2026, 13, 1)},
        {"day 0", At(2026, 1, 0)},
        {"the 29th of February of a century", At(1900, 2, 29)},
        {"the 31st of April", At(2026, 4, 31)},
        {"hour 24", At(2026, 1, 1, 24)},
        {"minute 60", At(2026, 1, 1, 0, 60)},
        {"second 60", At(2026, 1, 1, 0, 0, 60)},
        {"millisecond 1000", At(2026, 1, 1, 0, 0, 0, 1000)},
    };
    for (const auto& [name, time] : refused) {
        FILETIME ft{12345};
        EXPECT_FALSE(SystemTimeToFileTime(time, ft)) << name;
    }
    SYSTEMTIME wrongDay = At(2026, 12, 9);
    wrongDay.wDayOfWeek = 6;  // any day of the week is taken; it is not checked
    const std::pair<const char*, SYSTEMTIME> accepted[] = {
        {"the last year", At(30827, 12, 31, 23, 59, 59, 999)},
        {"the 29th of February of a leap year", At(2024, 2, 29)},
        {"the 29th of February of a fourth century", At(2000, 2, 29)},
        {"a wrong day of the week", wrongDay},
    };
    for (const auto& [name, time] : accepted) {
        FILETIME ft;
        EXPECT_TRUE(SystemTimeToFileTime(time, ft)) << name;
        EXPECT_EQ(FileTimeToSystemTime(ft).wYear, time.wYear) << name;
    }
}

TEST(TimeConversions, DosDatesAndTimesHoldTwoSecondStepsFrom1980To2107) {
    struct Case {
        const char* name;
        SYSTEMTIME time;
        bool fits;
        WORD date, time2;
    };
    const Case cases[] = {
        {"the first DOS day", At(1980, 1, 1), true, 0x0021, 0x0000},
        {"an odd second goes down", At(2026, 12, 9, 7, 3, 5, 42), true,
         static_cast<WORD>((46 << 9) | (12 << 5) | 9), static_cast<WORD>((7 << 11) | (3 << 5) | 2)},
        {"the last DOS second", At(2107, 12, 31, 23, 59, 59), true, 65439, 49021},
        {"before 1980", At(1979, 12, 31, 23, 59, 59), false, 0, 0},
        {"after 2107", At(2108, 1, 1), false, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FILETIME ft;
        ASSERT_TRUE(SystemTimeToFileTime(c.time, ft));
        WORD date = 0, time = 0;
        EXPECT_EQ(FileTimeToDosDateTime(ft, date, time), c.fits);
        if (!c.fits) continue;
        EXPECT_EQ(date, c.date);
        EXPECT_EQ(time, c.time2);
    }
}

TEST(TimeConversions, DaysOfTheCalendar) {
    struct Case {
        int year;
        unsigned month;
        unsigned days;
    };
    const Case months[] = {{2023, 1, 31}, {2023, 2, 28}, {2024, 2, 29}, {1900, 2, 28}, {2000, 2, 29},
                           {2023, 4, 30}, {2023, 12, 31}, {2023, 0, 0},  {2023, 13, 0}};
    for (const Case& c : months) EXPECT_EQ(DaysInMonth(c.year, c.month), c.days) << c.year << "-" << c.month;
    EXPECT_EQ(DaysFromCivil(1601, 1, 1), 0);
    EXPECT_EQ(DaysFromCivil(1601, 12, 31), 364);
    EXPECT_EQ(DaysFromCivil(1970, 1, 1), 134774);
    EXPECT_EQ(DaysFromCivil(2000, 3, 1) - DaysFromCivil(2000, 2, 28), 2);
    EXPECT_EQ(DaysFromCivil(2100, 3, 1) - DaysFromCivil(2100, 2, 28), 1);
}
