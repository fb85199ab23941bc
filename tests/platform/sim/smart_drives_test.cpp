#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/platform.h"
#include "support/test_machine.h"

using namespace qm::platform;
using qm::test::MachineErrorOf;
using qm::test::TestMachine;

namespace {

const char* const kDrives = R"({"physical_disks": [{"cylinders": 4864}],
  "smart": {"drives": [
    {"number": 0, "model": "NX-8000 ATA DISK", "serial": "NX3K2Q7V", "firmware": "3.06",
     "attributes": [{"id": 1, "flags": "0x000F", "value": 117, "worst": 99, "raw": 158473921, "threshold": 6},
                    {"id": 0}, {"id": 194, "flags": 34, "value": 38, "threshold": 0}]},
    {"number": 1, "atapi": true, "model": "OPTIMA CDRW", "firmware": "1.07"},
    {"number": 2, "model": "SECOND", "errors": {"enable": 31, "attributes": 1117}}]}})";

std::unique_ptr<Device> Open(const char* name = "\\\\.\\PhysicalDrive0") {
    return Devices().CreateFile(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                CreationDisposition::OpenExisting);
}

std::vector<std::uint8_t> Request(int drive, DWORD bufferSize, std::uint8_t features, std::uint8_t command,
                                  bool smartCylinders = true) {
    std::vector<std::uint8_t> in(kSendCmdInSize, 0);
    std::memcpy(in.data(), &bufferSize, 4);
    in[4] = features;
    in[5] = in[6] = 1;
    in[7] = smartCylinders ? SMART_CYL_LOW : 0;
    in[8] = smartCylinders ? SMART_CYL_HI : 0;
    in[9] = static_cast<std::uint8_t>((drive & 1) ? 0xB0 : 0xA0);
    in[10] = command;
    in[12] = static_cast<std::uint8_t>(drive);
    return in;
}

struct Reply {
    bool ok = false;
    DWORD error = 0;
    DWORD returned = 0;
    std::vector<std::uint8_t> bytes;
};

Reply Send(Device& d, DWORD code, const std::vector<std::uint8_t>& in, DWORD outSize = 528) {
    Reply r;
    r.bytes.assign(outSize, 0xEE);
    r.ok = d.DeviceIoControl(code, in.data(), static_cast<DWORD>(in.size()), r.bytes.data(), outSize, r.returned);
    r.error = r.ok ? 0 : GetLastError();
    return r;
}

// An ATA text as read after the words are swapped back.
std::string Text(const Reply& r, std::size_t offset, std::size_t length) {
    std::string t;
    for (std::size_t i = 0; i < length; i += 2) {
        t += static_cast<char>(r.bytes[16 + offset + i + 1]);
        t += static_cast<char>(r.bytes[16 + offset + i]);
    }
    return t;
}

}  // namespace

TEST(SmartDrives, TheVersionGivesTheDeviceMapAndTheGeometryStillAnswers) {
    TestMachine m(kDrives);
    auto device = Open();
    ASSERT_NE(device, nullptr);
    GETVERSIONINPARAMS v{};
    DWORD returned = 0;
    ASSERT_TRUE(device->DeviceIoControl(SMART_GET_VERSION, nullptr, 0, &v, sizeof v, returned));
    EXPECT_EQ(returned, 24u);
    EXPECT_EQ(v.bIDEDeviceMap, 0x27);  // drives 0, 1 and 2 (bits 0-2); drive 1 a packet device (bit 5)
    EXPECT_EQ(v.fCapabilities, CAP_ATA_ID_CMD | CAP_ATAPI_ID_CMD | CAP_SMART_CMD);
    EXPECT_FALSE(device->DeviceIoControl(SMART_GET_VERSION, nullptr, 0, &v, 23, returned));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    std::uint8_t geometry[24] = {};
    EXPECT_TRUE(device->DeviceIoControl(IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, geometry, sizeof geometry, returned));
    EXPECT_EQ(geometry[0] | geometry[1] << 8, 4864);
    // The 9x family's S.M.A.R.T. driver is not there.
    EXPECT_EQ(Open("\\\\.\\SMARTVSD"), nullptr);
}

