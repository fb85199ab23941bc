#pragma once
// Date-time values as the agent keeps them: days since 1899-12-30 with the time of day as the
// fraction (0 means "no date"), and the process-wide formatting settings taken from the
// machine's locale, with the pattern language the agent's formats are written in:
//   d dd ddd dddd  day, two-digit day, short and long day name
//   m mm mmm mmmm  month (minutes right after an hour), two-digit, short and long name
//   yy yyyy        year; h hh hour; n nn minute; s ss second; z zzz millisecond
//   c              short date and long time (the time left out at midnight)
//   a/p ampm       12-hour clock markers: "a" or "p" in the case written, the settings' strings
//   /  :           the date and time separators of the settings; '...' "..." literal text
// Letters are read without regard to case.

#include <string>
#include <string_view>

#include "platform/types.h"

namespace qm::core {

using DateTime = double;

struct FormatSettings {
    char dateSeparator = '/';
    char timeSeparator = ':';
    std::string shortDateFormat = "M/d/yyyy";
    std::string longTimeFormat = "h:mm:ss AMPM";
    std::string timeAMString = "AM";
    std::string timePMString = "PM";
    char decimalSeparator = '.';
};

// The process-wide settings; made from the locale of the installed platform at first use.
FormatSettings& ProcessFormats();
// Forgets them, so that the next use reads the locale again.
void ResetProcessFormats();
// The settings of the installed platform's user locale.
FormatSettings FormatsFromLocale();
// A Windows locale time format ("h:mm:ss tt", "HH:mm:ss") in the pattern language above.
std::string TimeFormatFromLocale(std::string_view windowsFormat);

DateTime EncodeDateTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0, int ms = 0);
bool TryEncodeDate(int year, int month, int day, DateTime& result);
void DecodeDateTime(DateTime value, int& year, int& month, int& day, int& hour, int& minute, int& second, int& ms);
DateTime FromSystemTime(const platform::SYSTEMTIME& time);
// The local date and time of the installed platform.
DateTime Now();

std::string FormatDateTime(std::string_view format, DateTime value, const FormatSettings& settings);
std::string FormatDateTime(std::string_view format, DateTime value);
// The short date and long time of the process settings, the time left out at midnight.
std::string DateTimeToStr(DateTime value);
// Reads a date in the order of the short date format (month, day and year for "M/d/yyyy")
// with the date separator, then an optional time (hours, minutes, seconds, milliseconds with
// the time separator, an optional AM or PM); false for anything else or an impossible date.
bool TryStrToDateTime(std::string_view text, DateTime& result, const FormatSettings& settings);

}  // namespace qm::core
