#include <gtest/gtest.h>

#include <algorithm>
#include <nlohmann/json.hpp>

#include "collectors/palm/palm.h"
#include "core/process_state.h"
#include "core/result_list.h"
#include "platform/platform.h"
#include "platform/sim/sim_libraries.h"
#include "support/agent_state.h"
#include "support/pdb_writer.h"
#include "support/reg_text.h"
#include "support/test_machine.h"

using namespace qm::collectors;
using namespace qm::test;
using Lines = std::vector<std::string>;

namespace {

const std::string kCore = "HKEY_CURRENT_USER\\Software\\U.S. Robotics\\Pilot Desktop\\Core";
const std::string kHotSync = "HKEY_CURRENT_USER\\Software\\U.S. Robotics\\Pilot Desktop\\HotSync Manager";
const std::string kSyncFolder = "C:\\Palm\\";
const std::string kWork = "C:\\WINDOWS\\";
const std::string kNotifierPath = "C:\\Palm\\QuarmelinConduit.dll";

std::string Rec(const std::string& section, const std::string& key, const std::string& value) {
    return "\"" + section + "\",\"" + key + "\",\"" + value + "\"";
}

const std::string kHeader = R"("F1","F2","F3","F4","F5","F6","F7","F8","F9","F10")";
const std::string kHostGuid = Rec("Host", "GUID", kTestMachineId);

std::string FileOf(const Lines& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    return text;
}

struct User {
    std::uint32_t id;
    std::string folder;
};

// The sync manager's two libraries in C:\Palm, with the users and what the machine file adds
// to each library's entry.
std::string SyncJson(const std::vector<User>& users, const std::string& condMgrPatch = "{}",
                     const std::string& userDataPatch = "{}") {
    nlohmann::json condMgr = {{"path", kSyncFolder + "CondMgr.dll"}, {"module", "CondMgr"}};
    nlohmann::json userData = {{"path", kSyncFolder + "UserData.DLL"}, {"module", "UserData"}};
    userData["users"] = nlohmann::json::array();
    for (const User& u : users) userData["users"].push_back({{"id", u.id}, {"folder", u.folder}});
    condMgr.merge_patch(nlohmann::json::parse(condMgrPatch));
    userData.merge_patch(nlohmann::json::parse(userDataPatch));
    return nlohmann::json{{"libraries", {condMgr, userData}}}.dump();
}

RegText SyncRegistry(const std::string& path = "C:\\Palm") {
    return RegText().Key(kCore).Value("Path", path).Key(kHotSync).Value("LastSync", "12/08/2026 17:42:10");
}

// A machine with the sync manager, its users, and the handheld files beside the agent; the
// agent started with its trace log, its work folder and its machine identifier.
class Handheld {
public:
    explicit Handheld(const std::vector<User>& users, const RegText& registry = SyncRegistry(),
                      const std::string& condMgrPatch = "{}", const std::string& userDataPatch = "{}")
        : m(SyncJson(users, condMgrPatch, userDataPatch), registry.Text()) {
        m.WriteFile(kSyncFolder + "CondMgr.dll", "MZ condmgr");
        m.WriteFile(kSyncFolder + "UserData.DLL", "MZ userdata");
        m.WriteFile(kAgentFolder + "PalmInfo.prc", "the handheld application");
        m.WriteFile(kAgentFolder + "QuarmelinConduit.dll", "MZ the notifier");
        StartWithResultNames({}, true);
    }
    void Database(const std::string& folder, const std::vector<std::string>& records, int count = -1) {
        PalmDatabase db;
        db.records = records;
        db.recordCount = count;
        m.WriteFile(kSyncFolder + folder + "\\Backup\\PalmInfoDB.PDB", BuildPalmDatabase(db));
    }
    Lines Calls() { return m.Machine().LibrariesOfMachine().Calls(); }
    std::string Log() { return m.ReadFile(kTraceLog); }
    Lines Written() {
        Lines names;
        for (const std::string& n : FileNamesIn(kWork))
            if (n.size() >= 4 && n.substr(n.size() - 4) == ".pdz") names.push_back(n);
        std::sort(names.begin(), names.end());
        return names;
    }
    TestMachine m;
};

std::string Guid(const std::string& id) { return InventoryRecord('G', "GUID", id); }

// The records ParsePalmDatabase adds for the records of a database, and the identifier.
Lines Parsed(const std::vector<std::string>& records, std::string& identifier) {
    PalmDatabase db;
    db.records = records;
    qm::core::CreateResultList();
    ParsePalmDatabase(BuildPalmDatabase(db), kPalmFieldPositions, kPalmFieldLengths, identifier);
    Lines lines = *qm::core::State().resultList;
    qm::core::State().resultList.reset();
    return lines;
}

}  // namespace