TEST(SmartDrives, IdentifyGivesSwappedBlankPaddedTextsAndEachDeviceAbortsTheOtherKindsCommand) {
    TestMachine m(kDrives);
    auto device = Open();
    ASSERT_NE(device, nullptr);
    Reply disk = Send(*device, SMART_RCV_DRIVE_DATA, Request(0, 512, 0, ID_CMD, false));
    ASSERT_TRUE(disk.ok);
    EXPECT_EQ(disk.returned, 528u);
    EXPECT_EQ(disk.bytes[0] | disk.bytes[1] << 8, 512);
    EXPECT_EQ(Text(disk, 20, 20), "NX3K2Q7V            ");
    EXPECT_EQ(Text(disk, 46, 8), "3.06    ");
    EXPECT_EQ(Text(disk, 54, 40), "NX-8000 ATA DISK" + std::string(24, ' '));
    Reply cd = Send(*device, SMART_RCV_DRIVE_DATA, Request(1, 512, 0, ATAPI_ID_CMD, false));
    ASSERT_TRUE(cd.ok);
    EXPECT_EQ(Text(cd, 54, 12), "OPTIMA CDRW ");
    EXPECT_EQ(cd.bytes[17], 0x85);  // a packet device

    for (const auto& [drive, command] : {std::pair{0, ATAPI_ID_CMD}, std::pair{1, ID_CMD}}) {
        Reply refused = Send(*device, SMART_RCV_DRIVE_DATA, Request(drive, 512, 0, command, false));
        EXPECT_FALSE(refused.ok);
        EXPECT_EQ(refused.error, ERROR_IO_DEVICE);
        EXPECT_EQ(refused.bytes[4], SMART_IDE_ERROR);
        EXPECT_EQ(refused.bytes[5], 0x04);  // aborted
    }
    // A packet device takes no S.M.A.R.T. command at all.
    EXPECT_FALSE(Send(*device, SMART_SEND_DRIVE_COMMAND, Request(1, 0, ENABLE_SMART, SMART_CMD), 16).ok);
}

TEST(SmartDrives, TheSectorsHoldTheAttributesAndTheirThresholdsAtTheirPositions) {
    TestMachine m(kDrives);
    auto device = Open();
    ASSERT_NE(device, nullptr);
    Reply enable = Send(*device, SMART_SEND_DRIVE_COMMAND, Request(0, 0, ENABLE_SMART, SMART_CMD), 16);
    ASSERT_TRUE(enable.ok);
    EXPECT_EQ(enable.returned, 16u);
    Reply values = Send(*device, SMART_RCV_DRIVE_DATA, Request(0, 512, READ_ATTRIBUTES, SMART_CMD));
    Reply limits = Send(*device, SMART_RCV_DRIVE_DATA, Request(0, 512, READ_THRESHOLDS, SMART_CMD));
    ASSERT_TRUE(values.ok && limits.ok);
    const std::uint8_t* a = values.bytes.data() + 16;
    const std::uint8_t* t = limits.bytes.data() + 16;
    EXPECT_EQ(std::vector<int>(a + 2, a + 2 + 12), (std::vector<int>{1, 0x0F, 0, 117, 99, 0xC1, 0x1E, 0x72, 0x09, 0, 0, 0}));
    EXPECT_EQ(a[14], 0);  // the empty slot
    EXPECT_EQ(a[26], 194);
    EXPECT_EQ(t[2], 1);
    EXPECT_EQ(t[3], 6);
    EXPECT_EQ(t[26], 194);
    for (const std::uint8_t* sector : {a, t}) {
        unsigned sum = 0;
        for (int i = 0; i < 512; ++i) sum += sector[i];
        EXPECT_EQ(sum % 256, 0u);  // the checksum byte closes the sector
    }
}

