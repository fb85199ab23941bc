#include <gtest/gtest.h>

#include "core/machine_id.h"
#include "core/process_state.h"
#include "core/result_list.h"
#include "core/settings.h"
#include "delivery/scrambling.h"
#include "online/report_data.h"
#include "support/agent_state.h"
#include "support/test_machine.h"

using namespace qm::online;
using qm::test::TestMachine;

namespace {

const char* const kFrontEnd = "C:\\Program Files\\Quarmelin\\qnlonline.exe";
const std::string kFolder = "C:\\Program Files\\Quarmelin\\";

std::string Scrambled(const std::string& text) { return qm::delivery::ScrambleString(text, qm::delivery::kByteXorKey); }

// A software record as the agent writes it: folder, file, company, product and version.
std::string SoftwareLine(const std::string& folder, const std::string& file, const std::string& company,
                         const std::string& product, const std::string& version) {
    return "\"Software\",\"1\",\"0\",\"" + folder + "\",\"" + file + "\",\"1536\",\"" + company + "\",\"" + product +
           "\",\"" + version + "\",\"English (United States)\",\"\"";
}

}  // namespace

TEST(ReportData, SplitTabFieldsFollowsTheTabFieldRule) {
    const std::vector<std::pair<std::string, Lines>> cases = {
        {"A\tB\tC\t\tNAME\tD", {"A", "B", "C", "NAME", "D"}},   // an empty field vanishes
        {"A\t\t\tB", {"A", "B"}},                               // a run of TABs separates like one
        {"A\tB\t", {"A", "B"}},
        {"\tA\tB", {"", "A", "B"}},                             // only a leading empty field stays
        {"", {}},
        {"one", {"one"}},
        {"it's\tmine\tit's\tyours", {"it'smineit's", "yours"}},  // an apostrophe joins up to the next
        {"\"a\tb\"\tc", {"\"ab\"", "c"}},                       // quotes stay in the field
        {"\"it's\tx\"\ty", {"\"it'sx\"", "y"}},                 // the other quote is plain text inside
        {"open \"quote\tto\tthe end", {"open \"quotetothe end"}},  // an unclosed quote joins to the end
        {"A\r\nB\tC", {"A", "B", "C"}},                         // a line break inside a field parts it too
    };
    for (const auto& [row, fields] : cases) EXPECT_EQ(SplitTabFields(row), fields) << row;
    EXPECT_EQ(FieldAt({"a"}, 0), "a");
    EXPECT_EQ(FieldAt({"a"}, 1), "");
}

TEST(ReportData, MatchCpuTakesTheFirstMatchingCatalogueRow) {
    TestMachine m;
    ReportData data;
    data.CpuCatalog = {
        "0F2\t512 KB\tGenuineIntel\tDesktop 15/2\t09",
        "0F2\t1 MB\tGenuineIntel\tServer 15/2\tNULL",
        "06\t256 KB\tAuthenticAMD\tDesktop 6\tNULL",
    };
    struct Case {
        Lines hard;
        std::string cache, vendor, type;
    };
    const Case cases[] = {
        {{"\"CPU\",\"Vendor\",\"GenuineIntel\"", "\"CPU\",\"TFMS\",\"0F29\"", "\"CPU\",\"BrandID\",\"09\""}, "512 KB", "GenuineIntel", "Desktop 15/2"},
        // NULL takes any brand identifier.
        {{"\"CPU\",\"Vendor\",\"GenuineIntel\"", "\"CPU\",\"TFMS\",\"0F27\"", "\"CPU\",\"BrandID\",\"11\""}, "1 MB", "GenuineIntel", "Server 15/2"},
        // The later of two vendor lines counts.
        {{"\"CPU\",\"Vendor\",\"GenuineIntel\"", "\"CPU\",\"Vendor\",\"AuthenticAMD\"", "\"CPU\",\"TFMS\",\"0612\""}, "256 KB", "AuthenticAMD", "Desktop 6"},
        // The vendor is compared with regard to case; a line must begin with the prefix.
        {{"\"CPU\",\"Vendor\",\"authenticamd\"", "\"CPU\",\"TFMS\",\"0612\""}, "", "", ""},
        {{" \"CPU\",\"Vendor\",\"AuthenticAMD\"", "\"CPU\",\"TFMS\",\"0612\""}, "", "", ""},
        // A value shorter than the catalogue's prefix does not match it.
        {{"\"CPU\",\"Vendor\",\"AuthenticAMD\"", "\"CPU\",\"TFMS\",\"0\""}, "", "", ""},
        {{}, "", "", ""},
    };
    for (const Case& c : cases) {
        data.CpuCache = data.CpuVendor = data.CpuType = "stale";
        MatchCpu(data, c.hard);
        EXPECT_EQ(data.CpuCache, c.cache) << c.hard.size();
        EXPECT_EQ(data.CpuVendor, c.vendor);
        EXPECT_EQ(data.CpuType, c.type);
    }
    // A row with an empty column: the later columns move up, its type stands as the vendor.
    data.CpuCatalog = {"0F2\t\tGenuineIntel\tMoved\t0E"};
    MatchCpu(data, {"\"CPU\",\"Vendor\",\"Moved\"", "\"CPU\",\"TFMS\",\"0F29\""});
    EXPECT_EQ(data.CpuCache, "GenuineIntel");
    EXPECT_EQ(data.CpuType, "0E");
}

