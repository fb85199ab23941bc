#include <gtest/gtest.h>

#include <cstdlib>

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "core/process_state.h"
#include "core/result_list.h"
#include "core/trace_log.h"
#include "delivery/archives.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "platform/time.h"
#include "support/agent_state.h"
#include "support/test_machine.h"
#include "support/zip_reader.h"

using namespace qm::delivery;
using qm::platform::Files;
using qm::test::kAgentFolder;
using qm::test::kTraceLog;
using qm::test::StartAgent;
using qm::test::TestMachine;
using qm::test::ZipNames;

namespace {

const std::string kResults = kAgentFolder + "Results\\";
const std::string kTrans = kAgentFolder + "Trans\\";
const std::string kStamp = "261209070305042";  // the test machine's clock at start

std::string Entry(int i) {
    return std::string("M") + (i < 10 ? "0" : "") + std::to_string(i);
}

// Entries M00 to M(n-1), each a .hrz and a .sfz holding its own name.
void WriteEntries(TestMachine& m, int n, bool withSoftware = true) {
    for (int i = 0; i < n; ++i) {
        m.WriteFile(kResults + Entry(i) + ".hrz", "hardware " + Entry(i));
        if (withSoftware) m.WriteFile(kResults + Entry(i) + ".sfz", "software " + Entry(i));
    }
}

std::vector<std::string> EntryNames(int from, int to, bool withSoftware = true) {
    std::vector<std::string> names;
    for (int i = from; i < to; ++i) {
        names.push_back(Entry(i) + ".hrz");
        if (withSoftware) names.push_back(Entry(i) + ".sfz");
    }
    return names;
}

}  // namespace

