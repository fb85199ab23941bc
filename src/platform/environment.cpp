#include "platform/environment.h"

#include "platform/platform.h"

namespace qm::platform {

std::optional<std::string> FindEnvironmentVariable(EnvironmentService& env, std::string_view name) {
    std::string value;
    DWORD size = static_cast<DWORD>(MAX_PATH);
    for (;;) {
        // A variable that is set and empty gives 0 without touching the last error.
        SetLastError(ERROR_SUCCESS);
        DWORD n = env.GetEnvironmentVariable(name, value, size);
        if (n == 0) {
            if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
            return std::string();  // set, and empty
        }
        if (n < size) return value;
        size = n;  // the value did not fit: n is the size it needs
    }
}

std::string ReadEnvironmentVariable(EnvironmentService& env, std::string_view name) {
    return FindEnvironmentVariable(env, name).value_or(std::string());
}

}  // namespace qm::platform
