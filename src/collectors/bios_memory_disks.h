#pragma once
// The BIOS, memory and drive sections of the hardware result file.

#include <cstdint>
#include <string>

namespace qm::collectors {

// "Bios": the date, name and version the registry records for the system board.
void BiosInfo();
// "Memory": 640 KB of DOS memory, the extended memory and the installed megabytes.
void MemoryInfo();
// "Disk sizes" and "CDROM" for the drives C to Z, then "Disks" for the physical disks.
void DiskInfo();

// Helpers of DiskInfo, each for a drive letter.
std::string FormatMegabytes(std::int64_t bytes);
std::string FirstRootEntry(char letter);
std::string GetNetworkRoot(char letter);
std::string GetVolumeLabel(char letter);
std::string GetFileSystemName(char letter);
std::string GetDriveTypeText(const std::string& root);
std::string GetVolumeSerial(char letter);

}  // namespace qm::collectors
