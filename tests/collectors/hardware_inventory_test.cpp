#include <gtest/gtest.h>

#include <algorithm>

#include "collectors/hardware_inventory.h"
#include "core/identification.h"
#include "core/process_state.h"
#include "core/result_list.h"
#include "core/settings.h"
#include "core/trace_log.h"
#include "core/profile_files.h"
#include "platform/text.h"
#include "support/agent_state.h"
#include "support/reg_text.h"
#include "support/test_machine.h"

using namespace qm::collectors;
using namespace qm::core;
using qm::test::StartWithResultNames;
using qm::test::TestMachine;

namespace {

const char* const kMachine = R"({"processor": {"frequencies_mhz": [2800]}, "physical_disks": [{"cylinders": 4865}],
                                  "printers": [{"name": "LaserPrint 4100", "port": "LPT1:"}]})";
const std::string kBios = qm::test::RegText().Key("HKEY_LOCAL_MACHINE\\HARDWARE\\DESCRIPTION\\System").Value("Identifier", "AT").Text();

// Section and key of each record after the header line, in file order.
std::vector<std::string> Records(const std::string& text) {
    std::vector<std::string> out;
    std::vector<std::string> lines = qm::platform::SplitLines(text);
    for (std::size_t i = 1; i < lines.size(); ++i) {
        std::size_t second = lines[i].find("\",\"");
        std::size_t third = second == std::string::npos ? second : lines[i].find("\",\"", second + 3);
        out.push_back(third == std::string::npos ? lines[i] : lines[i].substr(0, third + 1));
    }
    return out;
}

std::vector<std::string> Sections(const std::string& text) {
    std::vector<std::string> out;
    for (const std::string& line : qm::platform::SplitLines(text)) {
        std::string section = line.substr(0, line.find("\",\"") + 1);
        if (out.empty() || out.back() != section) out.push_back(section);
    }
    return out;
}

}  // namespace

TEST(HardwareInventory, WritesTheHeaderBlockThenTheSectionsInTheirOrder) {
    TestMachine m(kMachine, kBios);
    m.WriteFile(qm::test::kAgentSettings, "[IDENTIFICATION]\r\nCODE=ACME\r\nSITE=Paris, 3rd\r\n");
    StartWithResultNames({"/HMAIL"});
    State().flags.hmail = State().flags.s = true;
    WriteProfileString(State().chkIdPath, "Identification", "AssetTag#", "TAG-7");
    HardwareInventory();
    std::string text = m.ReadFile("C:\\WINDOWS\\QM-TEST-01.hrz");
    std::vector<std::string> records = Records(text);
    ASSERT_GE(records.size(), 12u);
    EXPECT_EQ(text.rfind("\"F1\",\"F2\",\"F3\",\"F4\",\"F5\",\"F6\",\"F7\",\"F8\",\"F9\",\"F10\",\"F11\"\r\n", 0), 0u);
    const std::vector<std::string> header = {
        "\"Inventory\",\"QMAgent version\"", "\"Inventory\",\"QMAgent lang\"", "\"Inventory\",\"Date\"",
        "\"Inventory\",\"Path\"",            "\"Identification\",\"Asset#\"",  "\"Identification\",\"ComputerName\"",
        "\"Identification\",\"GUID\"",       "\"Identification\",\"AssetTag#\"", "\"Identification\",\"Client code\"",
        "\"Identification\",\"Site\"",       "\"Start Option\",\"opt_S\"",     "\"Start Option\",\"opt_HMAIL\""};
    EXPECT_EQ(std::vector<std::string>(records.begin(), records.begin() + 12), header);
    EXPECT_NE(text.find("\"Inventory\",\"QMAgent version\",\"2.02.06\"\r\n"), std::string::npos);
    EXPECT_NE(text.find("\"Inventory\",\"Date\",\"12/09/2026 07:03\"\r\n"), std::string::npos);
    EXPECT_NE(text.find("\"Identification\",\"Asset#\",\"0F8FAD5BD9CB469FA16570867728950E\"\r\n"), std::string::npos);
    EXPECT_NE(text.find("\"Identification\",\"AssetTag#\",\"TAG-7\"\r\n"), std::string::npos);
    EXPECT_NE(text.find("\"Identification\",\"Site\",\"Paris  3rd\"\r\n"), std::string::npos);
    EXPECT_EQ(Sections(text), (std::vector<std::string>{"\"F1\"", "\"Inventory\"", "\"Identification\"", "\"Start Option\"",
                                                        "\"Bios\"", "\"Memory\"", "\"Disk sizes\"", "\"Disks\"", "\"Printers\"",
                                                        "\"Video\"", "\"MONITOR\"", "\"Windows\"", "\"Internet\"",
                                                        "\"Instant Messenger\"", "\"CPU\""}));
    EXPECT_EQ(text.find("opt_MAIL"), std::string::npos);
    EXPECT_FALSE(State().resultList.has_value());  // closed
}

