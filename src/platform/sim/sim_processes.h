#pragma once
// Processes of the simulated machine: a Windows program path maps to a host program (the
// machine's stand-ins, or a host executable the path resolves to), which runs on the same
// machine folder. Named mutexes exclude across processes through lock files in that folder.

#include <map>
#include <mutex>
#include <vector>

#include "platform/processes.h"
#include "platform/sim/machine_state.h"

namespace qm::sim {

struct StartedProcess {
    std::string commandLine;
    std::string program;  // the Windows program path
    platform::WORD showWindow = 0;
    platform::DWORD creationFlags = 0;
};

class SimProcesses final : public platform::ProcessesService {
public:
    explicit SimProcesses(MachineState& state);

    std::unique_ptr<platform::Process> CreateProcess(std::string_view commandLine, platform::WORD showWindow,
                                                     platform::DWORD creationFlags) override;
    std::string GetModuleFileName() override;
    std::string GetCommandLine() override;
    std::unique_ptr<platform::MutexHandle> CreateMutex(std::string_view name) override;

    // The host program's own arguments (argv), when the running program was not started by
    // another program of the machine.
    void SetHostArguments(std::vector<std::string> argv);
    std::vector<StartedProcess> Started() const;

private:
    friend class SimMutex;
    void ReleaseName(const std::string& name);

    MachineState& state_;
    mutable std::mutex mutex_;
    std::vector<std::string> hostArguments_;
    std::vector<StartedProcess> started_;
    std::map<std::string, int> heldNames_;  // names held by this process and how often
};

}  // namespace qm::sim
