#pragma once
// The print spooler of the simulated machine: the printers of its machine file.

#include <vector>

#include "platform/spooler.h"
#include "platform/sim/machine_state.h"

namespace qm::sim {

class SimSpooler final : public platform::SpoolerService {
public:
    explicit SimSpooler(MachineState& state) : state_(state) {}
    bool EnumPrinters(platform::DWORD flags, platform::DWORD level, platform::DWORD bufferSize, platform::DWORD& needed,
                      std::vector<platform::PrinterInfo>& printers) override;

private:
    MachineState& state_;
};

}  // namespace qm::sim
