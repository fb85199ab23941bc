#include "platform/sim/sim_drives.h"

#include "platform/platform.h"
#include "platform/text.h"
#include "platform/winpath.h"

namespace qm::sim {

using namespace qm::platform;

// The host drive is there for the programs' own paths; no drive query sees it, so nothing
// walks the host's files as if they were the machine's.
const DriveConfig* SimDrives::DriveOfPath(std::string_view path) const {
    std::string full = state_.FullPath(path);
    std::string drive = DriveOf(full);
    const DriveConfig* d = drive.size() == 2 ? state_.DriveByLetter(drive[0]) : state_.DriveByUnc(drive);
    return d != nullptr && d->isHostDrive ? nullptr : d;
}

const DriveConfig* SimDrives::ReadyDrive(std::string_view path) const {
    const DriveConfig* d = DriveOfPath(path);
    if (d == nullptr) SetLastError(ERROR_PATH_NOT_FOUND);
    else if (!d->media) SetLastError(ERROR_NOT_READY);
    return d != nullptr && d->media ? d : nullptr;
}

DWORD SimDrives::GetLogicalDrives() {
    if (state_.Fails("GetLogicalDrives", "", false)) return 0;
    DWORD mask = 0;
    for (const DriveConfig& d : state_.DriveList())
        if (d.listed) mask |= 1u << (d.letter - 'A');
    return mask;
}

unsigned SimDrives::GetDriveType(std::string_view root) {
    std::string r(root);
    if (r.size() == 2 && r[1] == ':') r += '\\';
    if (state_.Fails("GetDriveType", r, false)) return DRIVE_UNKNOWN;
    if (!IsDriveRoot(r)) return DRIVE_NO_ROOT_DIR;
    const DriveConfig* d = DriveOfPath(r);
    if (d == nullptr) return DRIVE_NO_ROOT_DIR;
    return r.size() > 3 ? DRIVE_REMOTE : d->type;  // a UNC root is remote whatever maps it
}

bool SimDrives::GetDiskFreeSpaceEx(std::string_view path, std::uint64_t& freeToCaller, std::uint64_t& totalBytes,
                                   std::uint64_t& totalFree) {
    std::string full = state_.FullPath(path);
    if (state_.Fails("GetDiskFreeSpaceEx", full, false)) return false;
    const DriveConfig* d = ReadyDrive(full);
    if (d == nullptr) return false;
    ResolvedPath p = state_.Resolve(full);
    if (p.error != ERROR_SUCCESS || !p.exists) {
        SetLastError(p.error != ERROR_SUCCESS ? p.error : ERROR_PATH_NOT_FOUND);
        return false;
    }
    totalBytes = d->totalBytes;
    totalFree = d->freeBytes;
    freeToCaller = d->freeToCaller.value_or(d->freeBytes);
    return true;
}

bool SimDrives::GetVolumeInformation(std::string_view root, VolumeInformation& info) {
    std::string r(root);
    if (state_.Fails("GetVolumeInformation", r, false)) return false;
    if (!IsDriveRoot(r) || r.size() == 2) {
        SetLastError(ERROR_INVALID_NAME);
        return false;
    }
    const DriveConfig* d = ReadyDrive(r);
    if (d == nullptr) return false;
    info.volumeName = d->label;
    info.serialNumber = d->serial;
    info.maximumComponentLength = 255;
    info.fileSystemName = d->fileSystem;
    info.fileSystemFlags = d->fileSystemFlags;
    return true;
}

DWORD SimDrives::WNetGetConnection(std::string_view localName, std::string& remoteName) {
    std::string name(localName);
    if (state_.Fails("WNetGetConnection", name, false)) return GetLastError();
    remoteName.clear();
    if (name.size() < 2 || name[1] != ':') return ERROR_BAD_NETPATH;
    const DriveConfig* d = state_.DriveByLetter(name[0]);
    if (d == nullptr || d->type != DRIVE_REMOTE || d->unc.empty()) return ERROR_NOT_CONNECTED;
    remoteName = d->unc;
    return ERROR_SUCCESS;
}

DWORD SimDrives::WNetGetUser(std::optional<std::string_view> localName, std::string& userName, DWORD& bufferSize) {
    if (state_.Fails("WNetGetUser", localName ? std::string(*localName) : std::string(), false)) return GetLastError();
    std::string user;
    if (!localName) {
        user = state_.Config().networkUser;
    } else {
        const DriveConfig* d = localName->size() >= 2 && (*localName)[1] == ':' ? state_.DriveByLetter((*localName)[0]) : nullptr;
        if (d != nullptr && d->type == DRIVE_REMOTE) user = d->user;
    }
    if (user.empty()) return ERROR_NOT_CONNECTED;
    if (user.size() + 1 > bufferSize) {
        bufferSize = static_cast<DWORD>(user.size() + 1);
        return ERROR_MORE_DATA;
    }
    userName = user;
    return ERROR_SUCCESS;
}

}  // namespace qm::sim
