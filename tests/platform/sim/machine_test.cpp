#include <gtest/gtest.h>

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
