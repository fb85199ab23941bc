#include "platform/sim/sim_clock.h"

#include "platform/platform.h"
#include "platform/time.h"

namespace qm::sim {

using namespace qm::platform;

namespace {

constexpr std::uint64_t kTicksPerMinute = 60ull * 1000 * kTicksPerMillisecond;

std::uint64_t Shift(std::uint64_t ticks, std::int64_t minutes) {
    return static_cast<std::uint64_t>(static_cast<std::int64_t>(ticks) + minutes * static_cast<std::int64_t>(kTicksPerMinute));
}

// The local moment of a transition rule in a given year ("the second Sunday of March at 2:00").
std::uint64_t TransitionTicks(const TransitionDate& t, int year) {
    std::int64_t first = DaysFromCivil(year, t.month, 1);
    auto firstDow = static_cast<unsigned>((first + 1) % 7);  // 1601-01-01 was a Monday
    unsigned day = 1 + (t.dayOfWeek + 7 - firstDow) % 7 + (t.day - 1u) * 7u;
    while (day > DaysInMonth(year, t.month)) day -= 7;
    std::int64_t days = DaysFromCivil(year, t.month, day);
    return static_cast<std::uint64_t>(days) * kTicksPerDay + (t.hour * 60ull + t.minute) * kTicksPerMinute;
}

// The host's real time of day, in UTC.
FILETIME HostSystemTime() {
    auto now = std::chrono::system_clock::now().time_since_epoch();
    auto ticks = std::chrono::duration_cast<std::chrono::nanoseconds>(now).count() / 100;
    return FILETIME{kUnixEpochTicks + static_cast<std::uint64_t>(ticks)};
}

}  // namespace

SimClock::SimClock(MachineState& state)
    : state_(state),
      zone_(state.Config().timeZone),
      virtual_(state.Config().clock.isVirtual),
      uptimeMs_(state.Config().clock.uptimeMs),
      realStart_(std::chrono::steady_clock::now()),
      owner_(std::this_thread::get_id()) {
    if (virtual_ && state.Config().clock.startNow) {
        virtualStartUtc_ = HostSystemTime();
    } else if (virtual_) {
        FILETIME local;
        SystemTimeToFileTime(state.Config().clock.start, local);
        // Two steps: the bias in force depends on the instant it converts.
        FILETIME guess{Shift(local.ticks, zone_.bias + zone_.standardBias)};
        virtualStartUtc_ = FILETIME{Shift(local.ticks, BiasAt(guess))};
    }
}

bool SimClock::IsDaylightAt(FILETIME utc) const {
    if (zone_.daylightDate.month == 0) return false;
    int year = FileTimeToSystemTime(utc).wYear;
    std::uint64_t start = Shift(TransitionTicks(zone_.daylightDate, year), zone_.bias + zone_.standardBias);
    std::uint64_t end = Shift(TransitionTicks(zone_.standardDate, year), zone_.bias + zone_.daylightBias);
    return start < end ? (utc.ticks >= start && utc.ticks < end) : !(utc.ticks >= end && utc.ticks < start);
}

int SimClock::BiasAt(FILETIME utc) const {
    return zone_.bias + (IsDaylightAt(utc) ? zone_.daylightBias : zone_.standardBias);
}

std::uint64_t SimClock::ElapsedMs() const {
    if (virtual_) return elapsedMs_.load();
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - realStart_).count());
}

FILETIME SimClock::GetSystemTimeAsFileTime() {
    if (virtual_) return FILETIME{virtualStartUtc_.ticks + ElapsedMs() * kTicksPerMillisecond};
    return HostSystemTime();
}

SYSTEMTIME SimClock::GetSystemTime() { return FileTimeToSystemTime(GetSystemTimeAsFileTime()); }

SYSTEMTIME SimClock::GetLocalTime() {
    FILETIME utc = GetSystemTimeAsFileTime();
    return FileTimeToSystemTime(FILETIME{Shift(utc.ticks, -BiasAt(utc))});
}

FILETIME SimClock::FileTimeToLocalFileTime(FILETIME utc) {
    return FILETIME{Shift(utc.ticks, -BiasAt(GetSystemTimeAsFileTime()))};
}

std::uint64_t SimClock::CounterReading() {
    if (!virtual_) return uptimeMs_ + ElapsedMs();
    // A loop that polls a millisecond counter must see it move, or it would wait forever.
    std::lock_guard lock(counterMutex_);
    std::uint64_t e = elapsedMs_.load();
    if (e == lastCounterRead_) e = ++elapsedMs_;
    lastCounterRead_ = e;
    return uptimeMs_ + e;
}

DWORD SimClock::GetTickCount() { return static_cast<DWORD>(CounterReading()); }
DWORD SimClock::timeGetTime() { return static_cast<DWORD>(CounterReading()); }
std::uint64_t SimClock::GetTickCount64() { return CounterReading(); }

void SimClock::Sleep(DWORD milliseconds) {
    const bool own = std::this_thread::get_id() == owner_;
    // A virtual clock moves only with the thread that runs the machine's program: another
    // thread (the wait dialog's, the front-end's worker) sleeps in real time, or it would run
    // the clock away; a wait of it while a started program runs ends with that program too.
    if (virtual_ && !own) {
        if (state_.AnyChildRunning())
            state_.WaitForChildren(-1, std::chrono::milliseconds(milliseconds));
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
        return;
    }
    auto start = std::chrono::steady_clock::now();
    if (virtual_) {
        // While a program the machine started runs, real time passes too, so that it can get
        // on with its work; from the moment it ends, the rest of the wait is virtual.
        state_.WaitForChildren(-1, std::chrono::milliseconds(milliseconds));
        elapsedMs_ += milliseconds;
        std::this_thread::yield();
    } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }
    if (own) realSleptNs_ += std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace qm::sim
