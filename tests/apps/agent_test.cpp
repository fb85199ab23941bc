#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

#include "agent_fixture.h"
#include "apps/agent.h"
#include "core/process_state.h"
#include "core/profile_files.h"
#include "delivery/scrambling.h"
#include "platform/platform.h"
#include "platform/sim/sim_dialogs.h"
#include "platform/text.h"
#include "support/agent_state.h"
#include "support/pdb_writer.h"
#include "support/reg_text.h"
#include "support/test_machine.h"

using qm::test::AgentMachineWithUnreadableSettings;
using qm::test::Count;
using qm::test::kAgentFolder;
using qm::test::kAgentMachine;
using qm::test::kAgentPath;
using qm::test::kChkId;
using qm::test::kNotDueChkId;
using qm::test::kTraceLog;
using qm::test::RegText;
using qm::test::TestMachine;

namespace {

void PlaceAgent(TestMachine& m) { m.InstallProgram("QMBios.exe", kAgentFolder); }

int Agent(std::vector<std::string> switches) {
    switches.insert(switches.begin(), kAgentPath);
    return qm::agent::AgentMain(switches);
}

// An inventory stored today: nothing is due this month with the default period.
void NotDue(TestMachine& m) { m.WriteFile(kChkId, kNotDueChkId); }

const std::string kResults = "C:\\Program Files\\Quarmelin\\Results\\";

// The hardware and software results that wait in Results\, whatever they are named.
std::vector<std::string> WaitingResults() {
    std::vector<std::string> waiting;
    for (const std::string& name : qm::test::FileNamesIn(kResults)) {
        std::string extension = qm::platform::AsciiUpper(name.substr(name.size() < 4 ? 0 : name.size() - 4));
        if (extension == ".HRZ" || extension == ".SFZ") waiting.push_back(name);
    }
    return waiting;
}

// The text of the last message box shown, empty when there was none.
std::string LastMessageBox(TestMachine& m) {
    std::string text;
    for (const auto& e : m.Machine().DialogsOfMachine().Journal())
        if (e.kind == "message box") text = e.title + ": " + e.detail;
    return text;
}

struct Outcome {
    bool inventory = false;
    bool waitDialog = false;
    int deliveries = 0;
    bool messageBox = false;
};

Outcome RunWith(const std::vector<std::string>& switches, bool due) {
    TestMachine m(kAgentMachine);
    PlaceAgent(m);
    if (!due) NotDue(m);
    std::vector<std::string> all = switches;
    all.push_back("/LOG");
    EXPECT_EQ(Agent(all), 0);
    Outcome o;
    std::string log = m.ReadFile(kTraceLog);
    o.inventory = log.find("|BiosInfo\r\n") != std::string::npos;
    o.deliveries = Count(log, "|Enter  SendSimpleMail");
    for (const auto& e : m.Machine().DialogsOfMachine().Journal()) {
        o.waitDialog = o.waitDialog || e.kind == "wait dialog";
        o.messageBox = o.messageBox || e.kind == "message box";
    }
    return o;
}

}  // namespace

TEST(Agent, TheSwitchesDecideWhatARunDoes) {
    struct Case {
        std::vector<std::string> switches;
        bool due;
        Outcome expected;
    };
    const Case cases[] = {
        {{}, true, {true, false, 0, false}},
        {{}, false, {false, false, 0, false}},
        {{"/S"}, false, {false, false, 1, false}},  // delivers what already waits
        {{"/SENDDEBUG"}, false, {false, false, 1, false}},
        {{"/VERBOSE"}, true, {true, true, 0, false}},
        {{"/VERBOSE"}, false, {false, false, 0, false}},
        {{"/DLG"}, false, {true, true, 1, true}},
        {{"/DLG", "/HIDE"}, false, {true, true, 1, false}},
        {{"/DLG", "/S"}, false, {true, true, 2, true}},
        {{"/MAIL"}, false, {true, true, 1, false}},
        {{"/HMAIL"}, false, {true, false, 1, false}},
        {{"/HMAIL", "/DLG"}, false, {true, false, 1, false}},  // "/DLG" is cleared
        {{"/REMOTE"}, false, {false, false, 1, false}},
        {{"/REMOTE"}, true, {true, false, 1, false}},
        {{"/REMOTE", "/VERBOSE"}, false, {true, true, 1, false}},
        {{"/SMTP"}, true, {false, false, 1, false}},    // connection-settings mode only
        {{"/CONFIG", "/DLG"}, true, {false, false, 1, false}},
    };
    for (const Case& c : cases) {
        std::string name = c.due ? "due:" : "not due:";
        for (const auto& s : c.switches) name += " " + s;
        SCOPED_TRACE(name);
        Outcome o = RunWith(c.switches, c.due);
        EXPECT_EQ(o.inventory, c.expected.inventory);
        EXPECT_EQ(o.waitDialog, c.expected.waitDialog);
        EXPECT_EQ(o.deliveries, c.expected.deliveries);
        EXPECT_EQ(o.messageBox, c.expected.messageBox);
    }
}

