#include "platform/sim/sim_devices.h"

#include <cstring>
#include <optional>
#include <vector>

#include "platform/platform.h"
#include "platform/sim/sim_usb.h"
#include "platform/text.h"

namespace qm::sim {

using namespace qm::platform;

namespace {

// A device answers what its machine file scripts for it; the device of the S.M.A.R.T. drives
// (a physical drive with its geometry, or the 9x driver) also answers their requests.
class SimDevice final : public Device {
public:
    SimDevice(MachineState& state, std::string name, const DeviceConfig* config, const SmartConfig* smart)
        : state_(state), name_(std::move(name)), config_(config), smart_(smart) {}

    bool DeviceIoControl(DWORD code, const void* input, DWORD inputSize, void* output, DWORD outputSize,
                         DWORD& bytesReturned) override {
        bytesReturned = 0;
        if (state_.Fails("DeviceIoControl", name_, false)) return false;
        std::string_view in(static_cast<const char*>(input), input ? inputSize : 0);
        static const std::vector<DeviceControl> kNone;
        for (const DeviceControl& c : config_ != nullptr ? config_->controls : kNone) {
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
        if (smart_ != nullptr)
            if (std::optional<bool> answered = AnswerSmartRequest(*smart_, code, input, inputSize, output, outputSize, bytesReturned))
                return *answered;
        // A driver refuses a request it does not know.
        SetLastError(ERROR_INVALID_FUNCTION);
        return false;
    }

private:
    MachineState& state_;
    std::string name_;
    const DeviceConfig* config_;  // none for a device that only the S.M.A.R.T. drives make
    const SmartConfig* smart_;
};

}  // namespace

std::unique_ptr<Device> SimDevices::CreateFile(std::string_view deviceName, DWORD, DWORD, CreationDisposition) {
    if (state_.Fails("CreateFile", deviceName, false)) return nullptr;
    const SmartConfig& smart = state_.Config().smart;
    const SmartConfig* answersSmart = smart.present && EqualsNoCase(smart.device, deviceName) ? &smart : nullptr;
    const DeviceConfig* config = nullptr;
    for (const DeviceConfig& d : state_.Config().devices)
        if (EqualsNoCase(d.name, deviceName)) {
            config = &d;
            break;
        }
    if (config != nullptr || answersSmart != nullptr) {
        SetLastError(ERROR_SUCCESS);
        return std::make_unique<SimDevice>(state_, std::string(deviceName), config, answersSmart);
    }
    if (std::unique_ptr<Device> usb = OpenUsbDevice(state_, deviceName)) {
        SetLastError(ERROR_SUCCESS);
        return usb;
    }
    SetLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
}

}  // namespace qm::sim
