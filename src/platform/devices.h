#pragma once
// Devices opened by name ("\\.\PHYSICALDRIVE0", ...) and their control requests, after
// CreateFile and DeviceIoControl. Buffers are raw bytes laid out as the system lays them.

#include <memory>
#include <string_view>

#include "platform/files.h"
#include "platform/types.h"

namespace qm::platform {

inline constexpr DWORD FILE_SHARE_READ = 0x1;
inline constexpr DWORD FILE_SHARE_WRITE = 0x2;
inline constexpr DWORD IOCTL_DISK_GET_DRIVE_GEOMETRY = 0x00070000;

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
