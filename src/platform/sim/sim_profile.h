#pragma once
// Private-profile INI files of the simulated machine, read and written through its file
// service by the rules of the Windows functions.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files.h"
#include "platform/profile.h"
#include "platform/system.h"
#include "platform/sim/machine_state.h"

namespace qm::sim {

class SimProfile final : public platform::ProfileService {
public:
    SimProfile(MachineState& state, platform::FilesService& files, platform::SystemService& system)
        : state_(state), files_(files), system_(system) {}
    std::string GetPrivateProfileString(std::string_view section, std::string_view key, std::string_view defaultValue,
                                        std::string_view fileName) override;
    int GetPrivateProfileInt(std::string_view section, std::string_view key, int defaultValue,
                             std::string_view fileName) override;
    bool WritePrivateProfileString(std::string_view section, std::optional<std::string_view> key,
                                   std::optional<std::string_view> value, std::string_view fileName) override;
    std::vector<std::string> GetPrivateProfileSectionNames(std::string_view fileName) override;
    std::vector<std::string> GetPrivateProfileKeyNames(std::string_view section, std::string_view fileName) override;
    std::vector<std::string> GetPrivateProfileSection(std::string_view section, std::string_view fileName) override;
    std::string GetProfileString(std::string_view section, std::string_view key, std::string_view defaultValue) override;

private:
    std::string FileOf(std::string_view fileName);
    // The file's lines, none when the read fails (on purpose or because the file is missing).
    std::optional<std::string> ReadFileFor(const char* operation, std::string_view fileName);
    MachineState& state_;
    platform::FilesService& files_;
    platform::SystemService& system_;
};

}  // namespace qm::sim