TEST(PalmInventory, ThreeUsersTwoWithADatabaseGiveTwoFilesAndTheNotifierIsRegistered) {
    Handheld h({{1001, "JDoe"}, {1002, "Second"}, {1003, "NoSync"}});
    h.Database("JDoe", {InventoryRecord('G', "Model", "Tungsten T3"), Guid("PALM-0001"),
                        InventoryRecord('B', "Level", "87")});
    h.Database("Second", {Guid("PALM-0002")});
    PalmInventory();

    EXPECT_EQ(h.Written(), (Lines{"PALM-0001.pdz", "PALM-0002.pdz"}));
    EXPECT_EQ(h.m.ReadFile(kWork + "PALM-0001.pdz"),
              FileOf({kHeader, Rec("General", "Model", "Tungsten T3"), Rec("General", "GUID", "PALM-0001"),
                      Rec("Battery", "Level", "87"), kHostGuid, Rec("Host", "Notifier0", kNotifierPath),
                      Rec("Host", "Last HotSync", "12/08/2026 17:42:10")}));
    // Both files handed to the sync manager.
    EXPECT_EQ(h.m.ReadFile(kSyncFolder + "add-on\\PalmInfo.prc"), "the handheld application");
    EXPECT_EQ(h.m.ReadFile(kNotifierPath), "MZ the notifier");
    // The earlier registration goes first; the registration library is freed before the
    // user list is loaded, and the user list last.
    EXPECT_EQ(h.Calls(),
              (Lines{"LoadLibrary C:\\Palm\\CondMgr.dll", "GetProcAddress NmRegister", "GetProcAddress NmUnregister",
                     "NmUnregister " + kNotifierPath, "NmRegister " + kNotifierPath, "FreeLibrary C:\\Palm\\CondMgr.dll",
                     "LoadLibrary C:\\Palm\\UserData.DLL", "GetProcAddress UmGetUserCount", "GetProcAddress UmGetUserID",
                     "GetProcAddress UmGetUserDirectory", "UmGetUserCount", "UmGetUserID 0", "UmGetUserDirectory 1001",
                     "UmGetUserID 1", "UmGetUserDirectory 1002", "UmGetUserID 2", "UmGetUserDirectory 1003",
                     "FreeLibrary C:\\Palm\\UserData.DLL"}));
    // Nothing of the collector outlives it.
    const qm::core::ProcessState& s = qm::core::State();
    EXPECT_FALSE(s.resultList.has_value());
    EXPECT_FALSE(s.syncManager.condMgr || s.syncManager.userData || s.syncManager.umGetUserCount);

    // A second run registers the notifier once again, in the same place.
    PalmInventory();
    EXPECT_NE(h.m.ReadFile(kWork + "PALM-0002.pdz").find(Rec("Host", "Notifier0", kNotifierPath)), std::string::npos);
    EXPECT_EQ(h.m.ReadFile(kWork + "PALM-0002.pdz").find("Notifier1"), std::string::npos);
}

