#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "collectors/software_inventory.h"
#include "core/process_state.h"
#include "core/result_list.h"
#include "core/settings.h"
#include "core/trace_log.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "platform/winpath.h"
#include "support/agent_state.h"
#include "support/lnk_writer.h"
#include "support/pe_writer.h"
#include "support/reg_text.h"
#include "support/test_machine.h"

using namespace qm::collectors;
using namespace qm::core;
using qm::test::BuildPeFile;
using qm::test::RegText;
using qm::test::ShortcutSpec;
using qm::test::ShortcutTo;
using qm::test::ShortcutToShare;
using qm::test::kTraceLog;
using qm::test::LogTexts;
using qm::test::StartAgent;
using qm::test::StartWithResultNames;
using qm::test::TestMachine;
using qm::test::VersionResource;

namespace {

const std::string kUser = "C:\\Documents and Settings\\tester\\";
const std::string kAllUsers = "C:\\Documents and Settings\\All Users\\";
const std::string kDesktop = kUser + "Desktop\\";
const std::string kStartMenu = kUser + "Start Menu\\";
const std::string kQuickLaunch = kUser + "Application Data\\Microsoft\\Internet Explorer\\Quick Launch\\";
const std::string kCommonDesktop = kAllUsers + "Desktop\\";
const std::string kCommonStartMenu = kAllUsers + "Start Menu\\";
const char* const kSfz = "C:\\WINDOWS\\QM-TEST-01.sfz";
const char* const kHeader = R"("F1","F2","F3","F4","F5","F6","F7","F8","F9","F10","F11")";

const std::string kShellKey = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const std::string kAppPathsKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";

// A C: drive, a network drive N: mapped to \\SRV\Apps, a CD-ROM D:, a floppy A:, a RAM disk
// R: and a second fixed drive E:.
const char* const kDrives = R"({"drives": [
    {"letter": "A", "type": "removable", "folder": "floppy_a"},
    {"letter": "C", "type": "fixed", "folder": "drive_c", "label": "SYSTEM"},
    {"letter": "D", "type": "cdrom", "folder": "cd_d"},
    {"letter": "E", "type": "fixed", "folder": "drive_e"},
    {"letter": "N", "type": "remote", "folder": "net_n", "unc": "\\\\SRV\\Apps"},
    {"letter": "R", "type": "ramdisk", "folder": "ram_r"}]})";

// The shell folders of a user of an XP machine, as the registry gives them (no trailing
// backslash).
RegText ShellFolders() {
    return RegText()
        .Key("HKEY_CURRENT_USER" + kShellKey)
        .Value("AppData", kUser + "Application Data")
        .Value("Desktop", kUser + "Desktop")
        .Value("Start Menu", kUser + "Start Menu")
        .Key("HKEY_LOCAL_MACHINE" + kShellKey)
        .Value("Common Desktop", kAllUsers + "Desktop")
        .Value("Common Start Menu", kAllUsers + "Start Menu");
}

RegText AppPath(const std::string& name, const std::string& program) {
    return RegText().Key(kAppPathsKey + name).Value("", program).Value("Path", qm::platform::FolderOf(program));
}

// The three strings a software record takes.
VersionResource Version(const std::string& company, const std::string& product, const std::string& version) {
    return qm::test::StringVersion({{"CompanyName", company}, {"ProductName", product}, {"ProductVersion", version}});
}

void Program(TestMachine& m, const std::string& path) { m.WriteFile(path, BuildPeFile(Version("Acme", "Tool", "1.0"))); }
void Link(TestMachine& m, const std::string& path, const std::string& target) { m.WriteFile(path, ShortcutTo(target)); }

std::vector<std::string> Lines(TestMachine& m) { return qm::platform::SplitLines(m.ReadFile(kSfz)); }

// The whole software inventory in a new process; the lines of the file it leaves.
std::vector<std::string> Inventory(TestMachine& m, const std::vector<std::string>& switches = {}) {
    StartWithResultNames(switches);
    SoftwareInventory();
    return Lines(m);
}

// Flag, folder and name of each record, and the shortcut that led to it.
std::vector<std::string> Summary(const std::vector<std::string>& lines) {
    std::vector<std::string> out;
    EXPECT_FALSE(lines.empty());
    if (!lines.empty()) {
        EXPECT_EQ(lines[0], kHeader);
    }
    for (std::size_t i = 1; i < lines.size(); ++i) {
        std::vector<std::string> f = ResultFields(lines[i]);
        EXPECT_EQ(f.size(), 11u) << lines[i];
        if (f.size() != 11) continue;
        EXPECT_EQ(f[0], "Software");
        out.push_back(f[2] + " " + f[3] + f[4] + (f[10].empty() ? "" : " <- " + f[10]));
    }
    return out;
}

std::vector<std::string> Keys(const std::vector<std::string>& lines) {
    std::vector<std::string> keys;
    for (std::size_t i = 1; i < lines.size(); ++i) keys.push_back(ResultFields(lines[i]).at(1));
    return keys;
}

std::string ShortPath(const std::string& path) {
    std::string s;
    EXPECT_GT(qm::platform::Files().GetShortPathName(path, s), 0u) << path;
    return s;
}

}  // namespace

TEST(SoftwareInventory, WritesTheHeaderThenOneRecordPerProgram) {
    TestMachine m("{}", ShellFolders().Text());
    std::string editor = BuildPeFile(Version("Acme, Inc.", "Editor", "2.5"));
    m.WriteFile("C:\\Program Files\\Acme\\Editor.exe", editor);
    Link(m, kDesktop + "Editor.lnk", "C:\\Program Files\\Acme\\Editor.exe");

    Inventory(m);
    EXPECT_EQ(m.ReadFile(kSfz), std::string(kHeader) + "\r\n" +
                                    "\"Software\",\"1\",\"0\",\"C:\\PROGRAM FILES\\ACME\\\",\"Editor.exe\",\"" +
                                    std::to_string(editor.size()) +
                                    "\",\"Acme  Inc.\",\"Editor\",\"2.5\",\"English (United States)\",\"" + kDesktop +
                                    "Editor.lnk\"\r\n");
    EXPECT_FALSE(State().resultList.has_value());
}

