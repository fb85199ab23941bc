#include <gtest/gtest.h>

#include "collectors/system_configuration.h"
#include "core/trace_log.h"
#include "platform/platform.h"
#include "support/agent_state.h"
#include "support/pe_writer.h"
#include "support/reg_text.h"
#include "support/test_machine.h"

using namespace qm::collectors;
using namespace qm::test;
using Records = std::vector<std::string>;

namespace {

const std::string kOffice = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Office\\";
const std::string kServices = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\";
const std::string kHotFix = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\HotFix\\";
const char* const kNine = R"({"version": {"platform_id": 1, "major": 4, "minor": 10}})";

}  // namespace

TEST(ExtractServiceExe, TheProgramOfACommand) {
    const std::pair<const char*, const char*> cases[] = {
        {"\"C:\\PROGRAM FILES\\AGENT\\SRV.EXE\" -SERVICE", "C:\\PROGRAM FILES\\AGENT\\SRV.EXE"},
        {"\"C:\\NO END", ""},
        {"\"\"", ""},
        {"C:\\WINDOWS\\SYSTEM32\\SVCHOST.EXE -K NETSVCS", "C:\\WINDOWS\\SYSTEM32\\SVCHOST.EXE"},
        {"SYSTEM32\\DRIVERS\\CDROM.SYS", "SYSTEM32\\DRIVERS\\CDROM.SYS"},
        {"C:\\TOOLS\\RUN.COM /Q", "C:\\TOOLS\\RUN.COM"},
        {"RUNDLL32 C:\\X.DLL,ENTRY", "RUNDLL32 C:\\X.DLL"},
        // ".EXE" is looked for first, wherever it stands.
        {"C:\\A.DLL C:\\B.EXE", "C:\\A.DLL C:\\B.EXE"},
        {"C:\\A.SYS C:\\B.COM", "C:\\A.SYS C:\\B.COM"},
        {"C:\\TOOLS\\SCRIPT.BAT, FAST", "C:\\TOOLS\\SCRIPT.BAT, FAST"},
        {"", ""},
        // Lower case is not the callers' form: nothing matches.
        {"c:\\tools\\a.exe -x", "c:\\tools\\a.exe -x"},
    };
    for (const auto& [command, program] : cases) EXPECT_EQ(ExtractServiceExe(command), program) << command;
}

TEST(Services, TheAutomaticServicesOfTheNtFamily) {
    const std::string registry = RegText()
                                     .Key(kServices + "Agent")
                                     .Value("DisplayName", "Inventory agent")
                                     .Value("ImagePath", "\"C:\\Program Files\\Agent\\srv.exe\" -service")
                                     .Dword("Start", 2)
                                     .Key(kServices + "Cdrom")
                                     .Value("DisplayName", "CD-ROM Driver")
                                     .ExpandString("ImagePath", "system32\\drivers\\cdrom.sys")
                                     .Value("Start", "2")
                                     .Key(kServices + "Broken")
                                     .Value("DisplayName", "Broken service")
                                     .Value("ImagePath", "C:\\b.exe")
                                     .Key(kServices + "Manual")
                                     .Value("DisplayName", "Manual one")
                                     .Value("ImagePath", "C:\\m.exe")
                                     .Dword("Start", 3)
                                     .Key(kServices + "NoName")
                                     .Value("ImagePath", "C:\\n.exe")
                                     .Value("Start", "x")
                                     .Key(kServices + "Svc")
                                     .Value("DisplayName", "Host, Services")
                                     .ExpandString("ImagePath", "%SystemRoot%\\system32\\svchost.exe -k netsvcs")
                                     .Dword("Start", 2)
                                     .Text();
    TestMachine m("{}", registry);
    StartAgentWithLog();
    EXPECT_EQ(CollectRecords(ServiceNTInfo),
              (Records{RecordLine("Services", "INVENTORY AGENT", "C:\\PROGRAM FILES\\AGENT\\SRV.EXE"),
                       RecordLine("Services", "CD-ROM DRIVER", "SYSTEM32\\DRIVERS\\CDROM.SYS"),
                       RecordLine("Services", "HOST  SERVICES", "%SYSTEMROOT%\\SYSTEM32\\SVCHOST.EXE")}));
    qm::core::CloseLogFile();
    EXPECT_NE(m.ReadFile(kTraceLog).find("|Service Broken: '' is not a valid start type\r\n"), std::string::npos);

    TestMachine nine(kNine, registry);
    StartAgent();
    EXPECT_TRUE(CollectRecords(ServiceNTInfo).empty());
}

