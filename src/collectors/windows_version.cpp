#include "collectors/windows_version.h"

#include "collectors/registry_values.h"
#include "platform/platform.h"
#include "platform/registry_accessor.h"
#include "platform/text.h"

namespace qm::collectors {

using namespace qm::platform;

namespace {

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

}  // namespace

OsVersionInfo WindowsVersion() {
    OsVersionInfo v;
    if (!System().GetVersionEx(v)) v = OsVersionInfo{};
    return v;
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

}  // namespace qm::collectors
