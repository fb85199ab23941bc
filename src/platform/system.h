#pragma once
// System information: version, names, system folders and locale values.

#include <cstdint>
#include <string>

#include "platform/types.h"

namespace qm::platform {

inline constexpr DWORD VER_PLATFORM_WIN32s = 0;
inline constexpr DWORD VER_PLATFORM_WIN32_WINDOWS = 1;  // Windows 95, 98, Me
inline constexpr DWORD VER_PLATFORM_WIN32_NT = 2;       // NT 4, 2000, XP

// OSVERSIONINFO.
struct OsVersionInfo {
    DWORD dwMajorVersion = 0;
    DWORD dwMinorVersion = 0;
    DWORD dwBuildNumber = 0;
    DWORD dwPlatformId = 0;
    std::string szCSDVersion;  // service-pack text, e.g. "Service Pack 2"
};

// Locales and locale value types (GetLocaleInfo).
using LCID = DWORD;
inline constexpr LCID LOCALE_SYSTEM_DEFAULT = 0x800;
inline constexpr LCID LOCALE_USER_DEFAULT = 0x400;
using LCTYPE = DWORD;
inline constexpr LCTYPE LOCALE_ILANGUAGE = 0x01;
inline constexpr LCTYPE LOCALE_SLANGUAGE = 0x02;
inline constexpr LCTYPE LOCALE_SCOUNTRY = 0x06;
inline constexpr LCTYPE LOCALE_SDECIMAL = 0x0E;
inline constexpr LCTYPE LOCALE_STHOUSAND = 0x0F;
inline constexpr LCTYPE LOCALE_SDATE = 0x1D;
inline constexpr LCTYPE LOCALE_STIME = 0x1E;
inline constexpr LCTYPE LOCALE_SSHORTDATE = 0x1F;
inline constexpr LCTYPE LOCALE_SLONGDATE = 0x20;
inline constexpr LCTYPE LOCALE_S1159 = 0x28;  // the AM designator
inline constexpr LCTYPE LOCALE_S2359 = 0x29;  // the PM designator
inline constexpr LCTYPE LOCALE_SENGLANGUAGE = 0x1001;
inline constexpr LCTYPE LOCALE_SENGCOUNTRY = 0x1002;
inline constexpr LCTYPE LOCALE_STIMEFORMAT = 0x1003;
inline constexpr LCTYPE LOCALE_IDEFAULTANSICODEPAGE = 0x1004;

// OSVERSIONINFOEX: what OSVERSIONINFO holds and the service pack, suite and product type.
struct OsVersionInfoEx : OsVersionInfo {
    WORD wServicePackMajor = 0;
    WORD wServicePackMinor = 0;
    WORD wSuiteMask = 0;
    std::uint8_t wProductType = 0;  // 1 workstation, 2 domain controller, 3 server
};

inline constexpr WORD VER_SUITE_ENTERPRISE = 0x0002;
inline constexpr WORD VER_SUITE_DATACENTER = 0x0080;
inline constexpr WORD VER_SUITE_PERSONAL = 0x0200;
inline constexpr std::uint8_t VER_NT_WORKSTATION = 1;

// TIME_ZONE_INFORMATION; the names are wide text of at most 31 characters.
struct TimeZoneInformation {
    std::int32_t bias = 0;
    std::u16string standardName;
    SYSTEMTIME standardDate;
    std::int32_t standardBias = 0;
    std::u16string daylightName;
    SYSTEMTIME daylightDate;
    std::int32_t daylightBias = 0;
};

inline constexpr DWORD TIME_ZONE_ID_UNKNOWN = 0;
inline constexpr DWORD TIME_ZONE_ID_STANDARD = 1;
inline constexpr DWORD TIME_ZONE_ID_DAYLIGHT = 2;
inline constexpr DWORD TIME_ZONE_ID_INVALID = 0xFFFFFFFFu;

inline constexpr int SM_CXSCREEN = 0;
inline constexpr int SM_CYSCREEN = 1;

// MEMORYSTATUS: sizes in bytes, 32 bits (more than 4 GiB shows as 0xFFFFFFFF).
struct MemoryStatus {
    DWORD dwMemoryLoad = 0;
    DWORD dwTotalPhys = 0;
    DWORD dwAvailPhys = 0;
    DWORD dwTotalPageFile = 0;
    DWORD dwAvailPageFile = 0;
    DWORD dwTotalVirtual = 0;
    DWORD dwAvailVirtual = 0;
};

// MEMORYSTATUSEX.
struct MemoryStatusEx {
    DWORD dwMemoryLoad = 0;
    std::uint64_t ullTotalPhys = 0;
    std::uint64_t ullAvailPhys = 0;
    std::uint64_t ullTotalPageFile = 0;
    std::uint64_t ullAvailPageFile = 0;
    std::uint64_t ullTotalVirtual = 0;
    std::uint64_t ullAvailVirtual = 0;
};

// SYSTEM_INFO, the fields the programs read.
struct SystemInfoData {
    DWORD dwPageSize = 4096;
    DWORD dwNumberOfProcessors = 1;
};

class SystemService {
public:
    virtual ~SystemService() = default;
    // GetVersionEx with OSVERSIONINFO.
    virtual bool GetVersionEx(OsVersionInfo& info) = 0;
    // GetVersionEx with OSVERSIONINFOEX: false where the system does not know that structure
    // (the 9x family, NT before 4.0 SP6).
    virtual bool GetVersionEx(OsVersionInfoEx& info) = 0;
    // GetComputerName into a buffer of bufferSize bytes: false with ERROR_BUFFER_OVERFLOW
    // when the name and its terminator do not fit.
    virtual bool GetComputerName(std::string& name, DWORD bufferSize) = 0;
    // GetUserName into a buffer of bufferSize bytes: false with ERROR_INSUFFICIENT_BUFFER
    // when it does not fit.
    virtual bool GetUserName(std::string& name, DWORD bufferSize) = 0;
    // GetWindowsDirectory, GetSystemDirectory, GetTempPath: the length, 0 on failure.
    virtual DWORD GetWindowsDirectory(std::string& path) = 0;
    virtual DWORD GetSystemDirectory(std::string& path) = 0;
    virtual DWORD GetTempPath(std::string& path) = 0;
    // GetLocaleInfo of the system's or the user's default locale: empty with the last error
    // when unknown.
    virtual std::string GetLocaleInfo(LCID locale, LCTYPE type) = 0;
    // GetTimeZoneInformation: which of the two times is in force, TIME_ZONE_ID_INVALID on failure.
    virtual DWORD GetTimeZoneInformation(TimeZoneInformation& info) = 0;
    // GetSystemMetrics.
    virtual int GetSystemMetrics(int index) = 0;
    // GlobalMemoryStatus.
    virtual void GlobalMemoryStatus(MemoryStatus& status) = 0;
    // Whether KERNEL32 exports GlobalMemoryStatusEx (GetProcAddress); only then may it be called.
    virtual bool HasGlobalMemoryStatusEx() = 0;
    // GlobalMemoryStatusEx.
    virtual bool GlobalMemoryStatusEx(MemoryStatusEx& status) = 0;
    // GetSystemInfo.
    virtual void GetSystemInfo(SystemInfoData& info) = 0;
};

}  // namespace qm::platform
