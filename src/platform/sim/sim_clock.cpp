#include "platform/sim/sim_clock.h"

#include <algorithm>
#include <optional>
#include <string>

#include "platform/platform.h"
#include "platform/time.h"

namespace qm::sim {

using namespace qm::platform;

namespace {

constexpr std::uint64_t kTicksPerMinute = 60ull * 1000 * kTicksPerMillisecond;

std::uint64_t Shift(std::uint64_t ticks, std::int64_t minutes) {
    return static_cast<std::uint64_t>(static_cast<std::int64_t>(ticks) + minutes * static_cast<std::int64_t>(kTicksPerMinute));
}

// The local moment of a transition rule in a given year: "the second Sunday of March at 2:00"
// for a rule without a year, else the date it names, which happens in that year only.
std::optional<std::int64_t> TransitionTicks(const SYSTEMTIME& t, int year) {
    if (t.wYear != 0) {
        FILETIME at;
        if (t.wYear != year || !SystemTimeToFileTime(t, at)) return std::nullopt;
        return static_cast<std::int64_t>(at.ticks);
    }
    std::int64_t first = DaysFromCivil(year, t.wMonth, 1);
    auto firstDow = static_cast<unsigned>((first + 1) % 7);  // 1601-01-01 was a Monday
    unsigned day = 1 + (t.wDayOfWeek + 7u - firstDow) % 7 + (t.wDay - 1u) * 7u;
    while (day > DaysInMonth(year, t.wMonth)) day -= 7;
    std::int64_t days = DaysFromCivil(year, t.wMonth, day);
    return days * static_cast<std::int64_t>(kTicksPerDay) +
           static_cast<std::int64_t>(((t.wHour * 60ull + t.wMinute) * 60ull + t.wSecond) * 1000ull + t.wMilliseconds) *
               static_cast<std::int64_t>(kTicksPerMillisecond);
}

bool ValidTransition(const SYSTEMTIME& t) {
    if (t.wMonth == 0) return true;  // no daylight saving time
    FILETIME at;
    if (t.wYear != 0) return SystemTimeToFileTime(t, at);
    return t.wMonth <= 12 && t.wDayOfWeek <= 6 && t.wDay >= 1 && t.wDay <= 5 && t.wHour <= 23 && t.wMinute <= 59 &&
           t.wSecond <= 59 && t.wMilliseconds <= 999;
}

std::int64_t MinutesInTicks(std::int64_t minutes) { return minutes * static_cast<std::int64_t>(kTicksPerMinute); }

// The daylight start is a moment of local standard time, its end one of local daylight time;
// in the southern hemisphere daylight saving time spans the turn of the year.
bool DaylightAt(const TimeZoneInformation& z, std::int64_t utc) {
    if (z.daylightDate.wMonth == 0 || z.standardDate.wMonth == 0) return false;
    int year = FileTimeToSystemTime(FILETIME{static_cast<std::uint64_t>(utc)}).wYear;
    std::optional<std::int64_t> start = TransitionTicks(z.daylightDate, year);
    std::optional<std::int64_t> end = TransitionTicks(z.standardDate, year);
    if (!start || !end) return false;
    *start += MinutesInTicks(std::int64_t{z.bias} + z.standardBias);
    *end += MinutesInTicks(std::int64_t{z.bias} + z.daylightBias);
    return *start < *end ? (utc >= *start && utc < *end) : !(utc >= *end && utc < *start);
}

std::int64_t BiasOf(const TimeZoneInformation& z, std::int64_t utc) {
    return std::int64_t{z.bias} + (DaylightAt(z, utc) ? z.daylightBias : z.standardBias);
}

SYSTEMTIME TransitionAsSystemTime(const TransitionDate& t) {
    SYSTEMTIME st;
    st.wMonth = t.month;
    st.wDayOfWeek = t.dayOfWeek;
    st.wDay = t.day;
    st.wHour = t.hour;
    st.wMinute = t.minute;
    return st;
}

TimeZoneInformation ZoneOf(const MachineState& state) {
    const TimeZoneConfig& z = state.Config().timeZone;
    auto name = [&](const std::string& n) { return state.CodePage().ToUtf16(n.substr(0, std::min<std::size_t>(n.size(), 31))); };
    TimeZoneInformation info;
    info.bias = z.bias;
    info.standardName = name(z.standardName);
    info.standardDate = TransitionAsSystemTime(z.standardDate);
    info.standardBias = z.standardBias;
    info.daylightName = name(z.daylightName);
    info.daylightDate = TransitionAsSystemTime(z.daylightDate);
    info.daylightBias = z.daylightBias;
    return info;
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
      zone_(ZoneOf(state)),
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

bool SimClock::IsDaylightAt(FILETIME utc) const { return DaylightAt(zone_, static_cast<std::int64_t>(utc.ticks)); }

int SimClock::BiasAt(FILETIME utc) const { return static_cast<int>(BiasOf(zone_, static_cast<std::int64_t>(utc.ticks))); }

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

bool SimClock::SystemTimeToTzSpecificLocalTime(const TimeZoneInformation* zone, const SYSTEMTIME& utc, SYSTEMTIME& local) {
    if (!state_.IsNtFamily()) {
        SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
        return false;
    }
    if (state_.Fails("SystemTimeToTzSpecificLocalTime", "", false)) return false;
    const TimeZoneInformation& z = zone ? *zone : zone_;
    FILETIME at;
    if (!ValidTransition(z.standardDate) || !ValidTransition(z.daylightDate) || !SystemTimeToFileTime(utc, at)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    auto ticks = static_cast<std::int64_t>(at.ticks);
    std::int64_t shifted = ticks - MinutesInTicks(BiasOf(z, ticks));
    // A bias far enough out (a caller's zone may hold any) leaves the range of a SYSTEMTIME.
    static const std::int64_t kEnd = DaysFromCivil(30828, 1, 1) * static_cast<std::int64_t>(kTicksPerDay);
    if (shifted < 0 || shifted >= kEnd) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    local = FileTimeToSystemTime(FILETIME{static_cast<std::uint64_t>(shifted)});
    return true;
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
