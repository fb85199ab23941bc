#include <gtest/gtest.h>

#include "platform/platform.h"
#include "support/test_machine.h"

using namespace qm::platform;
using qm::test::TestMachine;

TEST(SimSystem, MemoryStatusClipsAtFourGibibytesUnlessExtended) {
    TestMachine m(R"({"memory": {"total_bytes": 6442450944, "available_bytes": 2147483648}})");
    MemoryStatus plain;
    System().GlobalMemoryStatus(plain);
    EXPECT_EQ(plain.dwTotalPhys, 0xFFFFFFFFu);
    ASSERT_TRUE(System().HasGlobalMemoryStatusEx());
    MemoryStatusEx ex;
    ASSERT_TRUE(System().GlobalMemoryStatusEx(ex));
    EXPECT_EQ(ex.ullTotalPhys, 6442450944u);
    EXPECT_EQ(plain.dwAvailPhys, 2147483648u);
    EXPECT_EQ(plain.dwMemoryLoad, 67u);  // the same load for both calls
    EXPECT_EQ(ex.dwMemoryLoad, 67u);
    TestMachine old(R"({"memory": {"total_bytes": 134217728, "extended_call": false}, "processor": {"count": 2}})");
    EXPECT_FALSE(System().HasGlobalMemoryStatusEx());
    EXPECT_FALSE(System().GlobalMemoryStatusEx(ex));
    System().GlobalMemoryStatus(plain);
    EXPECT_EQ(plain.dwTotalPhys, 134217728u);
    SystemInfoData info;
    System().GetSystemInfo(info);
    EXPECT_EQ(info.dwNumberOfProcessors, 2u);
}

TEST(SimSystem, NamesFoldersAndVersion) {
    TestMachine m(R"({"faults": [{"op": "GetWindowsDirectory"}]})");
    std::string path;
    EXPECT_EQ(System().GetWindowsDirectory(path), 0u);
    EXPECT_EQ(path, "");
    ASSERT_GT(System().GetSystemDirectory(path), 0u);
    EXPECT_EQ(path, "C:\\WINDOWS\\system32");
    ASSERT_GT(System().GetTempPath(path), 0u);
    EXPECT_EQ(path, "C:\\TEMP\\");
    std::string name;
    EXPECT_FALSE(System().GetComputerName(name, 10));  // "QM-TEST-01" and its terminator need 11
    EXPECT_EQ(GetLastError(), ERROR_BUFFER_OVERFLOW);
    ASSERT_TRUE(System().GetComputerName(name, 16));
    EXPECT_EQ(name, "QM-TEST-01");
    ASSERT_TRUE(System().GetUserName(name, 257));
    EXPECT_EQ(name, "tester");
    EXPECT_EQ(System().GetLocaleInfo(LOCALE_USER_DEFAULT, LOCALE_SSHORTDATE), "M/d/yyyy");
    EXPECT_EQ(System().GetLocaleInfo(LOCALE_SYSTEM_DEFAULT, LOCALE_IDEFAULTANSICODEPAGE), "1252");
}

TEST(SimSystem, TheExtendedVersionAndTheTimeZone) {
    TestMachine m(R"({"version": {"platform_id": 2, "major": 5, "minor": 1, "build": 2600, "product_type": 1, "suite_mask": 512},
                      "time_zone": {"bias": 300, "standard_name": "Eastern Standard Time", "daylight_name": "Eastern Daylight Time",
                                    "standard_date": {"month": 10, "day_of_week": 0, "week": 5, "hour": 2},
                                    "daylight_date": {"month": 4, "day_of_week": 0, "week": 1, "hour": 2}}})");
    OsVersionInfoEx ex;
    ASSERT_TRUE(System().GetVersionEx(ex));
    EXPECT_EQ(ex.wSuiteMask, VER_SUITE_PERSONAL);
    TimeZoneInformation tz;
    EXPECT_EQ(System().GetTimeZoneInformation(tz), TIME_ZONE_ID_STANDARD);  // December
    EXPECT_EQ(tz.standardName, u"Eastern Standard Time");
    EXPECT_EQ(tz.daylightDate.wMonth, 4);
    EXPECT_EQ(tz.daylightDate.wDay, 1);
    TestMachine nine(R"({"version": {"platform_id": 1, "major": 4, "minor": 10}})");
    EXPECT_FALSE(System().GetVersionEx(ex));  // the 9x family does not know the extended structure
    EXPECT_TRUE(System().GetVersionEx(static_cast<OsVersionInfo&>(ex)));
}
