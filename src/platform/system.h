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

// Locale value types (GetLocaleInfo).
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

class SystemInfo {
public:
    virtual ~SystemInfo() = default;
    // GetVersionEx with OSVERSIONINFO.
    virtual bool GetVersionEx(OsVersionInfo& info) = 0;
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
    // GetLocaleInfo for the user's default locale: empty with the last error when unknown.
    virtual std::string GetLocaleInfo(LCTYPE type) = 0;
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