TEST(Office, OneProductIdPerVersionOrTheFirstProductIdKeyAlone) {
    TestMachine two("{}", RegText()
                              .Key(kOffice + "10.0\\Registration\\{90110409}")
                              .Value("ProductID", "54186-640-0000016-17420")
                              .Key(kOffice + "10.0\\Registration\\{90280409}")
                              .Value("ProductID", "second group")
                              .Key(kOffice + "11.0\\Registration\\{90170409}")
                              .Dword("ProductID", 12)
                              .Key(kOffice + "12.0\\Common")
                              .Text());
    StartAgent();
    EXPECT_EQ(CollectRecords(OfficeProductIdInfo),
              (Records{RecordLine("Office", "ProductId", "54186-640-0000016-17420"), RecordLine("Office", "ProductId", "12")}));

    TestMachine key("{}", RegText()
                              .Key(kOffice + "8.0\\Registration\\ProductID")
                              .Value("", "51000-270")
                              .Key(kOffice + "8.0\\Registration\\{G}")
                              .Value("ProductID", "not this")
                              .Key(kOffice + "9.0\\Registration\\{G}")
                              .Value("ProductID", "nor this")
                              .Text());
    StartAgent();
    EXPECT_EQ(CollectRecords(OfficeProductIdInfo), (Records{RecordLine("Office", "ProductId", "51000-270")}));
}

TEST(Run, TheStartUpProgramsOfBothHives) {
    const std::string run = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";
    TestMachine m("{}", RegText()
                            .Key("HKEY_LOCAL_MACHINE" + run)
                            .Value("Tray", "\"C:\\Program Files\\Tray\\tray.exe\" /min")
                            .Value("Batch", "c:\\tools\\start.bat fast, quiet")
                            .Key("HKEY_CURRENT_USER" + run)
                            .Dword("Odd", 5)
                            .Text());
    m.WriteFile("C:\\Program Files\\Tray\\tray.exe",
                BuildPeFile(StringVersion({{"CompanyName", "Tray Works"}, {"ProductName", "Tray Tool"}})));
    StartAgent();
    EXPECT_EQ(CollectRecords(RunInfo),
              (Records{RecordLine("Run", "C:\\PROGRAM FILES\\TRAY\\TRAY.EXE", "[Tray Works] Tray Tool"),
                       RecordLine("Run", "C:\\TOOLS\\START.BAT FAST  QUIET", "[]"), RecordLine("Run", "5", "[]")}));
}

