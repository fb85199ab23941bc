#pragma once
// Program libraries of the simulated machine. The machine runs no code from its drives: a
// library file on a drive is bound by machine.json to a module of the simulator's own, whose
// exports are functions of this program with the library's published types. The modules are
// the handheld sync manager's notifier registration ("CondMgr") and user list ("UserData").
// Every call into the service and into a module's exports is logged, in order, for tests.

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/libraries.h"
#include "platform/registry.h"

namespace qm::sim {

class MachineState;

// The simulator's modules.
enum class SimModuleKind { CondMgr, UserData };

struct SyncUserConfig {
    platform::DWORD id = 0;
    std::string folder;  // relative to the sync manager's folder; may be hostile
};

// One entry of machine.json's "libraries".
struct LibraryConfig {
    std::string path;  // the library file's full Windows path
    SimModuleKind module = SimModuleKind::CondMgr;
    std::vector<std::string> missing;  // exports the library lacks
    // UserData: the users, in index order, and what UmGetUserCount answers when it is not
    // their number (a number of 0x8000 and above reads as a negative error).
    std::vector<SyncUserConfig> users;
    std::optional<platform::WORD> userCount;
};

// The names of a module's exports.
const std::vector<std::string>& ExportNames(SimModuleKind kind);

class SimModule;

class SimLibraries final : public platform::LibrariesService {
public:
    SimLibraries(MachineState& state, platform::RegistryService& registry);
    ~SimLibraries() override;
    SimLibraries(const SimLibraries&) = delete;
    SimLibraries& operator=(const SimLibraries&) = delete;

    std::unique_ptr<platform::LibraryModule> LoadLibrary(std::string_view path) override;

    // The calls so far, in order: "LoadLibrary C:\X\CondMgr.dll", "GetProcAddress NmRegister",
    // "NmRegister C:\X\notify.dll", "UmGetUserID 0", "FreeLibrary C:\X\CondMgr.dll", ...
    std::vector<std::string> Calls() const;
    void ClearCalls();

    // For the modules.
    void Record(std::string call);
    MachineState& State() { return state_; }
    platform::RegistryService& Registry() { return registry_; }
    void Forget(SimModule* module);

private:
    MachineState& state_;
    platform::RegistryService& registry_;
    mutable std::mutex mutex_;
    std::vector<std::string> calls_;
};

}  // namespace qm::sim
