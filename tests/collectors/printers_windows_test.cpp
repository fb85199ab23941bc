#include <gtest/gtest.h>

#include "collectors/printers.h"
#include "collectors/windows_settings.h"
#include "collectors/windows_version.h"
#include "support/agent_state.h"
#include "support/reg_text.h"
#include "support/test_machine.h"

using namespace qm::collectors;
using qm::test::CollectRecords;
using qm::test::kTraceLog;
using qm::test::RegText;
using qm::test::StartAgent;
using qm::test::StartAgentWithLog;
using qm::test::TestMachine;

namespace {

const std::string kPrintKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\Printers\\";
const std::string kServersKey =
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\Providers\\LanMan Print Services\\Servers\\";

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

TEST(WindowsVersion, NamesTheReleaseEditionAndServicePack) {
    // The machine's version entry, the keys the edition or the fix may come from, the text.
    const std::string nt4 = R"("platform_id": 2, "major": 4, "minor": 0, "build": 1381)";
    const auto options = [](const RegText& type) {
        return RegText().Key("HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\ProductOptions") + type;
    };
    const RegText fix = RegText().Key("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Hotfix\\Q246009");
    const std::vector<std::tuple<std::string, RegText, std::string>> cases = {
        {R"("major": 5, "minor": 1, "build": 2600, "service_pack": "Service Pack 2", "product_type": 1, "suite_mask": 256)", RegText(),
         "Windows XP Professional 5.1 Build 2600 Service Pack 2"},
        {R"("major": 5, "minor": 1, "build": 2600, "service_pack": "", "product_type": 1, "suite_mask": 512)", RegText(),
         "Windows XP Personal 5.1 Build 2600"},
        {R"("major": 5, "minor": 0, "build": 2195, "service_pack": "", "product_type": 3, "suite_mask": 2)", RegText(),
         "Windows 2000 Advanced Server 5.0 Build 2195"},
        {R"("major": 5, "minor": 0, "build": 2195, "service_pack": "", "product_type": 2, "suite_mask": 0)", RegText(),
         "Windows 2000 Server 5.0 Build 2195"},
        {R"("major": 5, "minor": 2, "build": 3790, "service_pack": "", "product_type": 3, "suite_mask": 130)", RegText(),
         "Windows XP DataCenter Server 5.2 Build 3790"},
        {R"("major": 5, "minor": 0, "build": 2195, "service_pack": "", "extended": false)", RegText(), "Windows 2000 5.0 Build 2195"},
        {nt4 + R"(, "service_pack": "Service Pack 6")", options(RegText().Value("ProductType", "WinNT")) + fix + RegText().Dword("Installed", 1),
         "Windows NT Workstation 4.0 Build 1381 Service Pack 6a"},
        {nt4 + R"(, "service_pack": "Service Pack 6")", options(RegText().Value("ProductType", "LanmanNT")) + fix + RegText().Value("Installed", "1"),
         "Windows NT Server 4.0 Build 1381 Service Pack 6"},
        {nt4 + R"(, "service_pack": "Service Pack 5")", options(RegText().Value("ProductType", "ServerNT")) + fix + RegText().Dword("Installed", 1),
         "Windows NT Server 4.0 Build 1381 Service Pack 5"},
        {nt4 + R"(, "service_pack": "")", options(RegText().Dword("ProductType", 1)), "Windows NT Workstation 4.0 Build 1381"},
        {nt4 + R"(, "service_pack": "")", RegText(), "Windows NT 4.0 Build 1381"},
        {R"("platform_id": 1, "major": 4, "minor": 0, "build": 67109814, "service_pack": "")", RegText(), "Windows 95 4.0 Build 950"},
        {R"("platform_id": 1, "major": 4, "minor": 10, "build": 67766446, "service_pack": " A ")", RegText(),
         "Windows 98 4.10 Build 2222  A "},
        {R"("platform_id": 1, "major": 4, "minor": 90, "build": 73010104, "service_pack": "")", RegText(),
         "Windows Millennium 4.90 Build 3000"},
        {R"("platform_id": 0, "major": 1, "minor": 30, "build": 0, "service_pack": "")", RegText(), "Win32s 1.30 Build 0"},
    };
    for (const auto& [version, registry, text] : cases) {
        SCOPED_TRACE(version);
        TestMachine m("{\"version\": {" + version + "}}", registry.Text());
        StartAgent();
        EXPECT_EQ(WindowsVersionText(), text);
    }
}

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

TEST(Printers, TheRegistryPassAddsOnlyWhatTheSpoolerDidNotList) {
    TestMachine m(R"({"printers": [
        {"name": "LaserPrint 4100", "server": "", "share": "LP4100", "port": "IP_10.0.0.50", "driver": "LaserPrint 4100 PCL6",
         "location": "2nd floor, room 12"},
        {"name": "Label Writer", "port": "USB001", "driver": "Label Driver"},
        {"name": "Far Printer", "server": "\\\\SRV", "port": "LPT1:", "connection": true}]})",
                  RegText()
                      .Key(kPrintKey + "LaserPrint 4100")
                      .Value("Share Name", "LP4100")
                      .Value("Port", "IP_10.0.0.50")
                      .Key(kPrintKey + "LaserPrint 4100\\DsSpooler")
                      .Value("uNCName", "\\\\WS01\\LP4100")
                      .Value("driverName", "LaserPrint 4100 PCL6")
                      .Value("serverName", "WS01")
                      .Key(kPrintKey + "Label Writer")
                      .Value("Port", "USB001")
                      .Key(kPrintKey + "Old Plotter")
                      .Value("Share Name", "")
                      .Value("Port", "COM1:")
                      .Value("Location", "basement")
                      .Value("Print Processor", "WinPrint")
                      .Value("Datatype", "RAW")
                      .Key(kServersKey + "PRINTSRV\\Printers\\Shared Copier")
                      .Value("Port", "\\\\PRINTSRV\\copier")
                      .Text());
    StartAgentWithLog();
    EXPECT_EQ(CollectRecords(PrintersInfo),
              (std::vector<std::string>{
                  "\"Printers\",\"0\",\"\",\"LaserPrint 4100\",\"LP4100\",\"IP_10.0.0.50\",\"LaserPrint 4100 PCL6\",\"2nd floor  room 12\",\"WinPrint\",\"RAW\",\"\"",
                  "\"Printers\",\"1\",\"\",\"Label Writer\",\"\",\"USB001\",\"Label Driver\",\"\",\"WinPrint\",\"RAW\",\"\"",
                  "\"Printers\",\"2\",\"\\\\SRV\",\"Far Printer\",\"\",\"LPT1:\",\"\",\"\",\"WinPrint\",\"RAW\",\"\"",
                  "\"Printers\",\"3\",\"\",\"\",\"\",\"COM1:\",\"\",\"basement\",\"WinPrint\",\"RAW\",\"\"",
                  "\"Printers\",\"4\",\"\",\"\",\"\",\"\\\\PRINTSRV\\copier\",\"\",\"\",\"\",\"\",\"\""}));
    std::string log = m.ReadFile(kTraceLog);
    EXPECT_NE(log.find("|3 found\r\n"), std::string::npos);
    EXPECT_NE(log.find("|Level = 2\r\n"), std::string::npos);
    EXPECT_NE(log.find("|\"\",\"Label Writer\",\"\",\"USB001\",\"Label Driver\",\"\",\"WinPrint\"\r\n"), std::string::npos);
}

