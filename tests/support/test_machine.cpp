#include "support/test_machine.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <stdexcept>

#include "platform/platform.h"
#include "platform/text.h"
#include "platform/winpath.h"

namespace qm::test {

namespace fs = std::filesystem;

namespace {

// The machine a TestMachine patches.
const char* const kDefaultJson = R"({
  "version": {"platform_id": 2, "major": 5, "minor": 1, "build": 2600, "service_pack": "Service Pack 2"},
  "computer_name": "QM-TEST-01",
  "user_name": "tester",
  "folders": {"windows": "C:\\WINDOWS", "system": "C:\\WINDOWS\\system32", "temp": "C:\\TEMP"},
  "environment": {"COMPUTERNAME": "QM-TEST-01", "COMSPEC": "C:\\WINDOWS\\system32\\cmd.exe",
                  "SystemRoot": "C:\\WINDOWS", "TEMP": "C:\\TEMP", "TMP": "C:\\TEMP"},
  "time_zone": {"bias": 0, "standard_name": "GMT Standard Time", "daylight_name": "GMT Daylight Time"},
  "clock": {"virtual": true, "start": "2026-12-09T07:03:05.042"},
  "drives": [
    {"letter": "C", "type": "fixed", "folder": "drive_c", "label": "SYSTEM", "file_system": "NTFS",
     "serial": "1C2D-3E4F", "total_bytes": 40000000000, "free_bytes": 12000000000}
  ],
  "directories": ["C:\\WINDOWS\\system32", "C:\\TEMP"],
  "programs": {"C:\\WINDOWS\\system32\\cmd.exe": "qmcmd.exe"}
})";

void WriteHostFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    if (!out) throw std::runtime_error("cannot write " + path);
}

// A program built beside the running test, copied to the host folder of a Windows folder.
void CopyBuiltProgram(const std::string& program, const std::string& hostFolder) {
    fs::create_directories(hostFolder);
    fs::path self = fs::read_symlink("/proc/self/exe").parent_path();
    fs::copy_file(self / program, fs::path(hostFolder) / program, fs::copy_options::overwrite_existing);
}

}  // namespace

TempFolder::TempFolder(const std::string& prefix) {
    std::string pattern = (fs::temp_directory_path() / (prefix + "-XXXXXX")).string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot make a temporary folder");
    path_ = pattern;
}

TempFolder::~TempFolder() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

std::optional<std::string> ReadHostFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string MachineErrorOf(const std::string& json, const std::string& machineFolder) {
    TempFolder folder;
    try {
        sim::SimMachine::FromJson(json, machineFolder.empty() ? folder.Path() : machineFolder);
    } catch (const sim::MachineError& e) {
        return e.what();
    }
    return "no error";
}

TestMachine::TestMachine(const std::string& jsonPatch, const std::string& registryFile) : folder_("qm-machine") {
    nlohmann::json config = nlohmann::json::parse(kDefaultJson);
    config.merge_patch(nlohmann::json::parse(jsonPatch));
    WriteHostFile(Folder() + "/machine.json", config.dump(2));
    if (!registryFile.empty()) WriteHostFile(Folder() + "/registry.reg", registryFile);
    machine_ = sim::SimMachine::Load(Folder());
    platform::InstallPlatform(machine_);
}

TestMachine::~TestMachine() { platform::InstallPlatform(nullptr); }

SampleMachine::SampleMachine(const std::string& name, const std::string& jsonPatch) : folder_("qm-" + name) {
    fs::copy(std::string(QM_SOURCE_DIR) + "/machines/" + name, Folder(), fs::copy_options::recursive);
    if (jsonPatch != "{}") {
        nlohmann::json config = nlohmann::json::parse(ReadHostFile(Folder() + "/machine.json").value_or("{}"));
        config.merge_patch(nlohmann::json::parse(jsonPatch));
        WriteHostFile(Folder() + "/machine.json", config.dump(2));
    }
    machine_ = sim::SimMachine::Load(Folder());
    platform::InstallPlatform(machine_);
}

SampleMachine::~SampleMachine() { platform::InstallPlatform(nullptr); }

void TestMachine::Reload() {
    platform::InstallPlatform(nullptr);
    machine_ = sim::SimMachine::Load(Folder());
    platform::InstallPlatform(machine_);
}

std::string TestMachine::RegistryFile() const { return ReadHostFile(Folder() + "/registry.reg").value_or(""); }

std::string TestMachine::HostPath(const std::string& windowsPath) const {
    std::string drive = platform::DriveOf(windowsPath);
    std::string host;
    for (const sim::DriveConfig& d : machine_->Config().drives)
        if (drive.size() == 2 && platform::AsciiUpper(drive[0]) == d.letter) host = d.hostFolder;
    if (host.empty()) throw std::runtime_error("no drive folder for " + windowsPath);
    for (const std::string& c : platform::PathComponents(windowsPath)) host += "/" + c;
    return host;
}

void TestMachine::MakeFolder(const std::string& windowsPath) const { fs::create_directories(HostPath(windowsPath)); }

void TestMachine::WriteFile(const std::string& windowsPath, const std::string& bytes) const {
    std::string host = HostPath(windowsPath);
    fs::create_directories(fs::path(host).parent_path());
    WriteHostFile(host, bytes);
}

std::string TestMachine::ReadFile(const std::string& windowsPath) const {
    std::optional<std::string> bytes = ReadHostFile(HostPath(windowsPath));
    if (!bytes) throw std::runtime_error("cannot read " + windowsPath);
    return *bytes;
}

bool TestMachine::Exists(const std::string& windowsPath) const { return fs::exists(HostPath(windowsPath)); }

void TestMachine::SetHostModified(const std::string& windowsPath, std::time_t seconds) const {
    std::string host = HostPath(windowsPath);
    struct timespec t[2] = {{seconds, 0}, {seconds, 0}};
    if (::utimensat(AT_FDCWD, host.c_str(), t, 0) != 0) throw std::runtime_error("cannot set the time of " + host);
}

void TestMachine::InstallProgram(const std::string& program, const std::string& windowsFolder) const {
    CopyBuiltProgram(program, HostPath(windowsFolder));
}

namespace {

// The folder made through the machine, which finds its place on the host; its host path.
std::string MakeMachineFolder(sim::SimMachine& machine, const std::string& windowsFolder) {
    std::string partial = platform::DriveOf(windowsFolder) + "\\";
    for (const std::string& c : platform::PathComponents(windowsFolder)) {
        partial = platform::JoinPath(partial, c);
        machine.Files().CreateDirectory(partial);
    }
    return machine.HostPathOf(windowsFolder);
}

}  // namespace

void SampleMachine::InstallProgram(const std::string& program, const std::string& windowsFolder) const {
    CopyBuiltProgram(program, MakeMachineFolder(*machine_, windowsFolder));
}

void InstallFrontEnd(sim::SimMachine& machine, const std::string& windowsFolder) {
    std::string host = MakeMachineFolder(machine, windowsFolder);
    for (const char* program : {"qnlonline.exe", "qmagent.exe", "QMBios.exe", "qmcmd.exe"}) CopyBuiltProgram(program, host);
    fs::copy(std::string(QM_SOURCE_DIR) + "/frontend", host, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
}

}  // namespace qm::test
