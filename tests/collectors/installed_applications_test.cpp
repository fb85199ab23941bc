#include <gtest/gtest.h>

#include "collectors/installed_applications.h"
#include "core/date_time.h"
#include "core/trace_log.h"
#include "platform/platform.h"
#include "support/agent_state.h"
#include "support/letter_cases.h"
#include "support/pe_writer.h"
#include "support/reg_text.h"
#include "support/test_machine.h"

using namespace qm::collectors;
using namespace qm::test;
using Records = std::vector<std::string>;

namespace {

const std::string kUninstall = "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const std::string kNorton = "HKEY_LOCAL_MACHINE\\Software\\Symantec\\";

// 2004-03-20 12:00 UTC, a date that reads the same in every time zone of the test machines.
constexpr std::time_t kMarch20 = 1079784000;

std::string Av(const std::string& product, const std::string& label, const std::string& text) {
    return "\"Antivirus\",\"" + product + "\",\"" + label + "\",\"" + text + "\"";
}

}  // namespace

TEST(InstalledSoft, BothHivesAtAnyDepthSortedWithoutRegardToCaseAndOneBadNameSkipped) {
    TestMachine m("{}", RegText()
                            .Key("HKEY_LOCAL_MACHINE" + kUninstall + "{A1}")
                            .Value("DisplayName", "zeta Tools")
                            .Key("HKEY_LOCAL_MACHINE" + kUninstall + "Ledger")
                            .Value("DisplayName", "Ledger Pro")
                            .Key("HKEY_LOCAL_MACHINE" + kUninstall + "Ledger\\Parts\\Reports")
                            .Value("DisplayName", "Ledger Reports")
                            .Key("HKEY_LOCAL_MACHINE" + kUninstall + "Broken")
                            .Dword("DisplayName", 7)
                            .Key("HKEY_LOCAL_MACHINE" + kUninstall + "NoName")
                            .Value("UninstallString", "x")
                            .Key("HKEY_LOCAL_MACHINE" + kUninstall + "Empty")
                            .Value("DisplayName", "")
                            .Key("HKEY_LOCAL_MACHINE" + kUninstall + "Alpha")
                            .Value("DISPLAYNAME", "alpha editor")
                            .Key("HKEY_CURRENT_USER" + kUninstall + "Ledger")
                            .Value("DisplayName", "Ledger Pro")
                            .Key("HKEY_CURRENT_USER" + kUninstall + "Beta")
                            .Value("DisplayName", "Beta Viewer")
                            .Text());
    StartAgentWithLog();
    EXPECT_EQ(CollectRecords(SoftwaresFromRegistryInfo),
              (Records{RecordLine("Installed soft", "1", ""), RecordLine("Installed soft", "2", "alpha editor"),
                       RecordLine("Installed soft", "3", "Beta Viewer"), RecordLine("Installed soft", "4", "Ledger Pro"),
                       RecordLine("Installed soft", "5", "Ledger Pro"), RecordLine("Installed soft", "6", "Ledger Reports"),
                       RecordLine("Installed soft", "7", "zeta Tools")}));
    qm::core::CloseLogFile();
    EXPECT_NE(m.ReadFile(kTraceLog).find("|Invalid data type for 'DISPLAYNAME': counted as absent\r\n"), std::string::npos);
}

TEST(InstalledSoft, NamesEqualButForCaseKeepTheirWalkOrderHoweverMany) {
    // More than a sort's small-list threshold, met in the order of their keys.
    const std::vector<std::string> spellings = LetterCases("ledger", 20);
    RegText uninstall;
    Records expected;
    for (std::size_t i = 0; i < spellings.size(); ++i) {
        const std::string key = std::to_string(100 + i);  // the same width, so that names and numbers agree
        uninstall.Key("HKEY_LOCAL_MACHINE" + kUninstall + key).Value("DisplayName", spellings[i]);
        expected.push_back(RecordLine("Installed soft", std::to_string(i + 1), spellings[i]));
    }
    TestMachine m("{}", uninstall.Text());
    StartAgent();
    EXPECT_EQ(CollectRecords(SoftwaresFromRegistryInfo), expected);
}