TEST(Boot, TheBootMenuOfBootIni) {
    struct Case {
        const char* name;
        const char* file;  // none when null
        Records records;
    };
    const Case cases[] = {
        {"two entries, one repeated, one empty; a value quoted whole loses its quotes",
         "[boot loader]\r\ntimeout=30\r\ndefault=multi(0)disk(0)rdisk(0)partition(1)\\WINDOWS\r\n"
         "[operating systems]\r\nmulti(0)disk(0)rdisk(0)partition(1)\\WINDOWS=\"Windows XP Professional\" /fastdetect\r\n"
         "MULTI(0)DISK(0)RDISK(0)PARTITION(1)\\WINDOWS=\"a repeat\"\r\nC:\\=\"Previous, older system\"\r\nC:\\CMDCONS\\BOOTSECT.DAT=\r\n",
         {RecordLine("Boot", "Timeout", "30"), RecordLine("Boot", "Default", "multi(0)disk(0)rdisk(0)partition(1)\\WINDOWS"),
          RecordLine("Boot", "os1", "multi(0)disk(0)rdisk(0)partition(1)\\WINDOWS= Windows XP Professional  /fastdetect"),
          RecordLine("Boot", "os2", "C:\\=Previous  older system")}},
        {"no default, no menu", "[boot loader]\r\ntimeout=0\r\n", {RecordLine("Boot", "Timeout", "0"), RecordLine("Boot", "Default", "")}},
        {"a time-out that is no number", "[boot loader]\r\ntimeout=abc\r\ndefault=x\r\n[operating systems]\r\nx=y\r\n", {}},
        {"a time-out with trailing letters", "[boot loader]\r\ntimeout=30s\r\n", {}},
        {"no time-out", "[boot loader]\r\ndefault=x\r\n", {}},
        {"a time-out of -1", "[boot loader]\r\ntimeout=-1\r\n", {}},
        {"no file", nullptr, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestMachine m;
        if (c.file != nullptr) m.WriteFile("C:\\boot.ini", c.file);
        StartAgent();
        EXPECT_EQ(CollectRecords(BootIniInfo), c.records);
    }
}

TEST(Boot, ALongMenuIsReadInOnePass) {
    // Reads of single keys after the time-out and the default entry would fail: the menu comes
    // from one read of its section, so its length costs no read of the file per entry.
    TestMachine m(R"({"faults": [{"op": "GetPrivateProfileString", "path": "C:\\boot.ini", "error": 5, "after": 2}]})");
    std::string file = "[boot loader]\r\ntimeout=5\r\ndefault=d\r\n[operating systems]\r\n";
    Records records{RecordLine("Boot", "Timeout", "5"), RecordLine("Boot", "Default", "d")};
    for (int i = 1; i <= 500; ++i) {
        file += "multi(0)disk(0)rdisk(0)partition(" + std::to_string(i) + ")\\WINDOWS=\"System " + std::to_string(i) + "\"\r\n";
        records.push_back(RecordLine("Boot", "os" + std::to_string(i),
                                     "multi(0)disk(0)rdisk(0)partition(" + std::to_string(i) + ")\\WINDOWS=System " + std::to_string(i)));
    }
    m.WriteFile("C:\\boot.ini", file);
    StartAgent();
    EXPECT_EQ(CollectRecords(BootIniInfo), records);
}

TEST(SmtpSettings, TheHostUserAndPortWhenAHostIsSet) {
    TestMachine m;
    m.WriteFile(kAgentSettings, "[SMTP Connection]\r\nHOST=mail.example.com\r\nUSERID=jdoe\r\nPASSWORD=secret\r\n");
    StartAgent();
    EXPECT_EQ(CollectRecords(SmtpSettingsInfo),
              (Records{RecordLine("SMTP Connection", "HOST", "mail.example.com"), RecordLine("SMTP Connection", "USERID", "jdoe"),
                       RecordLine("SMTP Connection", "PORT", "")}));
    m.WriteFile(kAgentSettings, "[SMTP Connection]\r\nHOST=\r\nUSERID=jdoe\r\n");
    StartAgent();
    EXPECT_TRUE(CollectRecords(SmtpSettingsInfo).empty());
}

TEST(HotFix, TheInstalledHotfixesWhateverTheTypeOfTheirValues) {
    TestMachine m("{}", RegText()
                            .Key(kHotFix + "KB834707")
                            .Value("Fix Description", "Cumulative Security Update, October")
                            .Value("Installed", "1")
                            .Key(kHotFix + "KB867282")
                            .Dword("Installed", 1)
                            .Dword("Fix Description", 42)
                            .Key(kHotFix + "KB873333")
                            .Dword("Installed", 0)
                            .Value("Fix Description", "not installed")
                            .Key(kHotFix + "Q147222")
                            .Value("Comments", "no values")
                            .Key(kHotFix + "KB885835")
                            .Value("Installed", "1")
                            .Text());
    StartAgent();
    EXPECT_EQ(CollectRecords(HotFixInfo),
              (Records{RecordLine("HotFix", "KB834707", "Cumulative Security Update  October"), RecordLine("HotFix", "KB867282", "42"),
                       RecordLine("HotFix", "KB885835", "")}));
}
