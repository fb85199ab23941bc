#include <gtest/gtest.h>

#include <vector>

#include "platform/platform.h"
#include "support/test_machine.h"

using namespace qm::platform;
using qm::test::TestMachine;

TEST(SimSpooler, ListsTheLocalPrintersAndTheConnectionsAtTheirLevels) {
    TestMachine m(R"({"printers": [{"name": "P1", "port": "LPT1:"}, {"name": "Remote", "connection": true}]})");
    DWORD needed = 0;
    std::vector<PrinterInfo> printers;
    EXPECT_FALSE(Spooler().EnumPrinters(PRINTER_ENUM_LOCAL, 2, 0, needed, printers));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    DWORD localOnly = needed;
    ASSERT_TRUE(Spooler().EnumPrinters(PRINTER_ENUM_LOCAL, 2, localOnly, needed, printers));
    ASSERT_EQ(printers.size(), 1u);
    EXPECT_FALSE(Spooler().EnumPrinters(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS, 2, localOnly, needed, printers));
    ASSERT_TRUE(Spooler().EnumPrinters(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS, 5, needed, needed, printers));
    EXPECT_EQ(printers.size(), 2u);
    EXPECT_EQ(printers[0].portName, "LPT1:");
    EXPECT_EQ(printers[0].shareName, "");  // level 5 has no share
}
