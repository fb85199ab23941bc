#pragma once
// The simulated machine's running processes, from the "processes" list of machine.json: each
// with its identifier, its program path and the further modules it has loaded.

#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "platform/process_list.h"

namespace qm::sim {

class CodePageTable;
class MachineState;

struct ProcessConfig {
    platform::DWORD pid = 0;
    platform::DWORD parentPid = 0;
    platform::DWORD threads = 1;
    std::string path;                  // the program's Windows path; empty for the idle process
    std::vector<std::string> modules;  // loaded after the program, in load order
    bool opens = true;                 // false: OpenProcess is refused (access denied)
};

// The "processes" entry of machine.json; throws MachineError naming the file and the place.
std::vector<ProcessConfig> ParseProcessList(const nlohmann::json& node, const std::string& fileName,
                                            const CodePageTable& codePage);

class SimProcessList final : public platform::ProcessListService {
public:
    explicit SimProcessList(MachineState& state) : state_(state) {}
    bool EnumProcesses(std::vector<platform::DWORD>& processIds, platform::DWORD bufferBytes,
                       platform::DWORD& bytesReturned) override;
    std::unique_ptr<platform::ProcessHandle> OpenProcess(platform::DWORD access, bool inheritHandle,
                                                         platform::DWORD processId) override;
    std::unique_ptr<platform::ToolhelpSnapshot> CreateToolhelp32Snapshot(platform::DWORD flags,
                                                                         platform::DWORD processId) override;

private:
    MachineState& state_;
};

}  // namespace qm::sim
