#include <gtest/gtest.h>

#include "online/html_text.h"
#include "online/report_tables.h"
#include "support/test_machine.h"

using namespace qm::online;
using qm::test::TestMachine;

namespace {

// A look whose pieces are easy to tell apart in the rows.
ReportData Look() {
    ReportData data;
    data.CellBgFirst = "bg1";
    data.CellBgSecond = "bg2";
    data.CellFont = "<F>";
    data.FontClose = "</F>";
    return data;
}

// How often the text stands in the rows.
std::size_t Count(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

}  // namespace

TEST(ReportTables, RenderTableShowsTheChosenFieldsAndAlternatesColours) {
    ReportData data = Look();
    Lines hard = {"\"F1\",\"F2\"", "\"Bios\",\"Date\",\"03/14/05\"", "\"Bios\",\"Name\",\"<b>AT & T</b>\"", "\"Memory\",\"Total\",\"512\""};
    EXPECT_EQ(RenderTable(data, hard, "\"Bios\",\"", {1, 2}, false, 2),
              "<TR><TD  bg1><F>Date</F></TD><TD bg1><F>03/14/05</F></TD></TR>"
              "<TR><TD  bg2><F>Name</F></TD><TD bg2><F>&lt;b&gt;AT &amp; T&lt;/b&gt;</F></TD></TR>");
    // One colour for all rows, starting with the second.
    EXPECT_EQ(Count(RenderTable(data, hard, "\"Bios\",\"", {1, 2}, true, 3), "bg2"), 4u);
    // A row whose last field is not shown has no "</TR>".
    Lines printers = {"\"Printers\",\"0\",\"\",\"Laser\",\"LP\",\"IP_1\",\"PCL\",\"Floor 2\",\"WinPrint\",\"RAW\",\"\""};
    EXPECT_EQ(RenderTable(data, printers, "\"Printers\",\"", {2, 3, 5, 6}, false, 2),
              "<TR><TD  bg1><F></F></TD><TD  bg1><F>Laser</F></TD><TD  bg1><F>IP_1</F></TD><TD  bg1><F>PCL</F></TD>");
    // Nothing beyond the 255th field is shown.
    std::string wide = "\"Wide\",\"k\"";
    for (int f = 2; f <= 300; ++f) wide += ",\"v" + std::to_string(f) + "\"";
    std::vector<int> all;
    for (int f = 250; f <= 300; ++f) all.push_back(f);
    std::string rows = RenderTable(data, {wide}, "\"Wide\",\"", all, false, 2);
    EXPECT_NE(rows.find(">v255<"), std::string::npos);
    EXPECT_EQ(rows.find(">v256<"), std::string::npos);
    EXPECT_EQ(RenderTable(data, hard, "\"HotFix\",\"", {1, 2}, false, 2), "");
}

TEST(ReportTables, RenderGroupedTableNestsTheRowsOfOneDevice) {
    ReportData data = Look();
    Lines hard = {
        "\"USB\",\"USB 1\",\"Product\",\"Mouse\"",
        "\"USB\",\"USB 1\",\"Manufacturer\",\"Acme\"",
        "\"USB\",\"USB 1\",\"SN\",\"123\"",
        "\"USB\",\"USB 1\",\"Class\",\"HID\"",  // none of the any-of texts
        "\"USB\",\"USB 2\",\"Product\",\"Key\"",
        "\"USB\",\"USB 2\",\"SN\",\"9\"",
    };
    GroupedTable usb;
    usb.anyOfRequired = true;
    usb.required = {"\"USB\",\"USB"};
    usb.anyOf = {"\",\"Product\",\"", "\",\"Manufacturer\",\"", "\",\"SN\",\""};
    usb.shown = {2, 3, 4};
    usb.groupField = 3;
    usb.widths = {{3, 25}, {4, 75}};
    const std::string open = "<TD><TABLE  border=\"0\" width=\"100%\" height=\"21\"><TR>";
    auto cells = [](const char* bg, const char* name, const char* value) {
        return std::string("<TD  ") + bg + " width=\"25%\" ><F>" + name + "</F></TD><TD " + bg + " width=\"75%\" ><F>" + value +
               "</F></TD></TR>";
    };
    EXPECT_EQ(RenderGroupedTable(data, hard, usb, 2, false),
              "<TR><TD  bg1><F>USB 1</F></TD>" + open + cells("bg1", "Product", "Mouse") + "<TR>" +
                  cells("bg1", "Manufacturer", "Acme") + "<TR>" + cells("bg1", "SN", "123") + "</TABLE></TD>" +
                  "<TR><TD  bg2><F>USB 2</F></TD>" + open + cells("bg2", "Product", "Key") + "<TR>" + cells("bg2", "SN", "9") +
                  "</TABLE></TD></TR>");

    // Without a grouping field every row advances the colour, unless the tag says otherwise.
    Lines soft = {"\"Installed soft\",\"1\",\"Microsoft Office 2000\"", "\"Installed soft\",\"2\",\"Ledger\"",
                  "\"Installed soft\",\"3\",\"Microsoft Office XP\""};
    GroupedTable office;
    office.required = {"Microsoft", "Office ", "\"Installed soft\",\""};
    office.shown = {3};
    EXPECT_EQ(RenderGroupedTable(data, soft, office, 2, false),
              "<TR><TD bg1><F>Microsoft Office 2000</F></TD></TR><TR><TD bg2><F>Microsoft Office XP</F></TD></TR>");
    EXPECT_EQ(Count(RenderGroupedTable(data, soft, office, 2, true), "bg1"), 2u);
    EXPECT_EQ(RenderGroupedTable(data, {}, usb, 2, false), "");
}

TEST(ReportTables, RenderDiskTableDrawsTheUsageBarOfEveryDrive) {
    TestMachine m;
    struct Case {
        std::string line;
        std::string cells;  // after the icon cell; empty: no row
    };
    const std::string fixed = "<img border=\"0\" src=\"drive.gif\">";
    const std::string network = "<img border=\"0\" src=\"network_drive.gif\">";
    auto bar = [](const char* used, const char* free, const char* percent) {
        return std::string("<img border=\"0\" src=\"pourcoff.gif\" width=\"") + used +
               "\" height=\"18\"><img border=\"0\" src=\"pourcon.gif\" width=\"" + free + "\" height=\"18\"> " + percent;
    };
    const Case cases[] = {
        // 25 % free: 45 pixels used, 15 free.
        {"\"Disk sizes\",\"Drive c\",\"100\",\"25\",\"C:\\\",\"SYSTEM\",\"NTFS\",\"Fixed drive\",\"1C2D\"",
         fixed + "|c:|100|" + bar("45", "15", "25.0%") + "|C:\\|NTFS"},
        {"\"Disk sizes\",\"Drive n\",\"70007.20\",\"20480.00\",\"\\\\SRV\\P\\\",\"P\",\"NTFS\",\"Network drive\",\"5E6F\"",
         network + "|n:|70007.20|" + bar("42.4475196836897", "17.5524803163103", "29.0%") + "|\\\\SRV\\P\\|NTFS"},
        // Two adjacent empty values keep their places: the type still gives the icon.
        {"\"Disk sizes\",\"Drive e\",\"10\",\"10\",\"\",\"\",\"FAT\",\"Fixed drive\",\"1\"", fixed + "|e:|10|" + bar("0", "60", "100.0%") + "| |FAT"},
        // A size that is no number, or a total of 0: the row without its bar.
        {"\"Disk sizes\",\"Drive f\",\"0\",\"0\",\"F:\\\",\"\",\"FAT\",\"Fixed drive\",\"1\"", fixed + "|f:|0||F:\\|FAT"},
        {"\"Disk sizes\",\"Drive g\",\"big\",\"1\",\"G:\\\",\"\",\"FAT\",\"Fixed drive\",\"1\"", fixed + "|g:|big||G:\\|FAT"},
        // More free than total: the bar is all free.
        {"\"Disk sizes\",\"Drive h\",\"10\",\"20\",\"H:\\\",\"L\",\"FAT\",\"Removable drive\",\"1\"", "|h:|10|" + bar("0", "60", "100.0%") + "|H:\\|FAT"},
        {"\"Disk sizes\",\"Drive d\",\"600\",\"0\",\"D:\\\",\"CD\",\"CDFS\",\"CDROM drive\",\"1\"", ""},
        {"\"CDROM\",\"Drive d\",\"\"", "|d:||||"},
        {"\"CDROM\",\"Drive", "|:||||"},  // cut short: no letter, no crash
        // A line of 80,000 empty fields after its values: the same row, at the cost of its length.
        {"\"Disk sizes\",\"Drive c\",\"100\",\"25\",\"C:\\\",\"SYSTEM\",\"NTFS\",\"Fixed drive\",\"1C2D\"" + [] {
             std::string empty;
             for (int i = 0; i < 80000; ++i) empty += ",\"\"";
             return empty;
         }(),
         fixed + "|c:|100|" + bar("45", "15", "25.0%") + "|C:\\|NTFS"},
    };
    for (const Case& c : cases) {
        ReportData data;
        data.Hard = {"\"F1\"", c.line};
        std::string rows = RenderDiskTable(data, 2);
        std::string expected;
        if (!c.cells.empty()) {
            std::string cells = c.cells;
            if (c.line.find("\"CDROM\"") != std::string::npos) cells = "<img border=\"0\" src=\"cd_drive.gif\">" + cells;
            expected = "<TR>";
            std::size_t start = 0;
            for (std::size_t bar_ = cells.find('|'); ; bar_ = cells.find('|', start)) {
                expected += "<TD >" + cells.substr(start, bar_ - start) + "</TD>";
                if (bar_ == std::string::npos) break;
                start = bar_ + 1;
            }
            expected += "</TR>";
        }
        EXPECT_EQ(rows, expected) << c.line;
    }
    // The header line is never a drive; the colour goes on over the rows.
    ReportData data = Look();
    data.Hard = {"\"CDROM\",\"Drive z\",\"\"", "\"CDROM\",\"Drive d\",\"\"", "\"CDROM\",\"Drive e\",\"\""};
    std::string rows = RenderDiskTable(data, 3);
    EXPECT_EQ(rows.find("z:"), std::string::npos);
    EXPECT_LT(rows.find("bg2"), rows.find("bg1"));
}

TEST(ReportTables, CopyFileToStreamAddsTheFileAsItIs) {
    TestMachine m;
    m.WriteFile("C:\\Q\\QNLHEADER.HTM", "<H1>caf\xE9 & co</H1>");
    m.WriteFile("C:\\Q\\empty.htm", "");
    std::string out = "x";
    CopyFileToStream(out, "C:\\Q\\QNLHEADER.HTM");
    CopyFileToStream(out, "C:\\Q\\empty.htm");
    CopyFileToStream(out, "C:\\Q\\missing.htm");
    EXPECT_EQ(out, "x<H1>caf\xE9 & co</H1>");
}

TEST(ReportTables, TheSoftwareTableListsKnownProgramsAndUnknownOnesOfTheirOwnFolders) {
    TestMachine m;
    ReportData data;
    data.CellBgFirst = "b1";
    data.CellBgSecond = "b2";
    data.SoftRows = {
        "",
        "Zeta Works\tZeta*\t1.0\t\tC:\\Z\\\t0\t",
        "Acme\tAlpha*\t2.0\t\tC:\\A\\\t0\t",          // sorted first: listed all the same
        "Microsoft Corp\tHelper*\t1\t\tC:\\M\\\t0\t",  // an unknown program of that maker: never
        "ledger soft\tLedger\tLedger 4 (4.2)\t\tC:\\L\\\t0\t",
        "Other\tTool*\t1\t\tC:\\L\\\t0\t",            // a known program of its folder and class
        "Shield\tGuard\tG (7)\t\tC:\\S\\\t1\t",
        "Other\tSpare*\t1\t\tC:\\S\\\t0\t",           // its folder's known one has another class
    };
    auto names = [](const std::string& rows) {
        std::vector<std::string> found;
        for (std::size_t at = rows.find("<TD b"); at != std::string::npos; at = rows.find("<TR>", at)) {
            std::size_t cell = rows.find("<TD", rows.find("</TD>", at));
            std::size_t start = rows.find('>', cell) + 1;
            found.push_back(rows.substr(start, rows.find("</TD>", start) - start));
            at = rows.find("</TR>", at);
        }
        return found;
    };
    // With no empty row, the first program sorts first itself: it is listed all the same.
    for (bool emptyRow : {true, false}) {
        SCOPED_TRACE(emptyRow);
        ReportData shown = data;
        if (!emptyRow) shown.SoftRows.erase(shown.SoftRows.begin());
        std::string all;
        RenderSoftwareTable(shown, all, 2, 0);
        EXPECT_EQ(names(all), (std::vector<std::string>{"Alpha*", "Ledger", "Spare*", "Guard", "Zeta*"}));
        EXPECT_EQ(all.rfind("<TR><TD b1>Acme</TD>", 0), 0u) << all;
    }
    std::string classed;
    RenderSoftwareTable(data, classed, 3, 1);
    EXPECT_EQ(classed, "<TR><TD b2>Shield</TD><TD b2>Guard</TD><TD b2>G&#160;(7)</TD><TD b2>C:\\S\\</TD></TR>");
}

TEST(ReportTables, TheProcessListNamesEveryProcess) {
    // The NT family: one row per identifier, an empty one where the process does not open.
    std::string nt = R"({"processes": [{"pid": 0}, {"pid": 4, "path": "System", "opens": false}]})";
    {
        TestMachine m(nt);
        ReportData data;
        data.CellBgFirst = "b1";
        data.CellBgSecond = "b2";
        std::string out;
        RenderProcessList(data, out);
        EXPECT_EQ(out, "<TR><TD b1></TD></TR><TR><TD b2></TD></TR>");
    }
    // More processes than the first buffer holds: all of them are listed.
    std::string many = R"({"processes": [)";
    for (int i = 1; i <= 700; ++i) many += (i > 1 ? "," : "") + std::string("{\"pid\": ") + std::to_string(i * 4) + ", \"path\": \"C:\\\\P\\\\p" + std::to_string(i) + ".exe\"}";
    many += "]}";
    {
        TestMachine m(many);
        ReportData data;
        std::string out;
        RenderProcessList(data, out);
        EXPECT_NE(out.find("C:\\P\\p700.exe"), std::string::npos);
        EXPECT_EQ(GetProcessPath(4 * 650), "C:\\P\\p650.exe");
        EXPECT_EQ(GetProcessPath(3), "");
    }
    // The 9x family: the snapshot's program names, empty ones left out.
    {
        TestMachine m(R"({"version": {"platform_id": 1, "major": 4, "minor": 10, "build": 2222},
                         "processes": [{"pid": 1}, {"pid": 2, "path": "C:\\WINDOWS\\EXPLORER.EXE"},
                                       {"pid": 3, "path": "C:\\WINDOWS\\<x>.EXE"}]})");
        ReportData data;
        data.CellBgFirst = "b1";
        data.CellBgSecond = "b2";
        std::string out;
        RenderProcessList(data, out);
        EXPECT_EQ(out, "<TR><TD b1>C:\\WINDOWS\\EXPLORER.EXE</TD></TR><TR><TD b2>C:\\WINDOWS\\&lt;x&gt;.EXE</TD></TR>");
    }
}