TEST(PalmInventory, RecordsTakeTheirSectionKeyAndValueFromTheirFields) {
    TestMachine m;
    StartAgent();
    std::string identifier = "none";
    Lines lines = Parsed({InventoryRecord('A', "Apps", "12"), InventoryRecord('B', "Level", "87"),
                          InventoryRecord('G', "Name", "Jo's, \"PDA\""), InventoryRecord('M', "Free", "1024"),
                          InventoryRecord('N', "IP", "10.0.0.9"), InventoryRecord('a', "Low", "lower case"),
                          InventoryRecord('X', "Other", "x"), InventoryRecord('G', "Empty", "00", "ignored"),
                          InventoryRecord('G', "Long", "99", std::string(35, 'v')),
                          InventoryRecord('G', "Cut", "03", "abcdef"), InventoryRecord('G', "Pad", " 2", "abc"),
                          InventoryRecord('G', "Nul", "05", std::string("ab\0cd", 5)), Guid("FIRST"),
                          InventoryRecord('G', "guid", "lower case key"), InventoryRecord('G', "GUIDX", "other key"),
                          Guid("LAST")},
                         identifier);
    EXPECT_EQ(lines, (Lines{Rec("Application", "Apps", "12"), Rec("Battery", "Level", "87"),
                            Rec("General", "Name", "Jo s   PDA"), Rec("Memory", "Free", "1024"),
                            Rec("Network", "IP", "10.0.0.9"), Rec("Others", "Low", "lower case"),
                            Rec("Others", "Other", "x"), Rec("General", "Empty", ""),
                            Rec("General", "Long", std::string(35, 'v')), Rec("General", "Cut", "abc"),
                            Rec("General", "Pad", "ab"), Rec("General", "Nul", "ab"), Rec("General", "GUID", "FIRST"),
                            Rec("General", "guid", "lower case key"), Rec("General", "GUIDX", "other key"),
                            Rec("General", "GUID", "LAST")}));
    EXPECT_EQ(identifier, "LAST");

    // A database without records adds nothing and names no handheld.
    identifier.clear();
    EXPECT_TRUE(Parsed({}, identifier).empty());
    EXPECT_EQ(identifier, "");
}

TEST(PalmInventory, ADamagedDatabaseGivesNoFileForItsUserAndALogLine) {
    struct Case {
        const char* name;
        std::vector<std::string> records;
        int count;
        std::string said;
    };
    const Case cases[] = {
        {"length not a number", {Guid("BAD"), InventoryRecord('G', "Len", "x1", "abc")}, -1,
         "is damaged: record 1 has the length \"x1\""},
        {"length after a NUL", {Guid("BAD"), std::string("G\0", 2) + std::string(41, ' ')}, -1,
         "is damaged: record 1 has the length \"\""},
        {"fewer records than counted", {Guid("BAD"), Guid("BAD")}, 3,
         "is damaged: 3 records need 233 bytes, the file has 182"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Handheld h({{1, "Broken"}, {2, "Fine"}});
        h.Database("Broken", c.records, c.count);
        h.Database("Fine", {Guid("GOOD")});
        PalmInventory();
        EXPECT_EQ(h.Written(), (Lines{"GOOD.pdz"}));
        EXPECT_NE(h.Log().find("|C:\\Palm\\Broken\\Backup\\PalmInfoDB.PDB " + c.said + "\r\n"), std::string::npos)
            << h.Log();
    }
    // Shorter than the header itself.
    Handheld h({{1, "Broken"}});
    h.m.WriteFile("C:\\Palm\\Broken\\Backup\\PalmInfoDB.PDB", "PalmInfoDB");
    PalmInventory();
    EXPECT_TRUE(h.Written().empty());
    EXPECT_NE(h.Log().find("PalmInfoDB.PDB is damaged: 10 bytes, shorter than the header\r\n"), std::string::npos);
}

TEST(PalmInventory, TheHandheldIdentifierNamesAFileOfTheWorkFolderOnly) {
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{Guid("..\\..\\x")}, ".._.._x.pdz"},
        {{Guid("CON")}, "_CON.pdz"},
        {{Guid("a/b:c*")}, "a_b_c_.pdz"},
        {{InventoryRecord('G', "Model", "no identifier")}, ".pdz"},
        // A key that differs from the identifier's only in case names nothing, even when last.
        {{Guid("REAL"), InventoryRecord('G', "guid", "lower case key")}, "REAL.pdz"},
    };
    for (const auto& [records, file] : cases) {
        SCOPED_TRACE(file);
        Handheld h({{1, "JDoe"}});
        h.Database("JDoe", records);
        PalmInventory();
        EXPECT_EQ(h.Written(), (Lines{file}));
        EXPECT_FALSE(h.m.Exists("C:\\x.pdz"));
    }
    // A later user with the same identifier replaces the earlier one's file.
    Handheld h({{1, "One"}, {2, "Two"}});
    h.Database("One", {Guid("SAME"), InventoryRecord('G', "Who", "one")});
    h.Database("Two", {Guid("SAME"), InventoryRecord('G', "Who", "two")});
    PalmInventory();
    EXPECT_EQ(h.Written(), (Lines{"SAME.pdz"}));
    EXPECT_NE(h.m.ReadFile(kWork + "SAME.pdz").find(Rec("General", "Who", "two")), std::string::npos);
}

