#pragma once
// The simulated machine's implementations of the platform services. Each works on the
// shared MachineState; SimMachine owns one of each.

#include <atomic>
#include <chrono>
#include <deque>
#include <random>
#include <thread>

#include "platform/platform.h"
#include "platform/sim/machine_state.h"

namespace qm::sim {

class SimFiles final : public platform::FilesService {
public:
    explicit SimFiles(MachineState& state) : state_(state) {}
    platform::DWORD GetFileAttributes(std::string_view path) override;
    bool GetFileAttributesEx(std::string_view path, platform::FileAttributeData& data) override;
    bool SetFileAttributes(std::string_view path, platform::DWORD attributes) override;
    bool CreateDirectory(std::string_view path) override;
    bool RemoveDirectory(std::string_view path) override;
    bool DeleteFile(std::string_view path) override;
    bool CopyFile(std::string_view existing, std::string_view newName, bool failIfExists) override;
    bool MoveFileEx(std::string_view existing, std::string_view newName, platform::DWORD flags) override;
    std::unique_ptr<platform::File> CreateFile(std::string_view path, platform::DWORD access,
                                               platform::CreationDisposition disposition) override;
    std::unique_ptr<platform::FindHandle> FindFirstFile(std::string_view pattern, platform::FindData& data) override;
    std::string GetCurrentDirectory() override;
    bool SetCurrentDirectory(std::string_view path) override;
    platform::DWORD GetShortPathName(std::string_view longPath, std::string& shortPath) override;
    platform::DWORD GetLongPathName(std::string_view shortPath, std::string& longPath) override;
    platform::DWORD GetFullPathName(std::string_view path, std::string& fullPath) override;

private:
    // Resolves for an operation: false with the last error when the path cannot be used or
    // a fault strikes.
    bool Prepare(std::string_view op, std::string_view path, bool writes, ResolvedPath& p);
    MachineState& state_;
};

class SimDrives final : public platform::DrivesService {
public:
    explicit SimDrives(MachineState& state) : state_(state) {}
    platform::DWORD GetLogicalDrives() override;
    unsigned GetDriveType(std::string_view root) override;
    bool GetDiskFreeSpaceEx(std::string_view path, std::uint64_t& freeToCaller, std::uint64_t& totalBytes,
                            std::uint64_t& totalFree) override;
    bool GetVolumeInformation(std::string_view root, platform::VolumeInformation& info) override;
    platform::DWORD WNetGetConnection(std::string_view localName, std::string& remoteName) override;
    platform::DWORD WNetGetUser(std::optional<std::string_view> localName, std::string& userName,
                                platform::DWORD& bufferSize) override;

private:
    const DriveConfig* DriveOfPath(std::string_view path) const;
    // The drive of the path when it holds media; else null with the last error set.
    const DriveConfig* ReadyDrive(std::string_view path) const;
    MachineState& state_;
};

class SimProfile final : public platform::ProfileService {
public:
    SimProfile(MachineState& state, platform::FilesService& files, platform::SystemService& system)
        : state_(state), files_(files), system_(system) {}
    std::string GetPrivateProfileString(std::string_view section, std::string_view key, std::string_view defaultValue,
                                        std::string_view fileName) override;
    int GetPrivateProfileInt(std::string_view section, std::string_view key, int defaultValue,
                             std::string_view fileName) override;
    bool WritePrivateProfileString(std::string_view section, std::optional<std::string_view> key,
                                   std::optional<std::string_view> value, std::string_view fileName) override;
    std::string GetProfileString(std::string_view section, std::string_view key, std::string_view defaultValue) override;

private:
    std::string FileOf(std::string_view fileName);
    MachineState& state_;
    platform::FilesService& files_;
    platform::SystemService& system_;
};

class SimEnvironment final : public platform::EnvironmentService {
public:
    explicit SimEnvironment(const MachineConfig& config);
    platform::DWORD GetEnvironmentVariable(std::string_view name, std::string& value, platform::DWORD bufferSize) override;
    bool SetEnvironmentVariable(std::string_view name, std::optional<std::string_view> value) override;

private:
    std::mutex mutex_;
    std::vector<std::pair<std::string, std::string>> variables_;
};

class SimClock final : public platform::ClockService {
public:
    explicit SimClock(MachineState& state);
    platform::SYSTEMTIME GetSystemTime() override;
    platform::FILETIME GetSystemTimeAsFileTime() override;
    platform::SYSTEMTIME GetLocalTime() override;
    platform::FILETIME FileTimeToLocalFileTime(platform::FILETIME utc) override;
    platform::DWORD GetTickCount() override;
    platform::DWORD timeGetTime() override;
    std::uint64_t GetTickCount64() override;
    void Sleep(platform::DWORD milliseconds) override;