TEST(Agent, AStartWithNothingDueOnlyPreparesAndLeavesTheResultsAlone) {
    TestMachine m(kAgentMachine);
    PlaceAgent(m);
    NotDue(m);
    EXPECT_EQ(Agent({}), 0);
    EXPECT_EQ(qm::core::ReadProfileString(kChkId, "GLOBAL", "VERSION"), "2.02.06");
    EXPECT_EQ(qm::core::ReadProfileString(kChkId, "GLOBAL", "PATH"), kAgentPath);
    EXPECT_FALSE(m.Exists("C:\\WINDOWS\\QM-TEST-01.hrz"));
    EXPECT_FALSE(m.Exists(kTraceLog));  // no logging asked for
    EXPECT_TRUE(m.Exists("C:\\Program Files\\Quarmelin\\Results"));
}

TEST(Agent, TheStartLinesAndTheVersionAreLogged) {
    TestMachine m(kAgentMachine);
    PlaceAgent(m);
    NotDue(m);
    EXPECT_EQ(Agent({"/log", "/S"}), 0);
    std::string log = m.ReadFile(kTraceLog);
    for (const char* line : {"|C:\\Program Files\\Quarmelin\\QMAgent.exe\r\n", "|/log\r\n", "|/S\r\n", "|Version:2.02.06\r\n",
                             "|C:\\Program Files\\Quarmelin\\QMAgent.exe /log /S\r\n", "|Computer Name = QM-TEST-01\r\n",
                             "|Server Result = C:\\Program Files\\Quarmelin\\Results\\\r\n",
                             "|Local Result = C:\\WINDOWS\\QM-TEST-01.hrz\r\n", "|closing logfile\r\n", "|END\r\n"})
        EXPECT_NE(log.find(line), std::string::npos) << line;
}

TEST(Agent, OnlineRunsLeaveThePlainResultsAndTheDateOfTheLastRealInventory) {
    TestMachine m(kAgentMachine);
    PlaceAgent(m);
    m.WriteFile(kChkId, "[Inventory]\r\nDate=11/02/2026 10:00\r\n");
    EXPECT_EQ(Agent({"/N", "/ONLINE"}), 0);
    EXPECT_TRUE(m.Exists("C:\\WINDOWS\\QM-TEST-01.hrz"));
    EXPECT_NE(m.ReadFile("C:\\WINDOWS\\QM-TEST-01.hrz").find("\"Ident\",\"UUID\",\"U\""), std::string::npos);
    EXPECT_EQ(qm::core::ReadProfileString(kChkId, "Inventory", "Date"), "11/02/2026 10:00");
    EXPECT_TRUE(WaitingResults().empty());
}

TEST(Agent, ResultsThatCannotBeScrambledStoreNoInventoryDateAndWaitForTheNextRun) {
    TestMachine m(kAgentMachine);
    PlaceAgent(m);
    m.WriteFile(kChkId, "[Identification]\r\nAsset#=QM-TEST-01\r\n[Inventory]\r\nDate=11/02/2026 10:00\r\n");
    m.MakeFolder(kResults);
    m.Machine().AddFault({"write", kResults, qm::platform::ERROR_ACCESS_DENIED, false, -1});
    EXPECT_EQ(Agent({"/S", "/LOG"}), 0);
    m.Machine().ClearFaults();
    EXPECT_EQ(qm::core::ReadProfileString(kChkId, "Inventory", "Date"), "11/02/2026 10:00");
    EXPECT_TRUE(WaitingResults().empty());
    EXPECT_TRUE(m.Exists("C:\\WINDOWS\\QM-TEST-01.hrz"));
    EXPECT_TRUE(m.Exists("C:\\WINDOWS\\QM-TEST-01.sfz"));
    // The next run is still due, and takes the inventory that goes to Results\ this time.
    EXPECT_EQ(Agent({"/LOG"}), 0);
    EXPECT_EQ(WaitingResults().size(), 2u);
    EXPECT_EQ(qm::core::ReadProfileString(kChkId, "Inventory", "Date"), "12/09/2026 07:03");
}

