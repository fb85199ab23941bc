#pragma once
// The event-log collector: the newest error, warning and failure-audit records of every event
// log of the machine, as "WindowsLog" records with their source, type, event number, time and
// message text. How many of each kind, how far back each log is scanned and which sources
// count are set per log in the settings file, in a section named like the log.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/date_time.h"
#include "platform/ini_image.h"
#include "platform/types.h"

namespace qm::collectors {

// The settings and counters of one log.
struct TSource {
    std::vector<std::string> filterList;  // source names
    std::uint8_t filterMode = 2;          // 2: every source passes, 1: only listed ones, 0: listed ones do not
    std::int32_t failureAuditCount = 0;
    std::int32_t warningCount = 0;
    std::int32_t errorCount = 0;
    std::int32_t errorLimit = -1;    // records of each kind kept; -1: no limit
    std::int32_t warningLimit = -1;
    std::int32_t refusedLimit = -1;
    std::int32_t max = -1;           // records scanned, newest first; -1: the whole log
    std::string name;                // the log's name; empty for the default source
    std::string displayNameFile;     // environment variables expanded
};

// The reader: a server (empty: this machine) and the settings of its logs, in order.
class EventLog {
public:
    // Holds one source without a name, with the limits given.
    EventLog(std::string serverName, std::int32_t error, std::int32_t warning, std::int32_t refused, std::int32_t max,
             std::string displayNameFile);
    // Appends a log's source with every source passing and zero counters; the unnamed default
    // source goes when it is the only one.
    void AddSource(const std::string& logName, std::int32_t error, std::int32_t warning, std::int32_t refused,
                   std::int32_t max, const std::string& displayNameFile);
    // Every key of the log's section but the four limits (ERROR, WARNING, REFUSED and MAX, in
    // any case) becomes a filter entry, with its value as a whole number.
    void ReadFilters(const platform::IniImage& settings, const std::string& logName);
    // One filter entry of the last source of the log: 1 includes the source, 2 excludes it,
    // other values change nothing. The first entry decides the mode; an exclude after
    // includes empties the list, an include after an exclude acts as one.
    void AddFilter(const std::string& logName, const std::string& sourceName, int value);
    // Whether a record of the log, of the type and source, is written; counts it when it is.
    bool Accept(const std::string& logName, platform::WORD eventType, const std::string& sourceName);

    const std::string& ServerName() const { return serverName_; }
    const std::vector<TSource>& Sources() const { return sources_; }

private:
    std::string serverName_;
    std::vector<TSource> sources_;
};

// Mode 2: every name passes; mode 1: the listed names; mode 0: the names not listed. Names
// compare exactly, case included.
bool SourcePassesFilter(const TSource& source, const std::string& sourceName);

// The entry: the logs of the event-log service key with the settings file's sections, read
// newest first. Nothing without the key; a failure while configuring ends it silently.
void ReadWindowsLogs();
// Reads every log of the reader and writes the records it accepts. A log that does not open
// or read is skipped; an error in one log is logged and the next log is read.
void ReadEventLogRecords(const std::string& serverName, EventLog& eventLog);
// The message of an event from the first of the source's message files that has one, with
// the insertion strings filled in; empty when none has.
std::string GetEventMessage(const std::string& logName, const std::string& sourceName, platform::DWORD eventNumber,
                            const std::vector<std::string>& insertionStrings);
// Each %NAME% replaced by the variable's value (empty when it is not set) in one pass from
// left to right; what a value brings is never searched again, and a "%" without a partner is
// removed.
std::string ExpandEnvVars(std::string_view text);
// An event time (seconds since 1970-01-01 UTC) as the machine's local date and time, with the
// daylight rule of that date.
core::DateTime EventTimeToDateTime(std::uint32_t seconds);

}  // namespace qm::collectors
