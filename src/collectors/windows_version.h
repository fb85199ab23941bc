#pragma once
// The Windows version the system reports, and the text of the "Windows"/"Version" record
// that names its release, edition, build and service pack.

#include <string>

#include "platform/system.h"

namespace qm::collectors {

// The version the system reports; all zero (no family) when it reports none. Collectors
// choose their 9x or NT way by its platform identifier.
platform::OsVersionInfo WindowsVersion();

// The version text of the "Windows"/"Version" record; without the version in hand it is read.
std::string WindowsVersionText();
std::string WindowsVersionText(const platform::OsVersionInfo& version);

}  // namespace qm::collectors
