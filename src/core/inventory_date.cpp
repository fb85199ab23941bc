#include "core/inventory_date.h"

#include <cmath>

#include "core/process_state.h"
#include "core/profile_files.h"
#include "core/trace_log.h"
#include "platform/ini_image.h"
#include "platform/text.h"

namespace qm::core {

namespace {

// The process settings switched to the stored date form for the life of the object.
class StoredDateFormats {
public:
    StoredDateFormats() : saved_(ProcessFormats()) {
        FormatSettings& f = ProcessFormats();
        f.dateSeparator = '/';
        f.shortDateFormat = "MM/dd/yyyy";
        f.timeSeparator = ':';
        f.longTimeFormat = "HH:mm";
    }
    ~StoredDateFormats() {
        FormatSettings& f = ProcessFormats();
        f.dateSeparator = saved_.dateSeparator;
        f.shortDateFormat = saved_.shortDateFormat;
        f.timeSeparator = saved_.timeSeparator;
        f.longTimeFormat = saved_.longTimeFormat;
    }
    StoredDateFormats(const StoredDateFormats&) = delete;
    StoredDateFormats& operator=(const StoredDateFormats&) = delete;

private:
    FormatSettings saved_;
};

int Part(DateTime value, int which) {
    int y, m, d, h, n, s, ms;
    DecodeDateTime(value, y, m, d, h, n, s, ms);
    return which == 0 ? d : which == 1 ? m : y;
}

}  // namespace

void SaveInventoryDate() {
    {
        StoredDateFormats formats;
        WriteProfileString(State().chkIdPath, "Inventory", "Date", DateTimeToStr(Now()));
    }
    WriteLog("Exit Save Inventory Date");
}

DateTime LoadInventoryDate() {
    StoredDateFormats formats;
    std::string text = ReadProfileString(State().chkIdPath, "Inventory", "Date", "");
    DateTime value = 0;
    if (text.empty() || !TryStrToDateTime(text, value, ProcessFormats())) return 0;
    return value;
}

bool IsInventoryDue() {
    DateTime last = LoadInventoryDate();
    DateTime now = Now();
    int period = 40;
    for (std::size_t i = 1; i <= ParamCount(); ++i) {
        const std::string& p = ParamStr(i);
        if (platform::AsciiUpper(p.substr(0, 2)) != "/N") continue;
        if (!platform::ParseWholeInteger(p.substr(2, 2), period)) period = 0;
        break;
    }
    if (last == 0) return true;
    if (MonthOfDate(now) != MonthOfDate(last) || YearOfDate(now) != YearOfDate(last)) return true;
    return std::trunc(last + period) <= std::trunc(now);
}

std::uint16_t DayOfDate(DateTime value) { return static_cast<std::uint16_t>(Part(value, 0)); }
std::uint16_t MonthOfDate(DateTime value) { return static_cast<std::uint16_t>(Part(value, 1)); }
std::uint16_t YearOfDate(DateTime value) { return static_cast<std::uint16_t>(Part(value, 2)); }

}  // namespace qm::core