TEST(ArchiveNames, StampCodesAndExtension) {
    TestMachine m;
    StartAgent();
    EXPECT_EQ(GetFileTimeStamp(), kStamp);
    m.Machine().AdvanceClock(3'600'000 * 17 + 60'000 * 56 + 54'958);  // 2026-12-10 01:00:00.000
    EXPECT_EQ(GetFileTimeStamp(), "261210010000000");
    EXPECT_EQ(ArchiveName(kTrans, "ACME", "PARIS", kStamp, ".GTV"), kTrans + "#ACME#PARIS#" + kStamp + ".GTV");
    EXPECT_EQ(ArchiveName("", "", "", kStamp, ".NTV"), "###" + kStamp + ".NTV");

    struct Case {
        std::string code;
        std::string part;
    };
    const Case cases[] = {
        {"ACME", "ACME"},
        {"A/B\\C", "A_B_C"},
        {"..\\..\\WINDOWS", ".._.._WINDOWS"},
        {"x:y*z?\"<>|", "x_y_z_____"},
        {std::string("tab\there\r\n", 10), "tab_here__"},
        {"Caf\xE9 & Co. #1", "Caf\xE9 & Co. #1"},
        {"", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        EXPECT_EQ(qm::core::FileNamePart(c.code), c.part);
    }
    EXPECT_EQ(ArchiveName(kTrans, "A/B", "C:\\D", kStamp, ".GTV"), kTrans + "#A_B#C__D#" + kStamp + ".GTV");
}

TEST(ArchiveNames, ATakenStampGivesWayToAFreshOne) {
    TestMachine m;
    StartAgent();
    EXPECT_EQ(NewArchiveName(kTrans, "C", "S", ".GTV"), kTrans + "#C#S#" + kStamp + ".GTV");  // folder not there yet
    m.WriteFile(kTrans + "#C#S#" + kStamp + ".GTV", "waiting");
    EXPECT_EQ(NewArchiveName(kTrans, "C", "S", ".GTV"), kTrans + "#C#S#261209070305043.GTV");
    // A later archive of a series of that stamp holds it too; other extensions do not.
    m.WriteFile(kTrans + "#C#S#26120907030504310.GTV", "waiting");
    m.WriteFile(kTrans + "#C#S#261209070305044.Old", "delivered");
    m.WriteFile(kTrans + "#C#S#261209070305044.RTV", "kept");
    EXPECT_EQ(NewArchiveName(kTrans, "C", "S", ".GTV"), kTrans + "#C#S#261209070305044.GTV");
    EXPECT_EQ(m.ReadFile(kTrans + "#C#S#" + kStamp + ".GTV"), "waiting");
}

TEST(GetDirectoryFiles, ListsMatchingFilesOfEveryAttributeButNoFolders) {
    TestMachine m;
    m.WriteFile(kResults + "b.hrz", "b");
    m.WriteFile(kResults + "A.HRZ", "a");
    m.WriteFile(kResults + "c.hrz", "c");
    m.WriteFile(kResults + "d.sfz", "d");
    m.WriteFile(kResults + "e.hrzx", "e");
    m.MakeFolder(kResults + "folder.hrz");
    qm::test::StartAgentWithLog();
    Files().SetFileAttributes(kResults + "b.hrz", qm::platform::FILE_ATTRIBUTE_HIDDEN | qm::platform::FILE_ATTRIBUTE_SYSTEM);
    Files().SetFileAttributes(kResults + "c.hrz", qm::platform::FILE_ATTRIBUTE_READONLY);

    std::vector<std::string> list{"kept"};
    GetDirectoryFiles(kResults, ".hrz", list);
    EXPECT_EQ(list, (std::vector<std::string>{"kept", kResults + "A.HRZ", kResults + "b.hrz", kResults + "c.hrz"}));
    GetDirectoryFiles(kAgentFolder + "Missing\\", ".hrz", list);
    EXPECT_EQ(list.size(), 4u);

    std::string log = m.ReadFile(kTraceLog);
    EXPECT_NE(log.find("|GetDirectoryFiles(" + kResults + ",.hrz)\r\n"), std::string::npos);
    EXPECT_NE(log.find("|find FileName:" + kResults + "A.HRZ\r\n"), std::string::npos);
    EXPECT_NE(log.find("|EndGetDirectoryFiles(" + kResults + ",.hrz)\r\n"), std::string::npos);
    EXPECT_EQ(log.find("folder.hrz"), std::string::npos);
}

TEST(CreateOneZipFile, PacksTheFilesUnderTheirBareNamesAndThenDeletesThem) {
    TestMachine m;
    m.WriteFile(kResults + "PC1.hrz", "hardware one");
    m.WriteFile(kResults + "PC1.sfz", "software one");
    m.WriteFile(kResults + "PC2.hrz", "hardware two");
    m.WriteFile(kResults + "PC2.usz", "not mine");
    qm::test::StartAgentWithLog();
    Files().SetFileAttributes(kResults + "PC1.hrz", qm::platform::FILE_ATTRIBUTE_READONLY);
    Files().SetFileAttributes(kResults + "PC2.hrz", qm::platform::FILE_ATTRIBUTE_HIDDEN);
    const std::string archive = kTrans + "Sub\\#C#S#" + kStamp + ".GTV";
    ASSERT_TRUE(CreateOneZipFile(archive, kResults, {".hrz", ".sfz"}, true));

    auto entries = qm::test::ReadZip(m.ReadFile(archive));
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].name, "PC1.hrz");
    EXPECT_EQ(entries[0].bytes, "hardware one");
    EXPECT_EQ(entries[1].name, "PC2.hrz");
    EXPECT_EQ(entries[2].name, "PC1.sfz");
    EXPECT_EQ(entries[2].bytes, "software one");
    EXPECT_EQ(qm::test::FileNamesIn(kResults), (std::vector<std::string>{"PC2.usz"}));
    EXPECT_EQ(qm::test::FileNamesIn(kTrans + "Sub\\"), (std::vector<std::string>{"#C#S#" + kStamp + ".GTV"}));
    EXPECT_NE(m.ReadFile(kTraceLog).find("|CreateOneZipFile\r\n"), std::string::npos);
    // The archive is sound for another zip tool too.
    std::string test = "unzip -tqq '" + m.HostPath(archive) + "' >/dev/null 2>&1";
    EXPECT_EQ(std::system(test.c_str()), 0);
}

