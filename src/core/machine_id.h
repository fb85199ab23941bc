#pragma once
// The machine identifier: 32 upper-case hexadecimal digits of a GUID with its creation date,
// kept in a registry key and in QMGuid.ini, whose places the settings section
// "GUID_DIRECTORY" adds to. The registry copy wins; both are rewritten when they differ or
// one is missing. A stored identifier is kept as it is, unless it holds a character that
// cannot stand in a file name: it names the result files.

#include <string>
#include <vector>

#include "platform/registry.h"

namespace qm::core {

inline constexpr const char* kDefaultGuidKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Quarmelin";

// The raw lines of "GUID_DIRECTORY"; scanAfter when its "DEFAUL_SCAN_AFTER" is not empty.
std::vector<std::string> GetGuidCandidates(bool& scanAfter);
// Where QMGuid.ini is written: the first candidate folder that exists and takes a test file.
std::string GetQMGUIDFile();
// Where it is read: the first candidate folder that holds it, else the folder written to.
std::string GetQMGUIDFileReadOnly();
// The root key of a root name (compared with regard to case); HKEY_CURRENT_USER otherwise.
platform::HKEY GetRootKey(const std::string& rootName);
// The first candidate key that opens for reading and has a "GUID" value, else the default.
std::string getRegistryGUIDkeyRO();
// The first candidate key that opens for writing (made when missing), else the default. Every
// line is tried as a key, as the read search does: a folder line such as D:\Inventory\ names
// \Inventory\ under HKEY_CURRENT_USER.
std::string getRegistryGUIDkeyRw();
// The "/FORCE_NEW_GUID" rule for the stored file and registry identifiers.
bool IsNewGuidForced(const std::string& fileGuid, const std::string& registryGuid);
// Loads, creates or repairs the identifier and sets it for the process.
void InitAgentGuid();

}  // namespace qm::core