TEST(PalmInventory, TheHostRecordsTakeEveryNotifierValueAndTheLastSyncWhateverTheirType) {
    RegText registry = RegText()
                           .Key(kCore)
                           .Value("Path", "C:\\Palm\\")
                           .Key(kHotSync)
                           .Dword("LastSync", 1765215730)
                           .Value("OldNotifier", "C:\\Other\\old.dll")
                           .Dword("NotifierCount", 2)
                           .Value("notifier9", "lower case: not taken")
                           .Value("Notifier, \"x\"", "a name with quotes");
    Handheld h({{1, "JDoe"}}, registry);
    h.Database("JDoe", {});
    PalmInventory();
    EXPECT_EQ(h.m.ReadFile(kWork + ".pdz"),
              FileOf({kHeader, kHostGuid, Rec("Host", "OldNotifier", "C:\\Other\\old.dll"), Rec("Host", "NotifierCount", "2"),
                      Rec("Host", "Notifier   x", "a name with quotes"), Rec("Host", "Notifier0", kNotifierPath),
                      Rec("Host", "Last HotSync", "1765215730")}));
}

TEST(PalmInventory, AMissingFileOrExportOrASyncManagerFolderThatIsNoFullPathStopsTheCollector) {
    struct Case {
        const char* name;
        std::string path;
        const char* condMgrPatch;
        const char* userDataPatch;
        const char* missingFile;
        bool registers;
    };
    const Case cases[] = {
        {"no NmRegister", "C:\\Palm", R"({"missing": ["NmRegister"]})", "{}", nullptr, false},
        {"no NmUnregister", "C:\\Palm", R"({"missing": ["NmUnregister"]})", "{}", nullptr, false},
        {"no UmGetUserCount", "C:\\Palm", "{}", R"({"missing": ["UmGetUserCount"]})", nullptr, true},
        {"no UmGetUserDirectory", "C:\\Palm", "{}", R"({"missing": ["UmGetUserDirectory"]})", nullptr, true},
        {"no application file", "C:\\Palm", "{}", "{}", "PalmInfo.prc", false},
        {"no notifier file", "C:\\Palm", "{}", "{}", "QuarmelinConduit.dll", false},
        {"empty folder", "", "{}", "{}", nullptr, false},
        {"relative folder", "Palm", "{}", "{}", nullptr, false},
        {"drive-relative folder", "C:Palm", "{}", "{}", nullptr, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Handheld h({{1, "JDoe"}}, SyncRegistry(c.path), c.condMgrPatch, c.userDataPatch);
        h.Database("JDoe", {Guid("PALM-0001")});
        if (c.missingFile != nullptr) qm::platform::Files().DeleteFile(kAgentFolder + c.missingFile);
        qm::platform::Files().SetCurrentDirectory("C:\\");  // where a relative folder would lead
        PalmInventory();
        EXPECT_TRUE(h.Written().empty());
        Lines calls = h.Calls();
        EXPECT_EQ(std::count(calls.begin(), calls.end(), "NmRegister " + kNotifierPath), c.registers ? 1 : 0);
        EXPECT_EQ(h.m.Exists(kNotifierPath), c.registers);
        // Whatever was loaded is freed.
        EXPECT_EQ(std::count_if(calls.begin(), calls.end(), [](const std::string& s) { return s.rfind("LoadLibrary", 0) == 0; }),
                  std::count_if(calls.begin(), calls.end(), [](const std::string& s) { return s.rfind("FreeLibrary", 0) == 0; }));
        if (c.path != "C:\\Palm") {
            EXPECT_TRUE(calls.empty());
        }
    }
}

TEST(PalmInventory, FailedUserCallsReadNoStaleAnswerAndNoFolderOutsideTheSyncManager) {
    // Three users counted, two listed: the third's identifier and folder stay empty.
    Handheld h({{1, "JDoe"}, {2, "..\\Elsewhere"}}, SyncRegistry(), "{}", R"({"user_count": 3})");
    h.Database("JDoe", {Guid("PALM-0001")});
    h.m.WriteFile("C:\\Elsewhere\\Backup\\PalmInfoDB.PDB", BuildPalmDatabase(PalmDatabase{"x", "DATA", "QmIv", 0, {Guid("OUT")}}));
    h.m.WriteFile("C:\\Palm\\Backup\\PalmInfoDB.PDB", BuildPalmDatabase(PalmDatabase{"x", "DATA", "QmIv", 0, {Guid("ROOT")}}));
    PalmInventory();
    EXPECT_EQ(h.Written(), (Lines{"PALM-0001.pdz"}));
    Lines calls = h.Calls();
    EXPECT_NE(std::find(calls.begin(), calls.end(), "UmGetUserDirectory 0"), calls.end());
    EXPECT_EQ(LogTextsStartingWith(h.Log(), "Handheld user "),
              (Lines{"Handheld user 1: no folder of its own (\"..\\Elsewhere\"), skipped",
                     "Handheld user 2: no folder of its own (\"\"), skipped"}));
}

TEST(PalmInventory, AFolderThatFillsTheWholeBufferIsReadWithinIt) {
    std::string folder(250, 'f');
    Handheld h({{1, folder}});
    PalmInventory();
    EXPECT_TRUE(h.Written().empty());
    Lines calls = h.Calls();
    EXPECT_NE(std::find(calls.begin(), calls.end(), "UmGetUserDirectory 1"), calls.end());
}

TEST(PalmInventory, ANegativeUserCountCountsAsNoUsers) {
    Handheld h({{1, "JDoe"}}, SyncRegistry(), "{}", R"({"user_count": -2})");
    h.Database("JDoe", {Guid("PALM-0001")});
    PalmInventory();
    EXPECT_TRUE(h.Written().empty());
    Lines calls = h.Calls();
    EXPECT_EQ(std::count_if(calls.begin(), calls.end(), [](const std::string& s) { return s.rfind("UmGetUserID", 0) == 0; }), 0);
    EXPECT_EQ(calls.back(), "FreeLibrary C:\\Palm\\UserData.DLL");
}

TEST(PalmInventory, AUserWhoseCallsRaiseCostsTheOthersNothing) {
    Handheld h({{1, "One"}, {2, "Two"}});
    h.Database("One", {Guid("ONE")});
    h.Database("Two", {Guid("TWO")});
    qm::sim::FaultConfig fault{"UmGetUserDirectory", "", 5};
    fault.raise = true;
    fault.times = 1;
    h.m.Machine().AddFault(fault);
    PalmInventory();
    EXPECT_EQ(h.Written(), (Lines{"TWO.pdz"}));
    EXPECT_EQ(h.Calls().back(), "FreeLibrary C:\\Palm\\UserData.DLL");
}
