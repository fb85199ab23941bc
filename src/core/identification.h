#pragma once
// The identification file Chk_ID in the work folder, the asset identifier and the asset tag.

#include <string>
#include <string_view>

namespace qm::core {

// Makes Chk_ID with "Identification"/"Asset#" when it does not exist yet.
void InitAssetNumber();
// The asset number of Chk_ID, else COMPUTERNAME, else the computer name, else the machine
// identifier, else "UNKNOWN"; computed once for the process.
std::string GetAssetId();
// The computer name, trimmed; empty when the system has none.
std::string GetLocalComputerName();
// The whole value of an environment variable; empty when it is not set.
std::string GetEnvVar(std::string_view name);
// One pass of the asset-tag decision.
void GetAssetTag();

// The texts of the asset-tag dialog where the settings file gives none.
inline constexpr const char* kAssetTagCaption = "Please enter asset tag #";
inline constexpr const char* kAssetTagPrompt = "Asset Tag #";

}  // namespace qm::core
