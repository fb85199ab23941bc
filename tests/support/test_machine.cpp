#include "support/test_machine.h"

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

TempFolder::TempFolder() {
    std::string pattern = (fs::temp_directory_path() / "qm-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot make a temporary folder");
    path_ = pattern;
}

TempFolder::~TempFolder() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

std::string TestMachine::DefaultJson() {
    return R"({
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
}

namespace {
std::string Drop(const std::string& folder) {
    std::error_code ec;
    fs::remove_all(folder, ec);
    return folder;
}
}  // namespace

namespace {
void WriteHostFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    if (!out) throw std::runtime_error("cannot write " + path);
}
}  // namespace

TestMachine::TestMachine(const std::string& jsonPatch, const std::string& registryFile) {
    std::string pattern = (fs::temp_directory_path() / "qm-machine-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot make a temporary folder");
    folder_ = pattern;
    nlohmann::json config = nlohmann::json::parse(DefaultJson());
    config.merge_patch(nlohmann::json::parse(jsonPatch));
    try {
        WriteHostFile(folder_ + "/machine.json", config.dump(2));
        if (!registryFile.empty()) WriteHostFile(folder_ + "/registry.reg", registryFile);
        machine_ = sim::SimMachine::Load(folder_);
    } catch (...) {
        Drop(folder_);
        throw;
    }
    platform::InstallPlatform(machine_);
}

SampleMachine::SampleMachine(const std::string& name) {
    std::string pattern = (fs::temp_directory_path() / ("qm-" + name + "-XXXXXX")).string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot make a temporary folder");
    folder_ = pattern;
    try {
        fs::copy(std::string(QM_SOURCE_DIR) + "/machines/" + name, folder_, fs::copy_options::recursive);
        machine_ = sim::SimMachine::Load(folder_);
    } catch (...) {
        Drop(folder_);
        throw;
    }
    platform::InstallPlatform(machine_);
}

SampleMachine::~SampleMachine() {
    platform::InstallPlatform(nullptr);
    machine_.reset();
    Drop(folder_);
}

void TestMachine::Reload() {
    platform::InstallPlatform(nullptr);
    machine_ = sim::SimMachine::Load(folder_);
    platform::InstallPlatform(machine_);
}

std::string TestMachine::RegistryFile() const {
    std::ifstream in(folder_ + "/registry.reg", std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

TestMachine::~TestMachine() {
    platform::InstallPlatform(nullptr);
    machine_.reset();
    Drop(folder_);
}

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
    std::ifstream in(HostPath(windowsPath), std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + windowsPath);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

bool TestMachine::Exists(const std::string& windowsPath) const { return fs::exists(HostPath(windowsPath)); }

namespace {

// A program built beside the running test, copied to the host folder of a Windows folder.
void CopyBuiltProgram(const std::string& program, const std::string& hostFolder) {
    fs::create_directories(hostFolder);
    fs::path self = fs::read_symlink("/proc/self/exe").parent_path();
    fs::copy_file(self / program, fs::path(hostFolder) / program, fs::copy_options::overwrite_existing);
}

}  // namespace

void TestMachine::InstallProgram(const std::string& program, const std::string& windowsFolder) const {
    CopyBuiltProgram(program, HostPath(windowsFolder));
}

void SampleMachine::InstallProgram(const std::string& program, const std::string& windowsFolder) const {
    // The folder is made through the machine, which finds its place on the host.
    std::string partial = platform::DriveOf(windowsFolder) + "\\";
    for (const std::string& c : platform::PathComponents(windowsFolder)) {
        partial = platform::JoinPath(partial, c);
        machine_->Files().CreateDirectory(partial);
    }
    CopyBuiltProgram(program, machine_->HostPathOf(windowsFolder));
}

}  // namespace qm::test
