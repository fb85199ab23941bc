#pragma once
// The "Windows" section: the Windows version, edition and a set of system settings.

#include <string>

#include "platform/system.h"

namespace qm::collectors {

// WindowsInfo reads the Windows version once and hands it to the routines below; alone, each
// reads it itself.
void WindowsInfo();
void UserIdInfo();
void UserIdInfo(const platform::OsVersionInfo& version);
std::string GetTimeZoneName();
std::string GetTimeZoneName(const platform::OsVersionInfo& version);
bool SameTimeZone(const platform::TimeZoneInformation& a, const platform::TimeZoneInformation& b);
bool SameSystemTime(const platform::SYSTEMTIME& a, const platform::SYSTEMTIME& b);

}  // namespace qm::collectors
