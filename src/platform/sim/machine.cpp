#include "platform/sim/machine.h"

#include <cstdlib>
#include <filesystem>
#include <optional>

#include <nlohmann/json.hpp>

#include "platform/sim/host_files.h"
#include "platform/sim/machine_state.h"
#include "platform/sim/sim_clock.h"
#include "platform/sim/sim_code_page.h"
#include "platform/sim/sim_collation.h"
#include "platform/sim/sim_devices.h"
#include "platform/sim/sim_event_log.h"
#include "platform/sim/sim_dialogs.h"
#include "platform/sim/sim_drives.h"
#include "platform/sim/sim_environment.h"
#include "platform/sim/sim_files.h"
#include "platform/sim/sim_libraries.h"
#include "platform/sim/sim_guids.h"
#include "platform/sim/sim_network.h"
#include "platform/sim/sim_process_list.h"
#include "platform/sim/sim_processes.h"
#include "platform/sim/sim_processor.h"
#include "platform/sim/sim_profile.h"
#include "platform/sim/sim_registry.h"
#include "platform/sim/sim_shell.h"
#include "platform/sim/sim_shell_links.h"
#include "platform/sim/sim_spooler.h"
#include "platform/sim/sim_system.h"
#include "platform/sim/sim_versions.h"
#include "platform/sim/sim_wmi.h"