TEST(HardwareInventory, TheNetworkSectionsFollowTheDisksBehindTheirMarkers) {
    TestMachine m(R"({"physical_disks": [{"cylinders": 4865}], "printers": [{"name": "LaserPrint 4100", "port": "LPT1:"}],
                      "network": {"addresses": ["10.0.0.23"], "lanas": [{"lana": 0, "mac": "00-0D-56-A1-7C-3E"}]}})",
                  qm::test::RegText()
                      .Key("HKEY_LOCAL_MACHINE\\HARDWARE\\DESCRIPTION\\System")
                      .Value("Identifier", "AT")
                      .Key("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\NetworkCards\\1")
                      .Value("Description", "Fast Ethernet")
                      .Value("ServiceName", "E100B")
                      .Key("HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\E100B\\Parameters\\Tcpip")
                      .Dword("EnableDHCP", 1)
                      .Text());
    StartWithResultNames({}, true);
    HardwareInventory();
    std::vector<std::string> sections = Sections(m.ReadFile("C:\\WINDOWS\\QM-TEST-01.hrz"));
    auto disks = std::find(sections.begin(), sections.end(), "\"Disks\"");
    ASSERT_NE(disks, sections.end());
    EXPECT_EQ(std::vector<std::string>(disks, disks + 6),
              (std::vector<std::string>{"\"Disks\"", "\"IP address\"", "\"Network adapter\"", "\"IPConfig\"", "\"MAC address\"",
                                        "\"Printers\""}));
    std::vector<std::string> markers;
    for (const std::string& text : qm::test::LogTexts(m.ReadFile(qm::test::kTraceLog)))
        if (text.size() > 4 && text.compare(text.size() - 4, 4, "Info") == 0) markers.push_back(text);
    // The network's markers come right after the disks'; the configuration's follow later.
    markers.resize(std::min<std::size_t>(markers.size(), 9));
    EXPECT_EQ(markers, (std::vector<std::string>{"BiosInfo", "MemoryInfo", "DiskInfo", "IPInfo", "NetworkInfo", "PrintersInfo",
                                                 "VideoInfo", "ArboSystemInfo", "WindowsInfo"}));
}

TEST(HardwareInventory, TheConfigurationSectionsFollowWindowsAndTheBrowsersRecordsStandTwice) {
    TestMachine m(kMachine, qm::test::RegText()
                                .Key("HKEY_LOCAL_MACHINE\\HARDWARE\\DESCRIPTION\\System")
                                .Value("Identifier", "AT")
                                .Key("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Ledger")
                                .Value("DisplayName", "Ledger Pro")
                                .Key("HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Explorer\\Main")
                                .Value("Start Page", "http://intranet/")
                                .Key("HKEY_LOCAL_MACHINE\\Software\\Lotus\\Notes")
                                .Key("HKEY_LOCAL_MACHINE\\Software\\Panda Software\\Setup")
                                .Value("Client", "7.04")
                                .Key("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon")
                                .Value("AutoAdminLogon", "1")
                                .Key("HKEY_CURRENT_USER\\Control Panel\\Desktop")
                                .Value("ScreenSaveActive", "0")
                                .Key("HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Run")
                                .Value("Tray", "C:\\tray.exe")
                                .Key("HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Agent")
                                .Value("DisplayName", "Agent")
                                .Value("ImagePath", "C:\\agent.exe")
                                .Dword("Start", 2)
                                .Key("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Office\\11.0\\Registration\\ProductID")
                                .Value("", "70141-640")
                                .Key("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\HotFix\\KB834707")
                                .Value("Installed", "1")
                                .Text());
    m.WriteFile("C:\\boot.ini", "[boot loader]\r\ntimeout=30\r\n");
    m.WriteFile(qm::test::kAgentSettings, "[SMTP Connection]\r\nHOST=mail.example.com\r\n");
    StartWithResultNames({}, true);
    HardwareInventory();
    std::vector<std::string> sections = Sections(m.ReadFile("C:\\WINDOWS\\QM-TEST-01.hrz"));
    auto windows = std::find(sections.begin(), sections.end(), "\"Windows\"");
    ASSERT_NE(windows, sections.end());
    EXPECT_EQ(std::vector<std::string>(windows, sections.end()),
              (std::vector<std::string>{"\"Windows\"", "\"Installed soft\"", "\"Internet\"", "\"InternetExplorer\"",
                                        "\"Instant Messenger\"", "\"LotusNotes\"", "\"Antivirus\"", "\"AutoLogon\"",
                                        "\"Screen Saver\"", "\"Run\"", "\"Services\"", "\"Office\"", "\"Boot\"",
                                        "\"SMTP Connection\"", "\"HotFix\"", "\"InternetExplorer\"", "\"CPU\""}));
    const std::vector<std::string> expected = {"WindowsInfo", "SoftwaresFromRegistryInfo", "InternetInfo", "Enter getIEExtention",
                                               "InstantMessengerInfo", "LotusNotesInfo", "AntiVirusInfo", "AutoLogonInfo",
                                               "RunInfo", "ServiceNTInfo", "OfficeLicenceInfo", "Enter getIEExtention"};
    std::vector<std::string> markers;
    for (const std::string& text : qm::test::LogTexts(m.ReadFile(qm::test::kTraceLog)))
        if (std::find(expected.begin(), expected.end(), text) != expected.end()) markers.push_back(text);
    // The browser's extensions are looked for behind the Internet marker and once more near the end, without one.
    EXPECT_EQ(markers, expected);
}