TEST(InstalledSoft, NoUninstallKeyGivesNoRecord) {
    TestMachine m;
    StartAgent();
    EXPECT_TRUE(CollectRecords(SoftwaresFromRegistryInfo).empty());
}

TEST(DefsFolderDate, TakesTheEightLeadingDigitsAsADate) {
    EXPECT_EQ(DefsFolderDate("20040315.019"), qm::core::EncodeDateTime(2004, 3, 15));
    EXPECT_EQ(DefsFolderDate("20040401"), qm::core::EncodeDateTime(2004, 4, 1));
    EXPECT_EQ(DefsFolderDate("definfo.dat"), 0);
    EXPECT_EQ(DefsFolderDate("2004031"), 0);
    EXPECT_EQ(DefsFolderDate("2004a315.019"), 0);
    EXPECT_THROW(DefsFolderDate("20041315.019"), std::exception);
    EXPECT_THROW(DefsFolderDate("20040299.019"), std::exception);
}

TEST(Norton, TheNewestDefinitionsFolderWithTheUsersDateSeparator) {
    for (const char* separator : {"/", "."}) {
        SCOPED_TRACE(separator);
        TestMachine m(std::string(R"({"locale": {"date_separator": ")") + separator +
                          R"("}})",
                      RegText()
                          .Key(kNorton + "Norton AntiVirus")
                          .Value("CurrentVersion", "10.0.2")
                          .Key(kNorton + "InstalledApps")
                          .Value("AVENGEDEFS", "C:\\Defs")
                          .Text());
        m.MakeFolder("C:\\Defs\\20040315.019");
        m.MakeFolder("C:\\Defs\\20040401.007");
        m.WriteFile("C:\\Defs\\definfo.dat", "x");
        m.MakeFolder("C:\\Defs\\20041301.001");
        m.MakeFolder("C:\\Defs\\20050101.001");
        m.MakeFolder("C:\\Defs\\20050202.001");
        ASSERT_TRUE(qm::platform::Files().SetFileAttributes("C:\\Defs\\20050101.001", qm::platform::FILE_ATTRIBUTE_HIDDEN));
        ASSERT_TRUE(qm::platform::Files().SetFileAttributes("C:\\Defs\\20050202.001", qm::platform::FILE_ATTRIBUTE_SYSTEM));
        StartAgent();
        std::string date = std::string("04") + separator + "01" + separator + "2004";
        EXPECT_EQ(CollectRecords(NortonInfo), (Records{Av("Norton Anti Virus", "Version", "10.0.2"),
                                                      Av("Norton Anti Virus", "LastVirusDef", date)}));
    }
}

TEST(Norton, AnEmptyOrMissingDefinitionsFolderGivesNoDate) {
    for (const char* folder : {"", "C:\\None", "C:\\Empty"}) {
        SCOPED_TRACE(folder);
        TestMachine m("{}", RegText()
                                .Key(kNorton + "Norton AntiVirus")
                                .Value("CurrentVersion", "10.0")
                                .Key(kNorton + "InstalledApps")
                                .Value("AVENGEDEFS", folder)
                                .Text());
        m.MakeFolder("C:\\Empty");
        // What an empty folder value would name: the current folder and the drive's root.
        m.MakeFolder("C:\\20040101.001");
        m.MakeFolder("C:\\WINDOWS\\20040101.001");
        StartAgent();
        EXPECT_EQ(CollectRecords(NortonInfo), (Records{Av("Norton Anti Virus", "Version", "10.0")}));
    }
}

