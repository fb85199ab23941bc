// machine.json: any text gives a machine or a MachineError, nothing else.

#include "fuzz_machine.h"
#include "platform/sim/machine_config.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static qm::test::TempFolder folder("qm-fuzz-machine");
    try {
        (void)qm::sim::ParseMachineConfig(qm::fuzz::Bytes(data, size), folder.Path(), "machine.json");
    } catch (const qm::sim::MachineError&) {
    }
    return 0;
}
