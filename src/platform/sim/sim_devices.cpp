#include "platform/sim/sim_devices.h"

#include <cstring>

#include "platform/platform.h"
#include "platform/text.h"

namespace qm::sim {

using namespace qm::platform;

namespace {

class SimDevice final : public Device {
public:
    SimDevice(MachineState& state, const DeviceConfig& config) : state_(state), config_(config) {}

    bool DeviceIoControl(DWORD code, const void* input, DWORD inputSize, void* output, DWORD outputSize,
                         DWORD& bytesReturned) override {
        bytesReturned = 0;
        if (state_.Fails("DeviceIoControl", config_.name, false)) return false;
        std::string_view in(static_cast<const char*>(input), input ? inputSize : 0);
        for (const DeviceControl& c : config_.controls) {
            if (c.code != code || in.substr(0, c.inputPrefix.size()) != c.inputPrefix) continue;
            if (c.error != 0) {
                SetLastError(c.error);
                return false;
            }
            if (c.output.size() > outputSize) {
                SetLastError(ERROR_INSUFFICIENT_BUFFER);
                return false;
            }
            if (!c.output.empty()) std::memcpy(output, c.output.data(), c.output.size());
            bytesReturned = static_cast<DWORD>(c.output.size());
            return true;
        }
        // A driver refuses a request it does not know.
        SetLastError(ERROR_INVALID_FUNCTION);
        return false;
    }

private:
    MachineState& state_;
    const DeviceConfig& config_;
};

}  // namespace

std::unique_ptr<Device> SimDevices::CreateFile(std::string_view deviceName, DWORD, DWORD, CreationDisposition) {
    if (state_.Fails("CreateFile", deviceName, false)) return nullptr;
    for (const DeviceConfig& d : state_.Config().devices)
        if (EqualsNoCase(d.name, deviceName)) {
            SetLastError(ERROR_SUCCESS);
            return std::make_unique<SimDevice>(state_, d);
        }
    SetLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
}

}  // namespace qm::sim
