#include "core/date_time.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "platform/platform.h"
#include "platform/text.h"
#include "platform/time.h"

namespace qm::core {

namespace {

constexpr const char* kShortDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* kLongDays[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
constexpr const char* kShortMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr const char* kLongMonths[] = {"January", "February", "March",     "April",   "May",      "June",
                                       "July",    "August",   "September", "October", "November", "December"};

// Days from 1601-01-01 to 1899-12-30.
constexpr std::int64_t kEpochDays = 109205;

std::optional<FormatSettings>& ProcessFormatsSlot() {
    static std::optional<FormatSettings> settings;
    return settings;
}

std::string Two(int n) {
    std::string s = std::to_string(n);
    return s.size() < 2 ? "0" + s : s;
}

std::string Pad(int n, std::size_t width) {
    std::string s = std::to_string(n);
    while (s.size() < width) s = "0" + s;
    return s;
}

char Lower(char c) { return platform::AsciiLower(c); }

struct Parts {
    int year, month, day, hour, minute, second, ms, dayOfWeek;
};

Parts Split(DateTime value) {
    Parts p{};
    DecodeDateTime(value, p.year, p.month, p.day, p.hour, p.minute, p.second, p.ms);
    auto days = static_cast<std::int64_t>(std::trunc(value));
    p.dayOfWeek = static_cast<int>(((days % 7) + 7 + 6) % 7);  // 1899-12-30 was a Saturday
    return p;
}

class Formatter {
public:
    Formatter(const FormatSettings& s, const Parts& p) : s_(s), p_(p) {}

    std::string Run(std::string_view f, int depth = 0) {
        std::string out;
        bool useAmPm = HasAmPm(f);
        bool lastWasHour = false;
        std::size_t i = 0;
        while (i < f.size()) {
            char c = f[i];
            char lc = Lower(c);
            std::size_t n = Count(f, i, c);
            if (c == '\'' || c == '"') {
                std::size_t close = f.find(c, i + 1);
                out += f.substr(i + 1, (close == std::string_view::npos ? f.size() : close) - i - 1);
                i = close == std::string_view::npos ? f.size() : close + 1;
                continue;
            }
            if (c == '/') {
                out += s_.dateSeparator;
                ++i;
                continue;
            }
            if (c == ':') {
                out += s_.timeSeparator;
                ++i;
                continue;
            }
            if (lc == 'a' && StartsWithNoCase(f.substr(i), "a/p")) {
                out += (p_.hour < 12 ? (f[i] == 'A' ? "A" : "a") : (f[i] == 'A' ? "P" : "p"));
                i += 3;
                continue;
            }
            if (lc == 'a' && StartsWithNoCase(f.substr(i), "ampm")) {
                out += p_.hour < 12 ? s_.timeAMString : s_.timePMString;
                i += 4;
                continue;
            }
            switch (lc) {
                case 'y':
                    out += n <= 2 ? Two(p_.year % 100) : Pad(p_.year, 4);
                    break;
                case 'm':
                    if (lastWasHour && n <= 2) out += n == 1 ? std::to_string(p_.minute) : Two(p_.minute);
                    else if (n == 1) out += std::to_string(p_.month);
                    else if (n == 2) out += Two(p_.month);
                    else if (n == 3) out += kShortMonths[p_.month - 1];
                    else out += kLongMonths[p_.month - 1];
                    break;
                case 'd':
                    if (n == 1) out += std::to_string(p_.day);
                    else if (n == 2) out += Two(p_.day);
                    else if (n == 3) out += kShortDays[p_.dayOfWeek];
                    else out += kLongDays[p_.dayOfWeek];
                    break;
                case 'h': {
                    int h = p_.hour;
                    if (useAmPm) {
                        h %= 12;
                        if (h == 0) h = 12;
                    }
                    out += n == 1 ? std::to_string(h) : Two(h);
                    break;
                }
                case 'n':
                    out += n == 1 ? std::to_string(p_.minute) : Two(p_.minute);
                    break;
                case 's':
                    out += n == 1 ? std::to_string(p_.second) : Two(p_.second);
                    break;
                case 'z':
                    out += n >= 3 ? Pad(p_.ms, 3) : std::to_string(p_.ms);
                    break;
                case 'c':
                    if (depth < 2) {
                        out += Run(s_.shortDateFormat, depth + 1);
                        if (p_.hour != 0 || p_.minute != 0 || p_.second != 0) out += " " + Run(s_.longTimeFormat, depth + 1);
                    }
                    break;
                default:
                    out.append(n, c);
                    break;
            }
            if (lc != ' ') lastWasHour = lc == 'h';
            i += lc == 'c' ? 1 : n;
        }
        return out;
    }

private:
    static std::size_t Count(std::string_view f, std::size_t i, char c) {
        std::size_t n = 1;
        while (i + n < f.size() && Lower(f[i + n]) == Lower(c)) ++n;
        return n;
    }
    static bool StartsWithNoCase(std::string_view s, std::string_view p) { return platform::StartsWithNoCase(s, p); }
    static bool HasAmPm(std::string_view f) {
        for (std::size_t i = 0; i < f.size(); ++i)
            if (platform::StartsWithNoCase(f.substr(i), "a/p") || platform::StartsWithNoCase(f.substr(i), "ampm"))
                return true;
        return false;
    }

    const FormatSettings& s_;
    const Parts& p_;
};

bool ReadNumber(std::string_view s, std::size_t& i, int& value, std::size_t maxDigits = 4) {
    std::size_t start = i;
    value = 0;
    while (i < s.size() && i - start < maxDigits && s[i] >= '0' && s[i] <= '9') value = value * 10 + (s[i++] - '0');
    return i > start;
}

void SkipBlanks(std::string_view s, std::size_t& i) {
    while (i < s.size() && s[i] == ' ') ++i;
}

}  // namespace

FormatSettings& ProcessFormats() {
    auto& slot = ProcessFormatsSlot();
    if (!slot) slot = FormatsFromLocale();
    return *slot;
}

void ResetProcessFormats() { ProcessFormatsSlot().reset(); }

std::string TimeFormatFromLocale(std::string_view w) {
    std::string out;
    for (std::size_t i = 0; i < w.size(); ++i) {
        char c = w[i];
        if (c == 't') {
            bool two = i + 1 < w.size() && w[i + 1] == 't';
            out += two ? "AMPM" : "A/P";
            if (two) ++i;
        } else if (c == 'H' || c == 'h') {
            out += 'h';
        } else if (c == 'm' || c == 'M') {
            out += 'n';
        } else if (c == '\'') {
            std::size_t close = w.find('\'', i + 1);
            std::size_t end = close == std::string_view::npos ? w.size() : close;
            out += '\'';
            out += w.substr(i + 1, end - i - 1);
            out += '\'';
            i = end;
        } else {
            out += c;
        }
    }
    return out;
}

FormatSettings FormatsFromLocale() {
    FormatSettings s;
    auto& sys = platform::System();
    auto value = [&](platform::LCTYPE type) { return sys.GetLocaleInfo(platform::LOCALE_USER_DEFAULT, type); };
    if (std::string v = value(platform::LOCALE_SDATE); !v.empty()) s.dateSeparator = v[0];
    if (std::string v = value(platform::LOCALE_STIME); !v.empty()) s.timeSeparator = v[0];
    if (std::string v = value(platform::LOCALE_SDECIMAL); !v.empty()) s.decimalSeparator = v[0];
    if (std::string v = value(platform::LOCALE_SSHORTDATE); !v.empty()) s.shortDateFormat = v;
    if (std::string v = value(platform::LOCALE_STIMEFORMAT); !v.empty()) s.longTimeFormat = TimeFormatFromLocale(v);
    if (std::string v = value(platform::LOCALE_S1159); !v.empty()) s.timeAMString = v;
    if (std::string v = value(platform::LOCALE_S2359); !v.empty()) s.timePMString = v;
    return s;
}

bool TryEncodeDate(int year, int month, int day, DateTime& result) {
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 ||
        day > static_cast<int>(platform::DaysInMonth(year, static_cast<unsigned>(month))))
        return false;
    result = static_cast<double>(platform::DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) -
                                 kEpochDays);
    return true;
}

DateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int ms) {
    DateTime date = 0;
    TryEncodeDate(year, month, day, date);
    double time = (((hour * 60.0 + minute) * 60.0 + second) * 1000.0 + ms) / 86400000.0;
    return date >= 0 ? date + time : date - time;
}

void DecodeDateTime(DateTime value, int& year, int& month, int& day, int& hour, int& minute, int& second, int& ms) {
    // The whole days count toward zero; the time is the fraction's size, before or after 1899.
    double days = std::trunc(value);
    auto totalMs = static_cast<std::int64_t>(std::llround(std::fabs(value - days) * 86400000.0));
    if (totalMs >= 86400000) {
        totalMs -= 86400000;
        days += 1;
    }
    platform::FILETIME ft{static_cast<std::uint64_t>(static_cast<std::int64_t>(days) + kEpochDays) * platform::kTicksPerDay};
    platform::SYSTEMTIME st = platform::FileTimeToSystemTime(ft);
    year = st.wYear;
    month = st.wMonth;
    day = st.wDay;
    hour = static_cast<int>(totalMs / 3600000);
    minute = static_cast<int>(totalMs / 60000 % 60);
    second = static_cast<int>(totalMs / 1000 % 60);
    ms = static_cast<int>(totalMs % 1000);
}

DateTime FromSystemTime(const platform::SYSTEMTIME& t) {
    return EncodeDateTime(t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds);
}

