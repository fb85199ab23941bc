#pragma once
// The user's Internet settings: the browser's extensions, start page, proxy, the security of
// the Internet zone and the cookie policy ("InternetExplorer"), and the programs that open web
// pages and mail links ("Internet").

#include <string>
#include <string_view>

#include "platform/registry_accessor.h"

namespace qm::collectors {

// "Internet"/"DefaultBrowser" and "Internet"/"DefaultMail": the description and version of
// the program the file association names; written, empty, also when none is found.
void DefaultBrowserInfo();
void DefaultMailInfo();
// "InternetExplorer": the extensions, then start page, proxy and the Internet zone's level.
void InternetExplorerInfo();
// "InternetExplorer"/"Extension"n: one per extension with a program or a text.
void getIEExtention();
// The records of a custom level of the Internet zone, whose key the registry object has open.
void IEZoneSecurity(platform::RegistryAccessor& zone);
// The first four bytes of a binary value as a big-endian number, bytes missing from a shorter
// value counting as 0; -1 for a value without data; raises for a longer one.
int ReadBinaryDwordBE(std::string_view name, platform::RegistryAccessor& reg);
// "InternetExplorer"/"CookiesStatut" from the first of its three sources that has its value.
void CookiesInfo();
bool CookiesFromSettingsKey(platform::RegistryAccessor& reg);
bool CookiesFromZone1A10(platform::RegistryAccessor& reg);
bool CookiesFromZone1A02(platform::RegistryAccessor& reg);

}  // namespace qm::collectors
