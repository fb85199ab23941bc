#pragma once
// Command-line switches and the parameters stored for them under the maker's registry key or
// in the settings file.

#include <string>
#include <string_view>

#include "platform/ini_image.h"
#include "platform/registry_accessor.h"

namespace qm::core {

// True when some parameter (from the first) equals the switch, without regard to the case of
// ASCII letters; the switch is trimmed, the parameters are not.
bool HasSwitch(std::string_view sw);
// HasSwitch, else the parameter stored as "1" for it.
bool IsOptionSet(std::string_view sw);
// True when some parameter begins with the switch; value is the rest of the first such
// parameter, in upper case.
bool GetSwitchValue(std::string_view sw, std::string& value);

// Reads stored parameters: the maker's registry key, then the settings file in the folder
// that the service's INI file names.
class TLicence {
public:
    static constexpr unsigned kRegistry = 1;
    static constexpr unsigned kSettingsFile = 2;

    TLicence();
    // value: the registry value called name when it exists as text, else the settings
    // file's value of name in section, else the default. A key or file that cannot be read
    // counts as a missing one, with a trace-log line.
    void ReadParameter(std::string_view section, std::string_view name, std::string& value, unsigned sources,
                       std::string_view defaultValue);

private:
    platform::RegistryAccessor registry_;
    platform::IniImage settings_;
};

}  // namespace qm::core
