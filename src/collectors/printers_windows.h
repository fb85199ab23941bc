#pragma once
// The "Printers" and "Windows" sections: the spooler's printers and those only the NT
// printer registry knows; the Windows version, edition and a set of system settings.

#include <string>
#include <string_view>

#include "platform/system.h"

namespace qm::collectors {

void PrintersInfo();
// The printers of the NT printer registry that the list does not hold yet, numbered on from n.
void RegistryPrintersInfo(int n);
// The next item of a comma-separated list, leading blanks skipped; the cursor moves past it.
std::string NextPortToken(std::string_view& cursor);
// WindowsInfo reads the Windows version once and hands it to the routines below; alone, each
// reads it itself.
void WindowsInfo();
void UserIdInfo();
void UserIdInfo(const platform::OsVersionInfo& version);
std::string GetTimeZoneName();
std::string GetTimeZoneName(const platform::OsVersionInfo& version);
bool SameTimeZone(const platform::TimeZoneInformation& a, const platform::TimeZoneInformation& b);
bool SameSystemTime(const platform::SYSTEMTIME& a, const platform::SYSTEMTIME& b);

// The version text of the "Windows"/"Version" record.
std::string WindowsVersionText();
std::string WindowsVersionText(const platform::OsVersionInfo& version);

}  // namespace qm::collectors
