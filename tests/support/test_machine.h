#pragma once
// A fresh simulated machine for one test, in a temporary folder of its own, installed as the
// platform for the test's lifetime.

#include <ctime>
#include <memory>
#include <optional>
#include <string>

#include "platform/sim/machine.h"

namespace qm::test {

// A temporary host folder, named by the prefix, removed with its contents at the end of the
// scope.
class TempFolder {
public:
    explicit TempFolder(const std::string& prefix = "qm-test");
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

// The bytes of a host file; none when it cannot be opened.
std::optional<std::string> ReadHostFile(const std::string& path);

// The message a machine made from machine.json text is refused with; "no error" when it loads.
// The machine folder, where files beside machine.json lie, is a fresh one unless given.
std::string MachineErrorOf(const std::string& json, const std::string& machineFolder = "");

class TestMachine {
public:
    // The default machine (an XP workstation with a C: drive, a virtual clock started on
    // 2026-12-09 07:03:05.042 local time) with the JSON object merged over it (RFC 7386:
    // objects merge, arrays and values replace), and a registry file of the given text (bytes
    // as they stand in the file; none when empty). The machine is loaded from its folder, so
    // registry changes are saved to Folder() + "/registry.reg" as in a real run.
    explicit TestMachine(const std::string& jsonPatch = "{}", const std::string& registryFile = "");
    ~TestMachine();
    TestMachine(const TestMachine&) = delete;
    TestMachine& operator=(const TestMachine&) = delete;

    sim::SimMachine& Machine() { return *machine_; }
    const std::string& Folder() const { return folder_.Path(); }
    // The machine's registry file as it stands on disk (empty when there is none).
    std::string RegistryFile() const;
    // Loads the machine again from its folder, as the next run of a program would.
    void Reload();

    // Host-side set-up and checks that do not go through the simulator: the path's drive
    // folder followed by the components exactly as written.
    std::string HostPath(const std::string& windowsPath) const;
    void WriteFile(const std::string& windowsPath, const std::string& bytes) const;
    void MakeFolder(const std::string& windowsPath) const;
    // Throws when the file cannot be read.
    std::string ReadFile(const std::string& windowsPath) const;
    bool Exists(const std::string& windowsPath) const;
    // Sets the last access and write times of the file on the host, in seconds since 1970.
    void SetHostModified(const std::string& windowsPath, std::time_t seconds) const;
    // Copies one of the programs built beside the test (a stand-in such as "QMBios.exe") into
    // a folder of the machine.
    void InstallProgram(const std::string& program, const std::string& windowsFolder) const;

private:
    // First, so that it is made before the machine and removed after it, also when the
    // constructor throws.
    TempFolder folder_;
    std::shared_ptr<sim::SimMachine> machine_;
};

// Installs the front-end into a folder of the machine as a real installation has it: the
// built qnlonline.exe, qmagent.exe and QMBios.exe (with qmcmd.exe, the stand-in of the
// command interpreter that the agent's machine finds beside it) beside the front-end's own files (frontend/
// of the source tree: settings, templates, header and footer, catalogues, pictures).
void InstallFrontEnd(sim::SimMachine& machine, const std::string& windowsFolder);

// A copy of one of the bundled sample machines (machines/<name>), loaded and installed as the
// platform for the object's lifetime, so a test may change it freely.
class SampleMachine {
public:
    // The JSON object is merged over its machine.json first, as TestMachine merges its own.
    explicit SampleMachine(const std::string& name, const std::string& jsonPatch = "{}");
    ~SampleMachine();
    SampleMachine(const SampleMachine&) = delete;
    SampleMachine& operator=(const SampleMachine&) = delete;
    sim::SimMachine& Machine() { return *machine_; }
    const std::string& Folder() const { return folder_.Path(); }
    // As TestMachine::InstallProgram.
    void InstallProgram(const std::string& program, const std::string& windowsFolder) const;

private:
    TempFolder folder_;  // first, as in TestMachine
    std::shared_ptr<sim::SimMachine> machine_;
};

}  // namespace qm::test
