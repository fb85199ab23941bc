#include <gtest/gtest.h>

#include <cstring>

#include "platform/platform.h"
#include "support/test_machine.h"

using namespace qm::platform;
using qm::test::TestMachine;

TEST(SimDevices, DevicesAnswerTheirScriptedRequests) {
    TestMachine m(R"({"physical_disks": [{"cylinders": 4865, "tracks_per_cylinder": 255, "sectors_per_track": 63,
                                          "bytes_per_sector": 512}, {"answers": false}],
                      "devices": [{"name": "\\\\.\\SMARTVSD", "controls": [
                          {"code": "0x7C088", "input_prefix": "01", "output": "aa bb"},
                          {"code": "0x7C088", "error": 31}]}]})");
    auto disk = Devices().CreateFile("\\\\.\\PhysicalDrive0", 0, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      CreationDisposition::OpenExisting);
    ASSERT_NE(disk, nullptr);
    std::uint8_t geometry[24] = {};
    DWORD returned = 0;
    ASSERT_TRUE(disk->DeviceIoControl(IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, geometry, sizeof geometry, returned));
    EXPECT_EQ(returned, 24u);
    std::uint64_t cylinders = 0;
    std::uint32_t tracks = 0, bytes = 0;
    std::memcpy(&cylinders, geometry, 8);
    std::memcpy(&tracks, geometry + 12, 4);
    std::memcpy(&bytes, geometry + 20, 4);
    EXPECT_EQ(cylinders, 4865u);
    EXPECT_EQ(tracks, 255u);
    EXPECT_EQ(bytes, 512u);
    EXPECT_FALSE(disk->DeviceIoControl(IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, geometry, 8, returned));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);

    auto silent = Devices().CreateFile("\\\\.\\PHYSICALDRIVE1", 0, 0, CreationDisposition::OpenExisting);
    ASSERT_NE(silent, nullptr);
    EXPECT_FALSE(silent->DeviceIoControl(IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, geometry, sizeof geometry, returned));
    EXPECT_EQ(GetLastError(), ERROR_NOT_READY);
    EXPECT_FALSE(disk->DeviceIoControl(0x7C088, nullptr, 0, geometry, sizeof geometry, returned));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_FUNCTION);  // a control code the driver does not know
    EXPECT_EQ(Devices().CreateFile("\\\\.\\PHYSICALDRIVE2", 0, 0, CreationDisposition::OpenExisting), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);

    auto smart = Devices().CreateFile("\\\\.\\smartvsd", 0, 0, CreationDisposition::OpenExisting);
    ASSERT_NE(smart, nullptr);
    std::uint8_t in[2] = {0x01, 0x02}, out[4] = {};
    ASSERT_TRUE(smart->DeviceIoControl(0x7C088, in, 2, out, sizeof out, returned));
    EXPECT_EQ(out[1], 0xBB);
    in[0] = 0x02;
    EXPECT_FALSE(smart->DeviceIoControl(0x7C088, in, 2, out, sizeof out, returned));
    EXPECT_EQ(GetLastError(), 31u);
    EXPECT_FALSE(smart->DeviceIoControl(0x74080, in, 2, out, sizeof out, returned));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_FUNCTION);
}
