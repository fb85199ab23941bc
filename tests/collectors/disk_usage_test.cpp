#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "collectors/disk_usage.h"
#include "collectors/hardware_inventory.h"
#include "core/process_state.h"
#include "core/result_list.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "support/agent_state.h"
#include "support/test_machine.h"

using namespace qm::collectors;
using namespace qm::core;
using qm::test::CollectRecords;
using qm::test::kAgentSettings;
using qm::test::StartAgent;
using qm::test::TestMachine;

namespace {

// A second fixed drive E:, and drives of the kinds the scan leaves alone, each holding a
// document that would count.
const char* const kDrives = R"({"drives": [
    {"letter": "A", "type": "fixed", "folder": "floppy_a"},
    {"letter": "C", "type": "fixed", "folder": "drive_c"},
    {"letter": "D", "type": "cdrom", "folder": "cd_d"},
    {"letter": "E", "type": "fixed", "folder": "drive_e"},
    {"letter": "N", "type": "remote", "folder": "net_n", "unc": "\\\\SRV\\Apps"}]})";

std::string Settings(const std::string& deep, const std::string& extensions) {
    std::string text = "[IDENTIFICATION]\r\nCODE=ACME\r\n";
    if (!deep.empty()) text += "[DiskUsage]\r\nDEEP=" + deep + "\r\n";
    return text + "[DiskUsageExtensions]\r\n" + extensions;
}

void Sized(TestMachine& m, const std::string& path, std::size_t size) { m.WriteFile(path, std::string(size, 'x')); }

// Four documents down one branch of C:, one on E:, and one on each drive that is no fixed
// drive C to Z.
void DocumentTree(TestMachine& m) {
    Sized(m, "C:\\a.doc", 1);
    Sized(m, "C:\\Docs\\b.doc", 20);
    Sized(m, "C:\\Docs\\Sub\\c.doc", 300);
    Sized(m, "C:\\Docs\\Sub\\Deep\\d.doc", 4000);
    Sized(m, "E:\\e.doc", 50000);
    for (const char* other : {"A:\\f.doc", "D:\\f.doc", "N:\\f.doc"}) Sized(m, other, 7);
}

std::vector<std::string> Scan() { return CollectRecords(ScanDiskUsage); }

std::string Record(const std::string& bucket, const std::string& category, const std::string& bytes,
                   const std::string& files) {
    return "\"DiskUsage\",\"" + bucket + "\",\"" + category + "\",\"" + bytes + "\",\"" + files + "\"";
}

}  // namespace

TEST(DiskUsage, TheBucketDepthDecidesWhichFoldersAreBuckets) {
    struct Case {
        const char* deep;
        std::vector<std::string> records;
    };
    const std::vector<Case> cases = {
        {"0", {Record("C:\\", "Office", "4321", "4"), Record("E:\\", "Office", "50000", "1")}},
        {"1",
         {Record("C:\\", "Office", "1", "1"), Record("C:\\Docs\\", "Office", "4320", "3"),
          Record("E:\\", "Office", "50000", "1")}},
        {"2",
         {Record("C:\\", "Office", "1", "1"), Record("C:\\Docs\\", "Office", "20", "1"),
          Record("C:\\Docs\\Sub\\", "Office", "4300", "2"), Record("E:\\", "Office", "50000", "1")}},
        // No value, or one that is no number: the default, 2.
        {"",
         {Record("C:\\", "Office", "1", "1"), Record("C:\\Docs\\", "Office", "20", "1"),
          Record("C:\\Docs\\Sub\\", "Office", "4300", "2"), Record("E:\\", "Office", "50000", "1")}},
        {"deep",
         {Record("C:\\", "Office", "1", "1"), Record("C:\\Docs\\", "Office", "20", "1"),
          Record("C:\\Docs\\Sub\\", "Office", "4300", "2"), Record("E:\\", "Office", "50000", "1")}},
        {"-1", {Record("", "Office", "54321", "5")}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("DEEP=") + c.deep);
        TestMachine m(kDrives);
        DocumentTree(m);
        m.WriteFile(kAgentSettings, Settings(c.deep, "Office=.doc\r\n"));
        StartAgent();
        EXPECT_EQ(Scan(), c.records);
    }
}

