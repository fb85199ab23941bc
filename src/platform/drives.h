#pragma once
// Drives and volumes, after the Win32 volume functions.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/types.h"

namespace qm::platform {

struct VolumeInformation {
    std::string volumeName;
    DWORD serialNumber = 0;
    DWORD maximumComponentLength = 255;
    DWORD fileSystemFlags = 0;
    std::string fileSystemName;
};

class DrivesService {
public:
    virtual ~DrivesService() = default;
    // GetLogicalDrives: bit 0 is A:, bit 25 is Z:.
    virtual DWORD GetLogicalDrives() = 0;
    // GetDriveType of a root such as "C:\".
    virtual unsigned GetDriveType(std::string_view root) = 0;
    // GetDiskFreeSpaceEx of a root or a folder on the volume.
    virtual bool GetDiskFreeSpaceEx(std::string_view path, std::uint64_t& freeToCaller, std::uint64_t& totalBytes,
                                    std::uint64_t& totalFree) = 0;
    // GetVolumeInformation of a root.
    virtual bool GetVolumeInformation(std::string_view root, VolumeInformation& info) = 0;
    // WNetGetConnection of a local name such as "N:": ERROR_SUCCESS with the UNC name of a
    // mapped network drive, ERROR_NOT_CONNECTED for any other drive (a returned error code,
    // as the network functions do).
    virtual DWORD WNetGetConnection(std::string_view localName, std::string& remoteName) = 0;
    // WNetGetUser into a buffer of bufferSize characters: of the default connection with no
    // local name, else of the connection of that drive. ERROR_SUCCESS, ERROR_NOT_CONNECTED,
    // or ERROR_MORE_DATA with the size needed in bufferSize.
    virtual DWORD WNetGetUser(std::optional<std::string_view> localName, std::string& userName, DWORD& bufferSize) = 0;
};

// The full path of a file with a mapped network drive given as its UNC name (a local path
// stays a full local path).
std::string ExpandUncFileName(std::string_view path);

}  // namespace qm::platform
