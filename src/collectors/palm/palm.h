#pragma once
// The handheld inventory: the system's handheld application and its notifier library handed
// to the handheld sync manager, and for every sync-manager user whose backup holds the
// inventory database, that database written as one handheld result file (.pdz) into the work
// folder, named by the handheld's own identifier.

#include <array>
#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>

namespace qm::collectors {

// Beside the agent program.
inline constexpr const char* kPalmApplicationFile = "PalmInfo.prc";
inline constexpr const char* kPalmNotifierFile = "QuarmelinConduit.dll";
// In a user's backup folder.
inline constexpr const char* kPalmDatabaseFile = "PalmInfoDB.PDB";

// The fields of a database record: category letter, key, length of the value, value.
using PalmFieldList = std::array<std::size_t, 4>;
inline constexpr PalmFieldList kPalmFieldPositions{0, 1, 6, 8};
inline constexpr PalmFieldList kPalmFieldLengths{1, 5, 2, 35};
inline constexpr std::size_t kPalmRecordSize = 43;

// A database that cannot be read as its header says: shorter than its record count needs,
// or a record whose length field is no number.
class PalmDatabaseError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The entry, once per run after the software inventory; raises nothing.
void PalmInventory();
// Both files lie in the agent folder.
bool ConduitFilesPresent();
// Copies the two files into the sync manager and registers the notifier there; false when the
// sync manager's folder or its notifier library is missing.
bool RegisterConduit();
// The copies into the sync manager's folder, each failure ignored.
void CopyConduitFiles();
// The sync manager's folder with a trailing backslash; empty when it is not known.
std::string GetHotSyncDir();
// CondMgr.dll from the sync manager's folder, with NmRegister and NmUnregister; false (and
// nothing held) when either is missing. FreeCondMgr frees it.
bool LoadCondMgr();
void FreeCondMgr();
// UserData.DLL from the sync manager's folder, with its three user functions; false (and
// nothing held) when any is missing. FreeUserData frees it.
bool LoadUserData();
void FreeUserData();
// One user's database from the backup folder (trailing backslash) into one .pdz in the work
// folder (trailing backslash); nothing without a database, and nothing from a damaged one.
void ReadPalmUser(const std::string& backupFolder, const std::string& workFolder);
// The records of the database into the result list, in database order; the raw value of the
// last record keyed "GUID " becomes the handheld identifier. Raises PalmDatabaseError for a
// damaged database.
void ParsePalmDatabase(std::string_view contents, const PalmFieldList& positions, const PalmFieldList& lengths,
                       std::string& identifier);
// The "Host" records of the sync manager's notifiers and its last synchronisation.
void PalmHotSyncInfo();

}  // namespace qm::collectors