TEST(DiskUsage, TheSettingsNameTheExtensionsOfEachCategory) {
    struct Case {
        const char* name;
        std::string extensions;
        std::vector<std::string> records;
    };
    const std::vector<Case> cases = {
        // The first item is taken as it stands, the others trimmed; "txt" has no dot; .doc is
        // counted once although it stands twice.
        {"blanks, case, a repeat and no dot",
         "Office= .doc; .XLS;.doc;txt\r\n",
         {Record("C:\\", "Office", "3", "2")}},
        {"a blank after the equals sign", "Office= .doc;.xls\r\n", {Record("C:\\", "Office", "2", "1")}},
        {"three extensions", "Office=.doc;.xls;.txt\r\n", {Record("C:\\", "Office", "7", "3")}},
        {"one extension under two categories, in their order",
         "Letters=.doc\r\nOffice=.xls;.doc\r\n",
         {Record("C:\\", "Letters", "1", "1"), Record("C:\\", "Office", "3", "2")}},
        {"one category on two lines in two cases",
         "Office=.doc;.doc\r\noffice=.DOC;.xls\r\n",
         {Record("C:\\", "Office", "3", "2")}},
        {"empty items and a lone semicolon", "Office=;;.txt; ;\r\nEmpty=\r\nNone=;\r\n",
         {Record("C:\\", "Office", "4", "1")}},
        {"no categories", "", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestMachine m;
        Sized(m, "C:\\letter.Doc", 1);
        Sized(m, "C:\\sheet.xls", 2);
        Sized(m, "C:\\notes.txt", 4);
        Sized(m, "C:\\README", 8);
        Sized(m, "C:\\txt", 16);
        m.WriteFile(kAgentSettings, Settings("", c.extensions));
        StartAgent();
        EXPECT_EQ(Scan(), c.records);
    }
}

TEST(DiskUsage, ByteTotalsAreNotCutAt4GiB) {
    TestMachine m;
    // Sparse: its size is set without writing its data.
    m.MakeFolder("C:\\Images");
    std::filesystem::path big = m.HostPath("C:\\Images\\disk.iso");
    { std::ofstream(big.string()); }
    std::filesystem::resize_file(big, 5ull << 30);
    Sized(m, "C:\\Images\\small.iso", 1);
    Sized(m, "C:\\Images\\other.bin", 3);
    m.WriteFile(kAgentSettings, Settings("", "Images=.iso\r\nBinary=.bin\r\n"));
    StartAgent();
    EXPECT_EQ(Scan(), (std::vector<std::string>{Record("C:\\Images\\", "Images", "5368709121", "2"),
                                                Record("C:\\Images\\", "Binary", "3", "1")}));
}

TEST(DiskUsage, FoldersThatAreReparsePointsAreNotDescended) {
    TestMachine m;
    Sized(m, "C:\\Docs\\b.doc", 2);
    Sized(m, "C:\\Elsewhere\\far.doc", 4);
    std::filesystem::create_directory_symlink(m.HostPath("C:\\"), m.HostPath("C:\\Docs\\loop"));
    std::filesystem::create_directory_symlink(m.HostPath("C:\\Elsewhere"), m.HostPath("C:\\Docs\\other"));
    m.WriteFile(kAgentSettings, Settings("", "Office=.doc\r\n"));
    StartAgent();
    EXPECT_EQ(Scan(), (std::vector<std::string>{Record("C:\\Docs\\", "Office", "2", "1"),
                                                Record("C:\\Elsewhere\\", "Office", "4", "1")}));
}

TEST(DiskUsage, AFolderThatCannotBeListedIsLeftOutAndItsSiblingsCount) {
    TestMachine m;
    Sized(m, "C:\\Docs\\Locked\\secret.doc", 1);
    Sized(m, "C:\\Docs\\Locked\\Below\\deeper.doc", 1);
    Sized(m, "C:\\Docs\\Open\\letter.doc", 2);
    Sized(m, "C:\\Docs\\z.doc", 4);
    m.WriteFile(kAgentSettings, Settings("", "Office=.doc\r\n"));
    m.Machine().AddFault({"FindFirstFile", "C:\\Docs\\Locked", qm::platform::ERROR_ACCESS_DENIED});
    StartAgent();
    EXPECT_EQ(Scan(), (std::vector<std::string>{Record("C:\\Docs\\Open\\", "Office", "2", "1"),
                                                Record("C:\\Docs\\", "Office", "4", "1")}));
}

TEST(DiskUsage, AnErrorEndsTheScanWithoutRecordsAndTheNextScanStartsClean) {
    TestMachine m;
    Sized(m, "C:\\a.doc", 1);
    Sized(m, "C:\\Docs\\b.doc", 2);
    m.WriteFile(kAgentSettings, Settings("", "Office=.doc\r\n"));
    m.Machine().AddFault({"FindFirstFile", "C:\\Docs", qm::platform::ERROR_ACCESS_DENIED, true, 1});
    qm::test::StartAgentWithLog();
    EXPECT_TRUE(Scan().empty());
    EXPECT_TRUE(State().diskUsage.buckets.empty());
    EXPECT_FALSE(State().diskUsage.tableLoaded);
    // The fault struck once: the same process now counts every file once.
    EXPECT_EQ(Scan(), (std::vector<std::string>{Record("C:\\", "Office", "1", "1"), Record("C:\\Docs\\", "Office", "2", "1")}));
    std::vector<std::string> errors = qm::test::LogTextsStartingWith(m.ReadFile(qm::test::kTraceLog), "ScanDisk error:");
    EXPECT_EQ(errors, std::vector<std::string>{"ScanDisk error:FindFirstFile failed on purpose: C:\\Docs"});
}

TEST(DiskUsage, TwoScansInOneProcessGiveTheSameRecords) {
    TestMachine m(kDrives);
    DocumentTree(m);
    Sized(m, "C:\\Docs\\sheet.XLS", 5);
    m.WriteFile(kAgentSettings, Settings("1", "Office=.doc;.xls\r\nSheets=.xls\r\n"));
    StartAgent();
    std::vector<std::string> first = Scan();
    EXPECT_EQ(first, (std::vector<std::string>{Record("C:\\", "Office", "1", "1"), Record("C:\\Docs\\", "Office", "4325", "4"),
                                               Record("C:\\Docs\\", "Sheets", "5", "1"),
                                               Record("E:\\", "Office", "50000", "1")}));
    EXPECT_EQ(Scan(), first);
}

TEST(DiskUsage, BucketsStandInTheOrderOfTheirFirstCountedFile) {
    TestMachine m;
    // "Alpha" holds nothing counted, so "Beta" is the first bucket; the root's own file comes
    // after both in the listing (by name) and so does its bucket.
    Sized(m, "C:\\Alpha\\x.tmp", 1);
    Sized(m, "C:\\Beta\\pic.jpg", 2);
    Sized(m, "C:\\Beta\\letter.doc", 4);
    Sized(m, "C:\\zz.jpg", 8);
    m.WriteFile(kAgentSettings, Settings("", "Office=.doc\r\nPictures=.jpg\r\n"));
    StartAgent();
    EXPECT_EQ(Scan(), (std::vector<std::string>{Record("C:\\Beta\\", "Office", "4", "1"),
                                                Record("C:\\Beta\\", "Pictures", "2", "1"),
                                                Record("C:\\", "Pictures", "8", "1")}));
}

TEST(DiskUsage, EachCountedFileLeavesTwoTraceLines) {
    TestMachine m;
    Sized(m, "C:\\Docs\\a.doc", 3);
    Sized(m, "C:\\Docs\\b.doc", 5);
    m.WriteFile(kAgentSettings, Settings("", "Office=.doc\r\n"));
    qm::test::StartAgentWithLog();
    Scan();
    std::vector<std::string> lines = qm::test::LogTextsStartingWith(m.ReadFile(qm::test::kTraceLog), "C:\\Docs\\");
    EXPECT_EQ(lines, (std::vector<std::string>{"C:\\Docs\\////Office/******/3", "C:\\Docs\\:Office:3:1",
                                               "C:\\Docs\\////Office/******/5", "C:\\Docs\\:Office:8:2"}));
}

TEST(DiskUsage, WithoutSettingsNothingIsCounted) {
    TestMachine m;
    Sized(m, "C:\\a.doc", 1);
    StartAgent();
    EXPECT_TRUE(Scan().empty());
    m.WriteFile(kAgentSettings, "[DiskUsage]\r\nDEEP=0\r\n");
    EXPECT_TRUE(Scan().empty());
}

TEST(DiskUsage, TheHardwareInventoryScansOnlyWithTheOption) {
    for (bool option : {false, true}) {
        SCOPED_TRACE(option ? "/DISK_USAGE" : "without it");
        TestMachine m(R"({"processor": {"frequencies_mhz": [2800]}})");
        Sized(m, "C:\\a.doc", 1);
        m.WriteFile(kAgentSettings, Settings("", "Office=.doc\r\n"));
        qm::test::StartWithResultNames(option ? std::vector<std::string>{"/DISK_USAGE"} : std::vector<std::string>{});
        State().flags.diskUsage = option;
        HardwareInventory();
        std::vector<std::string> lines = qm::platform::SplitLines(m.ReadFile("C:\\WINDOWS\\QM-TEST-01.hrz"));
        auto usage = std::find(lines.begin(), lines.end(), Record("C:\\", "Office", "1", "1"));
        EXPECT_EQ(usage != lines.end(), option);
        // Among the driver's sections: before the processor, which comes last.
        if (option && usage != lines.end()) {
            EXPECT_NE(std::find_if(usage, lines.end(), [](const std::string& l) { return l.rfind("\"CPU\",", 0) == 0; }),
                      lines.end());
        }
    }
}

TEST(DiskUsage, ABucketIsFoundWithoutRegardToCaseAndKeepsItsFirstSpelling) {
    TestMachine m;
    m.WriteFile(kAgentSettings, Settings("", "Office=.doc\r\n"));
    StartAgent();
    int depth = 0;
    LoadDiskUsageSettings(kAgentSettings, depth);
    EXPECT_EQ(depth, 2);
    CreateResultList();
    AddFileToBucket("C:\\Docs\\", ".DOC", 1);
    AddFileToBucket("C:\\Other\\", ".DOC", 2);
    AddFileToBucket("c:\\DOCS\\", ".DOC", 4);
    AddFileToBucket("C:\\Docs\\", ".TXT", 8);
    WriteDiskUsageRecords();
    EXPECT_EQ(*State().resultList, (std::vector<std::string>{Record("C:\\Docs\\", "Office", "5", "2"),
                                                             Record("C:\\Other\\", "Office", "2", "1")}));
    FreeDiskUsage();
    EXPECT_TRUE(State().diskUsage.buckets.empty());
    EXPECT_TRUE(State().diskUsage.categoriesOf.empty());
}
