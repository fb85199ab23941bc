#pragma once
// The event-log service of the simulated machine: the logs of machine.json, handed back as
// EVENTLOGRECORD bytes, and message files read from real PE files on the drives.

#include <string>
#include <vector>

#include "platform/event_log.h"
#include "platform/files.h"
#include "platform/sim/machine_state.h"

namespace qm::sim {

// The EVENTLOGRECORD bytes of a record (a damaged one's raw bytes as they are); the computer
// name stands where the record names none.
std::string EventRecordBytes(const EventRecordConfig& record, const std::string& computerName);

class SimEventLog final : public platform::EventLogService {
public:
    SimEventLog(MachineState& state, platform::FilesService& files);
    std::unique_ptr<platform::EventLogHandle> OpenEventLog(std::string_view serverName,
                                                           std::string_view sourceName) override;
    std::unique_ptr<platform::MessageModule> LoadLibraryEx(std::string_view path, platform::DWORD flags) override;
    platform::DWORD FormatMessage(platform::DWORD flags, platform::MessageModule* module, platform::DWORD messageId,
                                  platform::DWORD languageId, std::string& buffer, platform::DWORD size,
                                  const std::vector<std::string>* arguments) override;

    struct Record {
        platform::DWORD number;
        std::string bytes;
    };
    struct Log {
        std::string name;
        std::vector<Record> records;  // oldest first
    };

private:
    // The languages FormatMessage tries for language 0, in order.
    std::vector<platform::WORD> DefaultLanguages() const;

    MachineState& state_;
    platform::FilesService& files_;
    std::vector<Log> logs_;
};

}  // namespace qm::sim