TEST(SoftwareInventory, WithNothingFoundTheFileHoldsOnlyTheHeader) {
    {
        TestMachine m;  // no shell folders, no App Paths
        Inventory(m);
        EXPECT_EQ(m.ReadFile(kSfz), std::string(kHeader) + "\r\n");
    }
    {
        TestMachine m("{}", (ShellFolders() + RegText().Key(kAppPathsKey.substr(0, kAppPathsKey.size() - 1))).Text());
        m.MakeFolder(kDesktop);
        Inventory(m, {"/FS"});
        EXPECT_EQ(m.ReadFile(kSfz), std::string(kHeader) + "\r\n");
    }
}

TEST(SoftwareDedup, OneRecordPerProgramWhateverFormLedToIt) {
    const std::string app = "C:\\Program Files\\Acme\\Editor.exe";
    const std::string longApp = "C:\\Program Files\\Long Name App\\program.exe";
    // On the drive N: that maps \\SRV\Apps; every case has it, few name it.
    const std::string tool = "N:\\Tools\\tool.exe";
    const std::string toolShare = "\\\\SRV\\Apps\\Tools\\tool.exe";
    const auto toolByShare = [](TestMachine& m) {
        m.WriteFile(kDesktop + "t.lnk", ShortcutToShare("\\\\SRV\\Apps", "Tools\\tool.exe"));
    };
    struct Case {
        const char* name;
        std::function<void(TestMachine&)> setUp;
        RegText appPaths;
        std::vector<std::string> records;
    };
    const std::vector<Case> cases = {
        {"two shortcuts: the first met wins",
         [&](TestMachine& m) {
             Link(m, kDesktop + "b.lnk", app);
             Link(m, kDesktop + "A.lnk", app);
         },
         RegText(),
         {"0 C:\\PROGRAM FILES\\ACME\\Editor.exe <- " + kDesktop + "A.lnk"}},
        {"the desktop comes before the start menu",
         [&](TestMachine& m) {
             Link(m, kStartMenu + "Programs\\a.lnk", app);
             Link(m, kDesktop + "z.lnk", app);
         },
         RegText(),
         {"0 C:\\PROGRAM FILES\\ACME\\Editor.exe <- " + kDesktop + "z.lnk"}},
        {"long and short names",
         [&](TestMachine& m) {
             Program(m, longApp);
             Link(m, kDesktop + "long.lnk", longApp);
             Link(m, kDesktop + "short.lnk", ShortPath(longApp));
         },
         RegText(),
         {"0 C:\\PROGRAM FILES\\LONG NAME APP\\program.exe <- " + kDesktop + "long.lnk"}},
        {"short name first",
         [&](TestMachine& m) {
             Program(m, longApp);
             Link(m, kDesktop + "a.lnk", ShortPath(longApp));
             Link(m, kDesktop + "b.lnk", longApp);
         },
         RegText(),
         {"0 C:\\PROGRA~1\\LONGNA~1\\program.exe <- " + kDesktop + "a.lnk"}},
        {"a mapped drive and its UNC path",
         [&](TestMachine& m) {
             Program(m, "N:\\Tools\\Long Tool.exe");
             Link(m, kDesktop + "a.lnk", "N:\\Tools\\Long Tool.exe");
             m.WriteFile(kDesktop + "b.lnk", ShortcutToShare("\\\\SRV\\Apps", "Tools\\Long Tool.exe"));
         },
         RegText(),
         {"1 N:\\TOOLS\\Long Tool.exe <- " + kDesktop + "a.lnk"}},
        {"the UNC path first",
         [&](TestMachine& m) {
             Program(m, "N:\\Tools\\Long Tool.exe");
             m.WriteFile(kDesktop + "a.lnk", ShortcutToShare("\\\\SRV\\Apps", "Tools\\Long Tool.exe"));
             Link(m, kDesktop + "b.lnk", "N:\\Tools\\Long Tool.exe");
         },
         RegText(),
         {"1 \\SRV\\APPS\\TOOLS\\Long Tool.exe <- " + kDesktop + "a.lnk"}},
        {"doubled backslashes",
         [&](TestMachine& m) {
             Link(m, kDesktop + "a.lnk", "C:\\Program Files\\\\Acme\\\\Editor.exe");
             Link(m, kDesktop + "b.lnk", app);
         },
         RegText(),
         {"0 C:\\PROGRAM FILES\\ACME\\Editor.exe <- " + kDesktop + "a.lnk"}},
        {"different case",
         [&](TestMachine& m) {
             Link(m, kDesktop + "a.lnk", "c:\\program files\\acme\\editor.exe");
             Link(m, kDesktop + "b.lnk", "C:\\PROGRAM FILES\\ACME\\EDITOR.EXE");
         },
         RegText(),
         {"0 C:\\PROGRAM FILES\\ACME\\Editor.exe <- " + kDesktop + "a.lnk"}},
        {"a shortcut and App Paths",
         [&](TestMachine& m) { Link(m, kDesktop + "a.lnk", app); },
         AppPath("Editor.exe", app),
         {"0 C:\\PROGRAM FILES\\ACME\\Editor.exe <- " + kDesktop + "a.lnk"}},
        {"App Paths by the short name of a shortcut's target",
         [&](TestMachine& m) {
             Program(m, longApp);
             Link(m, kDesktop + "a.lnk", longApp);
         },
         AppPath("program.exe", "C:\\PROGRA~1\\LONGNA~1\\program.exe"),
         {"0 C:\\PROGRAM FILES\\LONG NAME APP\\program.exe <- " + kDesktop + "a.lnk"}},
        {"a shortcut to a share and App Paths by the same share path", toolByShare, AppPath("tool.exe", toolShare),
         {"1 \\SRV\\APPS\\TOOLS\\tool.exe <- " + kDesktop + "t.lnk"}},
        {"a shortcut to a share and App Paths by the mapped drive", toolByShare, AppPath("tool.exe", tool),
         {"1 \\SRV\\APPS\\TOOLS\\tool.exe <- " + kDesktop + "t.lnk"}},
        {"a shortcut by the mapped drive and App Paths by the share", [&](TestMachine& m) { Link(m, kDesktop + "t.lnk", tool); },
         AppPath("tool.exe", toolShare), {"1 N:\\TOOLS\\tool.exe <- " + kDesktop + "t.lnk"}},
        {"App Paths by the mapped drive, then by the share", [](TestMachine&) {},
         AppPath("a.exe", tool) + AppPath("b.exe", toolShare), {"1 N:\\TOOLS\\tool.exe"}},
        {"App Paths twice",
         [](TestMachine&) {},
         AppPath("Editor.exe", app) + AppPath("Edit2.exe", "c:\\program files\\acme\\editor.exe"),
         {"0 C:\\PROGRAM FILES\\ACME\\Editor.exe"}},
        {"two programs",
         [&](TestMachine& m) {
             Program(m, "C:\\Tools\\other.exe");
             Link(m, kDesktop + "a.lnk", app);
             Link(m, kCommonStartMenu + "b.lnk", "C:\\Tools\\other.exe");
         },
         RegText(),
         {"0 C:\\PROGRAM FILES\\ACME\\Editor.exe <- " + kDesktop + "a.lnk",
          "0 C:\\TOOLS\\other.exe <- " + kCommonStartMenu + "b.lnk"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestMachine m(kDrives, (ShellFolders() + c.appPaths).Text());
        Program(m, app);
        Program(m, tool);
        c.setUp(m);
        EXPECT_EQ(Summary(Inventory(m)), c.records);
    }
}

TEST(SoftwareWindowsFolder, ShortcutsIntoItGiveNothingButAppPathsRecordsThem) {
    TestMachine m("{}", (ShellFolders() + AppPath("calc.exe", "C:\\WINDOWS\\system32\\calc.exe") +
                            AppPath("notepad.exe", "C:\\WINDOWS\\notepad.exe")).Text());
    Program(m, "C:\\WINDOWS\\notepad.exe");
    Program(m, "C:\\WINDOWS\\system32\\calc.exe");
    Program(m, "C:\\WINDOWS\\winhelp.exe");
    Program(m, "C:\\WINDOWSAPPS\\tool.exe");
    Link(m, kDesktop + "a.lnk", "C:\\WINDOWS\\notepad.exe");
    Link(m, kDesktop + "b.lnk", "C:\\WINDOWS\\system32\\calc.exe");
    Link(m, kDesktop + "c.lnk", "c:\\windows\\winhelp.exe");
    Link(m, kDesktop + "d.lnk", "C:\\WINDOWSAPPS\\tool.exe");
    EXPECT_EQ(Summary(Inventory(m)), (std::vector<std::string>{"0 C:\\WINDOWSAPPS\\tool.exe <- " + kDesktop + "d.lnk",
                                                               "0 C:\\WINDOWS\\SYSTEM32\\calc.exe",
                                                               "0 C:\\WINDOWS\\notepad.exe"}));
}

TEST(SoftwareWindowsFolder, WithoutAWindowsFolderNothingIsExcluded) {
    TestMachine m("{}", ShellFolders().Text());
    Program(m, "C:\\Apps\\a.exe");
    Program(m, "C:\\WINDOWS\\notepad.exe");
    Link(m, kDesktop + "a.lnk", "C:\\Apps\\a.exe");
    Link(m, kDesktop + "b.lnk", "C:\\WINDOWS\\notepad.exe");
    StartWithResultNames();
    m.Machine().AddFault({"GetWindowsDirectory", "", qm::platform::ERROR_ACCESS_DENIED});
    SoftwareInventory();
    EXPECT_EQ(Summary(Lines(m)), (std::vector<std::string>{"0 C:\\APPS\\a.exe <- " + kDesktop + "a.lnk",
                                                           "0 C:\\WINDOWS\\notepad.exe <- " + kDesktop + "b.lnk"}));
}

TEST(SoftwareDriveTypes, FixedAndNetworkDrivesAndSharesOnly) {
    struct Case {
        const char* name;
        std::string program;  // written when not empty
        std::string shortcut;
        std::vector<std::string> records;
        bool uncTypeFails = false;
    };
    const std::vector<Case> cases = {
        {"fixed", "C:\\Apps\\a.exe", ShortcutTo("C:\\Apps\\a.exe"), {"0 C:\\APPS\\a.exe <- " + kDesktop + "x.lnk"}},
        {"second fixed", "E:\\a.exe", ShortcutTo("E:\\a.exe"), {"0 E:\\a.exe <- " + kDesktop + "x.lnk"}},
        {"mapped network drive", "N:\\a.exe", ShortcutTo("N:\\a.exe"), {"1 N:\\a.exe <- " + kDesktop + "x.lnk"}},
        {"share", "N:\\a.exe", ShortcutToShare("\\\\SRV\\Apps", "a.exe"), {"1 \\SRV\\APPS\\a.exe <- " + kDesktop + "x.lnk"}},
        {"share of a mapped drive", "N:\\a.exe", ShortcutToShare("\\\\SRV\\Apps", "a.exe", "N:"),
         {"1 \\SRV\\APPS\\a.exe <- " + kDesktop + "x.lnk"}},
        {"share whose type cannot be had", "N:\\a.exe", ShortcutToShare("\\\\SRV\\Apps", "a.exe"),
         {"1 \\SRV\\APPS\\a.exe <- " + kDesktop + "x.lnk"}, true},
        {"CD-ROM", "D:\\setup.exe", ShortcutTo("D:\\setup.exe"), {}},
        {"removable", "A:\\tool.exe", ShortcutTo("A:\\tool.exe"), {}},
        {"RAM disk", "R:\\tool.exe", ShortcutTo("R:\\tool.exe"), {}},
        {"drive that does not exist", "", ShortcutTo("Q:\\tool.exe"), {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestMachine m(kDrives, ShellFolders().Text());
        if (!c.program.empty()) Program(m, c.program);
        m.WriteFile(kDesktop + "x.lnk", c.shortcut);
        if (c.uncTypeFails) m.Machine().AddFault({"GetDriveType", "\\\\SRV\\Apps\\", qm::platform::ERROR_ACCESS_DENIED});
        EXPECT_EQ(Summary(Inventory(m)), c.records);
    }
}

TEST(SoftwareDriveTypes, AProgramOnAShareHasItsVersionItems) {
    TestMachine m(kDrives, ShellFolders().Text());
    m.WriteFile("N:\\Tools\\tool.exe", BuildPeFile(Version("Share Corp", "Shared Tool", "4.2")));
    m.WriteFile(kDesktop + "x.lnk", ShortcutToShare("\\\\SRV\\Apps", "Tools\\tool.exe"));
    std::vector<std::string> lines = Inventory(m);
    ASSERT_EQ(lines.size(), 2u);
    std::vector<std::string> f = ResultFields(lines[1]);
    ASSERT_EQ(f.size(), 11u);
    EXPECT_EQ(f[3], "\\SRV\\APPS\\TOOLS\\");
    EXPECT_EQ(std::vector<std::string>(f.begin() + 6, f.begin() + 10),
              (std::vector<std::string>{"Share Corp", "Shared Tool", "4.2", "English (United States)"}));
}

TEST(SoftwareTargets, OnlyExistingProgramFilesAreRecorded) {
    struct Case {
        const char* name;
        std::string shortcut;
        std::vector<std::string> records;
    };
    const std::vector<Case> cases = {
        {"a document", ShortcutTo("C:\\Docs\\letter.doc"), {}},
        {"a batch file", ShortcutTo("C:\\Tools\\run.bat"), {}},
        {"a folder", ShortcutTo("C:\\Tools"), {}},
        {"a folder named like a program", ShortcutTo("C:\\Tools\\Setup.exe"), {}},
        {"a missing program", ShortcutTo("C:\\Tools\\gone.exe"), {}},
        {"a program under a missing folder", ShortcutTo("C:\\Gone\\tool.exe"), {}},
        {"a relative target", ShortcutTo("tool.exe"), {}},
        {"no target", qm::test::BuildShortcut(ShortcutSpec{}), {}},
        {"not a shortcut", "this is no shell link", {}},
        {"a backup of a program", ShortcutTo("C:\\Tools\\tool.exe.bak"), {}},
        {"a lower-case extension on disk", ShortcutTo("C:\\Tools\\tool.exe"), {"0 C:\\TOOLS\\tool.exe <- " + kDesktop + "x.lnk"}},
        {"a .COM program", ShortcutTo("C:\\Tools\\Mixed.Com"), {"0 C:\\TOOLS\\Mixed.Com <- " + kDesktop + "x.lnk"}},
        {"a target longer than MAX_PATH", ShortcutTo("C:\\" + std::string(120, 'a') + "\\" + std::string(120, 'b') + "\\" +
                                                     std::string(40, 'c') + "\\deep.exe"),
         {"0 C:\\" + std::string(120, 'A') + "\\" + std::string(120, 'B') + "\\" + std::string(40, 'C') + "\\deep.exe <- " +
          kDesktop + "x.lnk"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestMachine m("{}", ShellFolders().Text());
        m.WriteFile("C:\\Docs\\letter.doc", "Dear ...");
        m.WriteFile("C:\\Tools\\run.bat", "@echo off\r\n");
        m.MakeFolder("C:\\Tools\\Setup.exe");
        m.WriteFile("C:\\Tools\\tool.exe.bak", "MZ");
        m.WriteFile("C:\\tool.exe", "MZ");
        Program(m, "C:\\Tools\\tool.exe");
        Program(m, "C:\\Tools\\Mixed.Com");
        Program(m, "C:\\" + std::string(120, 'a') + "\\" + std::string(120, 'b') + "\\" + std::string(40, 'c') + "\\deep.exe");
        m.WriteFile(kDesktop + "x.lnk", c.shortcut);
        EXPECT_EQ(Summary(Inventory(m)), c.records);
    }
}

TEST(SoftwareFullScan, SearchesEveryFixedDriveAndNoOtherForShortcuts) {
    TestMachine m(kDrives, (ShellFolders() + AppPath("reg.exe", "C:\\Apps\\reg.exe")).Text());
    for (const char* p : {"C:\\Apps\\c.exe", "C:\\Apps\\w.exe", "C:\\Apps\\d.exe", "C:\\Apps\\n.exe", "C:\\Apps\\a.exe",
                          "C:\\Apps\\r.exe", "C:\\Apps\\reg.exe", "C:\\Apps\\q.exe", "E:\\e.exe"})
        Program(m, p);
    Link(m, "C:\\Data\\deep\\er\\c.lnk", "C:\\Apps\\c.exe");
    Link(m, "C:\\WINDOWS\\Start\\w.lnk", "C:\\Apps\\w.exe");
    Link(m, "E:\\e.lnk", "E:\\e.exe");
    Link(m, "D:\\d.lnk", "C:\\Apps\\d.exe");
    Link(m, "N:\\n.lnk", "C:\\Apps\\n.exe");
    Link(m, "A:\\a.lnk", "C:\\Apps\\a.exe");
    Link(m, "R:\\r.lnk", "C:\\Apps\\r.exe");
    Link(m, kQuickLaunch + "q.lnk", "C:\\Apps\\q.exe");

    EXPECT_EQ(Summary(Inventory(m, {"/FS"})),
              (std::vector<std::string>{"0 C:\\APPS\\c.exe <- C:\\Data\\deep\\er\\c.lnk",
                                        "0 C:\\APPS\\q.exe <- " + kQuickLaunch + "q.lnk",
                                        "0 C:\\APPS\\w.exe <- C:\\WINDOWS\\Start\\w.lnk", "0 E:\\e.exe <- E:\\e.lnk",
                                        "0 C:\\APPS\\reg.exe"}));
    // The switch is looked for in any case; without it only the shell folders are searched.
    EXPECT_EQ(Summary(Inventory(m, {"/fs"})).size(), 5u);
    // The quick scan names a shortcut by the folder it searched, as the registry gives it.
    EXPECT_EQ(Summary(Inventory(m)),
              (std::vector<std::string>{
                  "0 C:\\APPS\\q.exe <- " + kUser + "Application Data\\MICROSOFT\\INTERNET EXPLORER\\Quick Launch\\q.lnk",
                  "0 C:\\APPS\\reg.exe"}));
}

TEST(SoftwareQuoting, QuotesApostrophesAndCommasBecomeBlanks) {
    TestMachine m("{}", ShellFolders().Text());
    m.WriteFile("C:\\Program Files\\O'Brien, Tools\\app.exe", BuildPeFile(Version("Say \"hi\", 'you'", " Padded ", "")));
    Link(m, kDesktop + "Bob's, app.lnk", "C:\\Program Files\\O'Brien, Tools\\app.exe");
    std::vector<std::string> lines = Inventory(m);
    ASSERT_EQ(lines.size(), 2u);
    std::vector<std::string> f = ResultFields(lines[1]);
    ASSERT_EQ(f.size(), 11u);
    EXPECT_EQ(f[3], "C:\\PROGRAM FILES\\O BRIEN  TOOLS\\");
    EXPECT_EQ(f[4], "app.exe");
    EXPECT_EQ(f[6], "Say  hi    you");
    EXPECT_EQ(f[7], "Padded");
    EXPECT_EQ(f[8], "");
    EXPECT_EQ(f[10], kDesktop + "Bob s  app.lnk");
}

TEST(SoftwareAppPaths, EntriesAreTakenAsRegistered) {
    TestMachine m(kDrives,
                  (AppPath("a.exe", "C:\\Apps\\a.exe") + AppPath("b.exe", "\"C:\\Apps\\b.exe\"") +
                      AppPath("c.exe", "%ProgramFiles%\\c.exe") + RegText().Key(kAppPathsKey + "d.exe").Value("Path", "C:\\Apps") +
                      AppPath("e.exe", "c:\\apps\\e.exe") + AppPath("f.exe", "C:\\Apps\\Folder.exe") +
                      AppPath("g.exe", "D:\\g.exe") + AppPath("h.exe", "C:\\Apps\\missing.exe") +
                      AppPath("i.exe", "C:\\Apps\\readme.txt") + AppPath("j.exe", "N:\\j.exe") +
                      AppPath("k.exe", "C:\\Apps\\\\k.exe") + AppPath("l.exe", "")).Text());
    for (const char* p : {"C:\\Apps\\a.exe", "C:\\Apps\\b.exe", "C:\\Apps\\e.exe", "D:\\g.exe", "N:\\j.exe", "C:\\Apps\\k.exe"})
        Program(m, p);
    m.WriteFile("C:\\Apps\\readme.txt", "text");
    m.MakeFolder("C:\\Apps\\Folder.exe");
    // Unlike a shortcut's target, a registered folder is not refused.
    EXPECT_EQ(Summary(Inventory(m)), (std::vector<std::string>{"0 C:\\APPS\\a.exe", "0 C:\\APPS\\e.exe",
                                                               "0 C:\\APPS\\Folder.exe", "1 N:\\j.exe",
                                                               "0 C:\\APPS\\k.exe"}));
}

TEST(SoftwareAppPaths, ADefaultValueThatIsNoTextCountsAsAbsent) {
    TestMachine m("{}", (ShellFolders() + AppPath("a.exe", "C:\\Apps\\a.exe") + RegText().Key(kAppPathsKey + "b.exe").Dword("", 1) +
                            AppPath("c.exe", "C:\\Apps\\c.exe")).Text());
    Program(m, "C:\\Apps\\a.exe");
    Program(m, "C:\\Apps\\c.exe");
    Program(m, "C:\\Apps\\s.exe");
    Link(m, kDesktop + "s.lnk", "C:\\Apps\\s.exe");
    StartWithResultNames({}, true);
    SoftwareInventory();
    EXPECT_EQ(Summary(Lines(m)), (std::vector<std::string>{"0 C:\\APPS\\s.exe <- " + kDesktop + "s.lnk",
                                                           "0 C:\\APPS\\a.exe", "0 C:\\APPS\\c.exe"}));
    CloseLogFile();
    std::vector<std::string> log = LogTexts(m.ReadFile(kTraceLog));
    auto at = [&](const std::string& text) { return std::find(log.begin(), log.end(), text) - log.begin(); };
    auto count = static_cast<std::ptrdiff_t>(log.size());
    EXPECT_LT(at("Analyze :SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\APP PATHS\\b.exe"),
              at("Invalid data type for '': counted as absent"));
    EXPECT_LT(at("Invalid data type for '': counted as absent"), at("End Read Registry"));
    EXPECT_LT(at("End ForceScanRegistryAppPath"), count);
}

TEST(SoftwareRecordNumbers, GoOnWithoutGapsForTheLifeOfTheProcess) {
    TestMachine m("{}", (ShellFolders() + AppPath("d.exe", "C:\\Apps\\d.exe")).Text());
    for (const char* p : {"C:\\Apps\\a.exe", "C:\\Apps\\c.exe", "C:\\Apps\\d.exe"}) Program(m, p);
    Link(m, kDesktop + "a.lnk", "C:\\Apps\\a.exe");
    Link(m, kDesktop + "b.lnk", "C:\\Apps\\missing.exe");
    Link(m, kDesktop + "bb.lnk", "C:\\Apps\\a.exe");
    Link(m, kDesktop + "c.lnk", "C:\\Apps\\c.exe");
    EXPECT_EQ(Keys(Inventory(m)), (std::vector<std::string>{"1", "2", "3"}));
    // A second scan in the same process numbers on; a new process starts again.
    SoftwareInventory();
    EXPECT_EQ(Keys(Lines(m)), (std::vector<std::string>{"4", "5", "6"}));
    EXPECT_EQ(Keys(Inventory(m)), (std::vector<std::string>{"1", "2", "3"}));
}

TEST(SoftwareLog, TheQuickScanMarksItsSteps) {
    TestMachine m("{}", (ShellFolders() + AppPath("a.exe", "C:\\Apps\\a.exe") + AppPath("b.exe", "C:\\Apps\\b.exe")).Text());
    Program(m, "C:\\Apps\\a.exe");
    m.WriteFile("C:\\Apps\\b.exe", "MZ");
    Link(m, kDesktop + "a.lnk", "C:\\Apps\\a.exe");
    StartWithResultNames({}, true);
    SoftwareInventory();
    CloseLogFile();
    std::vector<std::string> log = LogTexts(m.ReadFile(kTraceLog));
    auto first = std::find(log.begin(), log.end(), "Enter SoftwareInventory");
    auto last = std::find(log.begin(), log.end(), "Exit SoftwareInventory");
    ASSERT_NE(last, log.end());
    std::vector<std::string> run(first, last + 1);
    const std::string appPaths = "SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\APP PATHS\\";
    std::vector<std::string> expected = {
        "Enter SoftwareInventory",
        "Enter QuickScan",
        "Enter getQuickScanDirsList",
        "Exit getQuickScanDirsList",
        "Start shortcut analyze",
        "ShortcutAnalyze(" + kDesktop + "a.lnk)",
        "getVersionInfo(C:\\APPS\\a.exe,viEditeur)",
        "getVersionInfo(C:\\APPS\\a.exe,viNomProduit)",
        "getVersionInfo(C:\\APPS\\a.exe,viVersion)",
        "getVersionInfo(C:\\APPS\\a.exe,viLangue)",
        "RES : \"Software\",\"1\",\"0\",\"C:\\APPS\\\",\"a.exe\",\"" + std::to_string(m.ReadFile("C:\\Apps\\a.exe").size()) +
            "\",\"Acme\",\"Tool\",\"1.0\",\"English (United States)\",\"" + kDesktop + "a.lnk\"",
        "End shortcut analyze",
        "Start ForceScanRegistryAppPath",
        "Enter ForceScanRegistryAppPath",
        "Read Registry",
        "Analyze :" + appPaths + "a.exe",
        "Analyze :" + appPaths + "b.exe",
        "End Read Registry",
        "Start search File for each registry key",
        "Shortcut analyze 1 :C:\\Apps\\a.exe",
        "Shortcut analyze 1 :C:\\Apps\\b.exe",
        "Shortcut analyze 2:C:\\Apps\\b.exe",
        "getVersionInfo(C:\\APPS\\b.exe,viEditeur)",
        "getVersionInfo(C:\\APPS\\b.exe,viNomProduit)",
        "getVersionInfo(C:\\APPS\\b.exe,viVersion)",
        "getVersionInfo(C:\\APPS\\b.exe,viLangue)",
        "RES : \"Software\",\"2\",\"0\",\"C:\\APPS\\\",\"b.exe\",\"2\",\"\",\"\",\"\",\"\",\"\"",
        "Exit ForceScanRegistryAppPath",
        "End ForceScanRegistryAppPath",
        "Exit QuickScan",
        "Exit SoftwareInventory",
    };
    EXPECT_EQ(run, expected);
}

TEST(SoftwareLog, TheFullScanHasNoneOfTheQuickScanMarks) {
    TestMachine m("{}", AppPath("a.exe", "C:\\Apps\\a.exe").Text());
    Link(m, "C:\\a.lnk", "C:\\Apps\\missing.exe");
    StartWithResultNames({"/FS"}, true);
    SoftwareInventory();
    CloseLogFile();
    std::vector<std::string> log = LogTexts(m.ReadFile(kTraceLog));
    auto first = std::find(log.begin(), log.end(), "Enter SoftwareInventory");
    auto last = std::find(log.begin(), log.end(), "Exit SoftwareInventory");
    ASSERT_NE(last, log.end());
    EXPECT_EQ(std::vector<std::string>(first, last + 1),
              (std::vector<std::string>{"Enter SoftwareInventory", "ShortcutAnalyze(C:\\a.lnk)",
                                        "Enter ForceScanRegistryAppPath", "Read Registry",
                                        "Analyze :SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\APP PATHS\\a.exe",
                                        "End Read Registry", "Start search File for each registry key",
                                        "Shortcut analyze 1 :C:\\Apps\\a.exe", "Shortcut analyze 2:C:\\Apps\\a.exe",
                                        "Exit ForceScanRegistryAppPath", "Exit SoftwareInventory"}));
}

TEST(SoftwareErrors, AnErrorEndsOnlyItsFolderItsDriveOrItsShortcut) {
    {
        SCOPED_TRACE("one quick-scan folder");
        TestMachine m("{}", ShellFolders().Text());
        for (const char* p : {"C:\\Apps\\a.exe", "C:\\Apps\\b.exe", "C:\\Apps\\c.exe", "C:\\Apps\\d.exe"}) Program(m, p);
        Link(m, kDesktop + "a.lnk", "C:\\Apps\\a.exe");
        Link(m, kDesktop + "Broken\\c.lnk", "C:\\Apps\\c.exe");
        Link(m, kDesktop + "Zeta\\d.lnk", "C:\\Apps\\d.exe");
        Link(m, kStartMenu + "b.lnk", "C:\\Apps\\b.exe");
        m.Machine().AddFault({"FindFirstFile", kDesktop + "Broken", qm::platform::ERROR_ACCESS_DENIED, true});
        EXPECT_EQ(Summary(Inventory(m)), (std::vector<std::string>{"0 C:\\APPS\\a.exe <- " + kDesktop + "a.lnk",
                                                                   "0 C:\\APPS\\b.exe <- " + kStartMenu + "b.lnk"}));
    }
    {
        SCOPED_TRACE("one shortcut");
        TestMachine m("{}", ShellFolders().Text());
        for (const char* p : {"C:\\Apps\\a.exe", "C:\\Apps\\b.exe"}) Program(m, p);
        Link(m, kDesktop + "a.lnk", "C:\\Apps\\a.exe");
        Link(m, kDesktop + "b.lnk", "C:\\Apps\\b.exe");
        m.Machine().AddFault({"IPersistFile::Load", kDesktop + "a.lnk", qm::platform::ERROR_ACCESS_DENIED, true});
        EXPECT_EQ(Summary(Inventory(m)), (std::vector<std::string>{"0 C:\\APPS\\b.exe <- " + kDesktop + "b.lnk"}));
    }
    {
        SCOPED_TRACE("one drive");
        TestMachine m(kDrives);
        for (const char* p : {"C:\\Apps\\a.exe", "C:\\Apps\\z.exe", "E:\\e.exe"}) Program(m, p);
        Link(m, "C:\\a.lnk", "C:\\Apps\\a.exe");
        Link(m, "C:\\Deep\\d.lnk", "C:\\Apps\\a.exe");
        Link(m, "C:\\Zed\\z.lnk", "C:\\Apps\\z.exe");
        Link(m, "E:\\e.lnk", "E:\\e.exe");
        m.Machine().AddFault({"FindFirstFile", "C:\\Deep", qm::platform::ERROR_ACCESS_DENIED, true});
        EXPECT_EQ(Summary(Inventory(m, {"/FS"})),
                  (std::vector<std::string>{"0 C:\\APPS\\a.exe <- C:\\a.lnk", "0 E:\\e.exe <- E:\\e.lnk"}));
    }
}

TEST(SoftwareErrors, AFileThatCannotBeSavedIsLoggedAndTheListFreed) {
    TestMachine m("{}", ShellFolders().Text());
    m.MakeFolder(kSfz);  // a folder where the file should go
    StartWithResultNames({}, true);
    EXPECT_NO_THROW(SoftwareInventory());
    EXPECT_FALSE(State().resultList.has_value());
    CloseLogFile();
    std::vector<std::string> log = LogTexts(m.ReadFile(kTraceLog));
    auto exit = std::find(log.begin(), log.end(), "Exit SoftwareInventory");
    ASSERT_NE(exit, log.end());
    ASSERT_NE(exit, log.begin());
    EXPECT_EQ((exit - 1)->rfind("Cannot write " + std::string(kSfz), 0), 0u) << *(exit - 1);
}

TEST(SoftwareAddSoftware, TheSizeIsItsLow32BitsSigned) {
    TestMachine m;
    StartAgent();
    const std::vector<std::pair<std::uint64_t, std::string>> cases = {
        {0, "0"},
        {123, "123"},
        {2147483647ull, "2147483647"},
        {2147483648ull, "-2147483648"},
        {2147483653ull, "-2147483643"},
        {4294967295ull, "-1"},
        {4294967296ull, "0"},
        {4294967303ull, "7"},
    };
    CreateResultList();
    for (const auto& [size, text] : cases) AddSoftware(0, "C:\\\\NOWHERE\\\\", "x.exe", size, "");
    const std::vector<std::string>& lines = *State().resultList;
    ASSERT_EQ(lines.size(), cases.size());
    for (std::size_t i = 0; i < cases.size(); ++i) {
        std::vector<std::string> f = ResultFields(lines[i]);
        ASSERT_EQ(f.size(), 11u);
        EXPECT_EQ(f[1], std::to_string(i + 1));
        EXPECT_EQ(f[3], "C:\\NOWHERE\\");
        EXPECT_EQ(f[5], cases[i].second) << cases[i].first;
        EXPECT_EQ(f[10], "");
    }
}

TEST(SoftwareAddSoftware, OneRecordReadsTheVersionResourceOnce) {
    TestMachine m(kDrives);
    StartAgent();
    m.WriteFile("N:\\Tools\\tool.exe", BuildPeFile(Version("Share Corp", "Shared Tool", "4.2")));
    // Asking for the size and reading the data are the one read; any further read would fail.
    m.Machine().AddFault({"GetFileVersionInfo", "\\\\SRV\\Apps\\Tools\\tool.exe", qm::platform::ERROR_ACCESS_DENIED,
                          false, -1, 2});
    CreateResultList();
    AddSoftware(1, "\\\\SRV\\Apps\\Tools\\", "tool.exe", 2, "");
    std::vector<std::string> f = ResultFields(State().resultList->back());
    ASSERT_EQ(f.size(), 11u);
    EXPECT_EQ(std::vector<std::string>(f.begin() + 6, f.begin() + 10),
              (std::vector<std::string>{"Share Corp", "Shared Tool", "4.2", "English (United States)"}));
    // The fault was armed all along: a second record of the file finds the resource refused.
    AddSoftware(1, "\\\\SRV\\Apps\\Tools\\", "tool.exe", 2, "");
    EXPECT_EQ(ResultFields(State().resultList->back()).at(6), "");
}

TEST(ShortcutFindFiles, OwnFilesFirstThenSubfoldersAlphabetically) {
    TestMachine m;
    StartAgent();
    for (const char* p : {"C:\\Scan\\b.lnk", "C:\\Scan\\A.LNK", "C:\\Scan\\c.txt", "C:\\Scan\\x.LnK", "C:\\Scan\\lnk",
                          "C:\\Scan\\y.lnk.txt", "C:\\Scan\\z.lnkx", "C:\\Scan\\zeta\\z1.lnk", "C:\\Scan\\Beta\\b1.lnk",
                          "C:\\Scan\\Beta\\inner\\i1.lnk", "C:\\Scan\\alpha\\a1.lnk", "C:\\Scan\\alpha\\a2.lnk",
                          "C:\\Scan\\Folder.lnk\\f1.lnk"})
        m.WriteFile(p, "x");
    m.MakeFolder("C:\\Scan\\empty");

    std::vector<std::string> found = {"kept"};
    FindFilesByExt("C:\\Scan\\", ".LNK", true, found);
    EXPECT_EQ(found, (std::vector<std::string>{"kept", "C:\\Scan\\A.LNK", "C:\\Scan\\b.lnk", "C:\\Scan\\x.LnK",
                                               "C:\\Scan\\alpha\\a1.lnk", "C:\\Scan\\alpha\\a2.lnk",
                                               "C:\\Scan\\Beta\\b1.lnk", "C:\\Scan\\Beta\\inner\\i1.lnk",
                                               "C:\\Scan\\Folder.lnk\\f1.lnk", "C:\\Scan\\zeta\\z1.lnk"}));

    found.clear();
    FindFilesByExt("C:\\Scan\\", ".LNK", false, found);
    EXPECT_EQ(found, (std::vector<std::string>{"C:\\Scan\\A.LNK", "C:\\Scan\\b.lnk", "C:\\Scan\\x.LnK"}));

    found.clear();
    FindFilesByExt("C:\\Scan\\", ".TXT", true, found);
    EXPECT_EQ(found, (std::vector<std::string>{"C:\\Scan\\c.txt", "C:\\Scan\\y.lnk.txt"}));

    found.clear();
    FindFilesByExt("C:\\Missing\\", ".LNK", true, found);
    EXPECT_TRUE(found.empty());
}

TEST(ShortcutFindFiles, FoldersThatAreReparsePointsAreNotEntered) {
    TestMachine m;
    StartAgent();
    m.WriteFile("C:\\Links\\a.lnk", "x");
    m.WriteFile("C:\\Elsewhere\\far.lnk", "x");
    std::filesystem::create_directory_symlink(m.HostPath("C:\\Links"), m.HostPath("C:\\Links\\loop"));
    std::filesystem::create_directory_symlink(m.HostPath("C:\\Elsewhere"), m.HostPath("C:\\Links\\other"));
    std::vector<std::string> found;
    FindFilesByExt("C:\\Links\\", ".LNK", true, found);
    EXPECT_EQ(found, (std::vector<std::string>{"C:\\Links\\a.lnk"}));
}

TEST(ShortcutDirs, TheShellFoldersInTheirOrder) {
    struct Case {
        const char* name;
        RegText registry;
        std::vector<std::string> folders;
    };
    const std::string hkcu = "HKEY_CURRENT_USER" + kShellKey;
    const std::string hklm = "HKEY_LOCAL_MACHINE" + kShellKey;
    const std::vector<Case> cases = {
        {"all five",
         ShellFolders(),
         {kUser + "Application Data\\MICROSOFT\\INTERNET EXPLORER\\", kDesktop, kStartMenu, kCommonDesktop,
          kCommonStartMenu}},
        {"values with their backslash, in any order",
         RegText()
             .Key(hklm)
             .Value("Common Start Menu", "C:\\All\\Menu\\")
             .Value("Common Desktop", "C:\\All\\Desk\\")
             .Key(hkcu)
             .Value("Start Menu", "C:\\Me\\Menu\\")
             .Value("Desktop", "C:\\Me\\Desk")
             .Value("AppData", "C:\\Me\\Data\\"),
         {"C:\\Me\\Data\\MICROSOFT\\INTERNET EXPLORER\\", "C:\\Me\\Desk\\", "C:\\Me\\Menu\\", "C:\\All\\Desk\\",
          "C:\\All\\Menu\\"}},
        {"the user's key missing", RegText().Key(hklm).Value("Common Desktop", "C:\\All\\Desk"), {"C:\\All\\Desk\\"}},
        {"the machine's key missing", RegText().Key(hkcu).Value("Desktop", "C:\\Me\\Desk"), {"C:\\Me\\Desk\\"}},
        {"other values ignored, empty ones skipped",
         RegText()
             .Key(hkcu)
             .Value("Favorites", "C:\\Me\\Fav")
             .Value("Desktop", "")
             .Value("Start Menu", "C:\\Me\\Menu")
             .Key(hklm)
             .Value("Common Programs", "C:\\All\\Programs"),
         {"C:\\Me\\Menu\\"}},
        {"a value that is no text counts as absent",
         RegText()
             .Key(hkcu)
             .Value("AppData", "C:\\Me\\Data")
             .Dword("Desktop", 1)
             .Value("Start Menu", "C:\\Me\\Menu")
             .Key(hklm)
             .Binary("Common Desktop", {0x43, 0x3a})
             .Value("Common Start Menu", "C:\\All\\Menu"),
         {"C:\\Me\\Data\\MICROSOFT\\INTERNET EXPLORER\\", "C:\\Me\\Menu\\", "C:\\All\\Menu\\"}},
        {"nothing", RegText(), {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestMachine m("{}", c.registry.Text());
        StartAgent();
        std::vector<std::string> folders;
        getQuickScanDirsList(folders);
        EXPECT_EQ(folders, c.folders);
    }
}

TEST(ShortcutInfo, ReadsEachItemOfAShortcut) {
    TestMachine m(kDrives);
    StartAgent();
    m.WriteFile("N:\\Long Folder\\tool.exe", "MZ");
    ShortcutSpec spec;
    spec.localBasePath = "N:\\Long Folder\\tool.exe";
    spec.netName = "\\\\SRV\\Apps";
    spec.commonPathSuffix = "";
    spec.name = "A tool with a description longer than the old buffers " + std::string(300, 'd');
    spec.arguments = "/quiet " + std::string(300, 'a');
    spec.workingDirectory = "N:\\Long Folder";
    ShortcutSpec network;
    network.netName = "\\\\SRV\\Apps";
    network.commonPathSuffix = "Long Folder\\tool.exe";
    network.deviceName = "N:";
    m.WriteFile("C:\\Links\\local.lnk", qm::test::BuildShortcut(spec));
    m.WriteFile("C:\\Links\\network.lnk", qm::test::BuildShortcut(network));
    m.WriteFile("C:\\Links\\caf\xC3\xA9.lnk", ShortcutTo("C:\\Tools\\cafe.exe"));

    struct Case {
        std::string path;
        int item;
        std::string text;
    };
    const std::vector<Case> cases = {
        {"C:\\Links\\network.lnk", kShortcutTarget, "\\\\SRV\\Apps\\Long Folder\\tool.exe"},
        {"C:\\Links\\network.lnk", kShortcutShortPath, "\\\\SRV\\Apps\\LONGFO~1\\tool.exe"},
        {"C:\\Links\\network.lnk", kShortcutDescription, ""},
        {"C:\\Links\\local.lnk", kShortcutShortPath, "N:\\LONGFO~1\\tool.exe"},
        {"C:\\Links\\local.lnk", kShortcutDescription, *spec.name},
        {"C:\\Links\\local.lnk", kShortcutArguments, *spec.arguments},
        {"C:\\Links\\local.lnk", kShortcutWorkingDirectory, "N:\\Long Folder"},
        {"C:\\Links\\local.lnk", 5, ""},
        {"C:\\Links\\local.lnk", -1, ""},
        {"C:\\Links\\caf\xE9.lnk", kShortcutTarget, "C:\\Tools\\cafe.exe"},
        {"C:\\Links\\missing.lnk", kShortcutTarget, ""},
        {"C:\\Links\\missing.lnk", kShortcutDescription, ""},
    };
    EXPECT_TRUE(ShortcutReaderReady());
    for (const Case& c : cases) EXPECT_EQ(GetShortcutInfo(c.path, c.item), c.text) << c.path << " item " << c.item;
}

TEST(ShortcutInfo, TheReaderIsMadeOnceAndWithoutItNothingIsRead) {
    TestMachine m("{}", (ShellFolders() + AppPath("b.exe", "C:\\Apps\\b.exe")).Text());
    StartAgent();
    Program(m, "C:\\Apps\\a.exe");
    Program(m, "C:\\Apps\\b.exe");
    Link(m, kDesktop + "a.lnk", "C:\\Apps\\a.exe");
    m.Machine().AddFault({"CoCreateInstance", "ShellLink", qm::platform::ERROR_ACCESS_DENIED, false, 1});
    EXPECT_FALSE(ShortcutReaderReady());
    // The failure struck once, but the reader is made at its first use only.
    EXPECT_FALSE(ShortcutReaderReady());
    EXPECT_EQ(GetShortcutInfo(kDesktop + "a.lnk", kShortcutTarget), "");

    // A scan without a reader still records what App Paths names.
    ReleaseShortcutReader();
    m.Machine().AddFault({"CoCreateInstance", "ShellLink", qm::platform::ERROR_ACCESS_DENIED, false, 1});
    EXPECT_EQ(Summary(Inventory(m)), (std::vector<std::string>{"0 C:\\APPS\\b.exe"}));

    // Given up with the scan's end, the next use makes a new one.
    EXPECT_TRUE(ShortcutReaderReady());
    EXPECT_EQ(GetShortcutInfo(kDesktop + "a.lnk", kShortcutTarget), "C:\\Apps\\a.exe");
}

TEST(ShortcutInfo, AFreshProcessStateMakesANewReader) {
    TestMachine m;
    StartAgent();
    m.Machine().AddFault({"CoCreateInstance", "ShellLink", qm::platform::ERROR_ACCESS_DENIED, false, 1});
    EXPECT_FALSE(ShortcutReaderReady());
    // The next run of the process, or the next test, does not inherit the reader that failed.
    StartAgent();
    EXPECT_TRUE(ShortcutReaderReady());
}
