#pragma once
// System information of the simulated machine: version, names, folders, locale, time zone,
// screen and memory, as its machine file gives them.

#include <string>
#include <string_view>

#include "platform/environment.h"
#include "platform/system.h"
#include "platform/sim/machine_state.h"
#include "platform/sim/sim_clock.h"

namespace qm::sim {

class SimSystem final : public platform::SystemService {
public:
    SimSystem(MachineState& state, platform::EnvironmentService& env, SimClock& clock)
        : state_(state), env_(env), clock_(clock) {}
    bool GetVersionEx(platform::OsVersionInfo& info) override;
    bool GetVersionEx(platform::OsVersionInfoEx& info) override;
    bool GetComputerName(std::string& name, platform::DWORD bufferSize) override;
    bool GetUserName(std::string& name, platform::DWORD bufferSize) override;
    platform::DWORD GetWindowsDirectory(std::string& path) override;
    platform::DWORD GetSystemDirectory(std::string& path) override;
    platform::DWORD GetTempPath(std::string& path) override;
    std::string GetLocaleInfo(platform::LCID locale, platform::LCTYPE type) override;
    platform::DWORD GetTimeZoneInformation(platform::TimeZoneInformation& info) override;
    int GetSystemMetrics(int index) override;
    void GlobalMemoryStatus(platform::MemoryStatus& status) override;
    bool HasGlobalMemoryStatusEx() override;
    bool GlobalMemoryStatusEx(platform::MemoryStatusEx& status) override;
    void GetSystemInfo(platform::SystemInfoData& info) override;

private:
    platform::DWORD Folder(std::string_view op, const std::string& value, std::string& path);
    MachineState& state_;
    platform::EnvironmentService& env_;
    SimClock& clock_;
};

}  // namespace qm::sim
