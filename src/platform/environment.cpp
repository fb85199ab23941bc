#include "platform/environment.h"

namespace qm::platform {

std::string ReadEnvironmentVariable(Environment& env, std::string_view name) {
    std::string value;
    DWORD size = static_cast<DWORD>(MAX_PATH);
    for (;;) {
        DWORD n = env.GetEnvironmentVariable(name, value, size);
        if (n == 0) return std::string();
        if (n < size) return value;
        size = n;  // the value did not fit: n is the size it needs
    }
}

}  // namespace qm::platform