TEST(HardwareInventory, TheUsbSectionsStandLastBeforeTheProcessorAndTheirFailuresCostItNothing) {
    const std::string usb = R"({"processor": {"frequencies_mhz": [2800]},
        "usb": {"controllers": [{"number": 0, "root_hub": {"name": "R", "devices": [{"port": 1, "driver_key": "K"}]}}]}})";
    const std::string registry =
        qm::test::RegText()
            .Key("HKEY_LOCAL_MACHINE\\HARDWARE\\DESCRIPTION\\System")
            .Value("Identifier", "AT")
            .Key("HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\USB\\Vid_0000&Pid_0000\\1")
            .Value("Driver", "K")
            .Binary("DeviceDesc", qm::test::RegText::Bytes("55,53,42,00,0d,0a,44,65,76"))
            .Text();
    for (bool raises : {false, true}) {
        SCOPED_TRACE(raises ? "the root hub raises" : "a binary description");
        TestMachine m(usb, registry);
        if (raises) m.Machine().AddFault({"DeviceIoControl", "\\\\.\\R", 0, true, -1});
        StartWithResultNames({}, true);
        HardwareInventory();
        std::string text = m.ReadFile("C:\\WINDOWS\\QM-TEST-01.hrz");
        std::vector<std::string> sections = Sections(text);
        // The last collectors' sections, before the processor.
        std::vector<std::string> tail = {"\"HCD\"", "\"USB\"", "\"CPU\""};
        if (raises) tail.erase(tail.begin() + 1);  // the root hub's name, then the failure
        ASSERT_GE(sections.size(), tail.size());
        EXPECT_EQ(std::vector<std::string>(sections.end() - static_cast<std::ptrdiff_t>(tail.size()), sections.end()), tail);
        EXPECT_NE(text.find("\"CPU\",\"Frequency\""), std::string::npos);
        EXPECT_EQ(text.find("\"USB\",\"USB_0\",\"DeviceDesc\",USB  Dev\r\n") != std::string::npos, !raises);
        EXPECT_EQ(m.ReadFile(qm::test::kTraceLog).find("|DeviceIoControl failed on purpose: \\\\.\\R\r\n") != std::string::npos, raises);
    }
}

TEST(HardwareInventory, NoOptionInForceGivesNoStartOptionSection) {
    TestMachine m(kMachine);
    StartWithResultNames({});
    HardwareInventory();
    EXPECT_EQ(m.ReadFile("C:\\WINDOWS\\QM-TEST-01.hrz").find("Start Option"), std::string::npos);
}

