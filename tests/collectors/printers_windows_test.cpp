#include <gtest/gtest.h>

#include "collectors/printers.h"
#include "collectors/windows_settings.h"
#include "collectors/windows_version.h"
#include "support/agent_state.h"
#include "support/test_machine.h"

using namespace qm::collectors;
using qm::test::CollectRecords;
using qm::test::kTraceLog;
using qm::test::StartAgent;
using qm::test::StartAgentWithLog;
using qm::test::TestMachine;

namespace {

std::string Reg(const std::string& body) { return "REGEDIT4\r\n\r\n" + body; }

const char* const kPrintKey = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\Printers\\";

// Eastern time: 300 minutes, daylight from the first Sunday of April to the last of October.
const char* const kEasternTzi = "2c,01,00,00,00,00,00,00,c4,ff,ff,ff,00,00,0a,00,00,00,05,00,02,00,00,00,00,00,00,00,"
                                "00,00,04,00,00,00,01,00,02,00,00,00,00,00,00,00";
const char* const kEastern = R"({"time_zone": {"bias": 300, "standard_name": "Eastern Standard Time", "daylight_name": "Eastern Daylight Time",
    "standard_date": {"month": 10, "day_of_week": 0, "week": 5, "hour": 2},
    "daylight_date": {"month": 4, "day_of_week": 0, "week": 1, "hour": 2}}})";

// A zone of the registry, with its names and its "TZI" line as .reg text gives it.
std::string Zone(const std::string& name, const std::string& display, const std::string& standard,
                 const std::string& daylight, const std::string& tziLine) {
    return "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Time Zones\\" + name +
           "]\r\n\"Display\"=\"" + display + "\"\r\n\"Std\"=\"" + standard + "\"\r\n\"Dlt\"=\"" + daylight + "\"\r\n" +
           tziLine + "\r\n";
}

std::string EasternZone(const std::string& name, const std::string& display, const std::string& tziLine) {
    return Zone(name, display, "Eastern Standard Time", "Eastern Daylight Time", tziLine);
}

}  // namespace

TEST(WindowsVersion, NamesTheReleaseEditionAndServicePack) {
    struct Case {
        const char* version;   // the machine's version entry
        const char* registry;  // keys the edition or the fix may come from
        const char* text;
    };
    const std::string nt4 = R"("platform_id": 2, "major": 4, "minor": 0, "build": 1381)";
    const std::string options = "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\ProductOptions]\r\n";
    const std::string fix = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Hotfix\\Q246009]\r\n";
    const std::vector<std::tuple<std::string, std::string, std::string>> cases = {
        {R"("major": 5, "minor": 1, "build": 2600, "service_pack": "Service Pack 2", "product_type": 1, "suite_mask": 256)", "",
         "Windows XP Professional 5.1 Build 2600 Service Pack 2"},
        {R"("major": 5, "minor": 1, "build": 2600, "service_pack": "", "product_type": 1, "suite_mask": 512)", "",
         "Windows XP Personal 5.1 Build 2600"},
        {R"("major": 5, "minor": 0, "build": 2195, "service_pack": "", "product_type": 3, "suite_mask": 2)", "",
         "Windows 2000 Advanced Server 5.0 Build 2195"},
        {R"("major": 5, "minor": 0, "build": 2195, "service_pack": "", "product_type": 2, "suite_mask": 0)", "",
         "Windows 2000 Server 5.0 Build 2195"},
        {R"("major": 5, "minor": 2, "build": 3790, "service_pack": "", "product_type": 3, "suite_mask": 130)", "",
         "Windows XP DataCenter Server 5.2 Build 3790"},
        {R"("major": 5, "minor": 0, "build": 2195, "service_pack": "", "extended": false)", "", "Windows 2000 5.0 Build 2195"},
        {nt4 + R"(, "service_pack": "Service Pack 6")", options + "\"ProductType\"=\"WinNT\"\r\n" + fix + "\"Installed\"=dword:00000001\r\n",
         "Windows NT Workstation 4.0 Build 1381 Service Pack 6a"},
        {nt4 + R"(, "service_pack": "Service Pack 6")", options + "\"ProductType\"=\"LanmanNT\"\r\n" + fix + "\"Installed\"=\"1\"\r\n",
         "Windows NT Server 4.0 Build 1381 Service Pack 6"},
        {nt4 + R"(, "service_pack": "Service Pack 5")", options + "\"ProductType\"=\"ServerNT\"\r\n" + fix + "\"Installed\"=dword:00000001\r\n",
         "Windows NT Server 4.0 Build 1381 Service Pack 5"},
        {nt4 + R"(, "service_pack": "")", options + "\"ProductType\"=dword:00000001\r\n", "Windows NT Workstation 4.0 Build 1381"},
        {nt4 + R"(, "service_pack": "")", "", "Windows NT 4.0 Build 1381"},
        {R"("platform_id": 1, "major": 4, "minor": 0, "build": 67109814, "service_pack": "")", "", "Windows 95 4.0 Build 950"},
        {R"("platform_id": 1, "major": 4, "minor": 10, "build": 67766446, "service_pack": " A ")", "",
         "Windows 98 4.10 Build 2222  A "},
        {R"("platform_id": 1, "major": 4, "minor": 90, "build": 73010104, "service_pack": "")", "",
         "Windows Millennium 4.90 Build 3000"},
        {R"("platform_id": 0, "major": 1, "minor": 30, "build": 0, "service_pack": "")", "", "Win32s 1.30 Build 0"},
    };
    for (const auto& [version, registry, text] : cases) {
        SCOPED_TRACE(version);
        TestMachine m("{\"version\": {" + version + "}}", registry.empty() ? "" : Reg(registry));
        StartAgent();
        EXPECT_EQ(WindowsVersionText(), text);
    }
}

