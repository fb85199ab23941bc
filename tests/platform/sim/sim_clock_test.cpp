#include <gtest/gtest.h>

#include <sys/wait.h>

#include <chrono>
#include <thread>
#include <tuple>
#include <vector>

#include "platform/platform.h"
#include "platform/time.h"
#include "support/system_times.h"
#include "support/test_machine.h"

using namespace qm::platform;
using qm::test::At;
using qm::test::MachineErrorOf;
using qm::test::TestMachine;

TEST(SimClock, VirtualTimeMovesOnlyBySleepingAndFollowsTheTimeZone) {
    // New York on 2026-07-01: daylight saving time, local = UTC - 4 h.
    TestMachine m(R"({"clock": {"virtual": true, "start": "2026-07-01T23:59:59.500", "uptime_ms": 4294967000},
                      "time_zone": {"bias": 300, "daylight_bias": -60,
                                    "standard_date": {"month": 11, "day_of_week": 0, "week": 1, "hour": 2},
                                    "daylight_date": {"month": 3, "day_of_week": 0, "week": 2, "hour": 2}}})");
    SYSTEMTIME local = Clock().GetLocalTime();
    TimeZoneInformation tz;
    EXPECT_EQ(System().GetTimeZoneInformation(tz), TIME_ZONE_ID_DAYLIGHT);
    EXPECT_EQ(local.wHour, 23);
    EXPECT_EQ(local.wMilliseconds, 500);
    EXPECT_EQ(Clock().GetSystemTime().wHour, 3);
    EXPECT_EQ(Clock().GetSystemTime().wDay, 2);
    DWORD ticks = Clock().GetTickCount();
    Clock().Sleep(600);
    local = Clock().GetLocalTime();
    EXPECT_EQ(local.wMonth, 7);
    EXPECT_EQ(local.wDay, 2);
    EXPECT_EQ(local.wMilliseconds, 100);
    DWORD after = Clock().GetTickCount();
    EXPECT_EQ(static_cast<DWORD>(after - ticks), 600u);  // wraps past 2^32, the difference holds
    EXPECT_LT(after, ticks);
    // A loop polling a millisecond counter sees it move one millisecond per reading.
    EXPECT_EQ(static_cast<DWORD>(Clock().timeGetTime() - after), 1u);
    EXPECT_EQ(Clock().GetTickCount64(), 4294967000ull + 602ull);
    EXPECT_EQ(Clock().GetLocalTime().wMilliseconds, 102);
}

TEST(SimClock, OnlyTheMachinesOwnThreadMovesAVirtualClock) {
    TestMachine m;
    std::uint64_t before = Clock().GetTickCount64();
    std::thread other([] { Clock().Sleep(50); });  // real time on another thread
    other.join();
    EXPECT_LT(Clock().GetTickCount64() - before, 5u);
    Clock().Sleep(50);
    EXPECT_GE(Clock().GetTickCount64() - before, 50u);
    // A virtual clock may start at the host's time of day.
    TestMachine now(R"({"clock": {"virtual": true, "start": "now"}})");
    auto hostSeconds = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch());
    auto machineSeconds = static_cast<std::int64_t>((Clock().GetSystemTimeAsFileTime().ticks - kUnixEpochTicks) / 10'000'000);
    EXPECT_LE(std::llabs(machineSeconds - static_cast<std::int64_t>(hostSeconds.count())), 60);
    EXPECT_EQ(MachineErrorOf(R"({"clock": {"virtual": true, "start": "2026-12-09T07:03:05"}, "processor": {"host": true}})"),
              "machine.json: /processor: a host processor needs the real clock");
}

namespace {

// The machine's BIOS program, started on a file of its own; it runs as long as the machine says.
std::unique_ptr<Process> StartBiosProgram(TestMachine& m) {
    m.InstallProgram("QMBios.exe", "C:\\Tools");
    m.WriteFile("C:\\TEMP\\a.hrz", "");
    return Processes().CreateProcess("C:\\Tools\\QMBios.exe /C:\\TEMP\\a.hrz", SW_HIDE, 0);
}

}  // namespace

// Real time passes in a wait only while a program the machine started runs: the wait wakes
// as it ends, and the rest of the wait, as any wait without one, is virtual.
TEST(SimClock, AWaitSpendsRealTimeOnlyWhileAStartedProgramRuns) {
    TestMachine m(R"({"bios_program": {"delay_ms": 300, "exit_code": 4}})");
    auto program = StartBiosProgram(m);
    ASSERT_NE(program, nullptr);
    std::uint64_t before = Clock().GetTickCount64();
    // A minute of the machine's time: far longer than the program takes, so the wait can only
    // end within half of it by waking when the program ends.
    Clock().Sleep(60000);
    DWORD code = 0;
    ASSERT_TRUE(program->GetExitCodeProcess(code));
    EXPECT_EQ(code, 4u);
    EXPECT_EQ(Clock().GetTickCount64() - before, 60000u);
    auto slept = m.Machine().RealTimeSlept();
    EXPECT_GE(slept, m.Machine().TimeChildrenRan() - std::chrono::milliseconds(50));
    EXPECT_LT(slept, std::chrono::seconds(30));
    // With nothing running, a wait costs no real time at all.
    Clock().Sleep(60000);
    EXPECT_LT(m.Machine().RealTimeSlept() - slept, std::chrono::seconds(30));
    EXPECT_EQ(Clock().GetTickCount64() - before, 120000u);

    // Another thread's wait passes in real time and leaves the clock alone, but it too ends
    // with the program it waits on.
    program = Processes().CreateProcess("C:\\Tools\\QMBios.exe /C:\\TEMP\\a.hrz", SW_HIDE, 0);
    ASSERT_NE(program, nullptr);
    auto start = std::chrono::steady_clock::now();
    std::thread other([] { Clock().Sleep(60000); });
    other.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
    ASSERT_TRUE(program->GetExitCodeProcess(code));
    EXPECT_EQ(code, 4u);
    EXPECT_LT(Clock().GetTickCount64() - before, 120000u + 5u);
}

