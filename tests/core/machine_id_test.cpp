#include <gtest/gtest.h>

#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "core/machine_id.h"
#include "core/process_state.h"
#include "core/profile_files.h"
#include "core/trace_log.h"
#include "platform/registry_accessor.h"
#include "platform/text.h"
#include "support/agent_state.h"
#include "support/reg_text.h"
#include "support/test_machine.h"

using namespace qm::core;
using qm::platform::AsciiLower;
using qm::platform::HKEY;
using qm::platform::HKEY_CLASSES_ROOT;
using qm::platform::HKEY_CURRENT_CONFIG;
using qm::platform::HKEY_CURRENT_USER;
using qm::platform::HKEY_LOCAL_MACHINE;
using qm::platform::HKEY_USERS;
using qm::platform::RegistryAccessor;
using qm::test::kAgentSettings;
using qm::test::RegText;
using qm::test::StartAgent;
using qm::test::TestMachine;

namespace {

const std::string kA = "5D3C2B1A00FF4E0D9C8B7A6F5E4D3C2B";
const std::string kB = "9E8D7C6B5A4F3E2D1C0B0A9F8E7D6C5B";
// What the scripted CoCreateGuid of kScriptedGuid turns into.
const std::string kNew = "0F8FAD5BD9CB469FA16570867728950E";
const char* const kScriptedGuid = R"({"guids": ["{0F8FAD5B-D9CB-469F-A165-70867728950E}"]})";
const std::string kToday = "12/09/2026";
const std::string kWindowsIni = "C:\\WINDOWS\\QMGuid.ini";
const std::string kQuarmelin = "\\SOFTWARE\\Quarmelin";

// One stored copy of the identifier; an empty guid means the store holds none.
struct Copy {
    std::string guid;
    std::string date;
    friend bool operator==(const Copy&, const Copy&) = default;
};

std::ostream& operator<<(std::ostream& os, const Copy& c) { return os << "{" << c.guid << ", " << c.date << "}"; }

// A regedit file with one key per entry; a value that is empty is left out.
std::string RegistryText(const std::vector<std::pair<std::string, Copy>>& keys) {
    RegText text;
    for (const auto& [key, copy] : keys) {
        text.Key(key);
        if (!copy.guid.empty()) text.Value("GUID", copy.guid);
        if (!copy.date.empty()) text.Value("DATE", copy.date);
    }
    return text.Text();
}

std::string IniText(const Copy& c) {
    std::string text = "[GUID]\r\n";
    if (!c.guid.empty()) text += "GUID=" + c.guid + "\r\n";
    if (!c.date.empty()) text += "DATE=" + c.date + "\r\n";
    return text;
}

std::string GuidDirectory(const std::vector<std::string>& lines) {
    std::string text = "[GUID_DIRECTORY]\r\n";
    for (const std::string& line : lines) text += line + "\r\n";
    return text;
}

Copy RegistryCopy(HKEY root = HKEY_LOCAL_MACHINE, const std::string& key = kQuarmelin) {
    RegistryAccessor reg(root);
    if (!reg.OpenKeyReadOnly(key)) return {};
    return {reg.ReadString("GUID"), reg.ReadString("DATE")};
}

bool KeyExists(HKEY root, const std::string& key) { return RegistryAccessor(root).KeyExists(key); }

Copy FileCopy(const std::string& path) {
    return {ReadProfileString(path, "GUID", "GUID"), ReadProfileString(path, "GUID", "DATE")};
}

// One start of the agent with the trace log on, as far as the machine identifier; the log.
std::string RunInitAgentGuid(TestMachine& m, const std::vector<std::string>& switches = {}) {
    qm::test::StartAgentWithLog(switches);
    InitAgentGuid();
    std::string path = State().traceLogPath;
    CloseLogFile();
    return m.ReadFile(path);
}

bool Logged(const std::string& log, const std::string& line) {
    return log.find("|" + line + "\r\n") != std::string::npos;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Which copy wins, what is rewritten and with which date.

TEST(MachineId, StoresDecideTheIdentifierAndAreRepaired) {
    const Copy regA{kA, "11/02/2026"}, fileA{kA, "10/01/2025"}, fileB{kB, "10/01/2025"};
    struct Case {
        const char* name;
        Copy registry;  // in the default key
        Copy file;      // in the Windows folder
        std::vector<std::string> switches;
        std::string id;
        Copy registryAfter, fileAfter;
        bool created, repaired;
    };
    const Case cases[] = {
        {"first run", {}, {}, {}, kNew, {kNew, kToday}, {kNew, kToday}, true, true},
        {"registry only: file gets its date", regA, {}, {}, kA, regA, regA, false, true},
        {"registry only, no date: today", {kA, ""}, {}, {}, kA, {kA, kToday}, {kA, kToday}, false, true},
        {"file only: registry gets its date", {}, fileA, {}, kA, fileA, fileA, false, true},
        {"file only, no date: today", {}, {kA, ""}, {}, kA, {kA, kToday}, {kA, kToday}, false, true},
        {"differing: registry wins with its date", regA, fileB, {}, kA, regA, regA, false, true},
        // The file keeps its own date: nothing is rewritten.
        {"agreeing", regA, fileA, {}, kA, regA, fileA, false, false},
        {"bare force", regA, fileA, {"/FORCE_NEW_GUID"}, kNew, {kNew, kToday}, {kNew, kToday}, true, true},
        {"force with the identifier in lower case", regA, fileA, {"/force_new_guid" + AsciiLower(kA)}, kNew,
         {kNew, kToday}, {kNew, kToday}, true, true},
        {"force with another value", regA, fileA, {"/FORCE_NEW_GUID" + kB}, kA, regA, fileA, false, false},
        {"force with the registry's, file missing", regA, {}, {"/FORCE_NEW_GUID" + kA}, kNew, {kNew, kToday},
         {kNew, kToday}, true, true},
        {"force with the file's, registry missing", {}, fileA, {"/FORCE_NEW_GUID" + kA}, kNew, {kNew, kToday},
         {kNew, kToday}, true, true},
        {"force with one of two differing copies", regA, fileB, {"/FORCE_NEW_GUID" + kA}, kA, regA, regA, false,
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestMachine m(kScriptedGuid, c.registry.guid.empty() && c.registry.date.empty()
                                         ? ""
                                         : RegistryText({{"HKEY_LOCAL_MACHINE\\SOFTWARE\\Quarmelin", c.registry}}));
        if (!c.file.guid.empty()) m.WriteFile(kWindowsIni, IniText(c.file));
        std::string log = RunInitAgentGuid(m, c.switches);
        EXPECT_EQ(State().machineId, c.id);
        EXPECT_EQ(State().machineIdDate, c.registryAfter.date);
        EXPECT_EQ(RegistryCopy(), c.registryAfter);
        EXPECT_EQ(FileCopy(kWindowsIni), c.fileAfter);
        EXPECT_EQ(Logged(log, "Created new GUID"), c.created);
        EXPECT_EQ(Logged(log, "Warning GUID not found"), c.repaired);
        EXPECT_TRUE(Logged(log, "GGUID:" + c.id)) << log;
        // The registry's copy is logged only when its key opens; the file's always.
        std::vector<std::string> read;
        if (!c.registry.guid.empty() || !c.registry.date.empty()) read.push_back("RGUID = " + c.registry.guid);
        read.push_back("RGUID = " + c.file.guid);
        EXPECT_EQ(qm::test::LogTextsStartingWith(log, "RGUID = "), read);
    }
}

TEST(MachineId, BareForceMakesANewIdentifierOnEveryRun) {
    TestMachine m(R"({"guids": ["{0F8FAD5B-D9CB-469F-A165-70867728950E}",
                                "{6B29FC40-CA47-1067-B31D-00DD010662DA}"]})");
    RunInitAgentGuid(m);
    EXPECT_EQ(State().machineId, kNew);
    std::string log = RunInitAgentGuid(m, {"/FORCE_NEW_GUID"});
    EXPECT_EQ(State().machineId, "6B29FC40CA471067B31D00DD010662DA");
    EXPECT_TRUE(Logged(log, "Created new GUID"));
    EXPECT_EQ(RegistryCopy().guid, State().machineId);
    EXPECT_EQ(FileCopy(kWindowsIni).guid, State().machineId);
}

TEST(MachineId, TodayUsesTheSystemDateSeparator) {
    TestMachine m(R"({"locale": {"date_separator": "-"}})");
    RunInitAgentGuid(m);
    EXPECT_EQ(State().machineIdDate, "12-09-2026");
    EXPECT_EQ(RegistryCopy().date, "12-09-2026");
}

TEST(MachineId, ForceRule) {
    struct Case {
        std::vector<std::string> switches;
        std::string file, registry;
        bool forced;
    };
    const Case cases[] = {
        {{}, kA, kA, false},
        {{"/FORCE_NEW_GUID"}, kA, kA, true},
        {{"/Force_New_Guid"}, "", "", true},
        {{"/FORCE_NEW_GUID" + AsciiLower(kA)}, kA, kA, true},
        {{"/FORCE_NEW_GUID" + kA}, kA, "", true},
        {{"/FORCE_NEW_GUID" + kA}, "", kA, true},
        {{"/FORCE_NEW_GUID" + kA}, "", "", false},
        {{"/FORCE_NEW_GUID" + kA}, kA, kB, false},
        {{"/FORCE_NEW_GUID" + kA}, kB, kB, false},
        // The value is compared exactly: stored identifiers in lower case never match it.
        {{"/FORCE_NEW_GUID" + kA}, AsciiLower(kA), AsciiLower(kA), false},
        // No separator is stripped between the switch and its value.
        {{"/FORCE_NEW_GUID=" + kA}, kA, kA, false},
        // The first parameter that begins with the switch decides.
        {{"/LOG", "/FORCE_NEW_GUID" + kB, "/FORCE_NEW_GUID"}, kA, kA, false},
    };
    TestMachine m;
    for (const Case& c : cases) {
        std::string trace;
        for (const std::string& s : c.switches) trace += s + " ";
        SCOPED_TRACE(trace + "F=" + c.file + " R=" + c.registry);
        StartAgent(c.switches);
        EXPECT_EQ(IsNewGuidForced(c.file, c.registry), c.forced);
    }
}

TEST(MachineId, FirstRunWritesTheFirstWritablePlace) {
    struct Case {
        const char* name;
        std::vector<std::string> refusingTestFile;  // folders whose write test fails
        std::string written;
    };
    const Case cases[] = {
        {"Windows folder", {}, kWindowsIni},
        {"drive root when the Windows folder refuses", {"C:\\WINDOWS\\"}, "C:\\QMGuid.ini"},
        {"temporary folder when both refuse", {"C:\\WINDOWS\\", "C:\\"}, "C:\\TEMP\\QMGuid.ini"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestMachine m(kScriptedGuid);
        for (const std::string& folder : c.refusingTestFile)
            m.Machine().AddFault({"CreateFile", folder + "TestAttr.txt"});
        std::string log = RunInitAgentGuid(m);
        EXPECT_EQ(FileCopy(c.written), (Copy{kNew, kToday}));
        for (const char* other : {"C:\\WINDOWS\\QMGuid.ini", "C:\\QMGuid.ini", "C:\\TEMP\\QMGuid.ini"})
            if (other != c.written) {
                EXPECT_FALSE(m.Exists(other)) << other;
            }
        EXPECT_EQ(RegistryCopy(), (Copy{kNew, kToday}));
        EXPECT_TRUE(Logged(log, "GetQMGUIDFile : " + c.written)) << log;
        // Nothing to read anywhere: the read place is the write place.
        EXPECT_TRUE(Logged(log, "GetQMGUIDFileReadOnly : " + c.written)) << log;
        EXPECT_TRUE(Logged(log, "getRegistryGUIDkeyRO : HKEY_LOCAL_MACHINE\\SOFTWARE\\Quarmelin")) << log;
        EXPECT_TRUE(Logged(log, "getRegistryGUIDkeyRw : HKEY_LOCAL_MACHINE\\SOFTWARE\\Quarmelin")) << log;
    }
}

TEST(MachineId, FileReadInTheTemporaryFolderIsRewrittenInTheWindowsFolder) {
    TestMachine m;
    m.WriteFile("C:\\TEMP\\QMGuid.ini", IniText({kA, "10/01/2025"}));
    std::string log = RunInitAgentGuid(m);
    EXPECT_EQ(State().machineId, kA);
    EXPECT_TRUE(Logged(log, "GetQMGUIDFileReadOnly : C:\\TEMP\\QMGuid.ini")) << log;
    EXPECT_EQ(FileCopy(kWindowsIni), (Copy{kA, "10/01/2025"}));
    EXPECT_EQ(RegistryCopy(), (Copy{kA, "10/01/2025"}));
}

TEST(MachineId, RegistryIdentifierThatIsNoTextCountsAsMissing) {
    TestMachine m("{}", RegText().Key("HKEY_LOCAL_MACHINE\\SOFTWARE\\Quarmelin").Dword("GUID", 1).Text());
    m.WriteFile(kWindowsIni, IniText({kA, "10/01/2025"}));
    RunInitAgentGuid(m);
    EXPECT_EQ(State().machineId, kA);
    EXPECT_EQ(RegistryCopy(), (Copy{kA, "10/01/2025"}));
}

// ---------------------------------------------------------------------------------------------
// Stores that refuse.

TEST(MachineId, UnwritableDefaultKeyKeepsTheIdentifierInTheFileAlone) {
    TestMachine m(R"({"guids": ["{0F8FAD5B-D9CB-469F-A165-70867728950E}"],
                      "faults": [{"op": "write", "path": "HKEY_LOCAL_MACHINE\\SOFTWARE\\Quarmelin"}]})");
    std::string first = RunInitAgentGuid(m);
    EXPECT_EQ(State().machineId, kNew);
    EXPECT_TRUE(Logged(first, "Warning GUID not found"));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kQuarmelin));
    EXPECT_EQ(FileCopy(kWindowsIni), (Copy{kNew, kToday}));

    for (int run = 2; run <= 3; ++run) {
        SCOPED_TRACE("run " + std::to_string(run));
        m.Reload();
        std::string log = RunInitAgentGuid(m);
        EXPECT_EQ(State().machineId, kNew);
        EXPECT_EQ(State().machineIdDate, kToday);
        EXPECT_FALSE(Logged(log, "Created new GUID"));
        EXPECT_TRUE(Logged(log, "Warning GUID not found"));
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kQuarmelin));
    }
}