DateTime Now() { return FromSystemTime(platform::Clock().GetLocalTime()); }

std::string FormatDateTime(std::string_view format, DateTime value, const FormatSettings& settings) {
    Parts p = Split(value);
    return Formatter(settings, p).Run(format.empty() ? "c" : format);
}

std::string FormatDateTime(std::string_view format, DateTime value) {
    return FormatDateTime(format, value, ProcessFormats());
}

std::string DateTimeToStr(DateTime value) { return FormatDateTime("c", value); }

bool TryStrToDateTime(std::string_view text, DateTime& result, const FormatSettings& settings) {
    // The order of day, month and year as the short date format gives them.
    std::string order;
    for (char c : settings.shortDateFormat) {
        char l = Lower(c);
        if ((l == 'd' || l == 'm' || l == 'y') && order.find(l) == std::string::npos) order += l;
    }
    if (order.size() != 3) order = "mdy";
    std::size_t i = 0;
    SkipBlanks(text, i);
    int numbers[3] = {0, 0, 0};
    std::size_t yearDigits = 0;
    for (int k = 0; k < 3; ++k) {
        std::size_t start = i;
        if (!ReadNumber(text, i, numbers[k])) return false;
        if (order[static_cast<std::size_t>(k)] == 'y') yearDigits = i - start;
        if (k < 2) {
            if (i >= text.size() || text[i] != settings.dateSeparator) return false;
            ++i;
        }
    }
    auto at = [&](char part) { return numbers[std::min<std::size_t>(order.find(part), 2)]; };
    int day = at('d'), month = at('m'), year = at('y');
    if (yearDigits <= 2) year += year < 50 ? 2000 : 1900;
    DateTime date = 0;
    if (!TryEncodeDate(year, month, day, date)) return false;
    SkipBlanks(text, i);
    int hour = 0, minute = 0, second = 0, ms = 0;
    if (i < text.size()) {
        if (!ReadNumber(text, i, hour, 2)) return false;
        if (i < text.size() && text[i] == settings.timeSeparator) {
            ++i;
            if (!ReadNumber(text, i, minute, 2)) return false;
            if (i < text.size() && text[i] == settings.timeSeparator) {
                ++i;
                if (!ReadNumber(text, i, second, 2)) return false;
                if (i < text.size() && text[i] == settings.decimalSeparator) {
                    ++i;
                    if (!ReadNumber(text, i, ms, 3)) return false;
                }
            }
        }
        SkipBlanks(text, i);
        std::string_view rest = text.substr(i);
        bool pm = platform::EqualsNoCase(rest, settings.timePMString) || platform::EqualsNoCase(rest, "PM");
        bool am = platform::EqualsNoCase(rest, settings.timeAMString) || platform::EqualsNoCase(rest, "AM");
        if (!rest.empty() && !pm && !am) return false;
        if ((pm || am) && (hour < 1 || hour > 12)) return false;
        if (pm && hour < 12) hour += 12;
        if (am && hour == 12) hour = 0;
        if (hour > 23 || minute > 59 || second > 59) return false;
    }
    result = date + (((hour * 60.0 + minute) * 60.0 + second) * 1000.0 + ms) / 86400000.0;
    return true;
}

}  // namespace qm::core
