#pragma once
// The environment variables of the simulated process, starting from the machine file's.

#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/environment.h"
#include "platform/sim/machine_config.h"

namespace qm::sim {

class SimEnvironment final : public platform::EnvironmentService {
public:
    explicit SimEnvironment(const MachineConfig& config);
    platform::DWORD GetEnvironmentVariable(std::string_view name, std::string& value, platform::DWORD bufferSize) override;
    bool SetEnvironmentVariable(std::string_view name, std::optional<std::string_view> value) override;

private:
    std::mutex mutex_;
    std::vector<std::pair<std::string, std::string>> variables_;
};

}  // namespace qm::sim