TEST(AntiVirus, VersionValuesByTheirType) {
    struct Case {
        const char* name;
        RegText value;
        Records records;
    };
    const std::string key = kNorton + "Norton AntiVirus";
    const Case cases[] = {
        {"text", RegText().Key(key).Value("CurrentVersion", "10.1"), {Av("Norton Anti Virus", "Version", "10.1")}},
        {"expandable text", RegText().Key(key).ExpandString("CurrentVersion", "9.0"), {Av("Norton Anti Virus", "Version", "9.0")}},
        {"three bytes", RegText().Key(key).Binary("CurrentVersion", {5, 0, 10}), {Av("Norton Anti Virus", "Version", "5.0.10")}},
        {"one byte", RegText().Key(key).Binary("CurrentVersion", {7}), {Av("Norton Anti Virus", "Version", "7.0.0")}},
        {"no bytes", RegText().Key(key).Binary("CurrentVersion", {}), {Av("Norton Anti Virus", "Version", "")}},
        {"a number", RegText().Key(key).Dword("CurrentVersion", 5), {}},
        {"no value", RegText().Key(key), {}},
        {"four bytes", RegText().Key(key).Binary("CurrentVersion", {5, 0, 10, 1}), {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestMachine m("{}", c.value.Text());
        StartAgentWithLog();
        EXPECT_EQ(CollectRecords(NortonInfo), c.records);
    }
}

TEST(AntiVirus, AFourByteNortonVersionIsLoggedAndTheNextProductStillRuns) {
    TestMachine m("{}", RegText()
                            .Key(kNorton + "Norton AntiVirus")
                            .Binary("CurrentVersion", {5, 0, 10, 1})
                            .Key(kNorton + "InstalledApps")
                            .Value("AVENGEDEFS", "C:\\Defs")
                            .Key("HKEY_LOCAL_MACHINE\\Software\\FRISK Software International\\FP-Win\\Version")
                            .Dword("Package version", 3)
                            .Key("HKEY_LOCAL_MACHINE\\Software\\FRISK Software International\\FP-Win")
                            .Value("Program Root", "C:\\FP")
                            .Text());
    m.MakeFolder("C:\\Defs\\20040315.019");
    m.WriteFile("C:\\FP\\sign.def", "sig");
    m.SetHostModified("C:\\FP\\sign.def", kMarch20);
    StartAgentWithLog();
    // Nothing of Norton; F-Prot's number version gives no record, its signature file a date.
    EXPECT_EQ(CollectRecords(AntiVirusInfo), (Records{Av("F-Prot", "LastVirusDef", "03/20/2004")}));
    qm::core::CloseLogFile();
    EXPECT_NE(m.ReadFile(kTraceLog).find("CurrentVersion"), std::string::npos);
}

TEST(AntiVirus, PandaETrustKasperskyAndVirusScan) {
    const std::string panda = "HKEY_LOCAL_MACHINE\\Software\\Panda Software\\";
    const std::string kaspersky = "HKEY_LOCAL_MACHINE\\Software\\KasperskyLab\\";
    const std::string engine = "HKEY_LOCAL_MACHINE\\Software\\Network Associates\\TVD\\Shared Components\\VirusScan Engine";
    TestMachine m("{}", RegText()
                            .Key(panda + "Setup")
                            .Value("Client", "7.04")
                            .Key(panda + "Empty")
                            .Value("Path", "")
                            .Key(panda + "Other")
                            .Value("Path", "C:\\Other\\")
                            .Key(panda + "Titanium")
                            .Value("Path", "C:\\Panda\\")
                            .Key("HKEY_LOCAL_MACHINE\\Software\\ComputerAssociates\\Anti-Virus\\Resident")
                            .Value("VetPath", "C:\\eTrust")
                            .Key(kaspersky + "InstalledProducts\\Kaspersky Anti-Virus Personal")
                            .Dword("VerMajor", 5)
                            .Value("VerMinor", "0")
                            .Dword("VerBuild", 135)
                            .Key(kaspersky + "Components\\100")
                            .Value("VerPatch", "2004")
                            .Value("VerBuild", "03")
                            .Value("VerMajor", "15")
                            .Key(engine)
                            .Key(engine + "\\4.4.00")
                            .Value("szEngineVer", "4.4.00")
                            .Value("szDatDate", "2004/03/14")
                            .Text());
    m.WriteFile("C:\\Panda\\Pav.sig", "sig");
    m.SetHostModified("C:\\Panda\\Pav.sig", kMarch20);
    m.WriteFile("C:\\eTrust\\version.inf", "; comment\r\n[VirusDefs]\r\nVersion Text=23.65.1\r\nMinor Version Date=03/12/2004 10:00\r\n"
                                           "[Engine]\r\nVersion Text=other\r\n");
    StartAgentWithLog();
    EXPECT_EQ(CollectRecords(AntiVirusInfo),
              (Records{Av("Panda", "Version", "7.04"), Av("Panda", "LastVirusDef", "03/20/2004"),
                       Av("ETrust", "Version", "23.65.1"), Av("ETrust", "LastVirusDef", "03/12/2004"),
                       Av("Kaspersky", "Version", "135.5.0"), Av("Kaspersky", "LastVirusDef", "2004/03/15"),
                       Av("VirusScan", "Version", "4.4.00"), Av("VirusScan", "LastVirusDef", "2004/03/14")}));
}

TEST(AntiVirus, TheFailuresThatEndOneProduct) {
    const std::string etrust = "HKEY_LOCAL_MACHINE\\Software\\ComputerAssociates\\Anti-Virus\\Resident";
    const std::string engine = "HKEY_LOCAL_MACHINE\\Software\\Network Associates\\TVD\\Shared Components\\VirusScan Engine";
    struct Case {
        const char* name;
        RegText registry;
        const char* versionFile;  // C:\eTrust\version.inf, none when null
        Records records;
        const char* logged;  // the failure's line, none when null
    };
    const Case cases[] = {
        {"an ETrust version file without a section", RegText().Key(etrust).Value("VetPath", "C:\\eTrust"), "; none\r\n", {},
         "No section in C:\\eTrust\\version.inf"},
        {"no ETrust version file", RegText().Key(etrust).Value("VetPath", "C:\\eTrust"), nullptr, {},
         "No section in C:\\eTrust\\version.inf"},
        {"an empty ETrust folder", RegText().Key(etrust).Value("VetPath", ""), nullptr, {}, "No folder of the ETrust version file"},
        {"no minor version date", RegText().Key(etrust).Value("VetPath", "C:\\eTrust"), "[A]\r\nVersion Text=1\r\n",
         {Av("ETrust", "Version", "1"), Av("ETrust", "LastVirusDef", "")}, nullptr},
        {"a VirusScan engine key without subkeys", RegText().Key(engine), nullptr, {}, "The VirusScan engine key has no subkey"},
        {"VirusScan with the definitions' own values",
         RegText().Key(engine).Key(engine + "\\4.3").Value("szEngineVer", "4.3").Value("szVirDefDate", "2004/03/01")
             .Value("szDatDate", "2004/02/01").Value("szVirDefVer", "4331"),
         nullptr,
         {Av("VirusScan", "Version", "4.3"), Av("VirusScan", "LastVirusDef", "2004/03/01"), Av("VirusScan", "LastVirusVer", "4331")},
         nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestMachine m("{}", c.registry.Text());
        if (c.versionFile != nullptr) m.WriteFile("C:\\eTrust\\version.inf", c.versionFile);
        // What an empty folder would name on the current drive.
        m.WriteFile("C:\\version.inf", "[Root]\r\nVersion Text=root\r\n");
        StartAgentWithLog();
        EXPECT_EQ(CollectRecords(AntiVirusInfo), c.records);
        qm::core::CloseLogFile();
        if (c.logged != nullptr) {
            EXPECT_NE(m.ReadFile(kTraceLog).find(std::string("|") + c.logged + "\r\n"), std::string::npos);
        }
    }
}

TEST(AutoLogon, TheNtKeyWhenTheFirstLacksTheValue) {
    const std::string first = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Winlogon";
    const std::string nt = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
    struct Case {
        const char* name;
        RegText registry;
        Records records;
    };
    const Case cases[] = {
        {"first key with 1", RegText().Key(first).Value("AutoAdminLogon", "1").Key(nt).Value("AutoAdminLogon", "0"),
         {RecordLine("AutoLogon", "Active", "YES")}},
        {"first key with 0", RegText().Key(first).Value("AutoAdminLogon", "0").Key(nt).Value("AutoAdminLogon", "1"),
         {RecordLine("AutoLogon", "Active", "NO")}},
        {"first key without the value", RegText().Key(first).Key(nt).Value("AutoAdminLogon", "1"),
         {RecordLine("AutoLogon", "Active", "YES")}},
        {"the NT key alone", RegText().Key(nt).Dword("AutoAdminLogon", 1), {RecordLine("AutoLogon", "Active", "YES")}},
        {"no value anywhere", RegText().Key(first).Key(nt), {RecordLine("AutoLogon", "Active", "NO")}},
        {"the first key alone, without the value", RegText().Key(first), {RecordLine("AutoLogon", "Active", "NO")}},
        {"neither key", RegText(), {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestMachine m("{}", c.registry.Text());
        StartAgent();
        EXPECT_EQ(CollectRecords(AutoLogonInfo), c.records);
    }
}

TEST(ScreenSaver, OnWithItsProgramOrOffAsOneRecord) {
    const std::string desktop = "HKEY_CURRENT_USER\\Control Panel\\Desktop";
    TestMachine m("{}", RegText()
                            .Key(desktop)
                            .Value("ScreenSaveActive", "1")
                            .Value("ScreenSaverIsSecure", "1")
                            .Value("ScreenSaveTimeOut", "600")
                            .Value("SCRNSAVE.EXE", "C:\\WINDOWS\\system32\\logon.scr /s")
                            .Text());
    m.WriteFile("C:\\WINDOWS\\system32\\logon.scr", BuildDescribedProgram("Logon Screen Saver", "5.1.2600"));
    StartAgent();
    EXPECT_EQ(CollectRecords(ScreenSaverInfo),
              (Records{RecordLine("Screen Saver", "Active", "YES"), RecordLine("Screen Saver", "isSecure", "YES"),
                       RecordLine("Screen Saver", "TimeOut", "600"),
                       RecordLine("Screen Saver", "EXE", "Logon Screen Saver 5.1.2600")}));

    TestMachine plain("{}", RegText()
                                .Key(desktop)
                                .Value("ScreenSaveActive", "1")
                                .Value("SCRNSAVE.EXE", "C:\\WINDOWS\\system32\\plain.scr")
                                .Text());
    plain.WriteFile("C:\\WINDOWS\\system32\\plain.scr", BuildPeFileWithoutResources());
    StartAgent();
    EXPECT_EQ(CollectRecords(ScreenSaverInfo),
              (Records{RecordLine("Screen Saver", "Active", "YES"), RecordLine("Screen Saver", "isSecure", "NO"),
                       RecordLine("Screen Saver", "TimeOut", ""), RecordLine("Screen Saver", "EXE", "C:\\WINDOWS\\system32\\plain.scr")}));

    for (const char* active : {static_cast<const char*>("0"), static_cast<const char*>(nullptr)}) {
        RegText r = RegText().Key(desktop);
        if (active != nullptr) r.Value("ScreenSaveActive", active);
        TestMachine off("{}", r.Text());
        StartAgent();
        EXPECT_EQ(CollectRecords(ScreenSaverInfo), (Records{RecordLine("Screen Saver", "Active", "NO")}));
    }
    TestMachine none;
    StartAgent();
    EXPECT_TRUE(CollectRecords(ScreenSaverInfo).empty());
}

TEST(LotusNotes, TheHighestReleaseItsProgramsDateAndFormatsVersion) {
    const std::string notes = "HKEY_LOCAL_MACHINE\\Software\\Lotus\\Notes";
    TestMachine m("{}", RegText()
                            .Key(notes + "\\5.0")
                            .Key(notes + "\\6.5")
                            .Value("Path", "C:\\Notes")
                            .Value("Name", "nlnotes.exe")
                            .Text());
    m.WriteFile("C:\\Notes\\nlnotes.exe", "x");
    m.SetHostModified("C:\\Notes\\nlnotes.exe", kMarch20);
    m.WriteFile("C:\\Notes\\formats.ini", "[general]\r\nversion=6.5.1\r\n");
    StartAgent();
    EXPECT_EQ(CollectRecords(LotusNotesInfo), (Records{RecordLine("LotusNotes", "Version", "6.5"), RecordLine("LotusNotes", "Date", "20/3/2004"),
                                                      RecordLine("LotusNotes", "IniVersion", "6.5.1")}));

    // A name beginning with a letter is greater than any digits; its key has no program.
    TestMachine letter("{}", RegText().Key(notes + "\\5.0").Key(notes + "\\6.5").Key(notes + "\\R7").Text());
    StartAgentWithLog();
    EXPECT_EQ(CollectRecords(LotusNotesInfo), (Records{RecordLine("LotusNotes", "Version", "R7")}));
    qm::core::CloseLogFile();
    EXPECT_NE(letter.ReadFile(kTraceLog).find("has no date"), std::string::npos);

    TestMachine none("{}", RegText().Key(notes).Text());
    StartAgent();
    EXPECT_EQ(CollectRecords(LotusNotesInfo), (Records{RecordLine("LotusNotes", "Version", "0.0")}));

    // A formats.ini without a "General" section gives no version.
    TestMachine noGeneral("{}", RegText().Key(notes + "\\6.5").Value("Path", "C:\\Notes").Value("Name", "nlnotes.exe").Text());
    noGeneral.WriteFile("C:\\Notes\\nlnotes.exe", "x");
    noGeneral.SetHostModified("C:\\Notes\\nlnotes.exe", kMarch20);
    noGeneral.WriteFile("C:\\Notes\\formats.ini", "[Other]\r\nversion=1\r\n");
    StartAgent();
    EXPECT_EQ(CollectRecords(LotusNotesInfo), (Records{RecordLine("LotusNotes", "Version", "6.5"), RecordLine("LotusNotes", "Date", "20/3/2004")}));
}

TEST(LotusNotes, ReleasesAreComparedByCharacterCode) {
    const std::string notes = "HKEY_LOCAL_MACHINE\\Software\\Lotus\\Notes\\";
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"a1", "B"}, "a1"},            // a lower-case letter comes after every upper-case one
        {{"B", "a1"}, "a1"},
        {{"6", "6.5"}, "6.5"},          // a prefix is the smaller
        {{"0"}, "0.0"},
        {{"Z", "\xC9t\xE9"}, "\xC9t\xE9"},  // a byte above 127 comes after every ASCII one
    };
    for (const auto& [releases, version] : cases) {
        SCOPED_TRACE(version);
        RegText registry;
        for (const std::string& release : releases) registry.Key(notes + release);
        TestMachine m("{}", registry.Text());
        StartAgentWithLog();
        Records records = CollectRecords(LotusNotesInfo);
        ASSERT_FALSE(records.empty());
        EXPECT_EQ(records.front(), RecordLine("LotusNotes", "Version", version));
    }
}

TEST(InstantMessenger, YesForEachKeyThatOpensForReading) {
    TestMachine m(R"({"faults": [{"op": "RegOpenKeyEx", "path": "HKEY_CURRENT_USER\\Software\\Yahoo\\Pager\\profiles", "error": 5}]})",
                  RegText()
                      .Key("HKEY_CURRENT_USER\\Software\\Microsoft\\MessengerService")
                      .Key("HKEY_CURRENT_USER\\Software\\Yahoo\\Pager\\profiles")
                      .Text());
    StartAgent();
    EXPECT_EQ(CollectRecords(InstantMessengerInfo),
              (Records{RecordLine("Instant Messenger", "Icq", "NO"), RecordLine("Instant Messenger", "MSN Messenger", "YES"),
                       RecordLine("Instant Messenger", "Yahoo Messenger", "NO")}));
}
