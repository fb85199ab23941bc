#pragma once
// The simulated machine's clock: the real one shown in the machine's time zone, or a virtual one
// that only the thread that loaded the machine moves, so that waits cost no real time.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <thread>

#include "platform/clock.h"
#include "platform/sim/machine_state.h"

namespace qm::sim {

class SimClock final : public platform::ClockService {
public:
    explicit SimClock(MachineState& state);
    platform::SYSTEMTIME GetSystemTime() override;
    platform::FILETIME GetSystemTimeAsFileTime() override;
    platform::SYSTEMTIME GetLocalTime() override;
    platform::FILETIME FileTimeToLocalFileTime(platform::FILETIME utc) override;
    bool SystemTimeToTzSpecificLocalTime(const platform::TimeZoneInformation* zone, const platform::SYSTEMTIME& utc,
                                         platform::SYSTEMTIME& local) override;
    platform::DWORD GetTickCount() override;
    platform::DWORD timeGetTime() override;
    std::uint64_t GetTickCount64() override;
    void Sleep(platform::DWORD milliseconds) override;

    bool IsVirtual() const { return virtual_; }
    // The real time the machine's own thread spent in Sleep.
    std::chrono::nanoseconds RealTimeSlept() const { return std::chrono::nanoseconds(realSleptNs_.load()); }
    void Advance(std::uint64_t milliseconds) { elapsedMs_ += milliseconds; }
    // The machine's time zone, as GetTimeZoneInformation gives it.
    const platform::TimeZoneInformation& Zone() const { return zone_; }
    // Whether daylight saving time is in force at the given UTC instant.
    bool IsDaylightAt(platform::FILETIME utc) const;
    // Minutes to add to local time to get UTC, at the given UTC instant.
    int BiasAt(platform::FILETIME utc) const;

private:
    std::uint64_t ElapsedMs() const;
    std::uint64_t CounterReading();
    MachineState& state_;
    platform::TimeZoneInformation zone_;
    bool virtual_;
    platform::FILETIME virtualStartUtc_;
    std::uint64_t uptimeMs_;
    std::chrono::steady_clock::time_point realStart_;
    std::thread::id owner_;  // the thread whose sleeps move a virtual clock
    std::atomic<std::uint64_t> elapsedMs_{0};
    std::atomic<std::int64_t> realSleptNs_{0};
    std::mutex counterMutex_;
    std::uint64_t lastCounterRead_ = static_cast<std::uint64_t>(-1);
};

}  // namespace qm::sim
