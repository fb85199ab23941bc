#include "platform/sim/sim_event_log.h"

#include <nlohmann/json.hpp>
#include <optional>

#include "platform/platform.h"
#include "platform/sim/host_files.h"
#include "platform/sim/machine_file_reader.h"
#include "platform/sim/message_table.h"
#include "platform/sim/pe_resources.h"
#include "platform/system.h"
#include "platform/text.h"
#include "platform/time.h"

namespace qm::sim {

using namespace qm::platform;
using nlohmann::json;

namespace {

// Where a value stands in a machine file, for the messages that refuse it.
struct Place {
    std::string file;
    std::string pointer;
    [[noreturn]] void Fail(const std::string& what) const {
        throw MachineError(file + ": " + (pointer.empty() ? "/" : pointer) + ": " + what);
    }
    Place At(const std::string& key) const { return {file, pointer + "/" + key}; }
};

std::string TextOf(const json& v, const Place& at, const CodePageTable& cp) {
    if (!v.is_string()) at.Fail("expected a text");
    return cp.FromUtf8(v.get<std::string>());
}

// A whole number, also written as hexadecimal text ("0xC0000417").
std::uint64_t WholeOf(const json& v, const Place& at, std::uint64_t most) {
    std::uint64_t n = 0;
    if (v.is_number_unsigned()) {
        n = v.get<std::uint64_t>();
    } else if (v.is_string() && StartsWithNoCase(v.get<std::string>(), "0x") && v.get<std::string>().size() > 2 &&
               v.get<std::string>().size() <= 18 &&
               v.get<std::string>().find_first_not_of("0123456789abcdefABCDEF", 2) == std::string::npos) {
        n = std::stoull(v.get<std::string>().substr(2), nullptr, 16);
    } else {
        at.Fail("expected a whole number from 0 to " + std::to_string(most) + ", or hexadecimal text such as \"0x1F\"");
    }
    if (n > most) at.Fail("expected a whole number from 0 to " + std::to_string(most));
    return n;
}

// Seconds since 1970-01-01 UTC, or a UTC time "2026-11-30 14:05:10".
DWORD SecondsOf(const json& v, const Place& at) {
    if (v.is_number_unsigned()) return static_cast<DWORD>(WholeOf(v, at, 0xFFFFFFFFu));
    unsigned y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    char sep = 0;
    if (!v.is_string() || std::sscanf(v.get<std::string>().c_str(), "%4u-%2u-%2u%c%2u:%2u:%2u", &y, &mo, &d, &sep, &h, &mi, &s) != 7 ||
        (sep != ' ' && sep != 'T') || y < 1970 || y > 2106 || mo < 1 || mo > 12 || d < 1 ||
        d > DaysInMonth(static_cast<int>(y), mo) || h > 23 || mi > 59 || s > 59)
        at.Fail("expected seconds since 1970 or a UTC time such as \"2026-11-30 14:05:10\"");
    std::int64_t days = DaysFromCivil(static_cast<int>(y), mo, d) - DaysFromCivil(1970, 1, 1);
    std::int64_t seconds = days * 86400 + h * 3600 + mi * 60 + s;
    if (seconds > 0xFFFFFFFFll) at.Fail("the time is beyond what a record holds (2106-02-07)");
    return static_cast<DWORD>(seconds);
}

std::string BytesOf(const json& v, const Place& at) {
    if (!v.is_string()) at.Fail("expected bytes in hexadecimal pairs");
    std::string digits;
    for (char c : v.get<std::string>())
        if (c != ' ' && c != ',') digits += c;
    if (digits.size() % 2 != 0 || digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        at.Fail("expected bytes in hexadecimal pairs");
    std::string bytes;
    for (std::size_t i = 0; i < digits.size(); i += 2) bytes += static_cast<char>(std::stoul(digits.substr(i, 2), nullptr, 16));
    return bytes;
}

WORD TypeOf(const json& v, const Place& at) {
    static const std::pair<const char*, WORD> kTypes[] = {{"error", EVENTLOG_ERROR_TYPE},
                                                          {"warning", EVENTLOG_WARNING_TYPE},
                                                          {"information", EVENTLOG_INFORMATION_TYPE},
                                                          {"success_audit", EVENTLOG_AUDIT_SUCCESS},
                                                          {"failure_audit", EVENTLOG_AUDIT_FAILURE}};
    if (v.is_string())
        for (const auto& [name, type] : kTypes)
            if (v.get<std::string>() == name) return type;
    if (v.is_number_unsigned()) return static_cast<WORD>(WholeOf(v, at, 0xFFFF));
    at.Fail("expected error, warning, information, success_audit, failure_audit or a number");
}

EventRecordConfig ParseRecord(const json& r, const Place& at, const CodePageTable& cp, DWORD number) {
    if (!r.is_object()) at.Fail("expected a record");
    EventRecordConfig record;
    record.number = number;
    record.damaged = r.contains("raw");
    for (auto it = r.begin(); it != r.end(); ++it) {
        const std::string& key = it.key();
        const json& v = it.value();
        Place here = at.At(key);
        if (key == "number") continue;
        if (record.damaged && key != "raw") here.Fail("a damaged record has only its number and its raw bytes");
        if (key == "raw") {
            record.raw = BytesOf(v, here);
            // The service hands over whole records only; one of no bytes cannot be handed over.
            if (record.raw.empty()) here.Fail("a damaged record has at least one byte");
        } else if (key == "time") record.timeGenerated = SecondsOf(v, here);
        else if (key == "time_written") record.timeWritten = SecondsOf(v, here);
        else if (key == "event_id") record.eventId = static_cast<DWORD>(WholeOf(v, here, 0xFFFFFFFFu));
        else if (key == "type") record.type = TypeOf(v, here);
        else if (key == "category") record.category = static_cast<WORD>(WholeOf(v, here, 0xFFFF));
        else if (key == "source") record.source = TextOf(v, here, cp);
        else if (key == "computer") record.computer = TextOf(v, here, cp);
        else if (key == "data") record.data = BytesOf(v, here);
        else if (key == "strings") {
            if (!v.is_array() || v.size() > 0xFFFF) here.Fail("expected an array of texts");
            for (std::size_t i = 0; i < v.size(); ++i) record.strings.push_back(TextOf(v[i], here.At(std::to_string(i)), cp));
        } else {
            here.Fail("unknown entry");
        }
    }
    if (!record.damaged && !r.contains("time_written")) record.timeWritten = record.timeGenerated;
    return record;
}

EventLogsConfig ParseLogs(const json& logs, const Place& at, const CodePageTable& cp) {
    if (!logs.is_object()) at.Fail("expected the logs by name, each an array of records");
    EventLogsConfig config;
    config.service = true;
    for (auto it = logs.begin(); it != logs.end(); ++it) {
        Place logPlace = at.At(it.key());
        if (!it.value().is_array()) logPlace.Fail("expected an array of records, oldest first");
        EventLogConfig log;
        log.name = cp.FromUtf8(it.key());
        std::uint64_t next = 1;
        for (std::size_t i = 0; i < it.value().size(); ++i) {
            const json& r = it.value()[i];
            Place recordPlace = logPlace.At(std::to_string(i));
            std::uint64_t number = next;
            if (r.is_object() && r.contains("number")) {
                number = WholeOf(r.at("number"), recordPlace.At("number"), 0xFFFFFFFFu);
                if (number < next) recordPlace.At("number").Fail("record numbers start at 1 and grow from record to record");
            }
            if (number > 0xFFFFFFFFu) recordPlace.Fail("record numbers end at 4294967295");
            log.records.push_back(ParseRecord(r, recordPlace, cp, static_cast<DWORD>(number)));
            next = number + 1;
        }
        config.logs.push_back(std::move(log));
    }
    return config;
}

void Put32(std::string& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

void Set32(std::string& out, std::size_t at, std::uint32_t v) {
    for (std::size_t i = 0; i < 4; ++i) out[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

void Set16(std::string& out, std::size_t at, std::uint16_t v) {
    out[at] = static_cast<char>(v & 0xFF);
    out[at + 1] = static_cast<char>(v >> 8);
}

void PadTo4(std::string& out) {
    while (out.size() % 4 != 0) out += '\0';
}

// An open log of the machine; its records stay the machine's.
class SimEventLogHandle final : public EventLogHandle {
public:
    SimEventLogHandle(MachineState& state, const SimEventLog::Log& log) : state_(state), log_(log) {}

    bool GetOldestEventLogRecord(DWORD& oldest) override {
        oldest = 0;
        if (!Usable("GetOldestEventLogRecord")) return false;
        if (!log_.records.empty()) oldest = log_.records.front().number;
        return true;
    }

    bool GetNumberOfEventLogRecords(DWORD& count) override {
        count = 0;
        if (!Usable("GetNumberOfEventLogRecords")) return false;
        count = static_cast<DWORD>(log_.records.size());
        return true;
    }

    bool ReadEventLog(DWORD flags, DWORD recordOffset, void* buffer, DWORD bufferSize, DWORD& bytesRead,
                      DWORD& bytesNeeded) override {
        bytesRead = 0;
        bytesNeeded = 0;
        if (closed_) return Refuse(ERROR_INVALID_HANDLE);
        bool sequential = (flags & EVENTLOG_SEQUENTIAL_READ) != 0, seek = (flags & EVENTLOG_SEEK_READ) != 0;
        bool forwards = (flags & EVENTLOG_FORWARDS_READ) != 0, backwards = (flags & EVENTLOG_BACKWARDS_READ) != 0;
        if (sequential == seek || forwards == backwards || (buffer == nullptr && bufferSize > 0))
            return Refuse(ERROR_INVALID_PARAMETER);
        const auto& records = log_.records;
        // The index of the first record to read; records.size() stands for "none".
        std::size_t start = records.size();
        bool known = true;
        if (sequential) {
            if (next_) start = *next_;
            else if (!records.empty()) start = forwards ? 0 : records.size() - 1;
        } else {
            known = false;
            for (std::size_t i = 0; i < records.size() && !known; ++i)
                if (records[i].number == recordOffset) {
                    start = i;
                    known = true;
                }
        }
        if (state_.Fails("ReadEventLog", log_.name, false)) {
            if (GetLastError() == ERROR_INSUFFICIENT_BUFFER && start < records.size())
                bytesNeeded = static_cast<DWORD>(records[start].bytes.size());
            return false;
        }
        if (!known) return Refuse(ERROR_INVALID_PARAMETER);
        if (start >= records.size()) return Refuse(ERROR_HANDLE_EOF);
        auto* out = static_cast<char*>(buffer);
        std::size_t i = start;
        for (;;) {
            const std::string& bytes = records[i].bytes;
            if (bytes.size() > bufferSize - bytesRead) break;
            std::copy(bytes.begin(), bytes.end(), out + bytesRead);
            bytesRead += static_cast<DWORD>(bytes.size());
            if (forwards ? i + 1 >= records.size() : i == 0) {
                i = records.size();
                break;
            }
            i = forwards ? i + 1 : i - 1;
        }
        if (bytesRead == 0) {
            bytesNeeded = static_cast<DWORD>(records[start].bytes.size());
            return Refuse(ERROR_INSUFFICIENT_BUFFER);
        }
        next_ = i;
        return true;
    }

    bool CloseEventLog() override {
        if (!Usable("CloseEventLog")) return false;
        closed_ = true;
        return true;
    }

private:
    static bool Refuse(DWORD error) {
        SetLastError(error);
        return false;
    }
    bool Usable(const char* op) {
        if (closed_) return Refuse(ERROR_INVALID_HANDLE);
        return !state_.Fails(op, log_.name, false);
    }

    MachineState& state_;
    const SimEventLog::Log& log_;
    std::optional<std::size_t> next_;  // the record a sequential read starts from, once one has read
    bool closed_ = false;
};

// A module loaded as a data file: its message tables by language.
class SimMessageModule final : public MessageModule {
public:
    SimMessageModule(MachineState& state, std::string path) : state_(state), path_(std::move(path)) {}

    bool FreeLibrary() override {
        if (freed_) {
            SetLastError(ERROR_INVALID_HANDLE);
            return false;
        }
        if (state_.Fails("FreeLibrary", path_, false)) return false;
        freed_ = true;
        return true;
    }

    MachineState& state_;
    std::string path_;
    std::vector<std::pair<WORD, std::string>> tables_;
    DWORD missing_ = ERROR_RESOURCE_TYPE_NOT_FOUND;  // why there are none, when there are none
    bool freed_ = false;
};

// Beyond this many languages a module's resource directory is taken as damaged.
constexpr std::size_t kMostMessageTables = 256;

}  // namespace

EventLogsConfig ParseEventLogs(const json& node, const std::string& fileName, const std::string& machineFolder,
                               const CodePageTable& cp) {
    Place at{fileName, "/event_logs"};
    if (!node.is_string()) return ParseLogs(node, at, cp);
    // The logs in a file of their own beside machine.json, which never names another folder.
    std::string path = FileBesideMachine(node.get<std::string>(), machineFolder);
    if (path.empty()) at.Fail("expected the logs, or the name of a file beside the machine file");
    std::optional<json> logs = ReadJsonFile(path);
    if (!logs) at.Fail("cannot read " + path);
    return ParseLogs(*logs, Place{path, ""}, cp);
}

std::string EventRecordBytes(const EventRecordConfig& record, const std::string& computerName) {
    if (record.damaged) return record.raw;
    std::string out(event_record::kFixedSize, '\0');
    Set32(out, event_record::kReserved, event_record::kSignature);
    Set32(out, event_record::kRecordNumber, record.number);
    Set32(out, event_record::kTimeGenerated, record.timeGenerated);
    Set32(out, event_record::kTimeWritten, record.timeWritten);
    Set32(out, event_record::kEventId, record.eventId);
    Set16(out, event_record::kEventType, record.type);
    Set16(out, event_record::kNumStrings, static_cast<std::uint16_t>(record.strings.size()));
    Set16(out, event_record::kEventCategory, record.category);
    out += record.source;
    out += '\0';
    out += record.computer.empty() ? computerName : record.computer;
    out += '\0';
    PadTo4(out);
    // No user SID: its length is 0 and its offset where it would stand.
    Set32(out, event_record::kUserSidOffset, static_cast<std::uint32_t>(out.size()));
    Set32(out, event_record::kStringOffset, static_cast<std::uint32_t>(out.size()));
    for (const std::string& s : record.strings) {
        out += s;
        out += '\0';
    }
    Set32(out, event_record::kDataOffset, static_cast<std::uint32_t>(out.size()));
    Set32(out, event_record::kDataLength, static_cast<std::uint32_t>(record.data.size()));
    out += record.data;
    PadTo4(out);
    Put32(out, static_cast<std::uint32_t>(out.size() + 4));
    Set32(out, event_record::kLength, static_cast<std::uint32_t>(out.size()));
    return out;
}

SimEventLog::SimEventLog(MachineState& state, FilesService& files) : state_(state), files_(files) {
    for (const EventLogConfig& config : state.Config().eventLogs.logs) {
        Log log{config.name, {}};
        for (const EventRecordConfig& r : config.records)
            log.records.push_back({r.number, EventRecordBytes(r, state.Config().computerName)});
        logs_.push_back(std::move(log));
    }
}

std::unique_ptr<EventLogHandle> SimEventLog::OpenEventLog(std::string_view serverName, std::string_view sourceName) {
    if (state_.Fails("OpenEventLog", sourceName, false)) return nullptr;
    if (!state_.Config().eventLogs.service) {
        SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
        return nullptr;
    }
    std::string_view server = serverName;
    while (!server.empty() && server.front() == '\\') server.remove_prefix(1);
    if (!server.empty() && state_.CodePage().Upper(server) != state_.CodePage().Upper(state_.Config().computerName)) {
        SetLastError(RPC_S_SERVER_UNAVAILABLE);
        return nullptr;
    }
    const Log* found = nullptr;
    const Log* application = nullptr;
    std::string wanted = state_.CodePage().Upper(sourceName);
    for (const Log& log : logs_) {
        std::string upper = state_.CodePage().Upper(log.name);
        if (upper == wanted && found == nullptr) found = &log;
        if (upper == "APPLICATION" && application == nullptr) application = &log;
    }
    if (found == nullptr) found = application;
    if (found == nullptr) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    return std::make_unique<SimEventLogHandle>(state_, *found);
}

std::unique_ptr<MessageModule> SimEventLog::LoadLibraryEx(std::string_view path, DWORD flags) {
    std::string full = state_.FullPath(path);
    if (state_.Fails("LoadLibraryEx", full, false)) return nullptr;
    // The simulated machine runs no code of a module: it reads its resources only.
    if ((flags & LOAD_LIBRARY_AS_DATAFILE) == 0) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return nullptr;
    }
    std::unique_ptr<File> file = files_.CreateFile(path, GENERIC_READ, CreationDisposition::OpenExisting);
    if (!file) return nullptr;
    PeResources resources;
    if (!resources.Load(*file)) {
        SetLastError(ERROR_BAD_EXE_FORMAT);
        return nullptr;
    }
    auto module = std::make_unique<SimMessageModule>(state_, full);
    std::vector<PeResource> found = resources.OfType(kResourceMessageTable);
    // FormatMessage reads the table named 1.
    for (const PeResource& r : found) {
        if (r.named || r.id != 1 || module->tables_.size() >= kMostMessageTables) continue;
        std::string bytes;
        if (PeResources::Read(*file, r, bytes)) module->tables_.emplace_back(r.language, std::move(bytes));
    }
    if (module->tables_.empty() && !found.empty()) module->missing_ = ERROR_RESOURCE_NAME_NOT_FOUND;
    return module;
}

std::vector<WORD> SimEventLog::DefaultLanguages() const {
    return {0, LanguageOfLocale(state_.Config().locale), LanguageOfLocale(state_.Config().systemLocale), 0x0409};
}

DWORD SimEventLog::FormatMessage(DWORD flags, MessageModule* module, DWORD messageId, DWORD languageId,
                                 std::string& buffer, DWORD size, const std::vector<std::string>* arguments) {
    buffer.clear();
    auto fail = [](DWORD error) {
        SetLastError(error);
        return DWORD{0};
    };
    if ((flags & FORMAT_MESSAGE_FROM_HMODULE) == 0 ||
        (flags & ~(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY)) != 0)
        return fail(ERROR_INVALID_PARAMETER);
    auto* m = dynamic_cast<SimMessageModule*>(module);
    if (m == nullptr || m->freed_) return fail(ERROR_INVALID_HANDLE);
    if (state_.Fails("FormatMessage", m->path_, false)) return 0;
    if (m->tables_.empty()) return fail(m->missing_);
    std::vector<WORD> languages = languageId == 0 ? DefaultLanguages() : std::vector<WORD>{static_cast<WORD>(languageId)};
    std::string text;
    bool found = false, languageFound = false;
    for (WORD language : languages)
        for (const auto& [tableLanguage, table] : m->tables_)
            if (!found && tableLanguage == language) {
                languageFound = true;
                found = FindMessageText(table, messageId, state_.CodePage(), text);
            }
    // Without a language asked for, any language's message will do.
    for (const auto& [tableLanguage, table] : m->tables_)
        if (!found && languageId == 0) found = FindMessageText(table, messageId, state_.CodePage(), text);
    if (!found) return fail(languageFound || languageId == 0 ? ERROR_MR_MID_NOT_FOUND : ERROR_RESOURCE_LANG_NOT_FOUND);
    std::string out;
    DWORD error = FormatMessageText(text, arguments, size, out);
    if (error != ERROR_SUCCESS) return fail(error);
    buffer = std::move(out);
    return static_cast<DWORD>(buffer.size());
}

}  // namespace qm::sim
