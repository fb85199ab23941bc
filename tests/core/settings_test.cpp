#include "core/settings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <utility>
#include <vector>

#include "core/process_state.h"
#include "core/profile_files.h"
#include "core/trace_log.h"
#include "platform/platform.h"
#include "support/agent_state.h"
#include "support/reg_text.h"
#include "support/test_machine.h"

using namespace qm;
using qm::test::kAgentFolder;
using qm::test::kAgentPath;
using qm::test::kAgentSettings;
using qm::test::RegText;
using qm::test::StartAgent;
using qm::test::TestMachine;

namespace {

using Files = std::vector<std::pair<std::string, std::string>>;

// The agent's service entry, and a registry holding it with the "ImagePath" text.
RegText ServiceKey() { return RegText().Key("HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\QmagentSrv"); }
RegText ServiceEntry(const std::string& imagePath) { return ServiceKey().Value("ImagePath", imagePath); }

void WriteAll(const TestMachine& m, const Files& files) {
    for (const auto& [path, bytes] : files) m.WriteFile(path, bytes);
}

bool IsDirectory(const TestMachine& m, const std::string& windowsPath) {
    return std::filesystem::is_directory(m.HostPath(windowsPath));
}

std::vector<std::string> HostEntries(const TestMachine& m, const std::string& windowsFolder) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(m.HostPath(windowsFolder)))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace

// ---------------------------------------------------------------------------------------------
// Where the settings file is found.