TEST(ReportData, NormaliseSoftwareMatchesTheCatalogueAndListsUnknownProgramsOncePerFolder) {
    TestMachine m;
    ReportData data;
    data.SoftCatalog = {
        "ledger.exe\tLedger Pro\t4.\tLedger Pro 4\tLedger Ltd\tLedger Software\t0",
        "ledger.exe\tLedger Any\tNULL\tLedger Any\tNULL\tLedger Software\t0",
        "tool.exe\tTool\t1.\tTool One\tNULL\tToolmakers\t1",
        "guard.exe\tGuard\tNULL\tGuard\tnull\tGuard Inc\t2",
        "quote.exe\tQuote\tNULL\tQ\tNULL\tO'Neil\t3",
    };
    struct Case {
        std::string line;
        std::string row;
    };
    const Case cases[] = {
        {SoftwareLine("C:\\L\\", "LEDGER.EXE", "Ledger Ltd", "Ledger", "4.2.1"), "Ledger Software\tLedger Pro\tLedger Pro 4 (4.2.1)\t\tC:\\L\\\t0\t"},
        // Another company: the row with any company and any version.
        {SoftwareLine("C:\\L2\\", "ledger.exe", "Other", "Ledger", "3.0"), "Ledger Software\tLedger Any\t3.0\t\tC:\\L2\\\t0\t"},
        // "1." matches 1.0 and 1.52, not 11.0.
        {SoftwareLine("C:\\T\\", "tool.exe", "X", "T", "1.52"), "Toolmakers\tTool\tTool One (1.52)\t\tC:\\T\\\t1\t"},
        {SoftwareLine("C:\\T1\\", "tool.exe", "X", "T", "11.0"), "X\tT*\t11.0\t\tC:\\T1\\\t0\t"},
        // A lower-case null in the version column matches any version, and the text stays the version.
        {SoftwareLine("C:\\G\\", "guard.exe", "Anyone", "G", ""), "Guard Inc\tGuard\t \t\tC:\\G\\\t2\t"},
        {SoftwareLine("C:\\U\\", "x.exe", "", "Unknown", "1"), ""},
        {SoftwareLine("C:\\U\\", "x.exe", "Maker", "", "1"), ""},
    };
    Lines seen;
    for (const Case& c : cases) EXPECT_EQ(NormaliseSoftware(data, c.line, seen), c.row) << c.line;

    // Two unknown programs of one folder give one row; a known one there still gives its own.
    seen.clear();
    EXPECT_EQ(NormaliseSoftware(data, SoftwareLine("C:\\App\\", "a.exe", "M", "A", "1"), seen), "M\tA*\t1\t\tC:\\App\\\t0\t");
    EXPECT_EQ(NormaliseSoftware(data, SoftwareLine("c:\\app\\", "b.exe", "M", "B", "1"), seen), "");
    EXPECT_EQ(NormaliseSoftware(data, SoftwareLine("C:\\App\\", "tool.exe", "M", "T", "1.0"), seen),
              "Toolmakers\tTool\tTool One (1.0)\t\tC:\\App\\\t1\t");
    // A known program first: an unknown one of its folder is then not listed.
    seen.clear();
    NormaliseSoftware(data, SoftwareLine("C:\\K\\", "tool.exe", "M", "T", "1.0"), seen);
    EXPECT_EQ(NormaliseSoftware(data, SoftwareLine("C:\\K\\", "c.exe", "M", "C", "1"), seen), "");
    // An apostrophe in a catalogue row joins the fields up to the next one.
    seen.clear();
    EXPECT_EQ(NormaliseSoftware(data, SoftwareLine("C:\\Q\\", "quote.exe", "M", "Q", "1"), seen), "O'Neil3\tQuote\t1\t\tC:\\Q\\\t\t");
    // A line cut short reads as empty fields.
    EXPECT_EQ(NormaliseSoftware(data, "\"Software\",\"1\",\"0", seen), "");
}

