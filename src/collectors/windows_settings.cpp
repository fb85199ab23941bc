#include "collectors/windows_settings.h"

#include <algorithm>
#include <cstring>

#include "collectors/collector_guard.h"
#include "collectors/registry_values.h"
#include "collectors/windows_version.h"
#include "core/result_list.h"
#include "core/sections.h"
#include "core/trace_log.h"
#include "platform/platform.h"
#include "platform/registry_accessor.h"
#include "platform/text.h"

namespace qm::collectors {

using namespace qm::platform;
using core::sections::kWindows;

namespace {

std::string Narrow(const std::u16string& wide) { return CodePage().WideCharToMultiByte(wide); }

void AddWindows(const char* key, const std::string& value) { core::AddQuotedResultLine(kWindows, key, value); }

// The network user name through a buffer that grows to what the name needs.
std::string NetworkUser(std::optional<std::string_view> localName) {
    std::string name;
    DWORD size = 80;
    DWORD r = Drives().WNetGetUser(localName, name, size);
    if (r == ERROR_MORE_DATA) r = Drives().WNetGetUser(localName, name, size);
    return r == ERROR_SUCCESS ? name : std::string();
}

TimeZoneInformation ParseTzi(const std::uint8_t* tzi) {
    TimeZoneInformation z;
    std::memcpy(&z.bias, tzi, 4);
    std::memcpy(&z.standardBias, tzi + 4, 4);
    std::memcpy(&z.daylightBias, tzi + 8, 4);
    auto date = [&](std::size_t at) {
        WORD w[8];
        std::memcpy(w, tzi + at, 16);
        SYSTEMTIME st;
        st.wYear = w[0];
        st.wMonth = w[1];
        st.wDayOfWeek = w[2];
        st.wDay = w[3];
        st.wHour = w[4];
        st.wMinute = w[5];
        st.wSecond = w[6];
        st.wMilliseconds = w[7];
        return st;
    };
    z.standardDate = date(12);
    z.daylightDate = date(28);
    return z;
}

// A name as it fits the 32 wide characters of the structure, terminator included.
std::u16string NameField(const std::string& name) {
    std::u16string wide = CodePage().MultiByteToWideChar(name);
    return wide.size() < 32 ? wide : std::u16string();
}

}  // namespace

void WindowsInfo() {
    LogAndGoOn([] {
        OsVersionInfo v = WindowsVersion();
        bool nt = v.dwPlatformId == VER_PLATFORM_WIN32_NT;
        bool nine = v.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS;
        AddWindows("Version", WindowsVersionText(v));
        if (nt || nine) {
            RegistryAccessor reg(HKEY_LOCAL_MACHINE);
            if (reg.OpenKeyReadOnly(nt ? "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion"
                                       : "SOFTWARE\\Microsoft\\Windows\\CurrentVersion")) {
                for (const char* name : {"ProductId", "SystemRoot", "RegisteredOrganization", "RegisteredOwner"})
                    AddWindows(name, ReadRegText(name, reg));
            }
        }
        std::string temp;
        DWORD length = System().GetTempPath(temp);
        if (length > 0 && length < MAX_PATH) AddWindows("Temp dir", temp);
        if (nt) {
            RegistryAccessor logon(HKEY_LOCAL_MACHINE);
            if (logon.OpenKeyReadOnly("SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\WinLogon"))
                AddWindows("WorkGroup or NT domain", ReadRegText("CachePrimaryDomain", logon));
            RegistryAccessor server(HKEY_LOCAL_MACHINE);
            if (server.OpenKeyReadOnly("SYSTEM\\CURRENTCONTROLSET\\SERVICES\\LANMANSERVER\\PARAMETERS"))
                AddWindows("Comment", ReadRegText("SRVCOMMENT", server));
        } else if (nine) {
            RegistryAccessor net(HKEY_LOCAL_MACHINE);
            if (net.OpenKeyReadOnly("System\\CurrentControlSet\\Services\\VxD\\VNetSup")) {
                AddWindows("WorkGroup or NT domain", ReadRegText("WorkGroup", net));
                AddWindows("Comment", ReadRegText("Comment", net));
            }
        }
        AddWindows("Screen resolution", std::to_string(System().GetSystemMetrics(SM_CXSCREEN)) + "*" +
                                            std::to_string(System().GetSystemMetrics(SM_CYSCREEN)));
        // The whole entry: a long printer, driver and port text is not cut.
        AddWindows("Default printer", Profile().GetProfileString("windows", "device", ""));
        UserIdInfo(v);
        AddWindows("Time zone", GetTimeZoneName(v));
        AddWindows("Country", System().GetLocaleInfo(LOCALE_SYSTEM_DEFAULT, LOCALE_SCOUNTRY));
        AddWindows("System language", System().GetLocaleInfo(LOCALE_SYSTEM_DEFAULT, LOCALE_SLANGUAGE));
        AddWindows("User language", System().GetLocaleInfo(LOCALE_USER_DEFAULT, LOCALE_SLANGUAGE));
    });
}

void UserIdInfo() { UserIdInfo(WindowsVersion()); }

void UserIdInfo(const OsVersionInfo& version) {
    std::string name;
    try {
        // A buffer as large as a user name may be, so that a long name is not passed over.
        if (!System().GetUserName(name, 257)) name.clear();
        if (name.empty() && version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS) {
            try {
                RegistryAccessor logon(HKEY_LOCAL_MACHINE);
                if (logon.OpenKeyReadOnly("Network\\Logon")) name = ReadRegText("UserName", logon);
                RegistryAccessor control(HKEY_LOCAL_MACHINE);
                if (name.empty() && control.OpenKeyReadOnly("System\\CurrentControlSet\\Control"))
                    name = ReadRegText("Current User", control);
            } catch (const std::exception&) {
                name.clear();
            }
        }
        if (name.empty()) name = NetworkUser(std::nullopt);
        if (name.empty()) {
            name = NetworkUser("Z:");
            // A directory-service name such as .CN=jdoe.OU=sales.O=corp loses its ".CN=".
            if (StartsWithNoCase(name, ".CN=")) name.erase(0, 4);
            std::size_t dot = name.find('.');
            if (dot != std::string::npos) name.resize(dot);
        }
        if (std::count(name.begin(), name.end(), '@') == 2) name.resize(name.find('@'));
    } catch (...) {
        AddWindows("User ID", name);
        throw;
    }
    AddWindows("User ID", name);
}

bool SameSystemTime(const SYSTEMTIME& a, const SYSTEMTIME& b) { return a == b; }

bool SameTimeZone(const TimeZoneInformation& a, const TimeZoneInformation& b) {
    return a.bias == b.bias && a.standardBias == b.standardBias && a.daylightBias == b.daylightBias &&
           SameSystemTime(a.standardDate, b.standardDate) && SameSystemTime(a.daylightDate, b.daylightDate) &&
           a.standardName == b.standardName && a.daylightName == b.daylightName;
}

std::string GetTimeZoneName() { return GetTimeZoneName(WindowsVersion()); }

std::string GetTimeZoneName(const OsVersionInfo& version) {
    TimeZoneInformation current;
    System().GetTimeZoneInformation(current);
    std::string result = Narrow(current.standardName);
    bool nt = version.dwPlatformId == VER_PLATFORM_WIN32_NT;
    std::string key = nt ? "SOFTWARE\\MICROSOFT\\WINDOWS NT\\CURRENTVERSION\\TIME ZONES"
                         : "SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\TIME ZONES";
    RegistryAccessor zones(HKEY_LOCAL_MACHINE);
    if (!zones.OpenKeyReadOnly(key)) return result;
    for (const std::string& name : zones.GetKeyNames()) {
        RegistryAccessor zone(HKEY_LOCAL_MACHINE);
        // Only a binary value of the structure's size describes a zone: a text would make the
        // read raise and cost the records after the time zone, other types describe nothing.
        if (!zone.OpenKeyReadOnly(key + "\\" + name) || zone.GetDataType("TZI") != REG_BINARY ||
            zone.GetDataSize("TZI") != 44)
            continue;
        std::uint8_t tzi[44];
        zone.ReadBinaryData("TZI", tzi, sizeof tzi);
        TimeZoneInformation candidate = ParseTzi(tzi);
        candidate.standardName = NameField(ReadRegText("STD", zone));
        candidate.daylightName = NameField(ReadRegText("DLT", zone));
        if (SameTimeZone(candidate, current)) return ReadRegText("DISPLAY", zone);
    }
    return result;
}

}  // namespace qm::collectors