TEST(CreateOneZipFile, KeepsEveryByteOfSourcesOfAnySize) {
    // Sizes on both sides of the pieces the archive is written in, and bytes that do not
    // compress, so that headers are mended both in a pending piece and in one already written.
    std::string noise;
    unsigned seed = 12345;
    for (std::size_t i = 0; i < (1u << 20) + 7; ++i) {
        seed = seed * 1103515245u + 12345u;
        noise += static_cast<char>(seed >> 23);
    }
    const std::vector<std::pair<std::string, std::string>> sources = {
        {"empty.hrz", ""},
        {"one.hrz", "x"},
        {"noise.hrz", noise},
        {"small.hrz", "after the noise"},
        {"records.hrz", std::string(3u << 20, 'r')},
        {"tail.hrz", noise.substr(0, 300000)},
    };
    TestMachine m;
    for (const auto& [name, bytes] : sources) m.WriteFile(kResults + name, bytes);
    StartAgent();
    ASSERT_TRUE(CreateOneZipFile(kTrans + "a.GTV", kResults, {".hrz"}, true));
    std::vector<qm::test::ZipEntry> entries = qm::test::ReadZip(m.ReadFile(kTrans + "a.GTV"));
    std::vector<std::pair<std::string, std::string>> packed;
    for (const qm::test::ZipEntry& e : entries) packed.emplace_back(e.name, e.bytes);
    auto expected = sources;
    std::sort(expected.begin(), expected.end(), [](const auto& a, const auto& b) {
        return qm::platform::AsciiUpper(a.first) < qm::platform::AsciiUpper(b.first);
    });
    EXPECT_EQ(packed, expected);
    EXPECT_EQ(qm::test::FileNamesIn(kResults), std::vector<std::string>{});
}

TEST(CreateOneZipFile, StoresTheSourcesLastWriteTime) {
    TestMachine m;
    m.WriteFile(kResults + "PC1.hrz", "hardware");
    StartAgent();
    qm::platform::SYSTEMTIME t{2026, 3, 0, 14, 15, 9, 26, 0};
    qm::platform::FILETIME ft;
    ASSERT_TRUE(qm::platform::SystemTimeToFileTime(t, ft));
    Files().CreateFile(kResults + "PC1.hrz", qm::platform::GENERIC_WRITE, qm::platform::CreationDisposition::OpenExisting)
        ->SetFileTime(&ft);
    ASSERT_TRUE(CreateOneZipFile(kTrans + "a.GTV", kResults, {".hrz"}, false));
    std::time_t stored = qm::test::ReadZip(m.ReadFile(kTrans + "a.GTV")).at(0).mtime;
    std::tm local{};
    localtime_r(&stored, &local);
    EXPECT_EQ(local.tm_year + 1900, 2026);
    EXPECT_EQ(local.tm_mon + 1, 3);
    EXPECT_EQ(local.tm_mday, 14);
    EXPECT_EQ(local.tm_hour, 15);
    EXPECT_EQ(local.tm_min, 9);
    EXPECT_EQ(local.tm_sec, 26);
}

TEST(CreateOneZipFile, StoresAnsiNamesAsTheyAre) {
    TestMachine m;
    m.MakeFolder(kResults);
    StartAgent();
    ASSERT_TRUE(qm::platform::WriteWholeFile(Files(), kResults + "Caf\xE9-\xC4.hrz", "ansi"));
    ASSERT_TRUE(CreateOneZipFile(kTrans + "a.GTV", kResults, {".hrz"}, true));
    EXPECT_EQ(ZipNames(m.ReadFile(kTrans + "a.GTV")), (std::vector<std::string>{"Caf\xE9-\xC4.hrz"}));
    EXPECT_TRUE(qm::test::FileNamesIn(kResults).empty());
}

TEST(CreateOneZipFile, MakesNoArchiveWithoutSources) {
    TestMachine m;
    m.WriteFile(kResults + "PC1.usz", "other kind");
    m.MakeFolder(kResults + "dir.hrz");
    StartAgent();
    EXPECT_FALSE(CreateOneZipFile(kTrans + "a.GTV", kResults, {".hrz", ".sfz"}, true));
    EXPECT_FALSE(CreateOneZipFile(kTrans + "a.GTV", kAgentFolder + "Missing\\", {".hrz"}, true));
    EXPECT_FALSE(m.Exists(kTrans + "a.GTV"));
    EXPECT_TRUE(m.Exists(kResults + "PC1.usz"));
}

TEST(CreateOneZipFile, ZipsAFolderIntoItselfWithoutItsPredecessor) {
    TestMachine m;
    const std::string done = "C:\\qnl\\DONE\\";
    m.WriteFile(done + "index.htm", "<html>");
    m.WriteFile(done + "logo.gif", "GIF89a");
    m.WriteFile(done + "report.zip", "the previous report");
    StartAgent();
    ASSERT_TRUE(CreateOneZipFile(done + "report.zip", done, {".*"}, false));
    EXPECT_EQ(ZipNames(m.ReadFile(done + "report.zip")), (std::vector<std::string>{"index.htm", "logo.gif"}));
    EXPECT_EQ(m.ReadFile(done + "index.htm"), "<html>");
    ASSERT_TRUE(CreateOneZipFile(done + "report.zip", done, {".*"}, false));
    EXPECT_EQ(ZipNames(m.ReadFile(done + "report.zip")), (std::vector<std::string>{"index.htm", "logo.gif"}));
}

