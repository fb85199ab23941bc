#include "platform/platform.h"

#include <stdexcept>

namespace qm::platform {
namespace {

std::shared_ptr<Platform>& Installed() {
    static std::shared_ptr<Platform> platform;
    return platform;
}

thread_local DWORD t_lastError = ERROR_SUCCESS;

}  // namespace

void InstallPlatform(std::shared_ptr<Platform> platform) { Installed() = std::move(platform); }

Platform& CurrentPlatform() {
    Platform* p = Installed().get();
    if (p == nullptr) throw std::logic_error("no platform installed");
    return *p;
}

DWORD GetLastError() { return t_lastError; }
void SetLastError(DWORD error) { t_lastError = error; }

}  // namespace qm::platform