TEST(HardwareInventory, ADeferredAssetTagPutsTheHeaderBlockAtTheEnd) {
    TestMachine m(kMachine);
    m.WriteFile(qm::test::kAgentSettings, "[ASSETTAG]\r\nUUID=1\r\n");
    StartWithResultNames({"/AT"});
    State().flags.at = true;
    GetAssetTag();  // the first pass only defers
    HardwareInventory();
    std::string text = m.ReadFile("C:\\WINDOWS\\QM-TEST-01.hrz");
    EXPECT_EQ(text.find("\"Inventory\""), std::string::npos);
    // The BIOS program appends its records; the UUID is 32 digits and is kept whole.
    text += "\"Ident\",\"Manufacturer\",\"Maker\"\r\n\"Ident\",\"UUID\",\"4C4C4544004A3510804BB2C04F4D3132\"\r\n"
            "\"Ident\",\"SN\",\"7X9Q2\"\r\n";
    m.WriteFile("C:\\WINDOWS\\QM-TEST-01.hrz", text);
    UpdateUuidAndSerial();
    text = m.ReadFile("C:\\WINDOWS\\QM-TEST-01.hrz");
    EXPECT_EQ(ReadProfileString(State().chkIdPath, "UUID", "UUID"), "4C4C4544004A3510804BB2C04F4D3132");
    EXPECT_EQ(ReadProfileString(State().chkIdPath, "UUID", "SN"), "7X9Q2");
    EXPECT_EQ(ReadProfileString(State().chkIdPath, "Identification", "AssetTag#"), "4C4C4544004A3510804BB2C04F4D3132");
    std::size_t ident = text.find("\"Ident\",\"SN\"");
    std::size_t header = text.find("\"Inventory\",\"QMAgent version\"");
    ASSERT_NE(header, std::string::npos);
    EXPECT_GT(header, ident);
    EXPECT_NE(text.find("\"Identification\",\"AssetTag#\",\"4C4C4544004A3510804BB2C04F4D3132\"\r\n"), std::string::npos);
}

TEST(HardwareInventory, TheSecondPassTakesTheIdentValueWithoutQuotesAndAtMost32Characters) {
    struct Case {
        std::string record;  // the text after "Ident","UUID", and after "Ident","SN",
        std::string value;
    };
    const std::string digits32 = "4C4C4544004A3510804BB2C04F4D3132";
    const Case cases[] = {
        {"\"" + digits32 + "\"", digits32},
        {"\"7X9Q2\"", "7X9Q2"},
        {"\"\"", ""},
        {"\"" + digits32 + "0123456789\"", digits32},
        {"\"first\",\"second\",\"third\"", "first,second,third"},
        {"\"a\"\"b\"", "ab"},
        {"\"" + std::string(20, 'x') + "\",\"" + std::string(20, 'y') + "\"", std::string(20, 'x') + "," + std::string(11, 'y')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.record);
        TestMachine m(kMachine);
        m.WriteFile(qm::test::kAgentSettings, "[ASSETTAG]\r\nUUID=1\r\n");
        StartWithResultNames({"/AT"});
        State().flags.at = true;
        GetAssetTag();
        m.WriteFile("C:\\WINDOWS\\QM-TEST-01.hrz",
                    "\"F1\"\r\n\"Ident\",\"UUID\"," + c.record + "\r\n\"Ident\",\"SN\"," + c.record + "\r\n");
        UpdateUuidAndSerial();
        EXPECT_EQ(ReadProfileString(State().chkIdPath, "UUID", "UUID"), c.value);
        EXPECT_EQ(ReadProfileString(State().chkIdPath, "UUID", "SN"), c.value);
    }
}

TEST(HardwareInventory, TheSecondPassNeedsTheSwitchAndADeferredTag) {
    TestMachine m(kMachine);
    StartWithResultNames({});
    HardwareInventory();
    std::string before = m.ReadFile("C:\\WINDOWS\\QM-TEST-01.hrz");
    UpdateUuidAndSerial();
    EXPECT_EQ(m.ReadFile("C:\\WINDOWS\\QM-TEST-01.hrz"), before);
    EXPECT_EQ(ReadProfileString(State().chkIdPath, "UUID", "UUID", "none"), "none");
    // Without any "Ident" record both keys are written empty.
    State().flags.at = State().assetTagDeferred = true;
    UpdateUuidAndSerial();
    EXPECT_EQ(ReadProfileString(State().chkIdPath, "UUID", "UUID", "none"), "");
    EXPECT_EQ(ReadProfileString(State().chkIdPath, "UUID", "SN", "none"), "");
}

TEST(HardwareInventory, AFailureEndsThePassButKeepsWhatWasWritten) {
    TestMachine m(kMachine);
    StartWithResultNames({}, true);
    // Chk_ID cannot be read back for the asset tag: the header block raises.
    m.Machine().AddFault({"GetPrivateProfileString", qm::test::kChkId, 0, true, -1});
    HardwareInventory();
    std::string text = m.ReadFile("C:\\WINDOWS\\QM-TEST-01.hrz");
    EXPECT_NE(text.find("\"Identification\",\"GUID\""), std::string::npos);
    EXPECT_EQ(text.find("\"CPU\""), std::string::npos);
    EXPECT_NE(m.ReadFile(qm::test::kTraceLog).find("|GetPrivateProfileString failed on purpose"),
              std::string::npos);
    EXPECT_FALSE(State().headerWritten);
}