TEST(SettingsFile, IsFoundBesideTheAgentInTheServiceFolderOrWhereTheServiceIniSays) {
    struct Case {
        const char* name;
        RegText registry;  // the service entry; empty: none
        Files files;
        std::string image, serviceFolder, serverPath, found, settings;
    };
    const std::string kIniToShared = "[SERVER]\r\nPATH=C:\\Shared\r\n";
    const Case cases[] = {
        {"nothing anywhere: the agent folder is the server path",
         RegText(), {}, kAgentPath, kAgentFolder, kAgentFolder, kAgentSettings, kAgentSettings},
        {"beside the agent wins over the service folder",
         ServiceEntry(R"(C:\Svc\QMSrv.exe)"), {{kAgentSettings, "a"}, {"C:\\Svc\\QMAgent.lic", "s"}},
         "C:\\Svc\\QMSrv.exe", "C:\\Svc\\", "C:\\Svc\\", "C:\\Svc\\QMAgent.lic", kAgentSettings},
        {"the service folder wins over the service INI",
         ServiceEntry(R"(C:\Svc\QMSrv.exe)"), {{"C:\\Svc\\QMAgent.lic", "s"}, {"C:\\Svc\\QMSrv.ini", kIniToShared},
                                     {"C:\\Shared\\QMAgent.lic", "i"}},
         "C:\\Svc\\QMSrv.exe", "C:\\Svc\\", "C:\\Shared\\", "C:\\Svc\\QMAgent.lic", "C:\\Svc\\QMAgent.lic"},
        {"the service INI names the folder, given without a trailing backslash",
         ServiceEntry(R"(C:\Svc\QMSrv.exe)"), {{"C:\\Svc\\QMSrv.ini", kIniToShared}, {"C:\\Shared\\QMAgent.lic", "i"}},
         "C:\\Svc\\QMSrv.exe", "C:\\Svc\\", "C:\\Shared\\", "C:\\Shared\\QMAgent.lic", "C:\\Shared\\QMAgent.lic"},
        {"none anywhere: the server-path candidate, though missing",
         ServiceEntry(R"(C:\Svc\QMSrv.exe)"), {{"C:\\Svc\\QMSrv.ini", "[SERVER]\r\nPATH=D:\\Central\\\r\n"}},
         "C:\\Svc\\QMSrv.exe", "C:\\Svc\\", "D:\\Central\\", "D:\\Central\\QMAgent.lic", "D:\\Central\\QMAgent.lic"},
        {"a service INI without the key: the service folder",
         ServiceEntry(R"(C:\Svc\QMSrv.exe)"), {{"C:\\Svc\\QMSrv.ini", "[SERVER]\r\nHOST=x\r\n"}},
         "C:\\Svc\\QMSrv.exe", "C:\\Svc\\", "C:\\Svc\\", "C:\\Svc\\QMAgent.lic", "C:\\Svc\\QMAgent.lic"},
        {"an empty PATH: the agent folder",
         ServiceEntry(R"(C:\Svc\QMSrv.exe)"), {{"C:\\Svc\\QMSrv.ini", "[SERVER]\r\nPATH=\r\n"}},
         "C:\\Svc\\QMSrv.exe", "C:\\Svc\\", kAgentFolder, kAgentSettings, kAgentSettings},
        {"a quoted program with quoted arguments: the arguments are not part of the path",
         ServiceEntry(R"("C:\Svc Dir\QMSrv.exe" "/config" "C:\Other\x.ini")"),
         {{"C:\\Svc Dir\\QMAgent.lic", "s"}, {"C:\\Other\\QMAgent.lic", "o"}},
         "C:\\Svc Dir\\QMSrv.exe", "C:\\Svc Dir\\", "C:\\Svc Dir\\", "C:\\Svc Dir\\QMAgent.lic",
         "C:\\Svc Dir\\QMAgent.lic"},
        {"an unquoted program with a switch: the switch's slash is no folder",
         ServiceEntry(R"(C:\Svc\QMSrv.exe /service)"), {{"C:\\Svc\\QMSrv.ini", kIniToShared}},
         "C:\\Svc\\QMSrv.exe /service", "C:\\Svc\\", "C:\\Shared\\", "C:\\Shared\\QMAgent.lic",
         "C:\\Shared\\QMAgent.lic"},
        {"an unquoted program with a quoted argument: the argument's folder is not the service's",
         ServiceEntry(R"(C:\Svc\QMSrv.exe -cfg "C:\Cfg\x.ini")"), {{"C:\\Cfg\\QMAgent.lic", "c"}, {"C:\\Svc\\QMAgent.lic", "s"}},
         "C:\\Svc\\QMSrv.exe -cfg", "C:\\Svc\\", "C:\\Svc\\", "C:\\Svc\\QMAgent.lic", "C:\\Svc\\QMAgent.lic"},
        {"an ImagePath that is not text names no program",
         ServiceKey().Dword("ImagePath", 1), {{"C:\\Svc\\QMAgent.lic", "s"}},
         kAgentPath, kAgentFolder, kAgentFolder, kAgentSettings, kAgentSettings},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestMachine m("{}", c.registry.Text());
        WriteAll(m, c.files);
        StartAgent();
        EXPECT_EQ(core::GetServiceImagePath(), c.image);
        EXPECT_EQ(core::GetServiceFolder(), c.serviceFolder);
        EXPECT_EQ(core::GetServerPath(), c.serverPath);
        EXPECT_EQ(core::FindSettingsFile(), c.found);
        EXPECT_EQ(core::GetSettingsFileName(), c.settings);
    }
}

TEST(SettingsFile, TheSearchIsKeptForTheProcessButTheFileBesideTheAgentIsLookedForAtEachUse) {
    TestMachine m("{}", ServiceEntry(R"(C:\Svc\QMSrv.exe)").Text());
    m.WriteFile("C:\\Svc\\QMSrv.ini", "[SERVER]\r\nPATH=C:\\Shared\r\n");
    StartAgent();
    EXPECT_EQ(core::FindSettingsFile(), "C:\\Shared\\QMAgent.lic");

    // A file that would now win the search changes nothing within this process...
    m.WriteFile("C:\\Svc\\QMAgent.lic", "[IDENTIFICATION]\r\n");
    m.WriteFile("C:\\Svc\\QMSrv.ini", "[SERVER]\r\nPATH=C:\\Elsewhere\r\n");
    EXPECT_EQ(core::FindSettingsFile(), "C:\\Shared\\QMAgent.lic");
    EXPECT_EQ(core::GetSettingsFileName(), "C:\\Shared\\QMAgent.lic");

    // ...but one placed beside the agent is read by the next reader, and left again when gone.
    m.WriteFile(kAgentSettings, "[IDENTIFICATION]\r\n");
    EXPECT_EQ(core::GetSettingsFileName(), kAgentSettings);
    EXPECT_EQ(core::FindSettingsFile(), "C:\\Shared\\QMAgent.lic");
    std::filesystem::remove(m.HostPath(kAgentSettings));
    EXPECT_EQ(core::GetSettingsFileName(), "C:\\Shared\\QMAgent.lic");

    StartAgent();
    EXPECT_EQ(core::FindSettingsFile(), "C:\\Svc\\QMAgent.lic");
}

