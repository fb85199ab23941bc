#include "platform/sim/sim_system.h"

#include <algorithm>

#include "platform/platform.h"
#include "platform/text.h"
#include "platform/winpath.h"

namespace qm::sim {

using namespace qm::platform;

bool SimSystem::GetVersionEx(OsVersionInfo& info) {
    if (state_.Fails("GetVersionEx", "", false)) return false;
    info = state_.Config().version;
    return true;
}

bool SimSystem::GetVersionEx(OsVersionInfoEx& info) {
    if (state_.Fails("GetVersionEx", "", false)) return false;
    if (!state_.Config().versionExtended) {
        SetLastError(ERROR_INVALID_PARAMETER);  // the structure size is unknown to it
        return false;
    }
    info = state_.Config().version;
    return true;
}

bool SimSystem::GetComputerName(std::string& name, DWORD bufferSize) {
    if (state_.Fails("GetComputerName", "", false)) return false;
    const std::string& n = state_.Config().computerName;
    if (n.size() + 1 > bufferSize) {
        name.clear();
        SetLastError(ERROR_BUFFER_OVERFLOW);
        return false;
    }
    name = n;
    return true;
}

bool SimSystem::GetUserName(std::string& name, DWORD bufferSize) {
    if (state_.Fails("GetUserName", "", false)) return false;
    const std::string& n = state_.Config().userName;
    if (n.size() + 1 > bufferSize) {
        name.clear();
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return false;
    }
    name = n;
    return true;
}

DWORD SimSystem::Folder(std::string_view op, const std::string& value, std::string& path) {
    path.clear();
    if (state_.Fails(op, "", false)) return 0;
    path = value;
    return static_cast<DWORD>(path.size());
}

DWORD SimSystem::GetWindowsDirectory(std::string& path) {
    return Folder("GetWindowsDirectory", state_.Config().windowsFolder, path);
}

DWORD SimSystem::GetSystemDirectory(std::string& path) {
    return Folder("GetSystemDirectory", state_.Config().systemFolder, path);
}

// The first of TMP, TEMP, USERPROFILE and the Windows folder, with a trailing backslash.
DWORD SimSystem::GetTempPath(std::string& path) {
    std::string folder = state_.Config().tempFolder;
    for (const char* name : {"TMP", "TEMP", "USERPROFILE"}) {
        if (!folder.empty()) break;
        folder = ReadEnvironmentVariable(env_, name);
    }
    if (folder.empty()) folder = state_.Config().windowsFolder;
    DWORD n = Folder("GetTempPath", IncludeTrailingBackslash(state_.FullPath(folder)), path);
    return n;
}

std::string SimSystem::GetLocaleInfo(LCID lcid, LCTYPE type) {
    if (state_.Fails("GetLocaleInfo", "", false)) return std::string();
    if (type == LOCALE_IDEFAULTANSICODEPAGE) return std::to_string(state_.CodePage().Number());
    const auto& locale = lcid == LOCALE_SYSTEM_DEFAULT ? state_.Config().systemLocale : state_.Config().locale;
    auto it = locale.find(type);
    if (it == locale.end()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return std::string();
    }
    return it->second;
}

DWORD SimSystem::GetTimeZoneInformation(TimeZoneInformation& info) {
    if (state_.Fails("GetTimeZoneInformation", "", false)) return TIME_ZONE_ID_INVALID;
    info = clock_.Zone();
    if (info.daylightDate.wMonth == 0) return TIME_ZONE_ID_UNKNOWN;
    return clock_.IsDaylightAt(clock_.GetSystemTimeAsFileTime()) ? TIME_ZONE_ID_DAYLIGHT : TIME_ZONE_ID_STANDARD;
}

int SimSystem::GetSystemMetrics(int index) {
    if (index == SM_CXSCREEN) return state_.Config().screenWidth;
    if (index == SM_CYSCREEN) return state_.Config().screenHeight;
    return 0;
}

namespace {

// The machine's memory as GlobalMemoryStatusEx reports it; the older call clips it.
MemoryStatusEx MemoryStatusOf(const MemoryConfig& m) {
    MemoryStatusEx status;
    status.dwMemoryLoad = m.totalBytes ? static_cast<DWORD>(100 - m.availableBytes * 100 / m.totalBytes) : 0;
    status.ullTotalPhys = m.totalBytes;
    status.ullAvailPhys = m.availableBytes;
    status.ullTotalPageFile = m.totalBytes * 2;
    status.ullAvailPageFile = m.availableBytes * 2;
    status.ullTotalVirtual = 0x7FFE0000u;
    status.ullAvailVirtual = 0x7F000000u;
    return status;
}

}  // namespace

void SimSystem::GlobalMemoryStatus(MemoryStatus& status) {
    MemoryStatusEx ex = MemoryStatusOf(state_.Config().memory);
    auto clip = [](std::uint64_t v) { return v > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<DWORD>(v); };
    status.dwMemoryLoad = ex.dwMemoryLoad;
    status.dwTotalPhys = clip(ex.ullTotalPhys);
    status.dwAvailPhys = clip(ex.ullAvailPhys);
    status.dwTotalPageFile = clip(ex.ullTotalPageFile);
    status.dwAvailPageFile = clip(ex.ullAvailPageFile);
    status.dwTotalVirtual = clip(ex.ullTotalVirtual);
    status.dwAvailVirtual = clip(ex.ullAvailVirtual);
}

bool SimSystem::HasGlobalMemoryStatusEx() { return state_.Config().memory.extendedCall; }

bool SimSystem::GlobalMemoryStatusEx(MemoryStatusEx& status) {
    if (!HasGlobalMemoryStatusEx() || state_.Fails("GlobalMemoryStatusEx", "", false)) return false;
    status = MemoryStatusOf(state_.Config().memory);
    return true;
}

void SimSystem::GetSystemInfo(SystemInfoData& info) {
    if (state_.Fails("GetSystemInfo", "", false)) throw PlatformFault("GetSystemInfo failed on purpose");
    info = SystemInfoData{};
    info.dwNumberOfProcessors = state_.Config().processor.count;
}

}  // namespace qm::sim
