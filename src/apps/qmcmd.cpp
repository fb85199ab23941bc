// Stands in for the machine's command interpreter: runs the commands of "/C" one after the
// other, waiting for each, and ends with the exit code of the last.

#include <cstdio>
#include <exception>

#include "apps/command_interpreter.h"
#include "platform/platform.h"
#include "platform/sim/machine.h"

int main(int argc, char** argv) {
    try {
        auto machine = qm::sim::SimMachine::LoadForProgram(argc, argv);
        qm::platform::InstallPlatform(machine);
        int exitCode = 0;
        for (const std::string& command : qm::apps::InterpreterCommands(qm::platform::Processes().GetCommandLine())) {
            auto process = qm::platform::Processes().CreateProcess(command, qm::platform::SW_HIDE, 0);
            if (!process) {
                std::fprintf(stderr, "'%s' is not recognized as an internal or external command,\n"
                                     "operable program or batch file.\n", command.c_str());
                exitCode = 1;
                continue;
            }
            process->WaitForSingleObject(qm::platform::INFINITE);
            qm::platform::DWORD code = 0;
            process->GetExitCodeProcess(code);
            exitCode = static_cast<int>(code & 0xFF);
        }
        qm::platform::InstallPlatform(nullptr);
        return exitCode;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "qmcmd: %s\n", e.what());
        return 1;
    }
}
