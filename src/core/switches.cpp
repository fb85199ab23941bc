#include "core/switches.h"

#include <exception>

#include "core/process_state.h"
#include "core/settings.h"
#include "core/trace_log.h"
#include "platform/platform.h"
#include "platform/registry.h"
#include "platform/text.h"

namespace qm::core {

bool HasSwitch(std::string_view sw) {
    std::string wanted = platform::Trim(platform::AsciiUpper(sw));
    for (std::size_t i = 1; i <= ParamCount(); ++i)
        if (platform::AsciiUpper(ParamStr(i)) == wanted) return true;
    return false;
}

bool GetSwitchValue(std::string_view sw, std::string& value) {
    value.clear();
    std::string wanted = platform::AsciiUpper(sw);
    for (std::size_t i = 1; i <= ParamCount(); ++i) {
        const std::string& p = ParamStr(i);
        if (p.size() >= wanted.size() && platform::AsciiUpper(p.substr(0, wanted.size())) == wanted) {
            value = platform::AsciiUpper(p.substr(wanted.size()));
            return true;
        }
    }
    return false;
}

bool IsOptionSet(std::string_view sw) {
    if (HasSwitch(sw)) return true;
    std::string value;
    TLicence licence;
    licence.ReadParameter("QMAGENT_PARAMETERS", sw, value, TLicence::kRegistry | TLicence::kSettingsFile, "0");
    return value == "1";
}

TLicence::TLicence() : registry_(platform::HKEY_LOCAL_MACHINE) {
    // The switches are read before anything else: a file that cannot be read must not end the
    // run, and counts as a missing one.
    try {
        settings_ = platform::IniImage::FromFile(platform::Files(), GetServerPath() + "QMAgent.lic");
    } catch (const std::exception& e) {
        WriteEarlyLog(std::string("Stored parameters not read: ") + e.what());
    }
}

void TLicence::ReadParameter(std::string_view section, std::string_view name, std::string& value, unsigned sources,
                             std::string_view defaultValue) {
    value = std::string(defaultValue);
    bool found = false;
    try {
        if ((sources & kRegistry) != 0 && registry_.OpenKeyReadOnly("SOFTWARE\\Quarmelin")) {
            // A value of another type than text counts as absent, so the settings file decides.
            std::optional<platform::DWORD> type = registry_.GetDataType(name);
            if (type == platform::REG_SZ || type == platform::REG_EXPAND_SZ) {
                value = registry_.ReadString(name);
                found = true;
            }
        }
    } catch (const std::exception& e) {
        // A key that cannot be read counts as a missing one, like an unreadable file.
        WriteEarlyLog(std::string("Stored parameters not read: ") + e.what());
        value = std::string(defaultValue);
        found = false;
    }
    registry_.CloseKey();
    if ((sources & kSettingsFile) != 0 && !found) value = settings_.ReadString(section, name, defaultValue);
}

}  // namespace qm::core