TEST(CreateOneZipFile, AnUnreadableSourceIsLeftOutAndKept) {
    TestMachine m;
    m.WriteFile(kResults + "PC1.hrz", "one");
    m.WriteFile(kResults + "PC2.hrz", "two");
    m.WriteFile(kResults + "PC3.hrz", "three");
    qm::test::StartAgentWithLog();
    m.Machine().AddFault({"ReadFile", kResults + "PC2.hrz", qm::platform::ERROR_SHARING_VIOLATION, false, -1});
    ASSERT_TRUE(CreateOneZipFile(kTrans + "a.GTV", kResults, {".hrz"}, true));
    m.Machine().ClearFaults();
    EXPECT_EQ(ZipNames(m.ReadFile(kTrans + "a.GTV")), (std::vector<std::string>{"PC1.hrz", "PC3.hrz"}));
    EXPECT_EQ(qm::test::FileNamesIn(kResults), (std::vector<std::string>{"PC2.hrz"}));
    EXPECT_NE(m.ReadFile(kTraceLog).find("|not packed: " + kResults + "PC2.hrz (error 32)\r\n"), std::string::npos);

    // When no source at all can be read, nothing is written and nothing deleted.
    m.Machine().AddFault({"ReadFile", kResults, qm::platform::ERROR_ACCESS_DENIED, false, -1});
    EXPECT_FALSE(CreateOneZipFile(kTrans + "b.GTV", kResults, {".hrz"}, true));
    EXPECT_FALSE(m.Exists(kTrans + "b.GTV"));
    EXPECT_TRUE(m.Exists(kResults + "PC2.hrz"));
}

