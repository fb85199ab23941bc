#pragma once
// A simulated Windows machine on Linux, built from a machine folder: machine.json for what
// Windows knows outside the registry, one host folder per drive.

#include <memory>
#include <string>

#include "platform/platform.h"
#include "platform/sim/machine_config.h"

namespace qm::sim {

class MachineState;
class SimDialogs;
class SimProcesses;

class SimMachine final : public platform::Platform {
public:
    // Loads a machine folder; throws MachineError naming the file and place of a fault.
    static std::shared_ptr<SimMachine> Load(const std::string& folder);
    // The machine a program runs on: the folder named by QM_MACHINE, else "machine" beside
    // the program file; it knows the program's arguments.
    static std::shared_ptr<SimMachine> LoadForProgram(int argc, char** argv);
    // A machine from machine.json text whose relative drive folders start at hostFolder, with
    // a registry from regedit text that lives in memory only.
    static std::shared_ptr<SimMachine> FromJson(const std::string& jsonText, const std::string& hostFolder,
                                                const std::string& registryText = "");

    ~SimMachine() override;

    platform::FileSystem& Files() override;
    platform::Drives& Volumes() override;
    platform::Profile& Ini() override;
    platform::SystemInfo& System() override;
    platform::Environment& Env() override;
    platform::Clock& Time() override;
    platform::GuidService& Guids() override;
    platform::CodePage& Ansi() override;
    platform::Registry& Reg() override;
    platform::Dialogs& Windows() override;
    platform::Processor& Cpu() override;
    platform::Devices& DeviceIo() override;
    platform::Spooler& Printers() override;
    platform::Processes& Programs() override;
    platform::VersionInfo& Versions() override;
    platform::ShellLinks& Links() override;

    // For tests and tools.
    const MachineConfig& Config() const;
    void AddFault(FaultConfig fault);
    void ClearFaults();
    // The host path that a Windows path resolves to (empty when it cannot be resolved).
    std::string HostPathOf(const std::string& windowsPath) const;
    // The Windows path of a host file (through its drive folder or the host drive).
    std::string WindowsPathOfHost(const std::string& hostPath) const;
    // Moves a virtual clock on; a real clock ignores it.
    void AdvanceClock(std::uint64_t milliseconds);
    void QueueGuid(const platform::Guid& guid);
    // The registry as a file of the format it was read in, and the keys open at the moment.
    std::string RegistryText() const;
    std::size_t OpenRegistryKeys() const;
    // What the machine's windows showed, and how a test answers them.
    SimDialogs& DialogsOfMachine();
    SimProcesses& ProcessesOfMachine();

private:
    SimMachine(MachineConfig config, const std::string& registryFile, const std::string& registryText);
    struct Services;
    std::unique_ptr<MachineState> state_;
    std::unique_ptr<Services> services_;
};

}  // namespace qm::sim