    bool IsVirtual() const { return virtual_; }
    void Advance(std::uint64_t milliseconds) { elapsedMs_ += milliseconds; }
    // Whether daylight saving time is in force at the given UTC instant.
    bool IsDaylightAt(platform::FILETIME utc) const;
    // Minutes to add to local time to get UTC, at the given UTC instant.
    int BiasAt(platform::FILETIME utc) const;

private:
    std::uint64_t ElapsedMs() const;
    std::uint64_t CounterReading();
    MachineState& state_;
    const TimeZoneConfig& zone_;
    bool virtual_;
    platform::FILETIME virtualStartUtc_;
    std::uint64_t uptimeMs_;
    std::chrono::steady_clock::time_point realStart_;
    std::thread::id owner_;  // the thread whose sleeps move a virtual clock
    std::atomic<std::uint64_t> elapsedMs_{0};
    std::mutex counterMutex_;
    std::uint64_t lastCounterRead_ = static_cast<std::uint64_t>(-1);
};

class SimSystem final : public platform::SystemService {
public:
    SimSystem(MachineState& state, platform::EnvironmentService& env, SimClock& clock)
        : state_(state), env_(env), clock_(clock) {}
    bool GetVersionEx(platform::OsVersionInfo& info) override;
    bool GetVersionEx(platform::OsVersionInfoEx& info) override;
    bool GetComputerName(std::string& name, platform::DWORD bufferSize) override;
    bool GetUserName(std::string& name, platform::DWORD bufferSize) override;
    platform::DWORD GetWindowsDirectory(std::string& path) override;
    platform::DWORD GetSystemDirectory(std::string& path) override;
    platform::DWORD GetTempPath(std::string& path) override;
    std::string GetLocaleInfo(platform::LCID locale, platform::LCTYPE type) override;
    platform::DWORD GetTimeZoneInformation(platform::TimeZoneInformation& info) override;
    int GetSystemMetrics(int index) override;
    void GlobalMemoryStatus(platform::MemoryStatus& status) override;
    bool HasGlobalMemoryStatusEx() override;
    bool GlobalMemoryStatusEx(platform::MemoryStatusEx& status) override;
    void GetSystemInfo(platform::SystemInfoData& info) override;

private:
    platform::DWORD Folder(std::string_view op, const std::string& value, std::string& path);
    MachineState& state_;
    platform::EnvironmentService& env_;
    SimClock& clock_;
};

class SimGuids final : public platform::GuidsService {
public:
    SimGuids(MachineState& state, const std::vector<std::string>& scripted);
    bool CoCreateGuid(platform::Guid& guid) override;
    void Queue(const platform::Guid& guid);

private:
    MachineState& state_;
    std::mutex mutex_;
    std::deque<platform::Guid> scripted_;
    std::mt19937_64 random_;
};

// A scripted processor, or the host's own: its CPUID and time-stamp counter.
class SimProcessor final : public platform::ProcessorService {
public:
    explicit SimProcessor(MachineState& state);
    platform::CpuidResult Cpuid(std::uint32_t leaf) override;
    std::uint64_t ReadTimeStampCounter() override;

private:
    MachineState& state_;
    const ProcessorConfig& config_;
    std::mutex mutex_;
    std::uint64_t counter_ = 0x10000000;
    std::size_t reads_ = 0;
};

class SimDevices final : public platform::DevicesService {
public:
    explicit SimDevices(MachineState& state) : state_(state) {}
    std::unique_ptr<platform::Device> CreateFile(std::string_view deviceName, platform::DWORD access,
                                                 platform::DWORD shareMode,
                                                 platform::CreationDisposition disposition) override;

private:
    MachineState& state_;
};

class SimSpooler final : public platform::SpoolerService {
public:
    explicit SimSpooler(MachineState& state) : state_(state) {}
    bool EnumPrinters(platform::DWORD flags, platform::DWORD level, platform::DWORD bufferSize, platform::DWORD& needed,
                      std::vector<platform::PrinterInfo>& printers) override;

private:
    MachineState& state_;
};

class SimCodePage final : public platform::CodePageService {
public:
    explicit SimCodePage(const CodePageTable& table) : table_(table) {}
    unsigned GetACP() override { return table_.Number(); }
    std::u16string MultiByteToWideChar(std::string_view ansi) override { return table_.ToUtf16(ansi); }
    std::string WideCharToMultiByte(std::u16string_view wide) override { return table_.FromUtf16(wide); }
    std::string CharUpper(std::string_view text) override { return table_.Upper(text); }
    std::string CharLower(std::string_view text) override;

private:
    const CodePageTable& table_;
};

}  // namespace qm::sim