TEST(SimClock, AStartedProgramReapedElsewhereCountsAsEnded) {
    TestMachine m(R"({"bios_program": {"delay_ms": 100, "exit_code": 4}})");
    auto program = StartBiosProgram(m);
    ASSERT_NE(program, nullptr);
    // Someone else in the process collects the program's end before the machine looks.
    int status = 0;
    ASSERT_GT(::waitpid(-1, &status, 0), 0);
    Clock().Sleep(60000);
    EXPECT_LT(m.Machine().RealTimeSlept(), std::chrono::seconds(30));
    DWORD code = 0;
    ASSERT_TRUE(program->GetExitCodeProcess(code));
    EXPECT_NE(code, STILL_ACTIVE);
    EXPECT_EQ(program->WaitForSingleObject(60000), WAIT_OBJECT_0);
}

TEST(SimClock, TzSpecificLocalTimeTakesTheRuleInForceAtTheInstantConverted) {
    // New York; the run itself is in winter. 2026: daylight from 8 March 2:00 standard time
    // (7:00 UTC) to 1 November 2:00 daylight time (6:00 UTC).
    TestMachine m(R"({"clock": {"virtual": true, "start": "2026-12-09T07:00:00"},
                      "time_zone": {"bias": 300,
                                    "standard_date": {"month": 11, "day_of_week": 0, "week": 1, "hour": 2},
                                    "daylight_date": {"month": 3, "day_of_week": 0, "week": 2, "hour": 2}}})");
    // A zone of the caller's with absolute dates, which hold in their own year only.
    TimeZoneInformation once;
    once.bias = -60;
    once.daylightBias = -60;
    once.daylightDate = At(2026, 6, 1, 0);
    once.standardDate = At(2026, 9, 1, 0);
    struct Case {
        const TimeZoneInformation* zone;
        SYSTEMTIME utc, local;
    };
    const std::vector<Case> cases = {
        {nullptr, At(2026, 3, 8, 6, 59, 59), At(2026, 3, 8, 1, 59, 59)},
        {nullptr, At(2026, 3, 8, 7), At(2026, 3, 8, 3)},
        {nullptr, At(2026, 11, 1, 5, 59, 59), At(2026, 11, 1, 1, 59, 59)},
        {nullptr, At(2026, 11, 1, 6), At(2026, 11, 1, 1)},
        {&once, At(2026, 7, 1, 12), At(2026, 7, 1, 14)},
        {&once, At(2027, 7, 1, 12), At(2027, 7, 1, 13)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.utc.wYear << "-" << c.utc.wMonth << "-" << c.utc.wDay << " " << c.utc.wHour
                                        << ":" << c.utc.wMinute);
        SYSTEMTIME local;
        ASSERT_TRUE(Clock().SystemTimeToTzSpecificLocalTime(c.zone, c.utc, local));
        EXPECT_EQ(std::make_tuple(local.wYear, local.wMonth, local.wDay, local.wHour, local.wMinute, local.wSecond),
                  std::make_tuple(c.local.wYear, c.local.wMonth, c.local.wDay, c.local.wHour, c.local.wMinute,
                                  c.local.wSecond));
    }
}

TEST(SimClock, TzSpecificLocalTimeFailsOnBadInputOnPurposeAndOn9x) {
    TestMachine m(R"({"faults": [{"op": "SystemTimeToTzSpecificLocalTime", "error": 5, "after": 3}]})");
    TimeZoneInformation badRule;
    badRule.daylightDate = At(0, 3, 0, 2);  // week 0 of March
    badRule.standardDate = At(0, 11, 1, 2);
    TimeZoneInformation farOut;
    farOut.bias = 2'000'000'000;
    struct Case {
        const TimeZoneInformation* zone;
        SYSTEMTIME utc;
        DWORD error;
    };
    const std::vector<Case> cases = {
        {&badRule, At(2026, 7, 1, 12), ERROR_INVALID_PARAMETER},
        {nullptr, At(2026, 13, 1, 12), ERROR_INVALID_PARAMETER},
        {&farOut, At(2026, 7, 1, 12), ERROR_INVALID_PARAMETER},
        {nullptr, At(2026, 7, 1, 12), 5},  // the fault, from the fourth call on
    };
    for (const Case& c : cases) {
        SYSTEMTIME local;
        SetLastError(0);
        EXPECT_FALSE(Clock().SystemTimeToTzSpecificLocalTime(c.zone, c.utc, local));
        EXPECT_EQ(GetLastError(), c.error);
    }
    TestMachine nine(R"({"version": {"platform_id": 1, "major": 4, "minor": 10}})");
    SYSTEMTIME local;
    EXPECT_FALSE(Clock().SystemTimeToTzSpecificLocalTime(nullptr, At(2026, 7, 1, 12), local));
    EXPECT_EQ(GetLastError(), ERROR_CALL_NOT_IMPLEMENTED);
}