TEST(SmartDrives, BadRequestsAndTheDrivesErrorsFailWithTheirCodes) {
    TestMachine m(kDrives);
    auto device = Open();
    ASSERT_NE(device, nullptr);
    std::vector<std::uint8_t> wrongHead = Request(0, 512, 0, ID_CMD, false);
    wrongHead[9] = 0xB0;  // the slave of the channel, while the number names the master
    std::vector<std::uint8_t> shortRequest = Request(0, 512, 0, ID_CMD, false);
    shortRequest.resize(20);
    const std::tuple<const char*, DWORD, std::vector<std::uint8_t>, DWORD, DWORD> cases[] = {
        {"missing drive", SMART_RCV_DRIVE_DATA, Request(3, 512, 0, ID_CMD, false), 528, ERROR_INVALID_PARAMETER},
        {"wrong drive/head", SMART_RCV_DRIVE_DATA, wrongHead, 528, ERROR_INVALID_PARAMETER},
        {"short request", SMART_RCV_DRIVE_DATA, shortRequest, 528, ERROR_INVALID_PARAMETER},
        {"short reply", SMART_RCV_DRIVE_DATA, Request(0, 512, 0, ID_CMD, false), 527, ERROR_INSUFFICIENT_BUFFER},
        {"small buffer size", SMART_RCV_DRIVE_DATA, Request(0, 256, 0, ID_CMD, false), 528, ERROR_INSUFFICIENT_BUFFER},
        {"no magic cylinders", SMART_RCV_DRIVE_DATA, Request(0, 512, READ_ATTRIBUTES, SMART_CMD, false), 528, ERROR_IO_DEVICE},
        {"unknown feature", SMART_SEND_DRIVE_COMMAND, Request(0, 0, 0xD9, SMART_CMD), 16, ERROR_IO_DEVICE},
        {"enable error", SMART_SEND_DRIVE_COMMAND, Request(2, 0, ENABLE_SMART, SMART_CMD), 16, 31},
        {"attributes error", SMART_RCV_DRIVE_DATA, Request(2, 512, READ_ATTRIBUTES, SMART_CMD), 528, ERROR_IO_DEVICE},
    };
    for (const auto& [what, code, in, outSize, error] : cases) {
        Reply r = Send(*device, code, in, outSize);
        EXPECT_FALSE(r.ok) << what;
        EXPECT_EQ(r.error, error) << what;
    }
    // The thresholds of that drive still read.
    EXPECT_TRUE(Send(*device, SMART_RCV_DRIVE_DATA, Request(2, 512, READ_THRESHOLDS, SMART_CMD)).ok);
}

TEST(SmartDrives, The9xFamilyAsksTheSmartDriverAndAVersionErrorFailsTheMap) {
    TestMachine m(R"({"version": {"platform_id": 1, "major": 4, "minor": 10, "build": 2222},
                      "smart": {"version_error": 50, "drives": [{"number": 0}]}})");
    EXPECT_EQ(Open(), nullptr);
    auto device = Devices().CreateFile("\\\\.\\SMARTVSD", 0, 0, CreationDisposition::CreateNew);
    ASSERT_NE(device, nullptr);
    GETVERSIONINPARAMS v{};
    DWORD returned = 0;
    EXPECT_FALSE(device->DeviceIoControl(SMART_GET_VERSION, nullptr, 0, &v, sizeof v, returned));
    EXPECT_EQ(GetLastError(), ERROR_NOT_SUPPORTED);
    EXPECT_TRUE(Send(*device, SMART_RCV_DRIVE_DATA, Request(0, 512, 0, ID_CMD, false)).ok);
}

TEST(SmartDrives, AMachineFileWithWrongDrivesIsRefusedWithThePlace) {
    std::string attributes;
    for (int i = 0; i < 31; ++i) attributes += std::string(i ? "," : "") + "{\"id\": 1}";
    const std::pair<std::string, std::string> cases[] = {
        {R"({"smart": {"drives": [{"number": 4}]}})", "machine.json: /smart/drives/0/number: expected a number from 0 to 3"},
        {R"({"smart": {"drives": [{"model": "x"}]}})", "machine.json: /smart/drives/0/number: a drive needs its number, 0 to 3"},
        {R"({"smart": {"drives": [{"number": 1}, {"number": 1}]}})", "machine.json: /smart/drives/1/number: drive 1 twice"},
        {R"({"smart": {"drives": [{"number": 0, "model": ")" + std::string(41, 'M') + "\"}]}}",
         "machine.json: /smart/drives/0/model: at most 40 characters fit the field"},
        {R"({"smart": {"drives": [{"number": 0, "serial": "123456789012345678901"}]}})",
         "machine.json: /smart/drives/0/serial: at most 20 characters fit the field"},
        {R"({"smart": {"drives": [{"number": 0, "attributes": [)" + attributes + "]}]}}",
         "machine.json: /smart/drives/0/attributes: a sector holds at most 30 attributes"},
        {R"({"smart": {"drives": [{"number": 0, "attributes": [{"id": 1, "flags": "0x10000"}]}]}})",
         "machine.json: /smart/drives/0/attributes/0/flags: the flags are 16 bits"},
        {R"({"smart": {"drives": [{"number": 0, "errors": {"read": 5}}]}})",
         "machine.json: /smart/drives/0/errors/read: unknown entry"},
    };
    for (const auto& [json, message] : cases) EXPECT_EQ(MachineErrorOf(json), message) << json;
    EXPECT_EQ(MachineErrorOf(kDrives), "no error");
}
