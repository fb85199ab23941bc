#pragma once
// The simulated registry service over a RegistryTree. What the programs change is saved back
// to the machine's registry file, in the format it was read in, through a temporary file
// renamed into place.

#include <mutex>
#include <unordered_map>

#include "platform/registry.h"
#include "platform/sim/machine_state.h"
#include "platform/sim/registry_tree.h"

namespace qm::sim {

class SimRegistry final : public platform::RegistryService {
public:
    // file: the host path of the registry file to read (when it exists) and to save changes
    // to; empty for a registry that lives in memory only, filled from text.
    SimRegistry(MachineState& state, std::string file, std::string_view text);

    platform::LONG RegOpenKeyEx(platform::HKEY key, std::string_view subKey, platform::REGSAM access,
                                platform::HKEY& result) override;
    platform::LONG RegCreateKeyEx(platform::HKEY key, std::string_view subKey, platform::REGSAM access,
                                  platform::HKEY& result, platform::DWORD* disposition) override;
    platform::LONG RegQueryValueEx(platform::HKEY key, std::string_view valueName, platform::DWORD* type,
                                   std::uint8_t* data, platform::DWORD* dataSize) override;
    platform::LONG RegSetValueEx(platform::HKEY key, std::string_view valueName, platform::DWORD type,
                                 const std::uint8_t* data, platform::DWORD dataSize) override;
    platform::LONG RegEnumKeyEx(platform::HKEY key, platform::DWORD index, std::string& name) override;
    platform::LONG RegEnumValue(platform::HKEY key, platform::DWORD index, std::string& name,
                                platform::DWORD* type) override;
    platform::LONG RegDeleteValue(platform::HKEY key, std::string_view valueName) override;
    platform::LONG RegCloseKey(platform::HKEY key) override;

    // The whole registry as a regedit file of the given format.
    std::string Export(RegFileFormat format) const;
    std::size_t OpenHandles() const;
    RegFileFormat Format() const { return format_; }

private:
    struct Handle {
        RegKey* key;
        platform::REGSAM access;
    };
    // The key of a handle, when the handle allows what is needed.
    platform::LONG KeyOf(platform::HKEY key, platform::REGSAM needed, RegKey*& result);
    platform::LONG SubkeyNames(std::string_view subKey, std::vector<std::string>& names) const;
    // ANSI names as the tree holds them.
    std::vector<std::string> TreeNames(const std::vector<std::string>& ansiNames) const;
    platform::LONG Opened(RegKey* key, platform::REGSAM access, platform::HKEY& result);
    // A fault on the operation for the key (or the subkey the names lead to below it): its
    // error (or a throw), else ERROR_SUCCESS. The key's path is spelt only when there are faults.
    platform::LONG Fault(std::string_view op, const RegKey* key, const std::vector<std::string>& below, bool writes);
    // Saves the registry file; false when it cannot be written.
    bool Save();

    MachineState& state_;
    mutable std::recursive_mutex mutex_;
    RegistryTree tree_;
    std::unordered_map<platform::HKEY, Handle> handles_;
    platform::HKEY nextHandle_ = 0x1000;
    std::string file_;
    RegFileFormat format_;
};

}  // namespace qm::sim