TEST(WindowsInfo, WritesItsRecordsInOrderOnBothFamilies) {
    TestMachine nt(R"json({"screen": {"width": 1280, "height": 1024}, "locale": {"language": "English (United States)"},
                       "system_locale": {"country": "Canada", "language": "French (Canada)"}})json",
                   Reg("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion]\r\n\"ProductId\"=\"55274-640\"\r\n"
                       "\"SystemRoot\"=\"C:\\\\WINDOWS\"\r\n\"RegisteredOwner\"=\"John Doe\"\r\n"
                       "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon]\r\n"
                       "\"CachePrimaryDomain\"=\"EXAMPLE\"\r\n"));
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
                     Reg("[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\VxD\\VNetSup]\r\n\"Workgroup\"=\"BUREAU\"\r\n"
                         "\"Comment\"=\"Accueil, rez\"\r\n"));
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
    TestMachine m("{}", Reg("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion]\r\n\"ProductId\"=dword:00000007\r\n"
                            "\"SystemRoot\"=hex:43,3a\r\n\"RegisteredOwner\"=\"John Doe\"\r\n"
                            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon]\r\n"
                            "\"CachePrimaryDomain\"=hex(7):41,00,00,00\r\n"
                            "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\LanmanServer\\Parameters]\r\n"
                            "\"srvcomment\"=dword:00000001\r\n"));
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
        std::string registry;
        std::string user;
    };
    const std::string long16 = "averyverylongname";  // 17 characters
    const Case cases[] = {
        {R"({"user_name": ")" + long16 + R"("})", "", long16},  // taken whole from the first step
        {R"({"user_name": "", "version": {"platform_id": 1, "major": 4, "minor": 10}})",
         Reg("[HKEY_LOCAL_MACHINE\\Network\\Logon]\r\n\"UserName\"=\"msmith\"\r\n"), "msmith"},
        {R"({"user_name": "", "version": {"platform_id": 1, "major": 4, "minor": 10}})",
         Reg("[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control]\r\n\"Current User\"=\"desk\"\r\n"), "desk"},
        {R"({"user_name": "", "version": {"platform_id": 1, "major": 4, "minor": 10}})",
         Reg("[HKEY_LOCAL_MACHINE\\Network\\Logon]\r\n\"UserName\"=dword:00000001\r\n"
             "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control]\r\n\"Current User\"=\"desk\"\r\n"), "desk"},
        {R"({"user_name": "", "network_user": "netuser"})", "", "netuser"},
        {R"({"user_name": "", "drives": [{"letter": "C", "folder": "drive_c"},
             {"letter": "Z", "type": "remote", "folder": "net_z", "user": ".CN=jdoe.OU=sales.O=corp"}], "host_drive": "Y"})",
         "", "jdoe"},
        {R"({"user_name": "", "drives": [{"letter": "C", "folder": "drive_c"},
             {"letter": "Z", "type": "remote", "folder": "net_z", "user": "jdoe2.OU=x"}], "host_drive": "Y"})",
         "", "jdoe2"},  // no ".CN=": nothing cut from the front
        {R"({"user_name": "a@b@c"})", "", "a"},
        {R"({"user_name": "a@b"})", "", "a@b"},
        {R"({"user_name": ""})", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.json);
        TestMachine m(c.json, c.registry);
        StartAgent();
        EXPECT_EQ(CollectRecords(UserIdInfo), std::vector<std::string>{"\"Windows\",\"User ID\",\"" + c.user + "\""});
    }
}

