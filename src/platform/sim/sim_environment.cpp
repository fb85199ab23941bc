#include "platform/sim/sim_environment.h"

#include "platform/platform.h"
#include "platform/text.h"

namespace qm::sim {

using namespace qm::platform;

SimEnvironment::SimEnvironment(const MachineConfig& config) : variables_(config.environment) {}

DWORD SimEnvironment::GetEnvironmentVariable(std::string_view name, std::string& value, DWORD bufferSize) {
    std::lock_guard lock(mutex_);
    value.clear();
    for (const auto& [n, v] : variables_) {
        if (!EqualsNoCase(n, name)) continue;
        auto needed = static_cast<DWORD>(v.size() + 1);
        if (needed > bufferSize) return needed;
        // Windows leaves the last error as it was, also for a variable that is set and empty.
        value = v;
        return static_cast<DWORD>(v.size());
    }
    SetLastError(ERROR_ENVVAR_NOT_FOUND);
    return 0;
}

bool SimEnvironment::SetEnvironmentVariable(std::string_view name, std::optional<std::string_view> value) {
    if (name.empty() || name.find('=') != std::string_view::npos) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    std::lock_guard lock(mutex_);
    for (auto it = variables_.begin(); it != variables_.end(); ++it) {
        if (!EqualsNoCase(it->first, name)) continue;
        if (value) it->second = std::string(*value);
        else variables_.erase(it);
        return true;
    }
    if (value) variables_.emplace_back(std::string(name), std::string(*value));
    return true;
}

}  // namespace qm::sim