TEST(SettingsFile, AServiceIniFileThatCannotBeReadCountsAsMissingWithATraceLogLine) {
    TestMachine m(R"({"faults": [{"op": "CreateFile", "path": "C:\\Svc\\QMSrv.ini", "raise": true}]})",
                  ServiceEntry(R"(C:\Svc\QMSrv.exe)").Text());
    m.WriteFile("C:\\Svc\\QMSrv.ini", "[SERVER]\r\nPATH=C:\\Shared\r\n");
    m.WriteFile("C:\\Shared\\QMAgent.lic", "[IDENTIFICATION]\r\nCODE=S\r\n");
    qm::test::StartAgentWithLog();
    // As without the INI file: the service folder, whose settings file is missing.
    std::string settings;
    EXPECT_NO_THROW(settings = core::GetSettingsFileName());
    EXPECT_EQ(settings, "C:\\Svc\\QMAgent.lic");
    EXPECT_EQ(core::ReadProfileString(settings, "IDENTIFICATION", "CODE", "none"), "none");
    core::CloseLogFile();
    std::vector<std::string> lines = qm::test::LogTextsStartingWith(m.ReadFile(qm::test::kTraceLog), "Service INI file not read: ");
    EXPECT_EQ(lines.size(), 1u);
}

// ---------------------------------------------------------------------------------------------
// The work folder.

