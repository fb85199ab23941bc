#pragma once
// Installed applications and a few security settings: the display names of the uninstall
// entries ("Installed soft"), the version and virus definitions of six antivirus products
// ("Antivirus"), automatic logon ("AutoLogon"), the user's screen saver ("Screen Saver"), the
// Lotus Notes release ("LotusNotes") and three instant messengers ("Instant Messenger").

#include <string>
#include <string_view>
#include <vector>

#include "core/date_time.h"
#include "platform/registry_accessor.h"

namespace qm::collectors {

// "Installed soft": the display names of both hives' uninstall entries, at any depth, sorted by
// the user's locale with letter case ignored, numbered from 1.
void SoftwaresFromRegistryInfo();
// Adds the "DISPLAYNAME" of the key and of every key below it to the list; a name stored with
// another type than text is logged and skipped.
void CollectUninstallNames(platform::HKEY root, const std::string& path, std::vector<std::string>& names);

// "Antivirus": the six product readers in their order; each keeps its failures to itself.
void AntiVirusInfo();
void NortonInfo();
void FProtInfo();
void PandaInfo();
void ETrustInfo();
void KasperskyInfo();
void VirusScanInfo();

// A binary value of at most three bytes as three numbers joined by "." (05 00 0A gives
// 5.0.10, missing bytes count as 0); empty for an empty value; raises for a longer one.
std::string RegBinaryToVersion3(std::string_view name, platform::RegistryAccessor& reg);
// The date that the first eight characters of a definitions entry name as yyyymmdd; 0 for a
// name that does not begin with eight digits; raises for an impossible date.
core::DateTime DefsFolderDate(std::string_view name);

// "AutoLogon"/"Active": whether Winlogon's "AutoAdminLogon" is "1".
void AutoLogonInfo();
// "Screen Saver": whether it is on and, when it is, its password, time-out and program.
void ScreenSaverInfo();
// "LotusNotes": the highest release under the product's key, its program's date and the
// version of its formats.ini.
void LotusNotesInfo();
// "Instant Messenger": "YES" for each messenger whose key the user has.
void InstantMessengerInfo();

}  // namespace qm::collectors