TEST(HardwareInventory, TheSampleMachinesHaveEverySectionSoFar) {
    for (const char* name : {"xp-workstation", "win98-desktop"}) {
        SCOPED_TRACE(name);
        qm::test::SampleMachine sample(name);
        StartWithResultNames({});
        HardwareInventory();
        std::string text;
        ASSERT_TRUE(qm::platform::ReadWholeFile(qm::platform::Files(), State().resultFiles.localHardware, text));
        // The four records every hardware file needs, and one of each other section.
        for (const char* record : {"\"Identification\",\"Asset#\"", "\"Memory\",\"Total\"", "\"CPU\",\"Frequency\"",
                                   "\"Windows\",\"Version\"", "\"Bios\",\"Version\"", "\"Disk sizes\",\"Drive c\"",
                                   "\"CDROM\",\"Drive d\"", "\"Printers\",\"0\"", "\"Windows\",\"Time zone\"",
                                   "\"IP address\",\"0\"", "\"Network adapter\",\"1\"", "\"MAC address\",\"1\"",
                                   "\"Video\",\"Video adapter\",\"QM ", "\"MONITOR\",\"ModelDescr\",\"QM ",
                                   "\"Peripherals tree\",\"6\"", "\"HCD\",\"HCD_0\",\"NumberPort\",\"2\"",
                                   "\"USB\",\"USB_1\",\"Parent\",\"USB_0\"", "\"USB\",\"USB_2\",\"Product\",\"Flash Drive"})
            EXPECT_NE(text.find(record), std::string::npos) << record;
        bool nt = std::string(name) == "xp-workstation";
        EXPECT_EQ(text.find("\"Disks\",\"Disk drive 1\"") != std::string::npos, nt);
        // The 9x family keeps its USB instances elsewhere than the description is looked for.
        EXPECT_EQ(text.find("\"USB\",\"USB_2\",\"DeviceDesc\",USB Mass Storage Device\r\n") != std::string::npos, nt);
        // DHCP on the workstation, a static address on the desktop.
        EXPECT_NE(text.find(nt ? "\"IPConfig\",\"DHCPActif\",\"YES\"" : "\"IPConfig\",\"DHCPActif\",\"NO\""), std::string::npos);
        EXPECT_NE(text.find(nt ? "\"CPU\",\"Frequency\",\"2793\"" : "\"CPU\",\"Frequency\",\"700\""), std::string::npos);
        EXPECT_NE(text.find(nt ? "\"Memory\",\"Total\",\"512\"" : "\"Memory\",\"Total\",\"128\""), std::string::npos);
        EXPECT_NE(text.find(nt ? "\"Windows\",\"Time zone\",\"(GMT-05:00) Eastern Time (US & Canada)\""
                               : "\"Windows\",\"Time zone\",\"(GMT+01:00) Bruxelles  Copenhague  Madrid  Paris\""),
                  std::string::npos);
        EXPECT_NE(text.find(nt ? "\"Printers\",\"3\",\"\",\"\",\"\",\"COM1:\"" : "\"Printers\",\"0\",\"\",\"LaserPrint 4\",\"\",\"LPT1: FILE:\""),
                  std::string::npos);
    }
}

namespace {

std::vector<std::string>& StepCalls() {
    static std::vector<std::string> calls;
    return calls;
}

}  // namespace

TEST(CollectorDriver, EachRowWritesItsMarkerThenMakesItsCallsUnlessItsConditionIsFalse) {
    TestMachine m;
    StartWithResultNames({}, true);
    StepCalls().clear();
    const std::vector<CollectorStep> steps = {
        {nullptr, {[] { StepCalls().push_back("no marker"); }}},
        {"Two", {[] { StepCalls().push_back("first"); }, [] { StepCalls().push_back("second"); }}},
        {"Skipped", {[] { StepCalls().push_back("skipped"); }}, [] { return false; }},
        {"Taken", {[] { StepCalls().push_back("taken"); }}, [] { return true; }},
        {nullptr, {[] { WriteLog("a call's own line"); }}, [] { return !StepCalls().empty(); }},
    };
    RunCollectorSteps(steps);
    EXPECT_EQ(StepCalls(), (std::vector<std::string>{"no marker", "first", "second", "taken"}));
    CloseLogFile();
    std::vector<std::string> log = qm::test::LogTexts(m.ReadFile(qm::test::kTraceLog));
    auto two = std::find(log.begin(), log.end(), "Two");
    ASSERT_NE(two, log.end());
    // The markers come right before their calls; a skipped row leaves no line.
    EXPECT_EQ(std::vector<std::string>(two, std::min(two + 3, log.end())),
              (std::vector<std::string>{"Two", "Taken", "a call's own line"}));
}
