#pragma once
// Devices of the simulated machine: control requests answered with the bytes or the error its
// machine file scripts, any other request refused as an unknown function; and the host
// controllers and hubs of its USB tree (sim_usb.h).

#include <memory>
#include <string_view>

#include "platform/devices.h"
#include "platform/sim/machine_state.h"

namespace qm::sim {

class SimDevices final : public platform::DevicesService {
public:
    explicit SimDevices(MachineState& state) : state_(state) {}
    std::unique_ptr<platform::Device> CreateFile(std::string_view deviceName, platform::DWORD access,
                                                 platform::DWORD shareMode,
                                                 platform::CreationDisposition disposition) override;

private:
    MachineState& state_;
};

}  // namespace qm::sim
