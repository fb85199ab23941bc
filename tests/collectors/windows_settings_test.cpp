#include <gtest/gtest.h>

#include "collectors/windows_settings.h"
#include "support/agent_state.h"
#include "support/reg_text.h"
#include "support/test_machine.h"

using namespace qm::collectors;
using namespace qm::test;

namespace {

// Eastern time: 300 minutes, daylight from the first Sunday of April to the last of October.
const std::vector<std::uint8_t> kEasternTzi =
    RegText::Bytes("2c,01,00,00,00,00,00,00,c4,ff,ff,ff,00,00,0a,00,00,00,05,00,02,00,00,00,00,00,00,00,"
                   "00,00,04,00,00,00,01,00,02,00,00,00,00,00,00,00");
const char* const kEastern = R"({"time_zone": {"bias": 300, "standard_name": "Eastern Standard Time", "daylight_name": "Eastern Daylight Time",
    "standard_date": {"month": 10, "day_of_week": 0, "week": 5, "hour": 2},
    "daylight_date": {"month": 4, "day_of_week": 0, "week": 1, "hour": 2}}})";

const std::string kZonesKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Time Zones\\";

// A zone of the registry with its names; its "TZI" value follows.
RegText Zone(const std::string& name, const std::string& display, const std::string& standard,
             const std::string& daylight) {
    return RegText().Key(kZonesKey + name).Value("Display", display).Value("Std", standard).Value("Dlt", daylight);
}

RegText EasternZone(const std::string& name, const std::string& display) {
    return Zone(name, display, "Eastern Standard Time", "Eastern Daylight Time");
}

}  // namespace

TEST(WindowsInfo, WritesItsRecordsInOrderOnBothFamilies) {
    TestMachine nt(R"json({"screen": {"width": 1280, "height": 1024}, "locale": {"language": "English (United States)"},
                       "system_locale": {"country": "Canada", "language": "French (Canada)"}})json",
                   RegText()
                       .Key("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion")
                       .Value("ProductId", "55274-640")
                       .Value("SystemRoot", "C:\\WINDOWS")
                       .Value("RegisteredOwner", "John Doe")
                       .Key("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon")
                       .Value("CachePrimaryDomain", "EXAMPLE")
                       .Text());
    nt.WriteFile("C:\\WINDOWS\\win.ini", "[windows]\r\ndevice=LaserPrint 4100,winspool,IP_10.0.0.50\r\n");
    StartAgent();
    EXPECT_EQ(CollectRecords(WindowsInfo),
              (std::vector<std::string>{
                  "\"Windows\",\"Version\",\"Windows XP Professional 5.1 Build 2600 Service Pack 2\"",
                  "\"Windows\",\"ProductId\",\"55274-640\"", "\"Windows\",\"SystemRoot\",\"C:\\WINDOWS\"",
                  "\"Windows\",\"RegisteredOrganization\",\"\"", "\"Windows\",\"RegisteredOwner\",\"John Doe\"",
                  "\"Windows\",\"Temp dir\",\"C:\\TEMP\\\"", "\"Windows\",\"WorkGroup or NT domain\",\"EXAMPLE\"",
                  "\"Windows\",\"Screen resolution\",\"1280*1024\"",
                  "\"Windows\",\"Default printer\",\"LaserPrint 4100 winspool IP_10.0.0.50\"",
                  "\"Windows\",\"User ID\",\"tester\"", "\"Windows\",\"Time zone\",\"GMT Standard Time\"",
                  "\"Windows\",\"Country\",\"Canada\"", "\"Windows\",\"System language\",\"French (Canada)\"",
                  "\"Windows\",\"User language\",\"English (United States)\""}));

    TestMachine nine(R"({"version": {"platform_id": 1, "major": 4, "minor": 10, "build": 67766446, "service_pack": " A "}})",
                     RegText()
                         .Key("HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\VxD\\VNetSup")
                         .Value("Workgroup", "BUREAU")
                         .Value("Comment", "Accueil, rez")
                         .Text());
    StartAgent();
    std::vector<std::string> records = CollectRecords(WindowsInfo);
    EXPECT_EQ(records[0], "\"Windows\",\"Version\",\"Windows 98 4.10 Build 2222  A\"");
    EXPECT_EQ(records[2], "\"Windows\",\"WorkGroup or NT domain\",\"BUREAU\"");
    EXPECT_EQ(records[3], "\"Windows\",\"Comment\",\"Accueil  rez\"");
}