TEST(ReportData, LoadReportDataReadsTheResultsCataloguesAndLook) {
    TestMachine m;
    qm::test::StartAgent({}, kFrontEnd);
    qm::core::InitWorkFolder();
    qm::core::State().assetId = "QM-TEST-01";
    qm::core::SetResultFileNames(false);
    m.WriteFile("C:\\WINDOWS\\QM-TEST-01.hrz", "\"F1\"\r\n\"CPU\",\"Vendor\",\"GenuineIntel\"\r\n\"CPU\",\"TFMS\",\"0F29\"\r\n");
    m.WriteFile("C:\\WINDOWS\\QM-TEST-01.sfz", "\"F1\"\r\n" + SoftwareLine("C:\\A\\", "a.exe", "M", "A", "1") + "\r\n" +
                                               SoftwareLine("C:\\A\\", "b.exe", "M", "B", "2") + "\r\n");
    m.WriteFile(kFolder + "data.dta", Scrambled("a.exe\tProduct A\tNULL\tA\tNULL\tMaker A\t1\r\n"));
    m.WriteFile(kFolder + "datap.dta", Scrambled("0F\tBig cache\tGenuineIntel\tFifteen\tNULL\r\n"));
    m.WriteFile(kFolder + "qnlonline.ini",
                "[GLOBAL]\nZIPNAME=report.zip\nDEFAULT_FONT=<FONT size=\"2\">\nDEFAULT_CELL_BACKGROUND_FIRST=bgcolor=\"#FFF\"\n"
                "DEFAULT_CELL_BACKGROUND_SECOND=bgcolor=\"#EEE\"\n");
    ReportData data;
    LoadReportData(data);
    EXPECT_EQ(data.Hard.size(), 3u);
    EXPECT_EQ(data.SoftCatalog, Lines{"a.exe\tProduct A\tNULL\tA\tNULL\tMaker A\t1"});
    EXPECT_EQ(data.Tags.size(), 124u);
    EXPECT_EQ(data.Tags[42], "<RUNNING PROCESS>");
    EXPECT_EQ(data.Tags[123], "</ASSETTAG>");
    EXPECT_EQ(data.ZipName, "report.zip");
    EXPECT_EQ(data.FontClose, "</FONT>");
    EXPECT_EQ(data.CellBgSecond, "bgcolor=\"#EEE\"");
    EXPECT_EQ(data.CpuType, "Fifteen");
    // The header line gives no row; the known program and the folder's unknown one.
    EXPECT_EQ(data.SoftRows, (Lines{"Maker A\tProduct A\t1\t\tC:\\A\\\t1\t", ""}));

    // A font tag in lower case is not closed.
    m.WriteFile(kFolder + "qnlonline.ini", "[Global]\nDEFAULT_FONT=<font size=\"2\">\n");
    LoadReportData(data);
    EXPECT_EQ(data.FontClose, "");
    EXPECT_EQ(data.ZipName, "");

    // Each file the report needs, missing, ends the loading with its name.
    for (const std::string& file : {std::string("C:\\WINDOWS\\QM-TEST-01.sfz"), kFolder + "datap.dta"}) {
        std::string bytes = m.ReadFile(file);
        ASSERT_TRUE(qm::platform::Files().DeleteFile(file));
        try {
            LoadReportData(data);
            ADD_FAILURE() << file;
        } catch (const std::exception& e) {
            EXPECT_NE(std::string(e.what()).find(file), std::string::npos) << e.what();
        }
        m.WriteFile(file, bytes);
    }
}