TEST(Printers, TheRegistryPassKeepsEveryPrinterItCannotTellFromAListedOne) {
    struct Case {
        const char* name;
        std::string json;
        RegText registry;
        std::vector<std::string> records;
        std::vector<std::string> logged;
    };
    const Case cases[] = {
        {"a print server's printer of a local printer's name is another printer",
         R"({"printers": [{"name": "Copier", "port": "LPT1:", "driver": "Copier Driver"}]})",
         RegText()
             .Key(kPrintKey + "Copier")  // the spooler's own printer
             .Value("Port", "LPT1:")
             .Key(kServersKey + "PRINTSRV\\Printers\\Copier")
             .Value("Port", "\\\\PRINTSRV\\copier"),
         {"\"Printers\",\"0\",\"\",\"Copier\",\"\",\"LPT1:\",\"Copier Driver\",\"\",\"WinPrint\",\"RAW\",\"\"",
          "\"Printers\",\"1\",\"\",\"\",\"\",\"\\\\PRINTSRV\\copier\",\"\",\"\",\"\",\"\",\"\""},
         {}},
        {"a value of another type counts as absent", R"({"printers": [{"name": "Label Writer", "port": "USB001"}]})",
         RegText()
             .Key(kPrintKey + "Odd")
             .Dword("Port", 1)
             .Value("Location", "hall")
             .Key(kPrintKey + "Odd\\DsSpooler")
             .Binary("serverName", {0x41})
             .Key(kPrintKey + "Plotter")
             .Value("Port", "COM1:"),
         {"\"Printers\",\"0\",\"\",\"Label Writer\",\"\",\"USB001\",\"\",\"\",\"WinPrint\",\"RAW\",\"\"",
          "\"Printers\",\"1\",\"\",\"\",\"\",\"\",\"\",\"hall\",\"\",\"\",\"\"",
          "\"Printers\",\"2\",\"\",\"\",\"\",\"COM1:\",\"\",\"\",\"\",\"\",\"\""},
         {"Invalid data type for 'Port': counted as absent", "Invalid data type for 'serverName': counted as absent"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestMachine m(c.json, c.registry.Text());
        StartAgentWithLog();
        EXPECT_EQ(CollectRecords(PrintersInfo), c.records);
        EXPECT_EQ(qm::test::LogTextsStartingWith(m.ReadFile(kTraceLog), "Invalid data type"), c.logged);
    }
}

TEST(Printers, FallBackToTheShorterLevelsOrGiveNothing) {
    const char* printers = R"("printers": [{"name": "LaserPrint 4", "server": "\\\\S", "port": "LPT1:, FILE:,,COM2:"}])";
    {
        // NT: level 2 refused, level 4 lists server and name.
        TestMachine m(std::string("{") + printers + R"(, "faults": [{"op": "EnumPrinters", "path": "level2", "after": 1}]})");
        StartAgent();
        EXPECT_EQ(CollectRecords(PrintersInfo), std::vector<std::string>{"\"Printers\",\"0\",\"\\\\S\",\"LaserPrint 4\""});
    }
    {
        // 9x: level 5 gives one record per port, all under the printer's number; an empty item ends the list.
        TestMachine m(std::string("{") + printers + R"(, "version": {"platform_id": 1, "major": 4, "minor": 10},
                                                   "faults": [{"op": "EnumPrinters", "path": "level2", "after": 1}]})");
        StartAgent();
        EXPECT_EQ(CollectRecords(PrintersInfo), (std::vector<std::string>{"\"Printers\",\"0\",\"LPT1:\",\"LaserPrint 4\"",
                                                                         "\"Printers\",\"0\",\"FILE:\",\"LaserPrint 4\""}));
    }
    {
        // Both levels refused: nothing, and no registry pass.
        TestMachine m(std::string("{") + printers + R"(, "faults": [{"op": "EnumPrinters", "path": "level2", "after": 1},
                                                                    {"op": "EnumPrinters", "path": "level4"}]})",
                      RegText().Key(kPrintKey + "Registry Only").Value("Port", "LPT2:").Text());
        StartAgent();
        EXPECT_TRUE(CollectRecords(PrintersInfo).empty());
    }
    {
        // No printer at all: the size is 0 and the registry is not looked at.
        TestMachine m("{}", RegText().Key(kPrintKey + "Registry Only").Value("Port", "LPT2:").Text());
        StartAgent();
        EXPECT_TRUE(CollectRecords(PrintersInfo).empty());
    }
    std::string_view cursor = "  a, b";
    EXPECT_EQ(NextPortToken(cursor), "a");
    EXPECT_EQ(NextPortToken(cursor), "b");
    EXPECT_EQ(NextPortToken(cursor), "");
}