TEST(WindowsInfo, ReadsTheWindowsVersionOnceAndItsExtendedFormOnce) {
    std::vector<std::string> plain;
    {
        TestMachine m;
        StartAgent();
        plain = CollectRecords(WindowsInfo);
    }
    // A third question about the version would be refused.
    TestMachine m(R"({"faults": [{"op": "GetVersionEx", "after": 2}]})");
    StartAgent();
    std::vector<std::string> records = CollectRecords(WindowsInfo);
    EXPECT_EQ(records, plain);
    ASSERT_FALSE(records.empty());
    EXPECT_EQ(records[0], "\"Windows\",\"Version\",\"Windows XP Professional 5.1 Build 2600 Service Pack 2\"");
}

TEST(WindowsInfo, AValueOfAnotherTypeCountsAsAbsentAndCostsNoOtherRecord) {
    TestMachine m("{}", RegText()
                            .Key("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion")
                            .Dword("ProductId", 7)
                            .Binary("SystemRoot", {0x43, 0x3a})
                            .Value("RegisteredOwner", "John Doe")
                            .Key("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon")
                            .MultiString("CachePrimaryDomain", {"A"})
                            .Key("HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\LanmanServer\\Parameters")
                            .Dword("srvcomment", 1)
                            .Text());
    StartAgentWithLog();
    EXPECT_EQ(CollectRecords(WindowsInfo),
              (std::vector<std::string>{
                  "\"Windows\",\"Version\",\"Windows XP Professional 5.1 Build 2600 Service Pack 2\"",
                  "\"Windows\",\"ProductId\",\"\"", "\"Windows\",\"SystemRoot\",\"\"",
                  "\"Windows\",\"RegisteredOrganization\",\"\"", "\"Windows\",\"RegisteredOwner\",\"John Doe\"",
                  "\"Windows\",\"Temp dir\",\"C:\\TEMP\\\"", "\"Windows\",\"WorkGroup or NT domain\",\"\"",
                  "\"Windows\",\"Comment\",\"\"", "\"Windows\",\"Screen resolution\",\"1024*768\"",
                  "\"Windows\",\"Default printer\",\"\"", "\"Windows\",\"User ID\",\"tester\"",
                  "\"Windows\",\"Time zone\",\"GMT Standard Time\"", "\"Windows\",\"Country\",\"United States\"",
                  "\"Windows\",\"System language\",\"English (United States)\"",
                  "\"Windows\",\"User language\",\"English (United States)\""}));
    std::string log = m.ReadFile(kTraceLog);
    for (const char* name : {"ProductId", "SystemRoot", "CachePrimaryDomain", "SRVCOMMENT"})
        EXPECT_NE(log.find(std::string("|Invalid data type for '") + name + "': counted as absent\r\n"), std::string::npos)
            << name;
}

TEST(UserId, TakesTheFirstNameTheChainGives) {
    struct Case {
        std::string json;
        RegText registry;
        std::string user;
    };
    const std::string long16 = "averyverylongname";  // 17 characters
    const Case cases[] = {
        {R"({"user_name": ")" + long16 + R"("})", RegText(), long16},  // taken whole from the first step
        {R"({"user_name": "", "version": {"platform_id": 1, "major": 4, "minor": 10}})",
         RegText().Key("HKEY_LOCAL_MACHINE\\Network\\Logon").Value("UserName", "msmith"), "msmith"},
        {R"({"user_name": "", "version": {"platform_id": 1, "major": 4, "minor": 10}})",
         RegText().Key("HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control").Value("Current User", "desk"), "desk"},
        {R"({"user_name": "", "version": {"platform_id": 1, "major": 4, "minor": 10}})",
         RegText()
             .Key("HKEY_LOCAL_MACHINE\\Network\\Logon")
             .Dword("UserName", 1)
             .Key("HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control")
             .Value("Current User", "desk"),
         "desk"},
        {R"({"user_name": "", "network_user": "netuser"})", RegText(), "netuser"},
        {R"({"user_name": "", "drives": [{"letter": "C", "folder": "drive_c"},
             {"letter": "Z", "type": "remote", "folder": "net_z", "user": ".CN=jdoe.OU=sales.O=corp"}], "host_drive": "Y"})",
         RegText(), "jdoe"},
        {R"({"user_name": "", "drives": [{"letter": "C", "folder": "drive_c"},
             {"letter": "Z", "type": "remote", "folder": "net_z", "user": "jdoe2.OU=x"}], "host_drive": "Y"})",
         RegText(), "jdoe2"},  // no ".CN=": nothing cut from the front
        {R"({"user_name": "a@b@c"})", RegText(), "a"},
        {R"({"user_name": "a@b"})", RegText(), "a@b"},
        {R"({"user_name": ""})", RegText(), ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.json);
        TestMachine m(c.json, c.registry.Text());
        StartAgent();
        EXPECT_EQ(CollectRecords(UserIdInfo), std::vector<std::string>{"\"Windows\",\"User ID\",\"" + c.user + "\""});
    }
}

