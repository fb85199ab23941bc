// The agent program: one inventory run on the machine it is installed on, then it ends.

#include <cstdio>
#include <cstdlib>
#include <exception>

#include "apps/agent.h"
#include "core/wait_dialog.h"
#include "platform/platform.h"
#include "platform/sim/machine.h"

int main(int argc, char** argv) {
    std::shared_ptr<qm::sim::SimMachine> machine;
    try {
        machine = qm::sim::SimMachine::LoadForProgram(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "qmagent: %s\n", e.what());
        return 1;
    }
    qm::platform::InstallPlatform(machine);
    std::vector<std::string> parameters = qm::platform::SplitCommandLine(qm::platform::Processes().GetCommandLine());
    if (parameters.empty()) parameters.emplace_back();
    parameters[0] = qm::platform::Processes().GetModuleFileName();
    int code = qm::agent::AgentMain(parameters);
    // A wait dialog that did not end still uses the machine: the process ends around it.
    if (qm::core::WaitThreadLeftRunning()) std::_Exit(code);
    qm::platform::InstallPlatform(nullptr);
    return code;
}
