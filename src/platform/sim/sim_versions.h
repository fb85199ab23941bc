#pragma once
// Version resources read from real PE files on the simulated drives: the RT_VERSION resource
// of the resource section, and the VS_VERSIONINFO tree inside it.

#include <mutex>
#include <string>

#include "platform/files.h"
#include "platform/versions.h"
#include "platform/sim/machine_state.h"

namespace qm::sim {

class SimVersions final : public platform::VersionsService {
public:
    SimVersions(MachineState& state, platform::FilesService& files) : state_(state), files_(files) {}
    platform::DWORD GetFileVersionInfoSize(std::string_view path) override;
    bool GetFileVersionInfo(std::string_view path, platform::DWORD size, std::string& block) override;
    bool VerQueryValue(std::string_view block, std::string_view subBlock, std::string& value) override;
    std::string VerLanguageName(platform::DWORD language) override;

private:
    // The version resource of the file, read once for the calls that follow on the same file.
    bool Resource(std::string_view path, std::string& block);

    MachineState& state_;
    platform::FilesService& files_;
    std::mutex mutex_;
    std::string cachedPath_;
    platform::FILETIME cachedTime_;
    std::uint64_t cachedSize_ = 0;
    std::string cachedBlock_;
    bool cachedFound_ = false;
};

// The version resource of a PE file's bytes, in the language the resource loader would choose
// for a user of that language; false when it has none.
bool FindVersionResource(platform::File& file, platform::WORD userLanguage, std::string& block);

}  // namespace qm::sim
