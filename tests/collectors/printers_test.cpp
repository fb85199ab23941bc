#include <gtest/gtest.h>

#include "collectors/printers.h"
#include "support/agent_state.h"
#include "support/reg_text.h"
#include "support/test_machine.h"

using namespace qm::collectors;
using namespace qm::test;

namespace {

const std::string kPrintKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\Printers\\";
const std::string kServersKey =
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\Providers\\LanMan Print Services\\Servers\\";

}  // namespace

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