TEST(WorkFolder, IsTheFirstWritableOfTheWindowsFolderTheDriveRootAndTheTemporaryFolder) {
    struct Case {
        const char* name;
        const char* json;
        const char* work;
    };
    const Case cases[] = {
        {"the Windows folder takes the test file", "{}", "C:\\WINDOWS\\"},
        {"the Windows folder is missing", R"({"folders": {"windows": "C:\\WINNT"}})", "C:\\"},
        {"the Windows folder is not writable", R"({"faults": [{"op": "write", "path": "C:\\WINDOWS"}]})", "C:\\"},
        {"the test file cannot be completed", R"({"faults": [{"op": "WriteFile", "path": "C:\\WINDOWS"}]})", "C:\\"},
        {"the Windows folder is not known", R"({"faults": [{"op": "GetWindowsDirectory"}]})", "C:\\"},
        {"neither it nor the drive root is writable: the temporary folder, untested",
         R"({"faults": [{"op": "write", "path": "C:\\"}]})", "C:\\TEMP\\"},
        {"no Windows folder and no writable root",
         R"({"folders": {"temp": "C:\\Scratch"}, "faults": [{"op": "GetWindowsDirectory"}, {"op": "write", "path": "C:\\"}]})",
         "C:\\Scratch\\"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestMachine m(c.json);
        StartAgent();
        core::InitWorkFolder();
        EXPECT_EQ(core::State().workFolder, c.work);
        EXPECT_EQ(core::State().chkIdPath, std::string(c.work) + "Chk_ID");
        // The probe of a folder that took it is cleaned away.
        EXPECT_FALSE(m.Exists(std::string(c.work) + "TestAttr.txt"));
    }
}

TEST(WorkFolder, AFolderIsWritableOnlyWhenTheWholeTestFileGoesIn) {
    struct Case {
        const char* name;
        const char* json;
        bool writable;
        bool probeLeft;  // a file that was made but not completed stays
    };
    const Case cases[] = {
        {"writable", "{}", true, false},
        {"refused", R"({"faults": [{"op": "CreateFile", "path": "C:\\Data"}]})", false, false},
        {"the write fails", R"({"faults": [{"op": "WriteFile", "path": "C:\\Data"}]})", false, true},
        {"the flush fails", R"({"faults": [{"op": "FlushFileBuffers", "path": "C:\\Data"}]})", false, true},
        {"the system raises", R"({"faults": [{"op": "CreateFile", "path": "C:\\Data", "raise": true}]})", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestMachine m(c.json);
        m.MakeFolder("C:\\Data");
        StartAgent();
        EXPECT_EQ(core::IsFolderWritable("C:\\Data\\"), c.writable);
        EXPECT_EQ(m.Exists("C:\\Data\\TestAttr.txt"), c.probeLeft);
    }
    TestMachine m;
    m.WriteFile("C:\\Data\\TestAttr.txt", "an older probe");
    EXPECT_TRUE(core::IsFolderWritable("C:\\Data\\"));
    EXPECT_FALSE(m.Exists("C:\\Data\\TestAttr.txt"));
    EXPECT_FALSE(core::IsFolderWritable("C:\\Missing\\"));
}

// ---------------------------------------------------------------------------------------------
// ForceFolders.

TEST(ForceFolders, ADriveRootOrAnExistingFolderNeedsNothingMade) {
    // Any attempt to make a folder would raise here.
    TestMachine m(R"({"faults": [{"op": "CreateDirectory", "raise": true}]})");
    m.MakeFolder("C:\\Existing\\Sub");
    std::vector<std::string> before = HostEntries(m, "C:\\");
    for (const char* path : {"C:\\", "C:", "c:/", "\\\\server\\share\\", "\\\\server\\share", "C:\\Existing\\Sub\\",
                             "C:\\existing\\sub"}) {
        SCOPED_TRACE(path);
        EXPECT_TRUE(core::ForceFolders(path));
    }
    EXPECT_EQ(HostEntries(m, "C:\\"), before);
}

TEST(ForceFolders, MakesTheFolderWithItsMissingParents) {
    for (const char* path : {"C:\\Data\\Sub", "C:\\Data\\Sub\\", "C:\\Data\\Sub/", "c:\\DATA\\Sub"}) {
        SCOPED_TRACE(path);
        TestMachine m;
        m.MakeFolder("C:\\Data");
        EXPECT_TRUE(core::ForceFolders(path));
        EXPECT_EQ(HostEntries(m, "C:\\Data"), std::vector<std::string>{"Sub"});
    }
    TestMachine m;
    EXPECT_TRUE(core::ForceFolders("C:\\One\\Two\\Three\\Four\\"));
    EXPECT_TRUE(IsDirectory(m, "C:\\One\\Two\\Three\\Four"));
    EXPECT_TRUE(platform::DirectoryExists(platform::Files(), "C:\\One\\Two\\Three\\Four"));
}

TEST(ForceFolders, FailsWhereAFolderCannotBeMadeAndRaisesForNoPath) {
    TestMachine m(R"({"faults": [{"op": "write", "path": "C:\\Locked"}]})");
    m.MakeFolder("C:\\Locked");
    m.WriteFile("C:\\Plain.txt", "a file, not a folder");
    EXPECT_FALSE(core::ForceFolders("C:\\Locked\\New\\Deeper"));
    EXPECT_TRUE(HostEntries(m, "C:\\Locked").empty());
    EXPECT_FALSE(core::ForceFolders("C:\\Plain.txt\\Sub"));
    EXPECT_FALSE(core::ForceFolders("Q:\\NoSuchDrive\\Sub"));
    try {
        core::ForceFolders("");
        ADD_FAILURE() << "an empty path was accepted";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Cannot create directory");
    }
}

// ---------------------------------------------------------------------------------------------
// The folders beside the agent and the small helpers.

TEST(AgentFolders, ResultsAndTransAreMadeTheOthersOnlyNamed) {
    struct Case {
        const char* name;
        std::string (*folder)();
        bool made;
    };
    const Case cases[] = {
        {"Results", core::GetResultsFolder, true}, {"Trans", core::GetTransFolder, true},
        {"Usage", core::GetUsageFolder, false},    {"SNMP", core::GetSnmpFolder, false},
        {"Pda", core::GetPdaFolder, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestMachine m;
        m.MakeFolder(kAgentFolder);
        StartAgent();
        std::string expected = kAgentFolder + c.name + "\\";
        EXPECT_EQ(c.folder(), expected);
        EXPECT_EQ(m.Exists(expected), c.made);
        EXPECT_EQ(c.folder(), expected);  // a second call finds it in place
    }
    // A folder that cannot be made is still named; its users fail at their own files.
    TestMachine m(R"({"faults": [{"op": "write", "path": "C:\\Program Files"}]})");
    m.MakeFolder(kAgentFolder);
    StartAgent();
    EXPECT_EQ(core::GetResultsFolder(), kAgentFolder + "Results\\");
    EXPECT_FALSE(m.Exists(kAgentFolder + "Results"));
}

TEST(AgentFolders, SystemFoldersEndInABackslashAndAreEmptyWhenTheSystemFails) {
    {
        TestMachine m(R"({"folders": {"windows": "C:\\WINDOWS", "system": "C:\\WINDOWS\\system32\\", "temp": "C:\\TEMP"}})");
        EXPECT_EQ(core::GetWindowsFolder(), "C:\\WINDOWS\\");
        EXPECT_EQ(core::GetSystemFolder(), "C:\\WINDOWS\\system32\\");
        EXPECT_EQ(core::GetTempFolder(), "C:\\TEMP\\");
    }
    {
        TestMachine m(R"({"faults": [{"op": "GetWindowsDirectory"}, {"op": "GetSystemDirectory"}, {"op": "GetTempPath"}]})");
        EXPECT_EQ(core::GetWindowsFolder(), "");
        EXPECT_EQ(core::GetSystemFolder(), "");
        EXPECT_EQ(core::GetTempFolder(), "");
    }
    // The answer must fit a buffer of MAX_PATH characters with its terminating zero.
    for (std::size_t length : {259u, 260u}) {
        SCOPED_TRACE(length);
        std::string folder = "C:\\" + std::string(length - 3, 'w');
        TestMachine m(R"({"folders": {"windows": ")" + std::string("C:\\\\") + std::string(length - 3, 'w') + "\"}}");
        EXPECT_EQ(core::GetWindowsFolder(), length < 260 ? folder + "\\" : "");
    }
}

TEST(AgentFolders, FileSizeIsTheLow32BitsOfTheFirstMatch) {
    TestMachine m;
    m.WriteFile("C:\\Data\\a.txt", "12345");
    m.WriteFile("C:\\Data\\b.txt", "1234567890");
    m.MakeFolder("C:\\Data\\Sub");
    // Sparse host files stand for files beyond 4 GB.
    m.WriteFile("C:\\Data\\just4g.bin", "");
    std::filesystem::resize_file(m.HostPath("C:\\Data\\just4g.bin"), 0xFFFFFFFFull);
    m.WriteFile("C:\\Data\\over4g.bin", "");
    std::filesystem::resize_file(m.HostPath("C:\\Data\\over4g.bin"), 0x100000005ull);
    const std::pair<const char*, std::int32_t> cases[] = {
        {"C:\\Data\\a.txt", 5},      {"c:\\data\\B.TXT", 10},       {"C:\\Data\\?.txt", 5},
        {"C:\\Data\\missing", 0},    {"C:\\Nowhere\\a.txt", 0},     {"C:\\Data\\Sub", 0},
        {"C:\\Data\\just4g.bin", -1}, {"C:\\Data\\over4g.bin", 5},
    };
    for (const auto& [path, size] : cases) {
        SCOPED_TRACE(path);
        EXPECT_EQ(core::GetFileSizeByName(path), size);
    }
}

TEST(AgentFolders, RemoveDoubleBackslashCollapsesEveryRun) {
    const std::pair<const char*, const char*> cases[] = {
        {"\\\\server\\share\\file.txt", "\\server\\share\\file.txt"},
        {"C:\\\\Program Files\\\\\\Quarmelin\\\\", "C:\\Program Files\\Quarmelin\\"},
        {"C:\\Program Files\\Quarmelin\\", "C:\\Program Files\\Quarmelin\\"},
        {"\\\\\\\\", "\\"},
        {"C://a//b", "C://a//b"},
        {"", ""},
    };
    for (const auto& [path, cleaned] : cases) {
        SCOPED_TRACE(path);
        EXPECT_EQ(core::RemoveDoubleBackslash(path), cleaned);
    }
}

// ---------------------------------------------------------------------------------------------
// The control-panel applet in the system folder.

namespace {

const std::string kSourceApplet = kAgentFolder + "qmagentInfo.cpl";
const std::string kSourceIcon = kAgentFolder + "qmagentInfo.ico";
const std::string kTargetApplet = "C:\\WINDOWS\\system32\\qmagentInfo.cpl";
const std::string kTargetIcon = "C:\\WINDOWS\\system32\\qmagentInfo.ico";
// 2001-09-09 01:46:40 UTC: an even second, at the start of a two-second slot.
constexpr time_t kSlot = 1'000'000'000;

class Applet : public ::testing::Test {
protected:
    void SetUp() override {
        m_.MakeFolder(kAgentFolder);
        qm::test::StartAgentWithLog();
    }

    void Settings(const std::string& systemSection, const std::string& product = "") {
        std::string text = "[SYSTEM]\r\n" + systemSection;
        if (!product.empty()) text += "[QMAGENTINFO]\r\nPRODUCT NAME=" + product + "\r\n";
        m_.WriteFile(kAgentSettings, text);
    }

    void File(const std::string& path, const std::string& bytes, time_t mtime) {
        m_.WriteFile(path, bytes);
        m_.SetHostModified(path, mtime);
    }

    std::string Log() const { return m_.ReadFile(qm::test::kTraceLog); }

    TestMachine m_;
};

}  // namespace

TEST_F(Applet, IsCopiedWhenItsTimeDiffersAtTheResolutionOfDosTimes) {
    struct Case {
        const char* name;
        time_t targetTime;
        bool copied;
    };
    const Case cases[] = {
        {"the same time", kSlot, false},
        {"a second later, in the same two-second slot", kSlot + 1, false},
        {"the next slot", kSlot + 2, true},
        {"a second earlier, in the slot before", kSlot - 1, true},
        {"a day older", kSlot - 86400, true},
    };
    Settings("ADD CONFIG PANEL=1\r\n");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        File(kSourceApplet, "new applet", kSlot);
        File(kTargetApplet, "old applet", c.targetTime);
        File(kSourceIcon, "new icon", kSlot);
        File(kTargetIcon, "old icon", c.targetTime);
        core::UpdateControlPanelApplet();
        EXPECT_EQ(m_.ReadFile(kTargetApplet), c.copied ? "new applet" : "old applet");
        EXPECT_EQ(m_.ReadFile(kTargetIcon), c.copied ? "new icon" : "old icon");
    }
    EXPECT_FALSE(Contains(Log(), "error"));
}

TEST_F(Applet, AFailedCopyIsLoggedWithBothPathsAndTheErrorNumber) {
    Settings("ADD CONFIG PANEL=1\r\n");
    // Missing beside the agent, present in the system folder.
    File(kTargetApplet, "installed applet", kSlot);
    // Present beside the agent, the target read-only.
    File(kSourceIcon, "new icon", kSlot);
    File(kTargetIcon, "old icon", kSlot - 10);
    ASSERT_TRUE(platform::Files().SetFileAttributes(kTargetIcon, platform::FILE_ATTRIBUTE_READONLY));
    core::UpdateControlPanelApplet();
    std::string log = Log();
    EXPECT_TRUE(Contains(log, "|error copy:" + kSourceApplet + "," + kTargetApplet + ",2\r\n")) << log;
    EXPECT_TRUE(Contains(log, "|error copy:" + kSourceIcon + "," + kTargetIcon + ",5\r\n")) << log;
    EXPECT_EQ(m_.ReadFile(kTargetApplet), "installed applet");
    EXPECT_EQ(m_.ReadFile(kTargetIcon), "old icon");
}

TEST_F(Applet, MissingOnBothSidesIsNeitherCopiedNorLogged) {
    Settings("ADD CONFIG PANEL=1\r\n");
    core::UpdateControlPanelApplet();
    EXPECT_FALSE(m_.Exists(kTargetApplet));
    EXPECT_FALSE(m_.Exists(kTargetIcon));
    EXPECT_FALSE(Contains(Log(), "error copy:")) << Log();
    // A new applet appears beside the agent: only it is copied.
    File(kSourceApplet, "applet", kSlot);
    core::UpdateControlPanelApplet();
    EXPECT_EQ(m_.ReadFile(kTargetApplet), "applet");
    EXPECT_FALSE(m_.Exists(kTargetIcon));
    EXPECT_FALSE(Contains(Log(), "error copy:")) << Log();
}

TEST_F(Applet, TheSwitchesAreTakenOnlyWhenExactlyOne) {
    struct Case {
        const char* name;
        std::string section;
        bool copied, deleted;
        std::string chkIdProduct;  // empty: Chk_ID not written
    };
    const Case cases[] = {
        {"no keys", "", false, false, ""},
        {"add", "ADD CONFIG PANEL=1\r\n", true, false, core::kDefaultProductName},
        {"add, not exactly 1", "ADD CONFIG PANEL=01\r\nDEL CONFIG PANEL=yes\r\n", false, false, ""},
        {"delete", "DEL CONFIG PANEL=1\r\n", false, true, ""},
        {"add and delete: copied, then deleted", "ADD CONFIG PANEL=1\r\nDEL CONFIG PANEL=1\r\n", true, true,
         core::kDefaultProductName},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Settings(c.section);
        std::filesystem::remove(m_.HostPath(core::State().chkIdPath));
        File(kSourceApplet, "new applet", kSlot);
        File(kTargetApplet, "old applet", kSlot - 60);
        File(kSourceIcon, "new icon", kSlot);
        File(kTargetIcon, "old icon", kSlot - 60);
        core::UpdateControlPanelApplet();
        if (c.deleted) {
            EXPECT_FALSE(m_.Exists(kTargetApplet));
            EXPECT_FALSE(m_.Exists(kTargetIcon));
        } else {
            EXPECT_EQ(m_.ReadFile(kTargetApplet), c.copied ? "new applet" : "old applet");
            EXPECT_EQ(m_.ReadFile(kTargetIcon), c.copied ? "new icon" : "old icon");
        }
        EXPECT_TRUE(m_.Exists(kSourceApplet));
        if (c.chkIdProduct.empty()) {
            EXPECT_FALSE(m_.Exists(core::State().chkIdPath));
        } else {
            EXPECT_EQ(platform::Profile().GetPrivateProfileString("QMAGENTINFO", "PRODUCT NAME", "", core::State().chkIdPath),
                      c.chkIdProduct);
        }
    }
}

TEST_F(Applet, TheProductNameOfTheSettingsFileGoesToTheIdentificationFile) {
    Settings("ADD CONFIG PANEL=1\r\n", "Quarmelin Asset Scan 7");
    core::UpdateControlPanelApplet();
    EXPECT_EQ(core::State().chkIdPath, "C:\\WINDOWS\\Chk_ID");
    EXPECT_EQ(platform::Profile().GetPrivateProfileString("QMAGENTINFO", "PRODUCT NAME", "", core::State().chkIdPath),
              "Quarmelin Asset Scan 7");
}

TEST_F(Applet, AnErrorEndsTheStepAndIsLogged) {
    Settings("ADD CONFIG PANEL=1\r\nDEL CONFIG PANEL=1\r\n");
    File(kSourceApplet, "new applet", kSlot);
    File(kTargetApplet, "old applet", kSlot - 60);
    m_.Machine().AddFault({"WritePrivateProfileString", core::State().chkIdPath, platform::ERROR_ACCESS_DENIED, false, -1});
    core::UpdateControlPanelApplet();
    EXPECT_EQ(m_.ReadFile(kTargetApplet), "old applet");
    EXPECT_TRUE(Contains(Log(), "|Unable to write to C:\\WINDOWS\\Chk_ID (error 5)\r\n")) << Log();
}