TEST(CreateOneZipFile, AFailureAtAnyStepKeepsEverySource) {
    struct Case {
        const char* name;
        qm::sim::FaultConfig fault;
    };
    const std::string archiveFolder = kAgentFolder + "New\\Trans";
    const Case cases[] = {
        {"the folder cannot be made", {"CreateDirectory", archiveFolder, qm::platform::ERROR_ACCESS_DENIED, false, -1}},
        {"the archive cannot be written", {"WriteFile", archiveFolder, qm::platform::ERROR_DISK_FULL, false, -1}},
        {"the archive cannot be renamed into place", {"MoveFile", archiveFolder, qm::platform::ERROR_ACCESS_DENIED, false, -1}},
        {"a source raises", {"ReadFile", kResults + "PC2.hrz", qm::platform::ERROR_ACCESS_DENIED, true, -1}},
        {"the listing raises", {"FindFirstFile", kResults, qm::platform::ERROR_ACCESS_DENIED, true, -1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestMachine m;
        m.WriteFile(kResults + "PC1.hrz", "one");
        m.WriteFile(kResults + "PC2.hrz", "two");
        StartAgent();
        m.Machine().AddFault(c.fault);
        EXPECT_FALSE(CreateOneZipFile(archiveFolder + "\\a.GTV", kResults, {".hrz"}, true));
        m.Machine().ClearFaults();
        EXPECT_EQ(qm::test::FileNamesIn(kResults), (std::vector<std::string>{"PC1.hrz", "PC2.hrz"}));
        EXPECT_EQ(qm::test::FileNamesIn(archiveFolder + "\\"), std::vector<std::string>{});
    }
}

TEST(CreateMultipleZipFiles, CutsASeriesAfterEveryMaximumEntries) {
    struct Case {
        int entries;
        int maximum;
        std::vector<std::pair<std::string, std::pair<int, int>>> archives;  // name end, first and end entry
    };
    const Case cases[] = {
        {25, 10, {{".GTV", {0, 11}}, {"10.GTV", {11, 21}}, {"20.GTV", {21, 25}}}},
        {11, 10, {{".GTV", {0, 11}}}},  // the archive begun at the cut holds nothing and is not written
        {12, 10, {{".GTV", {0, 11}}, {"10.GTV", {11, 12}}}},
        {10, 10, {{".GTV", {0, 10}}}},
        {1, 10, {{".GTV", {0, 1}}}},
        {23, 11, {{".GTV", {0, 12}}, {"11.GTV", {12, 23}}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.entries) + " entries, maximum " + std::to_string(c.maximum));
        TestMachine m;
        WriteEntries(m, c.entries);
        m.WriteFile(kResults + "other.usz", "not of this archive");
        qm::test::StartAgentWithLog();
        const std::string base = "#C#S#" + kStamp;
        ASSERT_TRUE(CreateMultipleZipFiles(kTrans + base + ".GTV", kResults, {".hrz", ".sfz"}, c.maximum, true));
        std::vector<std::string> expectedNames;
        for (const auto& [end, range] : c.archives) {
            expectedNames.push_back(base + end);
            SCOPED_TRACE(base + end);
            EXPECT_EQ(ZipNames(m.ReadFile(kTrans + base + end)), EntryNames(range.first, range.second));
        }
        std::sort(expectedNames.begin(), expectedNames.end());
        EXPECT_EQ(qm::test::FileNamesIn(kTrans), expectedNames);
        EXPECT_EQ(qm::test::FileNamesIn(kResults), (std::vector<std::string>{"other.usz"}));
        EXPECT_NE(m.ReadFile(kTraceLog).find("|CreateMultipleZipFiles(" + std::to_string(c.maximum) + ")\r\n"),
                  std::string::npos);
    }
}

TEST(CreateMultipleZipFiles, PacksAnEntryWithTheFilesItHas) {
    TestMachine m;
    WriteEntries(m, 3, false);
    m.WriteFile(kResults + "M01.sfz", "software M01");
    m.WriteFile(kResults + "lonely.sfz", "no hardware file");
    StartAgent();
    ASSERT_TRUE(CreateMultipleZipFiles(kTrans + "a.GTV", kResults, {".hrz", ".sfz"}, 10, true));
    EXPECT_EQ(ZipNames(m.ReadFile(kTrans + "a.GTV")),
              (std::vector<std::string>{"M00.hrz", "M01.hrz", "M01.sfz", "M02.hrz"}));
    EXPECT_EQ(qm::test::FileNamesIn(kResults), (std::vector<std::string>{"lonely.sfz"}));
    EXPECT_FALSE(CreateMultipleZipFiles(kTrans + "b.GTV", kResults, {".hrz", ".sfz"}, 10, true));
    EXPECT_FALSE(m.Exists(kTrans + "b.GTV"));
}

TEST(CreateMultipleZipFiles, NamesTheSeriesAfterTheExtensionAtTheEnd) {
    TestMachine m;
    WriteEntries(m, 12);
    StartAgent();
    // The extension's text also stands in the code and in a folder name.
    const std::string folder = kAgentFolder + "Data.GTV\\Trans\\";
    const std::string base = "#X.GTV#S#" + kStamp;
    ASSERT_TRUE(CreateMultipleZipFiles(folder + base + ".GTV", kResults, {".hrz", ".sfz"}, 10, true));
    EXPECT_EQ(qm::test::FileNamesIn(folder), (std::vector<std::string>{base + ".GTV", base + "10.GTV"}));
}

TEST(CreateMultipleZipFiles, AFailurePartWayKeepsWhatWasSavedAndEverythingAfter) {
    TestMachine m;
    WriteEntries(m, 25);
    StartAgent();
    const std::string base = "#C#S#" + kStamp;
    // The first archive's temporary file is written; the second's is refused.
    m.Machine().AddFault({"CreateFile", kTrans, qm::platform::ERROR_DISK_FULL, false, -1, 1});
    EXPECT_FALSE(CreateMultipleZipFiles(kTrans + base + ".GTV", kResults, {".hrz", ".sfz"}, 10, true));
    m.Machine().ClearFaults();
    EXPECT_EQ(qm::test::FileNamesIn(kTrans), (std::vector<std::string>{base + ".GTV"}));
    EXPECT_EQ(ZipNames(m.ReadFile(kTrans + base + ".GTV")), EntryNames(0, 11));
    EXPECT_EQ(qm::test::FileNamesIn(kResults), EntryNames(11, 25));
}

TEST(PackResults, EachKindGoesToItsFolderWithItsOwnStamp) {
    TestMachine m;
    m.WriteFile(kResults + "GUID1.hrz", "h");
    m.WriteFile(kResults + "GUID1.sfz", "s");
    m.WriteFile(kResults + "disk.usz", "u");
    m.WriteFile(kResults + "printer.snz", "n");
    m.WriteFile(kResults + "palm.pdz", "p");
    m.WriteFile(kResults + "notes.txt", "stays");
    StartAgent();
    DeliveryFolders folders{kResults, kTrans, kAgentFolder + "Usage\\", kAgentFolder + "SNMP\\", kAgentFolder + "Pda\\"};
    PackResults(folders, "ACME", "LYON/2", -1, false);
    EXPECT_EQ(qm::test::FileNamesIn(kResults), (std::vector<std::string>{"notes.txt"}));
    EXPECT_EQ(qm::test::FileNamesIn(kTrans), (std::vector<std::string>{"#ACME#LYON_2#" + kStamp + ".GTV"}));
    // Each archive takes its stamp when its name is built; only the clock's own steps separate them.
    auto only = [](const std::string& folder) {
        auto names = qm::test::FileNamesIn(folder);
        EXPECT_EQ(names.size(), 1u) << folder;
        return names.empty() ? std::string() : names.front();
    };
    EXPECT_EQ(only(kAgentFolder + "Usage\\").substr(0, 13), "#ACME#LYON_2#");
    EXPECT_TRUE(qm::platform::EndsWithNoCase(only(kAgentFolder + "Usage\\"), ".NTV"));
    EXPECT_TRUE(qm::platform::EndsWithNoCase(only(kAgentFolder + "SNMP\\"), ".DTV"));
    EXPECT_TRUE(qm::platform::EndsWithNoCase(only(kAgentFolder + "Pda\\"), ".BTV"));
    EXPECT_EQ(ZipNames(m.ReadFile(kTrans + "#ACME#LYON_2#" + kStamp + ".GTV")),
              (std::vector<std::string>{"GUID1.hrz", "GUID1.sfz"}));
    EXPECT_EQ(ZipNames(m.ReadFile(kAgentFolder + "Pda\\" + only(kAgentFolder + "Pda\\"))), (std::vector<std::string>{"palm.pdz"}));
}

TEST(PackResults, RtvWithGtvSeriesWithMaxfilesAndNoFolderForNothing) {
    struct Case {
        const char* name;
        int maxFiles;
        bool gtv;
        std::vector<std::string> trans;
    };
    const std::string base = "#C#S#" + kStamp;
    const Case cases[] = {
        {"GTV switch", -1, true, {base + ".RTV"}},
        {"MAXFILES 9", 9, false, {base + ".GTV"}},
        {"MAXFILES 10", 10, false, {base + ".GTV", base + "10.GTV"}},
        {"MAXFILES 10 with GTV", 10, true, {base + ".RTV", base + "10.RTV"}},
        {"MAXFILES 0", 0, false, {base + ".GTV"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestMachine m;
        WriteEntries(m, 12);
        StartAgent();
        DeliveryFolders folders{kResults, kTrans, kAgentFolder + "Usage\\", kAgentFolder + "SNMP\\", kAgentFolder + "Pda\\"};
        PackResults(folders, "C", "S", c.maxFiles, c.gtv);
        EXPECT_EQ(qm::test::FileNamesIn(kTrans), c.trans);
        EXPECT_TRUE(qm::test::FileNamesIn(kResults).empty());
        EXPECT_FALSE(m.Exists(kAgentFolder + "Usage"));
        EXPECT_FALSE(m.Exists(kAgentFolder + "Pda"));
    }
}

TEST(PackResults, NeverReplacesAWaitingArchiveAndSkipsUnknownFolders) {
    TestMachine m;
    m.WriteFile(kResults + "GUID1.hrz", "new");
    m.WriteFile(kResults + "disk.usz", "u");
    m.WriteFile(kTrans + "#C#S#" + kStamp + ".GTV", "waiting since a clock change");
    StartAgent();
    PackResults({kResults, kTrans, "", "", ""}, "C", "S", -1, false);
    EXPECT_EQ(m.ReadFile(kTrans + "#C#S#" + kStamp + ".GTV"), "waiting since a clock change");
    EXPECT_EQ(ZipNames(m.ReadFile(kTrans + "#C#S#261209070305043.GTV")), (std::vector<std::string>{"GUID1.hrz"}));
    EXPECT_EQ(qm::test::FileNamesIn(kResults), (std::vector<std::string>{"disk.usz"}));  // Usage\ could not be named

    m.WriteFile(kResults + "GUID2.hrz", "kept");
    PackResults({"", kTrans, kAgentFolder + "Usage\\", "", ""}, "C", "S", -1, false);
    EXPECT_EQ(qm::test::FileNamesIn(kResults), (std::vector<std::string>{"disk.usz", "GUID2.hrz"}));
}
