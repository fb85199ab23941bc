#pragma once
// Clocks and waiting. The simulated machine may run on a virtual clock, where Sleep moves
// time on at once, so that waits cost no real time.

#include <cstdint>

#include "platform/system.h"
#include "platform/types.h"

namespace qm::platform {

class ClockService {
public:
    virtual ~ClockService() = default;
    // GetSystemTime (UTC) and GetSystemTimeAsFileTime.
    virtual SYSTEMTIME GetSystemTime() = 0;
    virtual FILETIME GetSystemTimeAsFileTime() = 0;
    // GetLocalTime: the machine's time zone applied.
    virtual SYSTEMTIME GetLocalTime() = 0;
    // FileTimeToLocalFileTime: converts with the bias in force now, as Windows does.
    virtual FILETIME FileTimeToLocalFileTime(FILETIME utc) = 0;
    // SystemTimeToTzSpecificLocalTime: converts with the rule in force at that instant, of the
    // given zone (null: the machine's own). False with the last error set on failure;
    // ERROR_CALL_NOT_IMPLEMENTED on the 9x family, which lacks the call.
    virtual bool SystemTimeToTzSpecificLocalTime(const TimeZoneInformation* zone, const SYSTEMTIME& utc,
                                                 SYSTEMTIME& local) = 0;
    // GetTickCount: milliseconds since start-up, wrapping at 2^32.
    virtual DWORD GetTickCount() = 0;
    // timeGetTime: the multimedia timer, milliseconds, wrapping at 2^32.
    virtual DWORD timeGetTime() = 0;
    // GetTickCount64: milliseconds since start-up, monotonic, never wrapping.
    virtual std::uint64_t GetTickCount64() = 0;
    // Sleep.
    virtual void Sleep(DWORD milliseconds) = 0;
};

}  // namespace qm::platform
