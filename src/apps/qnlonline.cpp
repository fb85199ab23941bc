// The online front-end: runs the agent in online mode behind a splash window and renders its
// results into the HTML report.

#include <cstdio>
#include <exception>

#include "online/main_form.h"
#include "platform/platform.h"
#include "platform/sim/machine.h"

int main(int argc, char** argv) {
    std::shared_ptr<qm::sim::SimMachine> machine;
    try {
        machine = qm::sim::SimMachine::LoadForProgram(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "qnlonline: %s\n", e.what());
        return 1;
    }
    qm::platform::InstallPlatform(machine);
    int code = qm::online::QnlOnlineMain(qm::platform::Processes().GetModuleFileName());
    qm::platform::InstallPlatform(nullptr);
    return code;
}
