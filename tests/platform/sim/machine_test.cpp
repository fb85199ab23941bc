#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/platform.h"
#include "support/test_machine.h"

using namespace qm::platform;
using qm::sim::SimMachine;

TEST(MachineFile, SampleMachinesLoad) {
    for (const char* name : {"xp-workstation", "win98-desktop"}) {
        SCOPED_TRACE(name);
        qm::test::SampleMachine sample(name);
        SimMachine* machine = &sample.Machine();
        OsVersionInfo v;
        ASSERT_TRUE(machine->System().GetVersionEx(v));
        EXPECT_EQ(v.dwPlatformId, std::string(name) == "xp-workstation" ? VER_PLATFORM_WIN32_NT : VER_PLATFORM_WIN32_WINDOWS);
        std::string temp;
        ASSERT_GT(machine->System().GetTempPath(temp), 0u);
        EXPECT_NE(machine->Files().GetFileAttributes(temp), INVALID_FILE_ATTRIBUTES) << temp;
        // The registry of its family: where the BIOS is described, and the version key.
        bool nt = v.dwPlatformId == VER_PLATFORM_WIN32_NT;
        HKEY k = 0;
        ASSERT_EQ(machine->Registry().RegOpenKeyEx(HKEY_LOCAL_MACHINE, nt ? "HARDWARE\\DESCRIPTION\\System" : "Enum\\Root\\*PNP0C01\\0000",
                                              KEY_READ, k),
                  ERROR_SUCCESS);
        DWORD type = 0, size = 0;
        EXPECT_EQ(machine->Registry().RegQueryValueEx(k, nt ? "SystemBiosVersion" : "BIOSVersion", &type, nullptr, &size),
                  ERROR_SUCCESS);
        EXPECT_EQ(type, nt ? REG_MULTI_SZ : REG_SZ);
        machine->Registry().RegCloseKey(k);
        EXPECT_EQ(machine->Registry().RegOpenKeyEx(HKEY_LOCAL_MACHINE,
                                              nt ? "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Time Zones"
                                                 : "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Time Zones",
                                              KEY_READ, k),
                  ERROR_SUCCESS);
        machine->Registry().RegCloseKey(k);
    }
}

// A program that QM_MACHINE does not place runs on "machine" beside it, or on the machine it is
// installed on; a machine file higher up on the host whose drives do not hold the program
// (a stray copy, or one put there on purpose) never takes it over.
TEST(MachineFile, AProgramRunsOnlyOnTheMachineItIsInstalledOn) {
    qm::test::TempFolder temp("qm-lookup");
    const std::string root = temp.Path();
    const std::string drives = R"({"drives": [{"letter": "C", "type": "fixed", "folder": "drive_c"}]})";
    auto place = [&](const std::string& folder, const std::string& json) {
        std::filesystem::create_directories(root + folder);
        std::ofstream(root + folder + "/machine.json") << json;
    };
    place("", drives);
    place("/m", drives);
    place("/m/drive_c/Program Files", drives);
    place("/beside/bin/machine", "{}");
    place("/escape", R"({"drives": [{"letter": "C", "folder": "."}, {"letter": "D", "folder": ".."},
                                     {"letter": "E", "folder": "/"}, {"letter": "F", "folder": "x/../.."}]})");
    place("/broken", "{ no JSON");
    place("/spelt", R"({"drives": [{"letter": "C", "folder": "./c/"}]})");
    struct Case {
        const char* program;
        const char* folder;
    } cases[] = {
        {"/beside/bin/qmagent.exe", "/beside/bin/machine"},
        {"/m/drive_c/Program Files/Quarmelin/qmagent.exe", "/m"},
        {"/m/drive_c/qmagent.exe", "/m"},
        // Not on a drive of the machine above, nor of the one in the folders between.
        {"/m/tools/qmagent.exe", "/m/tools/machine"},
        {"/m/drive_c/Program Files/qmagent.exe", "/m"},
        {"/elsewhere/build/bin/qmagent.exe", "/elsewhere/build/bin/machine"},
        {"/escape/sub/qmagent.exe", "/escape/sub/machine"},
        // A machine file that is no JSON is taken, so that its load names its fault.
        {"/broken/drive_c/qmagent.exe", "/broken"},
        {"/spelt/c/qmagent.exe", "/spelt"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.program);
        EXPECT_EQ(SimMachine::FolderOfProgram(root + c.program), root + c.folder);
    }
}