TEST(TimeZone, MatchesTheRegistryEntryByItsWholeDescription) {
    const RegText registry = EasternZone("Short", "short TZI").Binary("TZI", {0x2c, 0x01, 0x00, 0x00}) +
                             Zone("Other Names", "other names", "Eastern", "Eastern").Binary("TZI", kEasternTzi) +
                             EasternZone("Eastern", "(GMT-05:00) Eastern Time").Binary("TZI", kEasternTzi);
    {
        TestMachine m(kEastern, registry.Text());
        StartAgent();
        EXPECT_EQ(GetTimeZoneName(), "(GMT-05:00) Eastern Time");
    }
    {
        TestMachine m(kEastern, EasternZone("Eastern", "x").Binary("TZI", {0x2c, 0x01, 0x00, 0x00}).Text());
        StartAgent();
        EXPECT_EQ(GetTimeZoneName(), "Eastern Standard Time");  // no match: the system's standard name
    }
    {
        // Names of another type count as absent: that zone does not match, the next one does.
        const RegText odd = RegText()
                                .Key(kZonesKey + "Odd")
                                .Value("Display", "odd")
                                .Dword("Std", 1)
                                .Value("Dlt", "Eastern Daylight Time")
                                .Binary("TZI", kEasternTzi);
        TestMachine m(kEastern, (odd + EasternZone("Eastern", "(GMT-05:00) Eastern Time").Binary("TZI", kEasternTzi)).Text());
        StartAgent();
        EXPECT_EQ(GetTimeZoneName(), "(GMT-05:00) Eastern Time");
    }
}

TEST(TimeZone, ATziOfAnotherTypeThanBinaryNeverMatchesAndCostsNoRecord) {
    // 44 bytes each: 43 characters and their terminator; the zone's bytes typed REG_NONE and
    // as a multi-string.
    const RegText others = EasternZone("A Text", "text").Value("TZI", std::string(43, 'x')) +
                           EasternZone("B None", "none").Typed("TZI", qm::platform::REG_NONE, kEasternTzi) +
                           EasternZone("C Multi", "multi").Typed("TZI", qm::platform::REG_MULTI_SZ, kEasternTzi);
    {
        TestMachine m(kEastern, (others + EasternZone("Eastern", "(GMT-05:00) Eastern Time").Binary("TZI", kEasternTzi)).Text());
        StartAgent();
        EXPECT_EQ(GetTimeZoneName(), "(GMT-05:00) Eastern Time");
    }
    {
        TestMachine m(kEastern, others.Text());
        StartAgent();
        std::vector<std::string> records = CollectRecords(WindowsInfo);
        ASSERT_GE(records.size(), 4u);
        EXPECT_EQ(std::vector<std::string>(records.end() - 4, records.end()),
                  (std::vector<std::string>{"\"Windows\",\"Time zone\",\"Eastern Standard Time\"",
                                            "\"Windows\",\"Country\",\"United States\"",
                                            "\"Windows\",\"System language\",\"English (United States)\"",
                                            "\"Windows\",\"User language\",\"English (United States)\""}));
    }
}