TEST(Agent, AFailedResultCheckEndsTheRunWithoutDelivery) {
    // The settings file cannot be read for the header block: the inventory ends there and
    // the hardware file lacks the records the check requires.
    TestMachine m(AgentMachineWithUnreadableSettings());
    PlaceAgent(m);
    EXPECT_EQ(Agent({"/DLG", "/S", "/LOG"}), 0);
    std::string log = m.ReadFile(kTraceLog);
    EXPECT_EQ(log.find("SendSimpleMail"), std::string::npos);
    EXPECT_NE(log.find("|END\r\n"), std::string::npos);  // the exit path ran
    for (const auto& e : m.Machine().DialogsOfMachine().Journal()) EXPECT_NE(e.kind, "message box");
}

// The handheld inventory comes after the software inventory, and only when the hardware result
// passed its check.
TEST(Agent, TheHandheldInventoryFollowsTheSoftwareInventoryOfAPassedCheck) {
    for (bool passes : {true, false}) {
        SCOPED_TRACE(passes ? "passed" : "failed");
        std::string json = passes ? std::string(kAgentMachine) : AgentMachineWithUnreadableSettings();
        json.insert(1, R"("libraries": [{"path": "C:\\Palm\\CondMgr.dll", "module": "CondMgr"},
                                        {"path": "C:\\Palm\\UserData.DLL", "module": "UserData",
                                         "users": [{"id": 1, "folder": "jdoe"}]}], )");
        TestMachine m(json, RegText().Key("HKEY_CURRENT_USER\\Software\\U.S. Robotics\\Pilot Desktop\\Core")
                                .Value("Path", "C:\\Palm")
                                .Text());
        PlaceAgent(m);
        for (const char* file : {"C:\\Palm\\CondMgr.dll", "C:\\Palm\\UserData.DLL", "C:\\Program Files\\Quarmelin\\PalmInfo.prc",
                                 "C:\\Program Files\\Quarmelin\\QuarmelinConduit.dll"})
            m.WriteFile(file, "MZ");
        qm::test::PalmDatabase db;
        db.records = {qm::test::InventoryRecord('G', "GUID", "PDA-1")};
        m.WriteFile("C:\\Palm\\jdoe\\Backup\\PalmInfoDB.PDB", qm::test::BuildPalmDatabase(db));
        EXPECT_EQ(Agent({"/N", "/ONLINE", "/LOG"}), 0);
        EXPECT_EQ(m.Exists("C:\\WINDOWS\\PDA-1.pdz"), passes);
        std::string log = m.ReadFile(kTraceLog);
        std::size_t software = log.find("|Exit SoftwareInventory\r\n");
        std::size_t handheld = log.find("|RES : \"General\",\"GUID\",\"PDA-1\"");
        if (passes) {
            ASSERT_NE(software, std::string::npos);
            EXPECT_GT(handheld, software);
        } else {
            EXPECT_EQ(handheld, std::string::npos);
            EXPECT_TRUE(m.Machine().LibrariesOfMachine().Calls().empty());
        }
    }
}

