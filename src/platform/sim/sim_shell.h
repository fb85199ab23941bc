#pragma once
// The simulated shell: it finds the program of a file's type in the machine's registry and
// records what it would start; on a terminal it also prints the host path of the file, so
// that a person can open it.

#include <mutex>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/registry.h"
#include "platform/shell.h"

namespace qm::sim {

class MachineState;

struct ShellRequest {
    std::string verb;
    std::string file;  // full Windows path
    std::string parameters;
    std::string directory;
    int showCommand = 0;
    std::string command;   // the associated command line, "%1" replaced by the file
    std::string hostPath;  // where the file lies on the host
    platform::HINSTANCE result = 0;
};

class SimShell final : public platform::ShellService {
public:
    SimShell(MachineState& state, platform::FilesService& files, platform::RegistryService& registry)
        : state_(state), files_(files), registry_(registry) {}
    platform::HINSTANCE ShellExecute(std::string_view verb, std::string_view file, std::string_view parameters,
                                     std::string_view directory, int showCommand) override;

    std::vector<ShellRequest> Requests() const;

private:
    // The command of the verb for the file's extension; empty when there is no association.
    std::string AssociatedCommand(std::string_view verb, std::string_view extension);
    std::string DefaultValue(platform::HKEY root, const std::string& path);

    MachineState& state_;
    platform::FilesService& files_;
    platform::RegistryService& registry_;
    mutable std::mutex mutex_;
    std::vector<ShellRequest> requests_;
};

}  // namespace qm::sim