TEST(MachineId, OneStoreRefusingDoesNotKeepTheOtherUnwritten) {
    struct Case {
        const char* name;
        const char* op;
        bool raise;
        bool fileWritten, registryWritten;
    };
    const Case cases[] = {
        {"QMGuid.ini refused everywhere", "WritePrivateProfileString", false, false, true},
        {"QMGuid.ini write raising", "WritePrivateProfileString", true, false, true},
        {"registry value write raising", "RegSetValueEx", true, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestMachine m(kScriptedGuid);
        m.Machine().AddFault({c.op, "", qm::platform::ERROR_ACCESS_DENIED, c.raise, -1});
        std::string log = RunInitAgentGuid(m);
        EXPECT_EQ(State().machineId, kNew);
        EXPECT_EQ(FileCopy(kWindowsIni), (c.fileWritten ? Copy{kNew, kToday} : Copy{}));
        EXPECT_EQ(RegistryCopy().guid, c.registryWritten ? kNew : "");
        EXPECT_TRUE(Logged(log, "GGUID:" + kNew)) << log;
    }
}

TEST(MachineId, FailedGuidCreationStillGivesAnIdentifier) {
    for (const char* raise : {"false", "true"}) {
        SCOPED_TRACE(std::string("raise ") + raise);
        TestMachine m(std::string(R"({"faults": [{"op": "CoCreateGuid", "raise": )") + raise + "}]}");
        std::string log;
        ASSERT_NO_THROW(log = RunInitAgentGuid(m));
        EXPECT_TRUE(std::regex_match(State().machineId, std::regex("[0-9A-F]{32}"))) << State().machineId;
        EXPECT_TRUE(Logged(log, "Created new GUID"));
        EXPECT_TRUE(Logged(log, "GGUID:" + State().machineId));
        EXPECT_EQ(RegistryCopy(), (Copy{State().machineId, kToday}));
        EXPECT_EQ(FileCopy(kWindowsIni), (Copy{State().machineId, kToday}));
    }
}

// ---------------------------------------------------------------------------------------------
// The places of "GUID_DIRECTORY".

TEST(GuidPlaces, CandidatesAreTheRawLinesOfTheSection) {
    struct Case {
        const char* name;
        std::string settings;  // none when empty
        std::vector<std::string> lines;
        bool scanAfter;
    };
    const Case cases[] = {
        {"no settings file", "", {}, false},
        {"no section", "[ASSETTAG]\r\nUUID=1\r\n", {}, false},
        {"lines untrimmed, comments and empty lines left out",
         "[GUID_DIRECTORY]\r\n; places\r\n\r\n  C:\\Inventory\\ \r\nHKEY_LOCAL_MACHINE\\SOFTWARE\\Inventory\r\n"
         "DEFAUL_SCAN_AFTER=1\r\n[OTHER]\r\nD:\\Elsewhere\\\r\n",
         {"  C:\\Inventory\\ ", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Inventory", "DEFAUL_SCAN_AFTER=1"},
         true},
        {"scan-after empty is off", "[GUID_DIRECTORY]\r\nC:\\Inventory\\\r\nDEFAUL_SCAN_AFTER=\r\n",
         {"C:\\Inventory\\", "DEFAUL_SCAN_AFTER="}, false},
        {"scan-after key in any case, any value", "[guid_directory]\r\ndefaul_scan_after=no\r\n",
         {"defaul_scan_after=no"}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestMachine m;
        if (!c.settings.empty()) m.WriteFile(kAgentSettings, c.settings);
        StartAgent();
        bool scanAfter = !c.scanAfter;
        EXPECT_EQ(GetGuidCandidates(scanAfter), c.lines);
        EXPECT_EQ(scanAfter, c.scanAfter);
    }
}

TEST(GuidPlaces, FolderLinesAndWhereTheDefaultsGo) {
    struct Case {
        const char* name;
        std::vector<std::string> lines;
        std::string written, read;
    };
    const std::string inventoryIni = "C:\\Inventory\\QMGuid.ini";
    const Case cases[] = {
        {"defaults first", {"C:\\Inventory\\"}, kWindowsIni, kWindowsIni},
        {"scan-after written last", {"C:\\Inventory\\", "DEFAUL_SCAN_AFTER=1"}, inventoryIni, inventoryIni},
        {"scan-after written first: defaults before the last line", {"DEFAUL_SCAN_AFTER=1", "C:\\Inventory\\"},
         kWindowsIni, kWindowsIni},
        {"missing folder passed over", {"C:\\Missing\\", "C:\\Inventory\\", "DEFAUL_SCAN_AFTER=1"}, inventoryIni,
         inventoryIni},
        // The name is joined directly: the file is beside the folder, so the one inside is not
        // found.
        {"folder without trailing backslash", {"C:\\Inventory", "DEFAUL_SCAN_AFTER=1"}, "C:\\InventoryQMGuid.ini",
         kWindowsIni},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestMachine m;
        m.WriteFile(kAgentSettings, GuidDirectory(c.lines));
        m.WriteFile(kWindowsIni, IniText({kA, ""}));
        m.WriteFile(inventoryIni, IniText({kB, ""}));
        StartAgent();
        EXPECT_EQ(GetQMGUIDFile(), c.written);
        EXPECT_EQ(GetQMGUIDFileReadOnly(), c.read);
    }
}

TEST(GuidPlaces, FolderLineWithoutTrailingBackslashFindsTheFileBesideIt) {
    TestMachine m;
    m.MakeFolder("C:\\Inventory");
    m.WriteFile(kAgentSettings, GuidDirectory({"C:\\Inventory", "DEFAUL_SCAN_AFTER=1"}));
    m.WriteFile("C:\\InventoryQMGuid.ini", IniText({kB, ""}));
    m.WriteFile(kWindowsIni, IniText({kA, ""}));
    StartAgent();
    EXPECT_EQ(GetQMGUIDFileReadOnly(), "C:\\InventoryQMGuid.ini");
}

TEST(GuidPlaces, RootNames) {
    const std::pair<const char*, HKEY> cases[] = {
        {"HKEY_CURRENT_USER", HKEY_CURRENT_USER},     {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
        {"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},     {"HKEY_USERS", HKEY_USERS},
        {"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG}, {"hkey_local_machine", HKEY_CURRENT_USER},
        {"HKLM", HKEY_CURRENT_USER},                  {"C:", HKEY_CURRENT_USER},
        {"", HKEY_CURRENT_USER},                      {"HKEY_DYN_DATA", HKEY_CURRENT_USER},
        {"HKEY_LOCAL_MACHINE ", HKEY_CURRENT_USER},
    };
    for (const auto& [name, root] : cases) EXPECT_EQ(GetRootKey(name), root) << name;
}

TEST(GuidPlaces, ReadOnlyKeySearch) {
    const std::string kDefault = kDefaultGuidKey;
    const std::string scan = "DEFAUL_SCAN_AFTER=1";
    struct Case {
        const char* name;
        bool defaultHasGuid;
        std::vector<std::string> lines;
        std::string found;
    };
    const Case cases[] = {
        {"no lines", true, {}, kDefault},
        {"nothing qualifies", false, {"HKEY_LOCAL_MACHINE\\SOFTWARE\\Missing"}, kDefault},
        {"defaults first", true, {"HKEY_LOCAL_MACHINE\\SOFTWARE\\MachineOnly"}, kDefault},
        {"scan-after", true, {"HKEY_LOCAL_MACHINE\\SOFTWARE\\MachineOnly", scan},
         "HKEY_LOCAL_MACHINE\\SOFTWARE\\MachineOnly"},
        {"key without a GUID value passed over", false,
         {"HKEY_LOCAL_MACHINE\\SOFTWARE\\DateOnly", "HKEY_CURRENT_USER\\SOFTWARE\\UserOnly"},
         "HKEY_CURRENT_USER\\SOFTWARE\\UserOnly"},
        {"lower-case root is HKEY_CURRENT_USER", false,
         {"hkey_local_machine\\SOFTWARE\\MachineOnly", "hkey_local_machine\\SOFTWARE\\UserOnly"},
         "hkey_local_machine\\SOFTWARE\\UserOnly"},
        {"folder line names a key under HKEY_CURRENT_USER", false, {"C:\\Inventory\\"}, "C:\\Inventory\\"},
        {"line without backslash", false, {"Inventory"}, "Inventory"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Copy some{kA, ""};
        TestMachine m("{}", RegistryText({{"HKEY_LOCAL_MACHINE\\SOFTWARE\\Quarmelin", c.defaultHasGuid ? some : Copy{}},
                                          {"HKEY_LOCAL_MACHINE\\SOFTWARE\\MachineOnly", some},
                                          {"HKEY_LOCAL_MACHINE\\SOFTWARE\\DateOnly", {"", kToday}},
                                          {"HKEY_CURRENT_USER\\SOFTWARE\\UserOnly", some},
                                          {"HKEY_CURRENT_USER\\Inventory", some}}));
        m.WriteFile(kAgentSettings, GuidDirectory(c.lines));
        StartAgent();
        EXPECT_EQ(getRegistryGUIDkeyRO(), c.found);
    }
}

TEST(GuidPlaces, ReadWriteKeySearchTriesEveryLineAsAKey) {
    const std::string kDefault = kDefaultGuidKey;
    const std::string scan = "DEFAUL_SCAN_AFTER=1";
    struct Case {
        const char* name;
        std::vector<std::string> lines;
        const char* refusing;  // a key that refuses writes, or none
        std::string found;
        HKEY root;  // where the key found was made
        std::string made;
    };
    const Case cases[] = {
        {"no lines", {}, nullptr, kDefault, HKEY_LOCAL_MACHINE, kQuarmelin},
        {"defaults first", {"HKEY_LOCAL_MACHINE\\SOFTWARE\\Inventory"}, nullptr, kDefault, HKEY_LOCAL_MACHINE, kQuarmelin},
        {"scan-after creates the listed key", {"HKEY_LOCAL_MACHINE\\SOFTWARE\\Inventory", scan}, nullptr,
         "HKEY_LOCAL_MACHINE\\SOFTWARE\\Inventory", HKEY_LOCAL_MACHINE, "\\SOFTWARE\\Inventory"},
        {"listed key refusing writes passed over", {"HKEY_LOCAL_MACHINE\\SOFTWARE\\Inventory", scan},
         "HKEY_LOCAL_MACHINE\\SOFTWARE\\Inventory", kDefault, HKEY_LOCAL_MACHINE, kQuarmelin},
        {"a folder line names a key under HKEY_CURRENT_USER", {"C:\\Inventory\\", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Inventory", scan},
         nullptr, "C:\\Inventory\\", HKEY_CURRENT_USER, "\\Inventory"},
        {"a line without a backslash", {"Inventory", scan}, nullptr, "Inventory", HKEY_CURRENT_USER, "\\Inventory"},
        {"a root name in lower case", {"hkey_local_machine\\SOFTWARE\\Inventory", scan}, nullptr,
         "hkey_local_machine\\SOFTWARE\\Inventory", HKEY_CURRENT_USER, "\\SOFTWARE\\Inventory"},
        {"a folder line whose key refuses writes passed over",
         {"C:\\Inventory\\", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Inventory", scan}, "HKEY_CURRENT_USER\\Inventory",
         "HKEY_LOCAL_MACHINE\\SOFTWARE\\Inventory", HKEY_LOCAL_MACHINE, "\\SOFTWARE\\Inventory"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestMachine m;
        if (c.refusing != nullptr) m.Machine().AddFault({"write", c.refusing});
        m.WriteFile(kAgentSettings, GuidDirectory(c.lines));
        StartAgent();
        EXPECT_EQ(getRegistryGUIDkeyRw(), c.found);
        EXPECT_TRUE(KeyExists(c.root, c.made));
        // The search stops at the first key that opens: none after it is made.
        EXPECT_EQ(KeyExists(HKEY_LOCAL_MACHINE, "\\SOFTWARE\\Inventory"),
                  c.root == HKEY_LOCAL_MACHINE && c.made == "\\SOFTWARE\\Inventory");
        EXPECT_EQ(KeyExists(HKEY_CURRENT_USER, "\\Inventory"), c.root == HKEY_CURRENT_USER && c.made == "\\Inventory");
        EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "\\DEFAUL_SCAN_AFTER=1"));
    }
}

TEST(GuidPlaces, ListedPlacesBeforeTheDefaultsKeepTheIdentifier) {
    TestMachine m(kScriptedGuid);
    m.MakeFolder("C:\\Inventory");
    m.WriteFile(kAgentSettings,
                GuidDirectory({"C:\\Inventory\\", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Inventory", "DEFAUL_SCAN_AFTER=1"}));
    std::string first = RunInitAgentGuid(m);
    EXPECT_TRUE(Logged(first, "Created new GUID"));
    // The folder line comes first and, as a key, names \Inventory under HKEY_CURRENT_USER.
    EXPECT_TRUE(Logged(first, "getRegistryGUIDkeyRw : C:\\Inventory\\")) << first;
    EXPECT_EQ(FileCopy("C:\\Inventory\\QMGuid.ini"), (Copy{kNew, kToday}));
    EXPECT_EQ(RegistryCopy(HKEY_CURRENT_USER, "\\Inventory"), (Copy{kNew, kToday}));
    EXPECT_FALSE(m.Exists(kWindowsIni));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kQuarmelin));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "\\SOFTWARE\\Inventory"));

    m.Reload();
    std::string second = RunInitAgentGuid(m);
    EXPECT_EQ(State().machineId, kNew);
    EXPECT_FALSE(Logged(second, "Warning GUID not found")) << second;
    EXPECT_TRUE(Logged(second, "getRegistryGUIDkeyRO : C:\\Inventory\\")) << second;
    EXPECT_TRUE(Logged(second, "GetQMGUIDFileReadOnly : C:\\Inventory\\QMGuid.ini")) << second;
}

TEST(GuidPlaces, LowerCaseRootReadsUnderCurrentUser) {
    TestMachine m("{}", RegistryText({{"HKEY_CURRENT_USER\\SOFTWARE\\Inventory", {kB, "03/04/2024"}},
                                      {"HKEY_LOCAL_MACHINE\\SOFTWARE\\Inventory", {kA, "11/02/2026"}}}));
    m.WriteFile(kAgentSettings, GuidDirectory({"hkey_local_machine\\SOFTWARE\\Inventory"}));
    std::string log = RunInitAgentGuid(m);
    EXPECT_TRUE(Logged(log, "getRegistryGUIDkeyRO : hkey_local_machine\\SOFTWARE\\Inventory")) << log;
    EXPECT_EQ(State().machineId, kB);
    // The repair writes to the default key, which comes before the listed line.
    EXPECT_EQ(RegistryCopy(), (Copy{kB, "03/04/2024"}));
    EXPECT_EQ(FileCopy(kWindowsIni), (Copy{kB, "03/04/2024"}));
    EXPECT_EQ(RegistryCopy(HKEY_LOCAL_MACHINE, "\\SOFTWARE\\Inventory"), (Copy{kA, "11/02/2026"}));
}

TEST(MachineId, AStoredValueThatIsNoIdentifierIsRefusedAndRepaired) {
    qm::test::TestMachine m("{}", RegText().Key("HKEY_LOCAL_MACHINE\\SOFTWARE\\Quarmelin").Value("GUID", R"(..\..\WINDOWS\evil)").Text());
    m.WriteFile("C:\\WINDOWS\\QMGuid.ini", "[GUID]\r\nGUID=0F8FAD5BD9CB469FA16570867728950E\r\nDATE=11/02/2026\r\n");
    qm::test::StartAgent();
    qm::core::InitAgentGuid();
    EXPECT_EQ(qm::core::State().machineId, "0F8FAD5BD9CB469FA16570867728950E");
    qm::platform::RegistryAccessor reg(qm::platform::HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(reg.OpenKeyReadOnly("SOFTWARE\\Quarmelin"));
    EXPECT_EQ(reg.ReadString("GUID"), "0F8FAD5BD9CB469FA16570867728950E");
    EXPECT_EQ(reg.ReadString("DATE"), "11/02/2026");
}

TEST(MachineId, AStoredIdentifierIsKeptAsItIsUnlessItCannotNameAFile) {
    struct Case {
        std::string stored;
        bool kept;
    };
    const Case cases[] = {
        {"0f8fad5b-d9cb-469f-a165-70867728950e", true},
        {"{0F8FAD5B-D9CB-469F-A165-70867728950E}", true},
        {"PC 17 (old agent)", true},
        {"ABC", true},
        {"..\\..\\WINDOWS\\evil", false},
        {"a/b", false},
        {"C:ab", false},
        {"a*b", false},
        {"a?b", false},
        {"a\"b", false},
        {"a<b", false},
        {"a>b", false},
        {"a|b", false},
        {"tab\there", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        // The registry copy, with the file holding another identifier.
        {
            TestMachine m(kScriptedGuid);
            RegistryAccessor(HKEY_LOCAL_MACHINE).CreateKey(kQuarmelin);
            RegistryAccessor reg(HKEY_LOCAL_MACHINE);
            ASSERT_TRUE(reg.OpenKey(kQuarmelin, false));
            reg.WriteString("GUID", c.stored);
            reg.WriteString("DATE", "11/02/2026");
            m.WriteFile(kWindowsIni, IniText({kA, "10/01/2025"}));
            std::string log = RunInitAgentGuid(m);
            const std::string id = c.kept ? c.stored : kA;
            EXPECT_EQ(State().machineId, id);
            EXPECT_EQ(FileCopy(kWindowsIni), (Copy{id, c.kept ? "11/02/2026" : "10/01/2025"}));
            EXPECT_EQ(RegistryCopy(), (Copy{id, c.kept ? "11/02/2026" : "10/01/2025"}));
            EXPECT_EQ(!qm::test::LogTextsStartingWith(log, "Machine identifier refused: ").empty(), !c.kept) << log;
        }
        // The file's copy alone: refused, it gives way to a new identifier.
        {
            TestMachine m(kScriptedGuid);
            m.WriteFile(kWindowsIni, IniText({c.stored, "10/01/2025"}));
            RunInitAgentGuid(m);
            EXPECT_EQ(State().machineId, c.kept ? c.stored : kNew);
        }
    }
}
