#pragma once
// A simulated Windows machine on Linux, built from a machine folder: machine.json for what
// Windows knows outside the registry, one host folder per drive.

#include <chrono>
#include <memory>
#include <string>

#include "platform/platform.h"
#include "platform/sim/machine_config.h"

namespace qm::sim {

class MachineState;
class SimDialogs;
class SimLibraries;
class SimProcesses;
class SimShell;

class SimMachine final : public platform::Platform {
public:
    // Loads a machine folder; throws MachineError naming the file and place of a fault.
    static std::shared_ptr<SimMachine> Load(const std::string& folder);
    // The machine a program runs on: the folder named by QM_MACHINE, else FolderOfProgram;
    // it knows the program's arguments.
    static std::shared_ptr<SimMachine> LoadForProgram(int argc, char** argv);
    // The machine folder of a program file on the host that QM_MACHINE does not name: "machine"
    // beside it, else the nearest folder above it whose machine file names a drive folder that
    // holds the program (a program installed on the machine); else "machine" beside it.
    static std::string FolderOfProgram(const std::string& program);
    // A machine from machine.json text whose relative drive folders start at hostFolder, with
    // a registry from regedit text that lives in memory only.
    static std::shared_ptr<SimMachine> FromJson(const std::string& jsonText, const std::string& hostFolder,
                                                const std::string& registryText = "");

    ~SimMachine() override;

    platform::FilesService& Files() override;
    platform::DrivesService& Drives() override;
    platform::ProfileService& Profile() override;
    platform::SystemService& System() override;
    platform::EnvironmentService& Environment() override;
    platform::ClockService& Clock() override;
    platform::GuidsService& Guids() override;
    platform::CodePageService& CodePage() override;
    platform::RegistryService& Registry() override;
    platform::DialogsService& Dialogs() override;
    platform::ProcessorService& Processor() override;
    platform::DevicesService& Devices() override;
    platform::SpoolerService& Spooler() override;
    platform::ProcessesService& Processes() override;
    platform::VersionsService& Versions() override;
    platform::ShellLinksService& ShellLinks() override;
    platform::CollationService& Collation() override;
    platform::ProcessListService& ProcessList() override;
    platform::ShellService& Shell() override;
    platform::EventLogService& EventLog() override;
    platform::NetworkService& Network() override;
    platform::LibrariesService& Libraries() override;
    platform::WmiService& Wmi() override;

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
    // The real time the program's own thread spent sleeping, and the real time during which a
    // program the machine started ran.
    std::chrono::nanoseconds RealTimeSlept() const;
    std::chrono::nanoseconds TimeChildrenRan();
    void QueueGuid(const platform::Guid& guid);
    // The registry as a file of the format it was read in, and the keys open at the moment.
    std::string RegistryText() const;
    std::size_t OpenRegistryKeys() const;
    // What the machine's windows showed, and how a test answers them.
    SimDialogs& DialogsOfMachine();
    SimProcesses& ProcessesOfMachine();
    SimShell& ShellOfMachine();
    // The calls made into the machine's libraries.
    SimLibraries& LibrariesOfMachine();

private:
    SimMachine(MachineConfig config, const std::string& registryFile, const std::string& registryText);
    struct Services;
    std::unique_ptr<MachineState> state_;
    std::unique_ptr<Services> services_;
};

}  // namespace qm::sim
