#include <gtest/gtest.h>

#include "core/date_time.h"
#include "support/test_machine.h"

using namespace qm::core;

TEST(DateTime, FormatsWithThePatternLanguage) {
    FormatSettings us;
    us.dateSeparator = '/';
    us.timeSeparator = ':';
    FormatSettings dotted = us;
    dotted.dateSeparator = '.';
    dotted.timeSeparator = '.';
    DateTime t = EncodeDateTime(2026, 12, 9, 7, 3, 5, 42);
    struct Case {
        const char* format;
        const FormatSettings& settings;
        const char* text;
    };
    const Case cases[] = {
        {"MM/dd/yyyy", us, "12/09/2026"},
        {"mm/dd/yyyy", dotted, "12.09.2026"},  // "/" is the date separator of the settings
        {"mm'/'dd'/'yyyy hh':'nn", dotted, "12/09/2026 07:03"},
        {"HH:mm", us, "07:03"},                // minutes right after an hour
        {"h:n:s.zzz", us, "7:3:5.042"},
        {"d/m/yy", us, "9/12/26"},
        {"h:mm:ss AMPM", us, "7:03:05 AM"},
        {"hh a/p", us, "07 a"},
        {"dddd mmmm", us, "Wednesday December"},
        {"c", us, "12/9/2026 7:03:05 AM"},
    };
    for (const Case& c : cases) EXPECT_EQ(FormatDateTime(c.format, t, c.settings), c.text) << c.format;
    EXPECT_EQ(FormatDateTime("c", EncodeDateTime(2026, 12, 9), us), "12/9/2026");  // no time at midnight
    EXPECT_EQ(FormatDateTime("h:mm AMPM", EncodeDateTime(2026, 1, 1, 12, 30), us), "12:30 PM");
    EXPECT_EQ(FormatDateTime("h:mm AMPM", EncodeDateTime(2026, 1, 1, 0, 30), us), "12:30 AM");
}

TEST(DateTime, TakesItsSettingsFromTheLocale) {
    qm::test::TestMachine m(R"({"locale": {"short_date": "dd/MM/yyyy", "time_format": "HH:mm:ss", "decimal": ","}})");
    FormatSettings f = FormatsFromLocale();
    EXPECT_EQ(f.shortDateFormat, "dd/MM/yyyy");
    EXPECT_EQ(f.longTimeFormat, "hh:nn:ss");
    EXPECT_EQ(f.decimalSeparator, ',');
    EXPECT_EQ(TimeFormatFromLocale("h:mm:ss tt"), "h:nn:ss AMPM");
    EXPECT_EQ(TimeFormatFromLocale("H 'h' mm"), "h 'h' nn");
}

TEST(DateTime, ReadsDatesInTheOrderOfTheShortDateFormat) {
    FormatSettings mdy;
    mdy.shortDateFormat = "MM/dd/yyyy";
    FormatSettings dmy = mdy;
    dmy.shortDateFormat = "dd/MM/yyyy";
    struct Case {
        const char* text;
        const FormatSettings& settings;
        bool ok;
        DateTime value;
    };
    const Case cases[] = {
        {"12/09/2026 07:03", mdy, true, EncodeDateTime(2026, 12, 9, 7, 3)},
        {"12/09/2026", mdy, true, EncodeDateTime(2026, 12, 9)},
        {"09/12/2026", dmy, true, EncodeDateTime(2026, 12, 9)},
        {"1/2/26 1:02:03 PM", mdy, true, EncodeDateTime(2026, 1, 2, 13, 2, 3)},
        {"25/12/2026", mdy, false, 0},  // month 25
        {"02/30/2026", mdy, false, 0},
        {"12-09-2026", mdy, false, 0},
        {"12/09/2026 25:00", mdy, false, 0},
        {"12/09/2026 7:03 tomorrow", mdy, false, 0},
        {"", mdy, false, 0},
    };
    for (const Case& c : cases) {
        DateTime v = -1;
        EXPECT_EQ(TryStrToDateTime(c.text, v, c.settings), c.ok) << c.text;
        if (c.ok) {
            EXPECT_NEAR(v, c.value, 1e-9) << c.text;
        }
    }
    int y, mo, d, h, mi, s, ms;
    DecodeDateTime(EncodeDateTime(1999, 12, 31, 23, 59, 59, 999), y, mo, d, h, mi, s, ms);
    EXPECT_EQ(std::vector<int>({y, mo, d, h, mi, s, ms}), std::vector<int>({1999, 12, 31, 23, 59, 59, 999}));
    EXPECT_EQ(EncodeDateTime(1899, 12, 30), 0.0);
}