TEST(TimeZone, MatchesTheRegistryEntryByItsWholeDescription) {
    const std::string tzi = std::string("\"TZI\"=hex:") + kEasternTzi;
    std::string registry = EasternZone("Short", "short TZI", "\"TZI\"=hex:2c,01,00,00") +
                           Zone("Other Names", "other names", "Eastern", "Eastern", tzi) +
                           EasternZone("Eastern", "(GMT-05:00) Eastern Time", tzi);
    {
        TestMachine m(kEastern, Reg(registry));
        StartAgent();
        EXPECT_EQ(GetTimeZoneName(), "(GMT-05:00) Eastern Time");
    }
    {
        TestMachine m(kEastern, Reg(EasternZone("Eastern", "x", "\"TZI\"=hex:2c,01,00,00")));
        StartAgent();
        EXPECT_EQ(GetTimeZoneName(), "Eastern Standard Time");  // no match: the system's standard name
    }
    {
        // Names of another type count as absent: that zone does not match, the next one does.
        std::string odd = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Time Zones\\Odd]\r\n"
                          "\"Display\"=\"odd\"\r\n\"Std\"=dword:00000001\r\n\"Dlt\"=\"Eastern Daylight Time\"\r\n" +
                          tzi + "\r\n";
        TestMachine m(kEastern, Reg(odd + EasternZone("Eastern", "(GMT-05:00) Eastern Time", tzi)));
        StartAgent();
        EXPECT_EQ(GetTimeZoneName(), "(GMT-05:00) Eastern Time");
    }
}

