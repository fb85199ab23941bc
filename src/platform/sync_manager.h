#pragma once
// The exports of the handheld sync manager's two libraries that the handheld collector calls:
// the notifier registration of "CondMgr.dll" and the user list of "UserData.DLL". The caller
// looks them up by these names with GetProcAddress; the simulated machine's stand-ins of the
// libraries export functions of exactly these types.

#include <cstdint>

#include "platform/types.h"

namespace qm::platform::sync_manager {

inline constexpr const char* kCondMgrFile = "CondMgr.dll";
inline constexpr const char* kUserDataFile = "UserData.DLL";

inline constexpr const char* kNmRegister = "NmRegister";
inline constexpr const char* kNmUnregister = "NmUnregister";
inline constexpr const char* kUmGetUserCount = "UmGetUserCount";
inline constexpr const char* kUmGetUserID = "UmGetUserID";
inline constexpr const char* kUmGetUserDirectory = "UmGetUserDirectory";

// What the sync manager keeps of its own: its folder ("Path" of the first key) and the
// notifiers it calls after a synchronisation, with the time of the last one (the second).
inline constexpr const char* kCoreKey = "\\Software\\U.S. Robotics\\Pilot Desktop\\Core";
inline constexpr const char* kHotSyncManagerKey = "\\Software\\U.S. Robotics\\Pilot Desktop\\HotSync Manager";

// The size of the folder buffer that UmGetUserDirectory is handed.
inline constexpr std::int16_t kUserDirectorySize = 200;

// Registers the notifier library at the full path with the sync manager: 0, or a negative error.
using NmRegisterFunction = long(const char* notifierPath);
// Removes the registration of the notifier library at the full path: 0, or a negative error.
using NmUnregisterFunction = long(const char* notifierPath);
// The number of users of the sync manager; as a signed number, a negative one is an error.
using UmGetUserCountFunction = WORD();
// The identifier of the user with the index (from 0): 0 with the identifier, or an error.
using UmGetUserIDFunction = long(WORD index, DWORD* userId);
// The user's folder, relative to the sync manager's folder, as text ending in NUL in the
// buffer of *size characters; *size becomes the length of the text. 0, or an error (the
// buffer's contents are then undefined).
using UmGetUserDirectoryFunction = long(DWORD userId, char* buffer, std::int16_t* size);

}  // namespace qm::platform::sync_manager
