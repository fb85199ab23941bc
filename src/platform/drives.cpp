#include "platform/drives.h"

#include "platform/platform.h"
#include "platform/winpath.h"

namespace qm::platform {

std::string ExpandUncFileName(std::string_view path) {
    std::string full;
    if (Files().GetFullPathName(path, full) == 0) full = std::string(path);
    std::string drive = DriveOf(full);
    if (drive.size() != 2) return full;  // already UNC, or no drive
    std::string remote;
    if (Drives().WNetGetConnection(drive, remote) != ERROR_SUCCESS || remote.empty()) return full;
    return ExcludeTrailingBackslash(remote) + full.substr(2);
}

}  // namespace qm::platform
