#pragma once
// The BIOS, memory and drive sections of the hardware result file.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/drives.h"

namespace qm::collectors {

// "Bios": the date, name and version the registry records for the system board.
void BiosInfo();
// "Memory": 640 KB of DOS memory, the extended memory and the installed megabytes.
void MemoryInfo();
// "Disk sizes" and "CDROM" for the drives C to Z, then "Disks" for the physical disks.
void DiskInfo();

// Helpers of DiskInfo.
std::string FormatMegabytes(std::int64_t bytes);
std::string FirstRootEntry(char letter);
std::string GetNetworkRoot(char letter);
// The network root from the expanded path of the root's first entry: that path without the
// entry's name at its end; the drive part when the name does not end it or nothing precedes it.
std::string NetworkRootOf(std::string_view expanded, std::string_view entry);
// The volume information of the drive's root, asked for once per drive; none when it cannot
// be read. The label, file-system and serial fields are formatted from it, empty without it.
std::optional<platform::VolumeInformation> GetVolumeInfo(char letter);
std::string GetVolumeLabel(const std::optional<platform::VolumeInformation>& volume);
std::string GetFileSystemName(const std::optional<platform::VolumeInformation>& volume);
std::string GetVolumeSerial(const std::optional<platform::VolumeInformation>& volume);
// The text of a Windows drive type, as the drive loop already has it.
std::string GetDriveTypeText(unsigned driveType);

}  // namespace qm::collectors
