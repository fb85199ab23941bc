#pragma once
// Environment variables of the process.

#include <optional>
#include <string>
#include <string_view>

#include "platform/types.h"

namespace qm::platform {

class EnvironmentService {
public:
    virtual ~EnvironmentService() = default;
    // GetEnvironmentVariable into a buffer of bufferSize characters: 0 with
    // ERROR_ENVVAR_NOT_FOUND when it is not set; when the value and its terminator do not fit,
    // the size needed (terminator included) with the value left empty; otherwise the length.
    virtual DWORD GetEnvironmentVariable(std::string_view name, std::string& value, DWORD bufferSize) = 0;
    // SetEnvironmentVariable; no value removes the variable.
    virtual bool SetEnvironmentVariable(std::string_view name, std::optional<std::string_view> value) = 0;
};

// The whole value of a variable, whatever its length; none when it is not set.
std::optional<std::string> FindEnvironmentVariable(EnvironmentService& env, std::string_view name);
// The same, empty when it is not set.
std::string ReadEnvironmentVariable(EnvironmentService& env, std::string_view name);

}  // namespace qm::platform
