#pragma once
// Devices opened by name ("\\.\PHYSICALDRIVE0", ...) and their control requests, after
// CreateFile and DeviceIoControl. Buffers are raw bytes laid out as the system lays them.

#include <cstdint>
#include <memory>
#include <string_view>

#include "platform/files.h"
#include "platform/types.h"

namespace qm::platform {

inline constexpr DWORD FILE_SHARE_READ = 0x1;
inline constexpr DWORD FILE_SHARE_WRITE = 0x2;
inline constexpr DWORD IOCTL_DISK_GET_DRIVE_GEOMETRY = 0x00070000;

// S.M.A.R.T. requests of the disk driver (and of the 9x S.M.A.R.T. driver) with their published
// structures, byte for byte.
inline constexpr DWORD SMART_GET_VERSION = 0x00074080;
inline constexpr DWORD SMART_SEND_DRIVE_COMMAND = 0x0007C084;
inline constexpr DWORD SMART_RCV_DRIVE_DATA = 0x0007C088;

// GETVERSIONINPARAMS.fCapabilities
inline constexpr DWORD CAP_ATA_ID_CMD = 0x1;
inline constexpr DWORD CAP_ATAPI_ID_CMD = 0x2;
inline constexpr DWORD CAP_SMART_CMD = 0x4;
// IDEREGS.bCommandReg
inline constexpr std::uint8_t ID_CMD = 0xEC;        // IDENTIFY DEVICE
inline constexpr std::uint8_t ATAPI_ID_CMD = 0xA1;  // IDENTIFY PACKET DEVICE
inline constexpr std::uint8_t SMART_CMD = 0xB0;
// IDEREGS.bFeaturesReg of SMART_CMD, and the cylinder registers it needs
inline constexpr std::uint8_t READ_ATTRIBUTES = 0xD0;
inline constexpr std::uint8_t READ_THRESHOLDS = 0xD1;
inline constexpr std::uint8_t ENABLE_SMART = 0xD8;
inline constexpr std::uint8_t SMART_CYL_LOW = 0x4F;
inline constexpr std::uint8_t SMART_CYL_HI = 0xC2;
// DRIVERSTATUS.bDriverError
inline constexpr std::uint8_t SMART_NO_ERROR = 0;
inline constexpr std::uint8_t SMART_IDE_ERROR = 1;
// The data of IDENTIFY, READ ATTRIBUTES and READ THRESHOLDS: one sector.
inline constexpr DWORD IDENTIFY_BUFFER_SIZE = 512;
inline constexpr DWORD READ_ATTRIBUTE_BUFFER_SIZE = 512;
inline constexpr DWORD READ_THRESHOLD_BUFFER_SIZE = 512;

#pragma pack(push, 1)
struct GETVERSIONINPARAMS {
    std::uint8_t bVersion;
    std::uint8_t bRevision;
    std::uint8_t bReserved;
    std::uint8_t bIDEDeviceMap;  // bits 0-3: IDE drives 0-3 present; bits 4-7: that drive is ATAPI
    DWORD fCapabilities;
    DWORD dwReserved[4];
};
struct IDEREGS {
    std::uint8_t bFeaturesReg;
    std::uint8_t bSectorCountReg;
    std::uint8_t bSectorNumberReg;
    std::uint8_t bCylLowReg;
    std::uint8_t bCylHighReg;
    std::uint8_t bDriveHeadReg;
    std::uint8_t bCommandReg;
    std::uint8_t bReserved;
};
struct SENDCMDINPARAMS {
    DWORD cBufferSize;
    IDEREGS irDriveRegs;
    std::uint8_t bDriveNumber;
    std::uint8_t bReserved[3];
    DWORD dwReserved[4];
    std::uint8_t bBuffer[1];
};
struct DRIVERSTATUS {
    std::uint8_t bDriverError;
    std::uint8_t bIDEError;
    std::uint8_t bReserved[2];
    DWORD dwReserved[2];
};
struct SENDCMDOUTPARAMS {
    DWORD cBufferSize;
    DRIVERSTATUS DriverStatus;
    std::uint8_t bBuffer[1];
};
#pragma pack(pop)
static_assert(sizeof(GETVERSIONINPARAMS) == 24, "the published layout");
static_assert(sizeof(SENDCMDINPARAMS) == 33, "the published layout");
static_assert(sizeof(SENDCMDOUTPARAMS) == 17, "the published layout");
// What a request sends and where a reply's data begin: the structures without their one-byte
// buffer.
inline constexpr DWORD kSendCmdInSize = sizeof(SENDCMDINPARAMS) - 1;
inline constexpr DWORD kSendCmdOutHeader = sizeof(SENDCMDOUTPARAMS) - 1;

// An open device; destroying it stands for CloseHandle.
class Device {
public:
    virtual ~Device() = default;
    // DeviceIoControl: false with the last error when the device does not answer or the
    // output buffer is too small for the answer.
    virtual bool DeviceIoControl(DWORD controlCode, const void* input, DWORD inputSize, void* output, DWORD outputSize,
                                 DWORD& bytesReturned) = 0;
};

class DevicesService {
public:
    virtual ~DevicesService() = default;
    // CreateFile of a device name: null with the last error (2) when there is no such device.
    virtual std::unique_ptr<Device> CreateFile(std::string_view deviceName, DWORD access, DWORD shareMode,
                                               CreationDisposition disposition) = 0;
};

}  // namespace qm::platform
