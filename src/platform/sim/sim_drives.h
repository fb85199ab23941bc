#pragma once
// Drives and volumes of the simulated machine, as its machine file describes them; the host
// drive answers no drive query.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/drives.h"
#include "platform/sim/machine_state.h"

namespace qm::sim {

class SimDrives final : public platform::DrivesService {
public:
    explicit SimDrives(MachineState& state) : state_(state) {}
    platform::DWORD GetLogicalDrives() override;
    unsigned GetDriveType(std::string_view root) override;
    bool GetDiskFreeSpaceEx(std::string_view path, std::uint64_t& freeToCaller, std::uint64_t& totalBytes,
                            std::uint64_t& totalFree) override;
    bool GetVolumeInformation(std::string_view root, platform::VolumeInformation& info) override;
    platform::DWORD WNetGetConnection(std::string_view localName, std::string& remoteName) override;
    platform::DWORD WNetGetUser(std::optional<std::string_view> localName, std::string& userName,
                                platform::DWORD& bufferSize) override;

private:
    const DriveConfig* DriveOfPath(std::string_view path) const;
    // The drive of the path when it holds media; else null with the last error set.
    const DriveConfig* ReadyDrive(std::string_view path) const;
    MachineState& state_;
};

}  // namespace qm::sim
