#include "collectors/event_logs.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <limits>
#include <memory>
#include <optional>

#include "collectors/collector_guard.h"
#include "collectors/registry_values.h"
#include "core/result_list.h"
#include "core/sections.h"
#include "core/settings.h"
#include "core/trace_log.h"
#include "platform/platform.h"
#include "platform/registry_accessor.h"
#include "platform/text.h"
#include "platform/time.h"

namespace qm::collectors {

using namespace qm::platform;
using core::sections::kWindowsLog;

namespace {

const std::string kEventlogKey = "SYSTEM\\CurrentControlSet\\Services\\Eventlog";

// The insertion strings a message takes from its record, and the entries the argument array
// has: every insert a message can name (%1 to %99) reads an entry, empty beyond the record's.
constexpr std::size_t kRecordInserts = 20;
constexpr std::size_t kInsertEntries = 99;
constexpr DWORD kMessageBuffer = 30000;
constexpr std::size_t kMessageField = 250;

// A text value of the open key; none when it is missing or of another type, which counts as
// absent (with a trace-log line).
std::optional<std::string> TextValue(std::string_view name, RegistryAccessor& reg) {
    std::optional<DWORD> type = reg.GetDataType(name);
    if (!type) return std::nullopt;
    std::string value = ReadRegText(name, reg);
    if (*type != REG_SZ && *type != REG_EXPAND_SZ) return std::nullopt;
    return value;
}

// The value of a key below the event-log service key; none when the key does not open.
std::optional<std::string> EventlogText(const std::string& subKey, std::string_view name) {
    RegistryAccessor reg(HKEY_LOCAL_MACHINE);
    if (!reg.OpenKeyReadOnly(kEventlogKey + "\\" + subKey)) return std::nullopt;
    return TextValue(name, reg);
}

const char* TypeText(WORD type) {
    switch (type) {
        case EVENTLOG_ERROR_TYPE: return "Error";
        case EVENTLOG_WARNING_TYPE: return "Warning";
        case EVENTLOG_INFORMATION_TYPE: return "Information";
        case EVENTLOG_AUDIT_SUCCESS: return "Success audit";
        case EVENTLOG_AUDIT_FAILURE: return "Failure audit";
        default: return "";
    }
}

// What the record field of a message holds: trimmed, double quotes blanked, each CR LF one
// blank, at most 250 characters (the field quoting rule does the rest).
std::string MessageField(std::string_view message) {
    std::string text = Trim(message);
    std::replace(text.begin(), text.end(), '"', ' ');
    std::string field;
    for (std::size_t i = 0; i < text.size() && field.size() < kMessageField; ++i) {
        bool lineEnd = text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n';
        field += lineEnd ? ' ' : text[i];
        if (lineEnd) ++i;
    }
    return field;
}

// The fields of one EVENTLOGRECORD that the collector uses.
struct EventRecord {
    WORD type = 0;
    DWORD eventId = 0;
    DWORD timeGenerated = 0;
    std::string source;
    std::vector<std::string> strings;  // at most kRecordInserts
};

class RecordBytes {
public:
    RecordBytes(const char* data, std::size_t size) : data_(data), size_(size) {}
    std::uint32_t U32(std::size_t at) const {
        std::uint32_t v = 0;
        std::memcpy(&v, data_ + at, 4);
        return v;
    }
    std::uint16_t U16(std::size_t at) const {
        std::uint16_t v = 0;
        std::memcpy(&v, data_ + at, 2);
        return v;
    }
    // The zero-terminated text at the offset, which must end before the limit.
    bool Text(std::size_t& at, std::size_t limit, std::string* text) const {
        const void* zero = at < limit ? std::memchr(data_ + at, '\0', limit - at) : nullptr;
        if (zero == nullptr) return false;
        std::size_t end = static_cast<std::size_t>(static_cast<const char*>(zero) - data_);
        if (text != nullptr) text->assign(data_ + at, end - at);
        at = end + 1;
        return true;
    }
    std::size_t Size() const { return size_; }

private:
    const char* data_;
    std::size_t size_;
};

// The first record of what a read handed back. False for a damaged one: every length and
// offset must lie within the record, and the record within the bytes read.
bool ParseFirstRecord(const char* data, std::size_t bytesRead, EventRecord& record) {
    namespace f = event_record;
    RecordBytes b(data, bytesRead);
    if (bytesRead < f::kFixedSize + 4) return false;
    std::size_t length = b.U32(f::kLength);
    if (length < f::kFixedSize + 4 || length > bytesRead || b.U32(f::kReserved) != f::kSignature ||
        b.U32(length - 4) != length)
        return false;
    // The variable part ends where the record's length stands again.
    std::size_t end = length - 4;
    std::size_t at = f::kFixedSize;
    if (!b.Text(at, end, &record.source) || !b.Text(at, end, nullptr)) return false;
    auto within = [&](std::size_t offset, std::size_t size) { return offset >= f::kFixedSize && offset <= end && size <= end - offset; };
    std::size_t strings = b.U32(f::kStringOffset);
    if (!within(b.U32(f::kUserSidOffset), b.U32(f::kUserSidLength)) || !within(b.U32(f::kDataOffset), b.U32(f::kDataLength)) ||
        !within(strings, 0))
        return false;
    std::uint16_t count = b.U16(f::kNumStrings);
    for (std::uint16_t i = 0; i < count; ++i) {
        std::string text;
        if (!b.Text(strings, end, &text)) return false;
        if (record.strings.size() < kRecordInserts) record.strings.push_back(std::move(text));
    }
    record.type = b.U16(f::kEventType);
    record.eventId = b.U32(f::kEventId);
    record.timeGenerated = b.U32(f::kTimeGenerated);
    return true;
}

void WriteRecord(const std::string& logName, const EventRecord& record, EventLog& eventLog) {
    if (!eventLog.Accept(logName, record.type, record.source)) return;
    std::vector<std::string> inserts = record.strings;
    inserts.resize(kInsertEntries);
    std::string message = MessageField(GetEventMessage(logName, record.source, record.eventId, inserts));
    core::AddResultLine(kWindowsLog, logName,
                        core::QuoteFields({record.source, TypeText(record.type), std::to_string(record.eventId & 0xFFFF),
                                           core::FormatDateTime("yyyy/mm/dd hh:nn:ss", EventTimeToDateTime(record.timeGenerated)),
                                           message}));
}

// A log's settings, every source passing and nothing counted yet.
TSource NewSource(std::string name, std::int32_t error, std::int32_t warning, std::int32_t refused, std::int32_t max,
                  std::string displayNameFile) {
    TSource source;
    source.name = std::move(name);
    source.errorLimit = error;
    source.warningLimit = warning;
    source.refusedLimit = refused;
    source.max = max;
    source.displayNameFile = std::move(displayNameFile);
    return source;
}

// One log, newest record first, as far back as MAX says.
void ReadLog(const std::string& serverName, const std::string& logName, std::int32_t max, EventLog& eventLog) {
    std::unique_ptr<EventLogHandle> log = platform::EventLog().OpenEventLog(serverName, logName);
    if (!log) return;
    DWORD oldest = 0, count = 0;
    if (!log->GetOldestEventLogRecord(oldest) || !log->GetNumberOfEventLogRecords(count)) {
        log->CloseEventLog();
        return;
    }
    const std::int64_t newest = static_cast<std::int64_t>(oldest) + count - 1;
    const std::int64_t stop = max == -1 ? -1 : newest - max;
    DWORD bytesRead = 0, needed = 0;
    char probe = 0;
    std::vector<char> buffer;
    // The first read only tells the size of the newest record.
    if (log->ReadEventLog(EVENTLOG_SEQUENTIAL_READ | EVENTLOG_BACKWARDS_READ, 0, &probe, 1, bytesRead, needed) ||
        GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed == 0 || needed >= kMaxEventLogReadBuffer) {
        log->CloseEventLog();
        return;
    }
    buffer.resize(needed + 1u);
    // Reads one record into the buffer, which grows once when the service asks for more; a
    // size that does not grow, or one beyond any record, ends the log.
    auto read = [&](std::int64_t number) {
        if (number < 0 || number > std::numeric_limits<DWORD>::max()) return false;
        for (int attempt = 0; attempt < 2; ++attempt) {
            if (log->ReadEventLog(EVENTLOG_SEEK_READ | EVENTLOG_BACKWARDS_READ, static_cast<DWORD>(number), buffer.data(),
                                  static_cast<DWORD>(buffer.size()), bytesRead, needed))
                return true;
            if (attempt > 0 || GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed >= kMaxEventLogReadBuffer ||
                std::size_t{needed} + 1 <= buffer.size())
                return false;
            buffer.resize(needed + 1u);
        }
        return false;
    };
    for (std::int64_t number = newest; number > stop && read(number); --number) {
        EventRecord record;
        if (ParseFirstRecord(buffer.data(), std::min<std::size_t>(bytesRead, buffer.size()), record))
            WriteRecord(logName, record, eventLog);
    }
    log->CloseEventLog();
}

}  // namespace

EventLog::EventLog(std::string serverName, std::int32_t error, std::int32_t warning, std::int32_t refused,
                   std::int32_t max, std::string displayNameFile)
    : serverName_(std::move(serverName)) {
    sources_.push_back(NewSource("", error, warning, refused, max, std::move(displayNameFile)));
}

void EventLog::AddSource(const std::string& logName, std::int32_t error, std::int32_t warning, std::int32_t refused,
                         std::int32_t max, const std::string& displayNameFile) {
    if (sources_.size() == 1 && sources_.front().name.empty()) sources_.clear();
    sources_.push_back(NewSource(logName, error, warning, refused, max, displayNameFile));
}

void EventLog::ReadFilters(const IniImage& settings, const std::string& logName) {
    for (const std::string& key : settings.KeyNames(logName)) {
        bool limit = false;
        for (const char* name : {"ERROR", "WARNING", "REFUSED", "MAX"}) limit = limit || EqualsNoCase(key, name);
        if (!limit) AddFilter(logName, key, settings.ReadInteger(logName, key, 0));
    }
}

void EventLog::AddFilter(const std::string& logName, const std::string& sourceName, int value) {
    auto source = std::find_if(sources_.rbegin(), sources_.rend(), [&](const TSource& s) { return s.name == logName; });
    if (source == sources_.rend() || (value != 1 && value != 2)) return;
    source->filterList.push_back(sourceName);
    if (source->filterMode == 2) source->filterMode = value == 1 ? 1 : 0;
    else if (source->filterMode == 1 && value == 2) source->filterList.clear();
}

bool EventLog::Accept(const std::string& logName, WORD eventType, const std::string& sourceName) {
    bool result = false;
    for (TSource& s : sources_) {
        if (s.name != logName && !s.name.empty()) continue;
        std::int32_t* count = eventType == EVENTLOG_ERROR_TYPE     ? &s.errorCount
                              : eventType == EVENTLOG_WARNING_TYPE ? &s.warningCount
                              : eventType == EVENTLOG_AUDIT_FAILURE ? &s.failureAuditCount
                                                                    : nullptr;
        std::int32_t limit = eventType == EVENTLOG_ERROR_TYPE ? s.errorLimit
                             : eventType == EVENTLOG_WARNING_TYPE ? s.warningLimit
                                                                  : s.refusedLimit;
        result = count != nullptr && (*count < limit || limit == -1) && SourcePassesFilter(s, sourceName);
        if (result && *count < std::numeric_limits<std::int32_t>::max()) ++*count;
    }
    return result;
}

bool SourcePassesFilter(const TSource& source, const std::string& sourceName) {
    if (source.filterMode == 2) return true;
    bool listed = std::find(source.filterList.begin(), source.filterList.end(), sourceName) != source.filterList.end();
    return source.filterMode == 1 ? listed : !listed;
}

void ReadWindowsLogs() {
    // A failure while configuring ends the collector silently; what it wrote stays.
    StopSilently([] {
        std::vector<std::string> logs;
        {
            RegistryAccessor reg(HKEY_LOCAL_MACHINE);
            if (!reg.OpenKeyReadOnly(kEventlogKey)) return;
            logs = reg.GetKeyNames();
        }
        IniImage settings = IniImage::FromFile(Files(), core::GetSettingsFileName());
        EventLog eventLog("", 10, -1, -1, -1, "");
        for (const std::string& log : logs) {
            std::string displayNameFile = EventlogText(log, "DisplayNameFile").value_or("");
            eventLog.AddSource(log, settings.ReadInteger(log, "ERROR", 5), settings.ReadInteger(log, "WARNING", 5),
                               settings.ReadInteger(log, "REFUSED", 5), settings.ReadInteger(log, "MAX", 50),
                               ExpandEnvVars(displayNameFile));
            eventLog.ReadFilters(settings, log);
        }
        ReadEventLogRecords("", eventLog);
    });
}

void ReadEventLogRecords(const std::string& serverName, EventLog& eventLog) {
    for (std::size_t i = 0; i < eventLog.Sources().size(); ++i) {
        const TSource& source = eventLog.Sources()[i];
        // An error in one log costs that log only.
        LogAndGoOn([&] { ReadLog(serverName, source.name, source.max, eventLog); });
    }
}

std::string GetEventMessage(const std::string& logName, const std::string& sourceName, DWORD eventNumber,
                            const std::vector<std::string>& insertionStrings) {
    std::optional<std::string> files = EventlogText(logName + "\\" + sourceName, "EventMessageFile");
    if (!files) files = EventlogText(logName, "DisplayNameFile");
    if (!files) return std::string();
    std::string_view rest = *files;
    while (true) {
        std::size_t semicolon = rest.find(';');
        std::string path = ExpandEnvVars(rest.substr(0, semicolon));
        if (!path.empty() && FileExists(Files(), path)) {
            if (std::unique_ptr<MessageModule> module = platform::EventLog().LoadLibraryEx(path, LOAD_LIBRARY_AS_DATAFILE)) {
                std::string text;
                DWORD length = platform::EventLog().FormatMessage(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY,
                                                         module.get(), eventNumber, 0, text, kMessageBuffer, &insertionStrings);
                module->FreeLibrary();
                if (length > 0) return text;
            }
        }
        if (semicolon == std::string_view::npos) return std::string();
        rest.remove_prefix(semicolon + 1);
    }
}

std::string ExpandEnvVars(std::string_view text) {
    std::string out;
    while (!text.empty()) {
        std::size_t open = text.find('%');
        out += text.substr(0, open);
        if (open == std::string_view::npos) break;
        std::size_t close = text.find('%', open + 1);
        if (close == std::string_view::npos) {
            out += text.substr(open + 1);
            break;
        }
        std::string_view name = text.substr(open + 1, close - open - 1);
        if (!name.empty()) out += ReadEnvironmentVariable(Environment(), name);
        text.remove_prefix(close + 1);
    }
    return out;
}

core::DateTime EventTimeToDateTime(std::uint32_t seconds) {
    FILETIME utc{kUnixEpochTicks + std::uint64_t{seconds} * 1000 * kTicksPerMillisecond};
    // The daylight rule of the event's own date; where the call is missing (9x) or fails, the
    // bias in force now is the nearest there is.
    SYSTEMTIME local;
    if (Clock().SystemTimeToTzSpecificLocalTime(nullptr, FileTimeToSystemTime(utc), local)) return core::FromSystemTime(local);
    return core::FromSystemTime(FileTimeToSystemTime(Clock().FileTimeToLocalFileTime(utc)));
}

}  // namespace qm::collectors
