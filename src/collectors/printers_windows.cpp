#include "collectors/printers_windows.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "collectors/registry_values.h"
#include "core/result_list.h"
#include "core/trace_log.h"
#include "platform/platform.h"
#include "platform/registry_accessor.h"
#include "platform/text.h"

namespace qm::collectors {

using namespace qm::platform;
using core::AddResultLine;
using core::QuoteField;

namespace {

const char* const kPrinters = "\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\Printers\\";
const char* const kLanManServers =
    "\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\Providers\\LanMan Print Services\\Servers";

std::string Join(std::initializer_list<std::string> fields) {
    std::string out;
    for (const std::string& f : fields) {
        if (!out.empty()) out += ',';
        out += QuoteField(f);
    }
    return out;
}

std::string Narrow(const std::u16string& wide) { return CodePage().WideCharToMultiByte(wide); }

std::string EditionText(const OsVersionInfo& v) {
    if (v.dwPlatformId != VER_PLATFORM_WIN32_NT) return std::string();
    if (v.dwMajorVersion > 4) {
        OsVersionInfoEx ex;
        if (!System().GetVersionEx(ex)) return std::string();
        if (ex.wProductType == VER_NT_WORKSTATION) return (ex.wSuiteMask & VER_SUITE_PERSONAL) ? "Personal" : "Professional";
        if (ex.wSuiteMask & VER_SUITE_DATACENTER) return "DataCenter Server";
        if (ex.wSuiteMask & VER_SUITE_ENTERPRISE) return "Advanced Server";
        return "Server";
    }
    RegistryAccessor reg(HKEY_LOCAL_MACHINE);
    if (!reg.OpenKeyReadOnly("SYSTEM\\CURRENTCONTROLSET\\CONTROL\\PRODUCTOPTIONS")) return std::string();
    std::string type = AsciiUpper(ReadRegText("PRODUCTTYPE", reg));
    return type == "SERVERNT" || type == "LANMANNT" ? "Server" : "Workstation";
}

std::string ReleaseText(const OsVersionInfo& v) {
    switch (v.dwPlatformId) {
        case VER_PLATFORM_WIN32s: return "Win32s";
        case VER_PLATFORM_WIN32_WINDOWS:
            if (v.dwMajorVersion != 4) return "Windows";
            return v.dwMinorVersion < 10 ? "Windows 95" : v.dwMinorVersion < 90 ? "Windows 98" : "Windows Millennium";
        case VER_PLATFORM_WIN32_NT:
            if (v.dwMajorVersion != 5) return "Windows NT";
            return v.dwMinorVersion == 0 ? "Windows 2000" : "Windows XP";
        default: return std::string();
    }
}

// Service Pack 6a is Service Pack 6 with the fix Q246009 installed.
bool HasServicePack6a() {
    RegistryAccessor reg(HKEY_LOCAL_MACHINE);
    if (!reg.OpenKeyReadOnly("SOFTWARE\\MICROSOFT\\WINDOWS NT\\CURRENTVERSION\\HOTFIX\\Q246009")) return false;
    return reg.GetDataType("INSTALLED") == REG_DWORD && reg.ReadInteger("INSTALLED") == 1;
}

void AddWindows(const char* key, const std::string& value) { AddResultLine("Windows", key, QuoteField(value)); }

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

std::string NextPortToken(std::string_view& cursor) {
    while (!cursor.empty() && cursor.front() == ' ') cursor.remove_prefix(1);
    std::size_t comma = cursor.find(',');
    std::string item(cursor.substr(0, comma));
    cursor = comma == std::string_view::npos ? std::string_view() : cursor.substr(comma + 1);
    return item;
}

void PrintersInfo() {
    try {
        bool nt = WindowsVersion().dwPlatformId == VER_PLATFORM_WIN32_NT;
        DWORD flags = nt ? PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS : PRINTER_ENUM_LOCAL;
        DWORD needed = 0;
        std::vector<PrinterInfo> printers;
        Spooler().EnumPrinters(flags, 2, 0, needed, printers);
        if (needed == 0) return;
        DWORD buffer = needed;
        DWORD level = 2;
        if (!Spooler().EnumPrinters(flags, level, buffer, needed, printers)) {
            level = nt ? 4 : 5;
            if (!Spooler().EnumPrinters(flags, level, buffer, needed, printers)) return;
        }
        core::WriteLog(std::to_string(printers.size()) + " found");
        core::WriteLog("Level = " + std::to_string(level));
        int n = 0;
        for (const PrinterInfo& p : printers) {
            std::string key = std::to_string(n);
            if (level == 2) {
                AddResultLine("Printers", key,
                              Join({p.serverName, p.printerName, p.shareName, p.portName, p.driverName, p.location,
                                    p.printProcessor, p.datatype, p.parameters}));
                core::WriteLog(Join({p.serverName, p.printerName, p.shareName, p.portName, p.driverName, p.location,
                                     p.printProcessor}));
            } else if (level == 4) {
                AddResultLine("Printers", key, Join({p.serverName, p.printerName}));
                core::WriteLog(Join({p.serverName, p.printerName}));
            } else {
                std::string_view cursor = p.portName;
                for (std::string port = NextPortToken(cursor); !port.empty(); port = NextPortToken(cursor)) {
                    AddResultLine("Printers", key, Join({port, p.printerName}));
                    core::WriteLog(Join({port, p.printerName}));
                }
            }
            ++n;
        }
        RegistryPrintersInfo(static_cast<int>(printers.size()));
    } catch (const std::exception& e) {
        core::WriteLog(e.what());
    }
}

void RegistryPrintersInfo(int n) {
    std::vector<std::string> folders{kPrinters};
    {
        RegistryAccessor servers(HKEY_LOCAL_MACHINE);
        if (servers.OpenKeyReadOnly(kLanManServers))
            for (const std::string& server : servers.GetKeyNames()) {
                std::string folder = std::string(kLanManServers) + "\\" + server + "\\Printers\\";
                RegistryAccessor probe(HKEY_LOCAL_MACHINE);
                if (probe.OpenKeyReadOnly(folder)) folders.push_back(folder);
            }
    }
    for (const std::string& folder : folders) {
        // The spooler lists the local printers by their names; a print server's printer of the
        // same name is another printer.
        const bool local = folder == kPrinters;
        RegistryAccessor list(HKEY_LOCAL_MACHINE);
        if (!list.OpenKeyReadOnly(folder)) continue;
        for (const std::string& name : list.GetKeyNames()) {
            RegistryAccessor printer(HKEY_LOCAL_MACHINE);
            if (!printer.OpenKeyReadOnly(folder + name)) continue;
            std::string share = ReadRegText("Share Name", printer), port = ReadRegText("Port", printer),
                        location = ReadRegText("Location", printer), processor = ReadRegText("Print Processor", printer),
                        datatype = ReadRegText("Datatype", printer);
            printer.CloseKey();
            std::string server, unc, driver;
            RegistryAccessor ds(HKEY_LOCAL_MACHINE);
            if (ds.OpenKeyReadOnly(folder + name + "\\DsSpooler")) {
                server = ReadRegText("serverName", ds);
                unc = ReadRegText("uNCName", ds);
                driver = ReadRegText("driverName", ds);
            }
            bool listed = false;
            std::string quotedName = QuoteField(name);
            quotedName = quotedName.substr(1, quotedName.size() - 2);
            for (const std::string& line : core::LastResultLines(static_cast<std::size_t>(n) + 1)) {
                if (!unc.empty() && !driver.empty() &&
                    (line.find(unc) != std::string::npos || line.find(driver) != std::string::npos))
                    listed = true;
                // Whatever its directory data, a local printer is listed already when one of
                // these records names it in its second value field (a spooler record's printer
                // name).
                std::vector<std::string> fields = core::ResultFields(line);
                if (local && fields.size() >= 4 && fields[0] == "Printers" && fields[3] == quotedName) listed = true;
            }
            if (listed) continue;
            AddResultLine("Printers", std::to_string(n),
                          Join({server, unc, share, port, driver, location, processor, datatype, ""}));
            ++n;
        }
    }
}

std::string WindowsVersionText() { return WindowsVersionText(WindowsVersion()); }

std::string WindowsVersionText(const OsVersionInfo& v) {
    std::string release = ReleaseText(v);
    std::string edition = EditionText(v);
    std::string text = release + (edition.empty() ? "" : " " + edition) + " " + std::to_string(v.dwMajorVersion) + "." +
                       std::to_string(v.dwMinorVersion) + " Build " + std::to_string(v.dwBuildNumber & 0xFFFF);
    if (!v.szCSDVersion.empty()) {
        text += " " + v.szCSDVersion;
        if (release == "Windows NT" && v.szCSDVersion == "Service Pack 6" && HasServicePack6a()) text += "a";
    }
    return text;
}

void WindowsInfo() {
    try {
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
    } catch (const std::exception& e) {
        core::WriteLog(e.what());
    }
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