TEST(TimeZone, ATziOfAnotherTypeThanBinaryNeverMatchesAndCostsNoRecord) {
    const std::string tzi = std::string("\"TZI\"=hex:") + kEasternTzi;
    // 44 bytes each: 43 characters and their terminator; the zone's bytes typed REG_NONE and
    // as a multi-string.
    const std::string others = EasternZone("A Text", "text", "\"TZI\"=\"" + std::string(43, 'x') + "\"") +
                               EasternZone("B None", "none", std::string("\"TZI\"=hex(0):") + kEasternTzi) +
                               EasternZone("C Multi", "multi", std::string("\"TZI\"=hex(7):") + kEasternTzi);
    {
        TestMachine m(kEastern, Reg(others + EasternZone("Eastern", "(GMT-05:00) Eastern Time", tzi)));
        StartAgent();
        EXPECT_EQ(GetTimeZoneName(), "(GMT-05:00) Eastern Time");
    }
    {
        TestMachine m(kEastern, Reg(others));
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
                  Reg(std::string(kPrintKey) + "LaserPrint 4100]\r\n\"Share Name\"=\"LP4100\"\r\n\"Port\"=\"IP_10.0.0.50\"\r\n" +
                      kPrintKey + "LaserPrint 4100\\DsSpooler]\r\n\"uNCName\"=\"\\\\\\\\WS01\\\\LP4100\"\r\n"
                                  "\"driverName\"=\"LaserPrint 4100 PCL6\"\r\n\"serverName\"=\"WS01\"\r\n" +
                      kPrintKey + "Label Writer]\r\n\"Port\"=\"USB001\"\r\n" +
                      kPrintKey + "Old Plotter]\r\n\"Share Name\"=\"\"\r\n\"Port\"=\"COM1:\"\r\n\"Location\"=\"basement\"\r\n"
                                  "\"Print Processor\"=\"WinPrint\"\r\n\"Datatype\"=\"RAW\"\r\n" +
                      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\Providers\\LanMan Print Services\\Servers\\PRINTSRV\\Printers\\Shared Copier]\r\n"
                      "\"Port\"=\"\\\\\\\\PRINTSRV\\\\copier\"\r\n"));
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
    const std::string servers =
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\Providers\\LanMan Print Services\\Servers\\";
    struct Case {
        const char* name;
        std::string json;
        std::string registry;
        std::vector<std::string> records;
        std::vector<std::string> logged;
    };
    const Case cases[] = {
        {"a print server's printer of a local printer's name is another printer",
         R"({"printers": [{"name": "Copier", "port": "LPT1:", "driver": "Copier Driver"}]})",
         std::string(kPrintKey) + "Copier]\r\n\"Port\"=\"LPT1:\"\r\n" +  // the spooler's own printer
             servers + "PRINTSRV\\Printers\\Copier]\r\n\"Port\"=\"\\\\\\\\PRINTSRV\\\\copier\"\r\n",
         {"\"Printers\",\"0\",\"\",\"Copier\",\"\",\"LPT1:\",\"Copier Driver\",\"\",\"WinPrint\",\"RAW\",\"\"",
          "\"Printers\",\"1\",\"\",\"\",\"\",\"\\\\PRINTSRV\\copier\",\"\",\"\",\"\",\"\",\"\""},
         {}},
        {"a value of another type counts as absent", R"({"printers": [{"name": "Label Writer", "port": "USB001"}]})",
         std::string(kPrintKey) + "Odd]\r\n\"Port\"=dword:00000001\r\n\"Location\"=\"hall\"\r\n" + kPrintKey +
             "Odd\\DsSpooler]\r\n\"serverName\"=hex:41\r\n" + kPrintKey + "Plotter]\r\n\"Port\"=\"COM1:\"\r\n",
         {"\"Printers\",\"0\",\"\",\"Label Writer\",\"\",\"USB001\",\"\",\"\",\"WinPrint\",\"RAW\",\"\"",
          "\"Printers\",\"1\",\"\",\"\",\"\",\"\",\"\",\"hall\",\"\",\"\",\"\"",
          "\"Printers\",\"2\",\"\",\"\",\"\",\"COM1:\",\"\",\"\",\"\",\"\",\"\""},
         {"Invalid data type for 'Port': counted as absent", "Invalid data type for 'serverName': counted as absent"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestMachine m(c.json, Reg(c.registry));
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
                      Reg(std::string(kPrintKey) + "Registry Only]\r\n\"Port\"=\"LPT2:\"\r\n"));
        StartAgent();
        EXPECT_TRUE(CollectRecords(PrintersInfo).empty());
    }
    {
        // No printer at all: the size is 0 and the registry is not looked at.
        TestMachine m("{}", Reg(std::string(kPrintKey) + "Registry Only]\r\n\"Port\"=\"LPT2:\"\r\n"));
        StartAgent();
        EXPECT_TRUE(CollectRecords(PrintersInfo).empty());
    }
    std::string_view cursor = "  a, b";
    EXPECT_EQ(NextPortToken(cursor), "a");
    EXPECT_EQ(NextPortToken(cursor), "b");
    EXPECT_EQ(NextPortToken(cursor), "");
}
