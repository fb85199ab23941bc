#include <gtest/gtest.h>

#include "platform/platform.h"
#include "support/test_machine.h"

using namespace qm::platform;
using qm::test::TestMachine;

TEST(SimDrives, ReportDrivesVolumesAndMappedShares) {
    TestMachine m(R"({"drives": [
        {"letter": "C", "type": "fixed", "folder": "drive_c", "label": "SYSTEM", "file_system": "NTFS",
         "serial": "1C2D-3E4F", "total_bytes": 40000000000, "free_bytes": 12000000000, "free_to_caller": 1000},
        {"letter": "D", "type": "cdrom", "media": false},
        {"letter": "N", "type": "remote", "folder": "net_n", "unc": "\\\\FILESRV\\public"}]})");
    EXPECT_EQ(Drives().GetLogicalDrives(), (1u << 2) | (1u << 3) | (1u << 13));  // C, D, N; not the host drive
    EXPECT_EQ(Drives().GetDriveType("C:\\"), DRIVE_FIXED);
    EXPECT_EQ(Drives().GetDriveType("d:\\"), DRIVE_CDROM);
    EXPECT_EQ(Drives().GetDriveType("N:"), DRIVE_REMOTE);
    EXPECT_EQ(Drives().GetDriveType("Q:\\"), DRIVE_NO_ROOT_DIR);
    EXPECT_EQ(Drives().GetDriveType("Z:\\"), DRIVE_NO_ROOT_DIR);  // the host drive reaches files only
    EXPECT_NE(Files().GetFileAttributes("Z:\\"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(Drives().GetDriveType("C:\\WINDOWS\\"), DRIVE_NO_ROOT_DIR);

    std::uint64_t caller = 0, total = 0, free = 0;
    ASSERT_TRUE(Drives().GetDiskFreeSpaceEx("C:\\", caller, total, free));
    EXPECT_EQ(total, 40000000000u);
    EXPECT_EQ(free, 12000000000u);
    EXPECT_EQ(caller, 1000u);
    EXPECT_FALSE(Drives().GetDiskFreeSpaceEx("D:\\", caller, total, free));
    EXPECT_EQ(GetLastError(), ERROR_NOT_READY);

    VolumeInformation vi;
    ASSERT_TRUE(Drives().GetVolumeInformation("C:\\", vi));
    EXPECT_EQ(vi.volumeName, "SYSTEM");
    EXPECT_EQ(vi.fileSystemName, "NTFS");
    EXPECT_EQ(vi.serialNumber, 0x1C2D3E4Fu);
    EXPECT_FALSE(Drives().GetVolumeInformation("D:\\", vi));
    EXPECT_EQ(GetLastError(), ERROR_NOT_READY);
    EXPECT_EQ(Files().GetFileAttributes("D:\\setup.exe"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), ERROR_NOT_READY);

    std::string remote;
    EXPECT_EQ(Drives().WNetGetConnection("N:", remote), ERROR_SUCCESS);
    EXPECT_EQ(remote, "\\\\FILESRV\\public");
    EXPECT_EQ(Drives().WNetGetConnection("C:", remote), ERROR_NOT_CONNECTED);
    m.WriteFile("N:\\Apps\\tool.exe", "MZ");
    EXPECT_EQ(ExpandUncFileName("n:\\Apps\\tool.exe"), "\\\\FILESRV\\public\\Apps\\tool.exe");
    EXPECT_EQ(ExpandUncFileName("C:\\WINDOWS\\x"), "C:\\WINDOWS\\x");
    EXPECT_TRUE(FileExists(Files(), "\\\\filesrv\\PUBLIC\\apps\\TOOL.EXE"));  // the share reaches the same files
    EXPECT_EQ(Drives().GetDriveType("\\\\FILESRV\\public\\"), DRIVE_REMOTE);
}

TEST(SimDrives, QueriesFailOrRaiseOnPurpose) {
    TestMachine m(R"({"faults": [{"op": "GetVolumeInformation", "path": "C:\\", "error": 21},
                                 {"op": "GetDiskFreeSpaceEx", "path": "C:\\", "raise": true}]})");
    VolumeInformation vi;
    EXPECT_FALSE(Drives().GetVolumeInformation("C:\\", vi));
    EXPECT_EQ(GetLastError(), ERROR_NOT_READY);
    std::uint64_t a, b, c;
    EXPECT_THROW(Drives().GetDiskFreeSpaceEx("C:\\", a, b, c), PlatformFault);
}

TEST(SimDrives, TheNetworkUserNeedsABufferThatHoldsIt) {
    TestMachine m(R"({"network_user": "netuser"})");
    std::string user;
    DWORD size = 4;
    EXPECT_EQ(Drives().WNetGetUser(std::nullopt, user, size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 8u);
    EXPECT_EQ(Drives().WNetGetUser(std::nullopt, user, size), ERROR_SUCCESS);
    EXPECT_EQ(user, "netuser");
    EXPECT_EQ(Drives().WNetGetUser(std::string_view("C:"), user, size), ERROR_NOT_CONNECTED);
}
