#pragma once
// Shell links read from real ".lnk" files: the header, the link information with its local
// base path and network share, and the string data.

#include "platform/files.h"
#include "platform/shell_links.h"
#include "platform/sim/machine_state.h"

namespace qm::sim {

// What a link file says of its target.
struct LinkData {
    std::string localBasePath;   // with the common path suffix appended
    std::string networkPath;     // \\server\share with the common path suffix
    std::string relativePath;
    std::string description;
    std::string arguments;
    std::string workingDirectory;
};

// Parses a link file's bytes; false when it is none.
bool ParseShellLink(std::string_view bytes, const CodePageTable& cp, LinkData& link);

class SimShellLinks final : public platform::ShellLinksService {
public:
    SimShellLinks(MachineState& state, platform::FilesService& files) : state_(state), files_(files) {}
    std::unique_ptr<platform::ShellLink> CreateShellLink() override;

private:
    MachineState& state_;
    platform::FilesService& files_;
};

}  // namespace qm::sim