namespace qm::sim {

struct SimMachine::Services {
    Services(MachineState& state, const std::string& registryFile, const std::string& registryText)
        : files(state),
          drives(state),
          environment(state.Config()),
          clock(state),
          system(state, environment, clock),
          profile(state, files, system),
          guids(state, state.Config().guids),
          codePage(state.CodePage()),
          registry(state, registryFile, registryText),
          dialogs(state.Config().dialogs, state.CodePage()),
          processor(state),
          devices(state),
          spooler(state),
          processes(state),
          versions(state, files),
          links(state, files),
          collation(state),
          processList(state),
          shell(state, files, registry),
          eventLog(state, files),
          network(state),
          libraries(state, registry),
          wmi(state) {}
    SimFiles files;
    SimDrives drives;
    SimEnvironment environment;
    SimClock clock;
    SimSystem system;
    SimProfile profile;
    SimGuids guids;
    SimCodePage codePage;
    SimRegistry registry;
    SimDialogs dialogs;
    SimProcessor processor;
    SimDevices devices;
    SimSpooler spooler;
    SimProcesses processes;
    SimVersions versions;
    SimShellLinks links;
    SimCollation collation;
    SimProcessList processList;
    SimShell shell;
    SimEventLog eventLog;
    SimNetwork network;
    SimLibraries libraries;
    SimWmi wmi;
};

SimMachine::SimMachine(MachineConfig config, const std::string& registryFile, const std::string& registryText)
    : state_(std::make_unique<MachineState>(std::move(config))),
      services_(std::make_unique<Services>(*state_, registryFile, registryText)) {}

SimMachine::~SimMachine() = default;

std::shared_ptr<SimMachine> SimMachine::Load(const std::string& folder) {
    std::string file = folder + "/machine.json";
    std::optional<std::string> json = ReadHostFile(file);
    if (!json) throw MachineError(file + ": cannot be read");
    return std::shared_ptr<SimMachine>(new SimMachine(ParseMachineConfig(*json, folder, file), folder + "/registry.reg", ""));
}

namespace {

bool HoldsMachineFile(const std::string& folder) {
    std::error_code ec;
    return std::filesystem::is_regular_file(folder + "/machine.json", ec);
}

// Whether the program lies on a drive of the machine in the folder: inside one of the drive
// folders that its machine file names within that folder. A machine file that is no JSON
// counts, so that its load names its fault; a stray or hostile one higher up on the host,
// whose drives do not hold the program, never takes it over.
bool ProgramOnMachineDrive(const std::string& machineFolder, const std::string& programFolder) {
    namespace fs = std::filesystem;
    std::optional<std::string> text = ReadHostFile(machineFolder + "/machine.json");
    if (!text) return false;
    nlohmann::json root = nlohmann::json::parse(*text, nullptr, false);
    if (root.is_discarded()) return true;
    if (!root.is_object() || !root.contains("drives") || !root["drives"].is_array()) return false;
    fs::path program = fs::path(programFolder).lexically_normal();
    for (const nlohmann::json& drive : root["drives"]) {
        if (!drive.is_object() || !drive.contains("folder") || !drive["folder"].is_string()) continue;
        fs::path folder = fs::path(drive["folder"].get<std::string>()).lexically_normal();
        if (!folder.empty() && folder.filename().empty()) folder = folder.parent_path();  // "drive_c/"
        // Only a folder of the machine's own: a drive that maps some other host folder does
        // not make the machine the program's.
        if (folder.empty() || folder.is_absolute() || folder == "." || *folder.begin() == "..") continue;
        fs::path inside = program.lexically_relative(fs::path(machineFolder).lexically_normal() / folder);
        if (!inside.empty() && *inside.begin() != "..") return true;
    }
    return false;
}

}  // namespace

std::string SimMachine::FolderOfProgram(const std::string& program) {
    std::string folder = HostFolderOf(program);
    std::string beside = folder + "/machine";
    if (HoldsMachineFile(beside)) return beside;
    for (std::string f = folder;; f = HostFolderOf(f)) {
        if (HoldsMachineFile(f) && ProgramOnMachineDrive(f, folder)) return f;
        if (f == "/" || f == ".") break;
    }
    return beside;  // its load names the missing file
}

namespace {

std::string BaseNameOf(const std::string& path) {
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::shared_ptr<SimMachine> SimMachine::LoadForProgram(int argc, char** argv) {
    std::vector<std::string> arguments(argv, argv + argc);
    std::string program = HostProgramFile();
    if (program.empty()) program = arguments.at(0);
    const char* chosen = std::getenv("QM_MACHINE");
    std::string folder = chosen != nullptr && *chosen != '\0' ? std::string(chosen) : FolderOfProgram(program);
    std::shared_ptr<SimMachine> machine = Load(folder);
    machine->services_->processes.SetHostArguments(arguments);
    // What a program's windows show stays readable after it ended, for whoever ran it.
    machine->services_->dialogs.KeepJournal(folder + "/windows.log", BaseNameOf(program));
    machine->services_->dialogs.UseTerminal(Terminal::OfStandardStreams(machine->state_->CodePage()));
    // A program started by another program of the machine goes on in its current folder.
    if (const char* current = std::getenv("QM_CURRENT_DIRECTORY"); current != nullptr && *current != '\0')
        machine->Files().SetCurrentDirectory(current);
    return machine;
}

std::shared_ptr<SimMachine> SimMachine::FromJson(const std::string& jsonText, const std::string& hostFolder,
                                                 const std::string& registryText) {
    return std::shared_ptr<SimMachine>(
        new SimMachine(ParseMachineConfig(jsonText, hostFolder, "machine.json"), "", registryText));
}

platform::FilesService& SimMachine::Files() { return services_->files; }
platform::DrivesService& SimMachine::Drives() { return services_->drives; }
platform::ProfileService& SimMachine::Profile() { return services_->profile; }
platform::SystemService& SimMachine::System() { return services_->system; }
platform::EnvironmentService& SimMachine::Environment() { return services_->environment; }
platform::ClockService& SimMachine::Clock() { return services_->clock; }
platform::GuidsService& SimMachine::Guids() { return services_->guids; }
platform::CodePageService& SimMachine::CodePage() { return services_->codePage; }
platform::RegistryService& SimMachine::Registry() { return services_->registry; }
platform::DialogsService& SimMachine::Dialogs() { return services_->dialogs; }
platform::ProcessorService& SimMachine::Processor() { return services_->processor; }
platform::DevicesService& SimMachine::Devices() { return services_->devices; }
platform::SpoolerService& SimMachine::Spooler() { return services_->spooler; }
platform::ProcessesService& SimMachine::Processes() { return services_->processes; }
platform::VersionsService& SimMachine::Versions() { return services_->versions; }
platform::ShellLinksService& SimMachine::ShellLinks() { return services_->links; }
platform::CollationService& SimMachine::Collation() { return services_->collation; }
platform::ProcessListService& SimMachine::ProcessList() { return services_->processList; }
platform::ShellService& SimMachine::Shell() { return services_->shell; }
SimShell& SimMachine::ShellOfMachine() { return services_->shell; }
platform::EventLogService& SimMachine::EventLog() { return services_->eventLog; }
platform::NetworkService& SimMachine::Network() { return services_->network; }
platform::LibrariesService& SimMachine::Libraries() { return services_->libraries; }
SimLibraries& SimMachine::LibrariesOfMachine() { return services_->libraries; }
platform::WmiService& SimMachine::Wmi() { return services_->wmi; }
SimProcesses& SimMachine::ProcessesOfMachine() { return services_->processes; }
SimDialogs& SimMachine::DialogsOfMachine() { return services_->dialogs; }

const MachineConfig& SimMachine::Config() const { return state_->Config(); }
void SimMachine::AddFault(FaultConfig fault) { state_->AddFault(std::move(fault)); }
void SimMachine::ClearFaults() { state_->ClearFaults(); }

std::string SimMachine::HostPathOf(const std::string& windowsPath) const {
    ResolvedPath p = state_->Resolve(windowsPath);
    return p.error == platform::ERROR_SUCCESS ? p.host : std::string();
}

std::string SimMachine::WindowsPathOfHost(const std::string& hostPath) const { return state_->WindowsPathOfHost(hostPath); }

void SimMachine::AdvanceClock(std::uint64_t milliseconds) {
    if (services_->clock.IsVirtual()) services_->clock.Advance(milliseconds);
}

std::chrono::nanoseconds SimMachine::RealTimeSlept() const { return services_->clock.RealTimeSlept(); }

std::chrono::nanoseconds SimMachine::TimeChildrenRan() { return state_->TimeChildrenRan(); }

void SimMachine::QueueGuid(const platform::Guid& guid) { services_->guids.Queue(guid); }

std::string SimMachine::RegistryText() const {
    return services_->registry.Export(services_->registry.Format());
}

std::size_t SimMachine::OpenRegistryKeys() const { return services_->registry.OpenHandles(); }

}  // namespace qm::sim
