#pragma once
// What machine.json says of the machine's event logs ("event_logs"): the logs by name, each
// with its records, oldest first. Texts are held in the machine's ANSI code page.

#include <nlohmann/json_fwd.hpp>
#include <string>
#include <vector>

#include "platform/types.h"

namespace qm::sim {

class CodePageTable;

struct EventRecordConfig {
    platform::DWORD number = 0;
    // A damaged record: these bytes stand for it as they are, whatever they hold.
    bool damaged = false;
    std::string raw;
    platform::DWORD timeGenerated = 0;  // seconds since 1970-01-01 UTC
    platform::DWORD timeWritten = 0;
    platform::DWORD eventId = 0;  // the full number, severity, customer and facility bits included
    platform::WORD type = 0;
    platform::WORD category = 0;
    std::string source;
    std::string computer;  // empty: the machine's own name
    std::vector<std::string> strings;
    std::string data;
};

struct EventLogConfig {
    std::string name;
    std::vector<EventRecordConfig> records;  // numbers ascending
};

struct EventLogsConfig {
    bool service = false;  // the machine has the event-log service (the NT family)
    std::vector<EventLogConfig> logs;
};

// The "event_logs" entry: an object of logs, or the name of a JSON file beside machine.json
// that holds one. Throws MachineError naming the file and the place of a fault.
EventLogsConfig ParseEventLogs(const nlohmann::json& node, const std::string& fileName, const std::string& machineFolder,
                               const CodePageTable& cp);

}  // namespace qm::sim
