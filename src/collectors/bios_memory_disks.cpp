#include "collectors/bios_memory_disks.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "collectors/collector_guard.h"
#include "collectors/registry_values.h"
#include "collectors/windows_version.h"
#include "core/result_list.h"
#include "core/sections.h"
#include "core/trace_log.h"
#include "platform/platform.h"
#include "platform/registry_accessor.h"
#include "platform/text.h"
#include "platform/winpath.h"

namespace qm::collectors {

using namespace qm::platform;
using core::AddResultLine;
using core::QuoteField;
using core::sections::kBios;
using core::sections::kCdrom;
using core::sections::kDiskSizes;
using core::sections::kDisks;
using core::sections::kMemory;

void BiosInfo() {
    LogAndGoOn([] {
        OsVersionInfo v = WindowsVersion();
        const char *key, *date, *name, *version;
        if (v.dwPlatformId == VER_PLATFORM_WIN32_NT) {
            key = "HARDWARE\\DESCRIPTION\\System";
            date = "SystemBiosDate";
            name = "Identifier";
            version = "SystemBiosVersion";
        } else if (v.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS) {
            key = "Enum\\Root\\*PNP0C01\\0000";
            date = "BIOSDate";
            name = "BIOSName";
            version = "BIOSVersion";
        } else {
            return;
        }
        RegistryAccessor reg(HKEY_LOCAL_MACHINE);
        if (!reg.OpenKeyReadOnly(key)) return;
        AddResultLine(kBios, "Date", QuoteField(ReadRegValueAsString(date, reg)));
        AddResultLine(kBios, "Name", QuoteField(ReadRegValueAsString(name, reg)));
        AddResultLine(kBios, "Version", QuoteField(ReadRegValueAsString(version, reg)));
    });
}

void MemoryInfo() {
    LogAndGoOn([] {
        AddResultLine(kMemory, "DOS memory", QuoteField("640"));
        OsVersionInfo v = WindowsVersion();
        double kb = 640;
        bool nt = v.dwPlatformId == VER_PLATFORM_WIN32_NT;
        MemoryStatusEx ex;
        if (nt && v.dwMajorVersion >= 5 && System().HasGlobalMemoryStatusEx() && System().GlobalMemoryStatusEx(ex)) {
            kb = static_cast<double>(ex.ullTotalPhys) / 1024.0;
        } else if (nt || v.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS) {
            // Without the extended call, the plain one still knows up to 4 GiB.
            MemoryStatus status;
            System().GlobalMemoryStatus(status);
            kb = static_cast<double>(status.dwTotalPhys) / 1024.0;
        }
        auto extended = static_cast<std::int64_t>(std::trunc(kb)) - 640;
        auto total = static_cast<std::int64_t>(std::trunc(kb / 1024.0 + 0.8));
        AddResultLine(kMemory, "Extended", QuoteField(std::to_string(extended)));
        AddResultLine(kMemory, "Total", QuoteField(std::to_string(total)));
    });
}

std::string FormatMegabytes(std::int64_t bytes) {
    char text[64];
    std::snprintf(text, sizeof text, "%.2f", static_cast<double>(bytes) / 1048576.0);
    return text;
}

std::string FirstRootEntry(char letter) {
    FindData data;
    auto find = Files().FindFirstFile(std::string(1, letter) + ":\\*.*", data);
    return find ? data.cFileName : std::string();
}

std::string GetNetworkRoot(char letter) {
    std::string entry = FirstRootEntry(letter);
    if (entry.empty()) return std::string();
    std::string expanded = ExpandUncFileName(std::string(1, letter) + ":\\" + entry);
    if (expanded.empty()) return std::string();
    return NetworkRootOf(expanded, entry);
}

std::string NetworkRootOf(std::string_view expanded, std::string_view entry) {
    // The entry's name comes off the end: a folder of the share path may bear the same name.
    // An expansion that does not end with it (Windows drops trailing dots and blanks) keeps
    // no more than its drive.
    if (EndsWithNoCase(expanded, entry) && expanded.size() > entry.size())
        return std::string(expanded.substr(0, expanded.size() - entry.size()));
    return DriveOf(expanded);
}

std::optional<VolumeInformation> GetVolumeInfo(char letter) {
    std::string root = std::string(1, AsciiLower(letter)) + ":\\";
    VolumeInformation info;
    if (!Drives().GetVolumeInformation(root, info)) return std::nullopt;
    return info;
}

std::string GetVolumeLabel(const std::optional<VolumeInformation>& volume) {
    return volume ? volume->volumeName : std::string();
}

std::string GetFileSystemName(const std::optional<VolumeInformation>& volume) {
    return volume ? volume->fileSystemName : std::string();
}

std::string GetDriveTypeText(unsigned driveType) {
    switch (driveType) {
        case DRIVE_FIXED: return "Fixed drive";
        case DRIVE_REMOTE: return "Network drive";
        case DRIVE_CDROM: return "CDROM drive";
        case DRIVE_RAMDISK: return "RAM drive";
        default: return std::string();
    }
}

std::string GetVolumeSerial(const std::optional<VolumeInformation>& volume) {
    if (!volume) return std::string();
    char text[16];
    std::snprintf(text, sizeof text, "%02X-%02X", volume->serialNumber >> 16, volume->serialNumber & 0xFFFF);
    return text;
}

namespace {

void DriveRecords() {
    for (char letter = 'C'; letter <= 'Z'; ++letter) {
        std::string root = std::string(1, letter) + ":\\";
        unsigned type = Drives().GetDriveType(root);
        if (type == DRIVE_REMOVABLE) continue;
        std::int64_t total = 0, free = 0;
        std::uint64_t caller = 0, bytes = 0, totalFree = 0;
        try {
            bool ok = Drives().GetDiskFreeSpaceEx(root, caller, bytes, totalFree);
            total = ok ? static_cast<std::int64_t>(bytes) : -1;
            free = ok ? static_cast<std::int64_t>(caller) : 0;
        } catch (const PlatformFault&) {
            total = 0;
        }
        std::string key = std::string("Drive ") + AsciiLower(letter);
        if (total > 0) {
            std::optional<VolumeInformation> volume = GetVolumeInfo(letter);
            std::string fields = QuoteField(FormatMegabytes(total)) + "," + QuoteField(FormatMegabytes(free)) + "," +
                                 QuoteField(GetNetworkRoot(letter)) + "," + QuoteField(GetVolumeLabel(volume)) + "," +
                                 QuoteField(GetFileSystemName(volume)) + "," + QuoteField(GetDriveTypeText(type)) + "," +
                                 QuoteField(GetVolumeSerial(volume));
            AddResultLine(kDiskSizes, key, fields);
        }
        if (type == DRIVE_CDROM) AddResultLine(kCdrom, key, QuoteField(""));
    }
}

void PhysicalDiskRecords() {
    for (unsigned n = 0;; ++n) {
        auto disk = Devices().CreateFile("\\\\.\\PHYSICALDRIVE" + std::to_string(n), 0, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                          CreationDisposition::OpenExisting);
        if (!disk) return;
        std::string key = "Disk drive " + std::to_string(n + 1);
        std::uint8_t geometry[24] = {};
        DWORD returned = 0;
        if (!disk->DeviceIoControl(IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, geometry, sizeof geometry, returned)) {
            AddResultLine(kDisks, key, QuoteField(""));
            continue;
        }
        std::uint64_t cylinders = 0;
        std::uint32_t tracks = 0, sectors = 0, bytesPerSector = 0;
        std::memcpy(&cylinders, geometry, 8);
        std::memcpy(&tracks, geometry + 12, 4);
        std::memcpy(&sectors, geometry + 16, 4);
        std::memcpy(&bytesPerSector, geometry + 20, 4);
        // In 64 bits: the 32-bit products overflowed for disks of 4 TB and more.
        std::uint64_t megabytes =
            static_cast<std::uint64_t>(tracks) * sectors * bytesPerSector / 1024 * cylinders / 1024;
        AddResultLine(kDisks, key,
                      QuoteField(std::to_string(static_cast<std::uint32_t>(cylinders))) + "," +
                          QuoteField(std::to_string(tracks)) + "," + QuoteField(std::to_string(sectors)) + "," +
                          QuoteField(std::to_string(static_cast<std::int64_t>(megabytes))));
    }
}

}  // namespace

void DiskInfo() {
    LogAndGoOn([] {
        DriveRecords();
        if (WindowsVersion().dwPlatformId == VER_PLATFORM_WIN32_NT) PhysicalDiskRecords();
    });
}

}  // namespace qm::collectors