TEST(Agent, TheEndMessageSaysWhetherTheDataWent) {
    struct Case {
        const char* name;
        std::vector<std::string> switches;
        bool copyFolder;    // "DIRECTORY" names a folder that takes the archives
        bool olderArchive;  // an archive of an earlier run waits in Trans\ too
        bool sent;
    };
    const Case cases[] = {
        {"nothing can be delivered", {"/DLG"}, false, false, false},
        {"the folder copy delivers", {"/DLG"}, true, false, true},
        // With "/GTV" nothing is sent, whatever waits and whatever could take it.
        {"/GTV", {"/DLG", "/GTV"}, true, false, false},
        {"/GTV with an older archive waiting", {"/DLG", "/GTV"}, true, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestMachine m(kAgentMachine);
        PlaceAgent(m);
        if (c.copyFolder) {
            m.WriteFile(qm::test::kAgentSettings, "[DIRECTORY]\r\nDIRECTORY=C:\\Drop\r\n");
            m.MakeFolder("C:\\Drop");
        }
        if (c.olderArchive) m.WriteFile(kAgentFolder + "Trans\\older.GTV", "waiting");
        EXPECT_EQ(Agent(c.switches), 0);
        EXPECT_EQ(LastMessageBox(m), "Inventory: " + std::string(c.sent ? qm::agent::kSentText : qm::agent::NotSentText()) +
                                         " [information]");
        if (c.copyFolder) {
            EXPECT_EQ(qm::test::FileNamesIn("C:\\Drop\\").size(), c.sent ? 1u : 0u);
        }
        if (c.olderArchive) {
            EXPECT_TRUE(m.Exists(kAgentFolder + "Trans\\older.GTV"));  // not marked sent
        }
    }
    // The not-sent text in its six lines.
    EXPECT_EQ(Count(qm::agent::NotSentText(), "\r\n"), 5);
    EXPECT_NE(qm::agent::NotSentText().find(qm::agent::kSupportAddress), std::string::npos);
}

TEST(Agent, WithLog2TheProgramStaysUntilTheLogWindowCloses) {
    TestMachine m(std::string(kAgentMachine).insert(1, R"("dialogs": {"main_window_stays_open": true}, )"));
    PlaceAgent(m);
    NotDue(m);
    auto& dialogs = m.Machine().DialogsOfMachine();
    std::thread user([&] {
        while (!dialogs.InMessageLoop()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        dialogs.CloseMainWindow();
    });
    EXPECT_EQ(Agent({"/LOG2"}), 0);
    user.join();
    std::vector<std::string> lines = dialogs.LogWindowLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "C:\\WINDOWS\\Gantrovelminds.log exists");
    EXPECT_EQ(dialogs.Journal().back().kind, "main form closed");
}

TEST(Agent, ASecondAgentOfTheSameProgramNameStopsAtOnce) {
    TestMachine m(kAgentMachine);
    PlaceAgent(m);
    int ready[2], release[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(release), 0);
    pid_t pid = ::fork();
    if (pid == 0) {
        // Another agent, installed elsewhere under the same file name in other case.
        auto machine = qm::sim::SimMachine::Load(m.Folder());
        auto held = machine->Processes().CreateMutex("QMAGENT.EXE");
        char c = 'x';
        (void)!::write(ready[1], &c, 1);
        (void)!::read(release[0], &c, 1);
        _exit(0);
    }
    char c = 0;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    std::vector<std::string> parameters{"C:\\Elsewhere\\qmagent.exe", "/LOG", "/N"};
    EXPECT_EQ(qm::agent::AgentMain(parameters), 0);
    EXPECT_FALSE(m.Exists(kTraceLog));
    EXPECT_FALSE(m.Exists(kChkId));
    (void)!::write(release[1], &c, 1);
    int status = 0;
    ::waitpid(pid, &status, 0);
    // Once the other one ended, the agent runs.
    EXPECT_EQ(qm::agent::AgentMain(parameters), 0);
    EXPECT_TRUE(m.Exists(kTraceLog));
    for (int fd : {ready[0], ready[1], release[0], release[1]}) ::close(fd);
}

TEST(Agent, AWaitDialogBesideTheBiosHelperNeitherLosesRecordsNorMovesTheInventoryDate) {
    // The helper runs in its own process while the wait dialog ticks on its own thread.
    TestMachine m(kAgentMachine);
    PlaceAgent(m);
    EXPECT_EQ(Agent({"/VERBOSE"}), 0);
    // The scrambled hardware file waiting for delivery holds the helper's records.
    // It is named by the machine identifier.
    std::string hardware;
    for (const std::string& name : WaitingResults())
        if (name.substr(name.size() - 4) == ".hrz")
            hardware = qm::delivery::ScrambleString(m.ReadFile(kResults + name), qm::delivery::kByteXorKey);
    EXPECT_NE(hardware.find("\"Ident\",\"UUID\",\"U\""), std::string::npos);
    EXPECT_NE(hardware.find("\"Ident\",\"SN\",\"SN\""), std::string::npos);
    bool waited = false;
    for (const auto& e : m.Machine().DialogsOfMachine().Journal()) waited = waited || e.kind == "wait dialog";
    EXPECT_TRUE(waited);
    // The date stored is the one the run started at on the machine's clock.
    EXPECT_EQ(qm::core::ReadProfileString(kChkId, "Inventory", "Date"), "12/09/2026 07:03");
}

TEST(Agent, AnInventoryDateThatCannotBeStoredNeverKeepsTheRunFromDelivering) {
    for (const char* sw : {"/S", "/DLG", "/HMAIL"}) {
        SCOPED_TRACE(sw);
        TestMachine m(std::string(kAgentMachine)
                          .insert(1, R"("faults": [{"op": "WritePrivateProfileString", "path": "C:\\WINDOWS\\Chk_ID"}], )"));
        PlaceAgent(m);
        m.WriteFile(kChkId, "[Identification]\r\nAsset#=QM-TEST-01\r\n");
        m.WriteFile(qm::test::kAgentSettings, "[DIRECTORY]\r\nDIRECTORY=C:\\Drop\r\n");
        m.MakeFolder("C:\\Drop");
        // Every start takes the inventory again, as no date is stored, and delivers it.
        for (int start = 1; start <= 2; ++start) {
            m.Machine().AdvanceClock(1000);
            EXPECT_EQ(Agent({sw, "/LOG"}), 0);
            EXPECT_EQ(qm::test::FileNamesIn("C:\\Drop\\").size(), static_cast<std::size_t>(start));
        }
        std::string log = m.ReadFile(kTraceLog);
        EXPECT_NE(log.find("|The inventory date was not stored: Unable to write to C:\\WINDOWS\\Chk_ID"), std::string::npos)
            << log;
        EXPECT_EQ(qm::core::ReadProfileString(kChkId, "Inventory", "Date"), "");
    }
}

TEST(Agent, StoredParametersThatCannotBeReadCountAsMissing) {
    struct Case {
        const char* name;
        const char* fault;
        bool at;  // the stored "/AT" of the settings file is read
    };
    // The service's INI file names the folder of the stored parameters, apart from the
    // settings file beside the agent.
    const Case cases[] = {
        {"their settings file raises", R"({"op": "CreateFile", "path": "C:\\Params\\QMAgent.lic", "raise": true})", false},
        {"the service's INI file raises", R"({"op": "CreateFile", "path": "C:\\Svc\\QMSrv.ini", "raise": true})", false},
        // As a missing key: the settings file decides.
        {"the maker's key raises", R"({"op": "RegOpenKeyEx", "path": "HKEY_LOCAL_MACHINE\\SOFTWARE\\Quarmelin", "raise": true})",
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestMachine m(std::string(kAgentMachine).insert(1, std::string(R"("faults": [)") + c.fault + "], "),
                      RegText()
                          .Key("HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\QmagentSrv")
                          .Value("ImagePath", "C:\\Svc\\QMSrv.exe")
                          .Text());
        PlaceAgent(m);
        m.WriteFile(qm::test::kAgentSettings, "[IDENTIFICATION]\r\nCODE=C\r\n");
        m.WriteFile("C:\\Svc\\QMSrv.ini", "[SERVER]\r\nPATH=C:\\Params\\\r\n");
        m.WriteFile("C:\\Params\\QMAgent.lic", "[QMAGENT_PARAMETERS]\r\n/AT=1\r\n");
        EXPECT_EQ(Agent({"/LOG", "/S"}), 0);
        std::string log = m.ReadFile(kTraceLog);
        EXPECT_NE(log.find("|Stored parameters not read: "), std::string::npos) << log;
        // The run goes on as without stored parameters: the inventory, then the delivery.
        EXPECT_NE(log.find("|BiosInfo\r\n"), std::string::npos) << log;
        EXPECT_NE(log.find("|Enter  SendSimpleMail\r\n"), std::string::npos);
        EXPECT_EQ(log.find("\"Start Option\",\"opt_AT\"") != std::string::npos, c.at);
    }
}

TEST(Agent, ALogOrMutexThatRaisesNeverEndsTheRun) {
    struct Case {
        const char* name;
        const char* fault;
        bool logged;  // the trace log holds the run's lines
    };
    const Case cases[] = {
        {"a trace-log write raises", R"({"op": "WriteFile", "path": "C:\\WINDOWS\\Gantrovelminds.log", "raise": true})", false},
        {"a trace-log write raises later",
         R"({"op": "WriteFile", "path": "C:\\WINDOWS\\Gantrovelminds.log", "raise": true, "after": 6})", false},
        {"a trace-log flush raises", R"({"op": "FlushFileBuffers", "path": "C:\\WINDOWS\\Gantrovelminds.log", "raise": true})",
         false},
        // As no mutex: the run goes on.
        {"the mutex raises", R"({"op": "CreateMutex", "raise": true})", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestMachine m(std::string(kAgentMachine)
                          .insert(1, std::string(R"("current_directory": "C:\\TEMP", "faults": [)") + c.fault + "], "));
        PlaceAgent(m);
        m.WriteFile(qm::test::kAgentSettings, "[DIRECTORY]\r\nDIRECTORY=C:\\Missing\r\n");
        EXPECT_EQ(Agent({"/LOG", "/S"}), 0);
        // The inventory ran, the delivery had its archives to offer, and its failure was kept
        // in the error list.
        ASSERT_TRUE(m.Exists("C:\\TEMP\\QMAgent.LOG"));
        EXPECT_NE(m.ReadFile("C:\\TEMP\\QMAgent.LOG").find(" - Directory not Found : C:\\Missing\r\n"), std::string::npos);
        const std::string log = m.Exists(kTraceLog) ? m.ReadFile(kTraceLog) : std::string();
        EXPECT_EQ(log.find("|Enter  SendSimpleMail\r\n") != std::string::npos, c.logged) << log;
    }
}
