#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <unistd.h>
#include <sys/wait.h>

#include <filesystem>
#include <string>
#include <vector>

#include "agent_fixture.h"
#include "support/agent_state.h"
#include "support/test_machine.h"

extern char** environ;

using namespace qm::test;

namespace {

// The built agent program, started on the test's machine folder as a Windows program of it.
pid_t StartProgram(TestMachine& m, const std::string& switches) {
    std::string self = std::filesystem::read_symlink("/proc/self/exe").parent_path().string();
    std::string program = self + "/qmagent.exe";
    std::string windowsPath = kAgentFolder + "qmagent.exe";
    std::vector<std::string> env = {"QM_MACHINE=" + m.Folder(), "QM_PROGRAM=" + windowsPath,
                                    "QM_COMMAND_LINE=\"" + windowsPath + "\" " + switches, "QM_CURRENT_DIRECTORY=C:\\TEMP"};
    for (char** e = environ; *e != nullptr; ++e)
        if (std::string_view(*e).rfind("QM_", 0) != 0) env.emplace_back(*e);
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    char* argv[] = {program.data(), nullptr};
    // Never the terminal the tests may run on: the recorded answers serve, nothing waits.
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    pid_t pid = 0;
    EXPECT_EQ(::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, envp.data()), 0);
    ::posix_spawn_file_actions_destroy(&actions);
    return pid;
}

int Wait(pid_t pid) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int RunProgram(TestMachine& m, const std::string& switches) { return Wait(StartProgram(m, switches)); }

void Prepare(TestMachine& m, bool due) {
    m.InstallProgram("QMBios.exe", kAgentFolder);
    m.WriteFile(kAgentSettings, "[DIRECTORY]\r\nDIRECTORY=C:\\Outbox\r\n");
    m.MakeFolder("C:\\Outbox");
    if (!due) m.WriteFile(kChkId, kNotDueChkId);
}

}  // namespace

// The real program, in its own process, for the rows of the decision table.
TEST(Program, RunsAsTheSwitchesSay) {
    struct Case {
        const char* switches;
        bool due;
        bool inventory;
        int deliveries;
        bool delivered;  // an archive reached the copy folder
    };
    const Case cases[] = {
        {"/LOG", true, true, 0, false},         {"/LOG", false, false, 0, false},
        {"/S /LOG", false, false, 1, false},    {"/DLG /LOG", false, true, 1, true},
        {"/MAIL /LOG", false, true, 1, true},   {"/HMAIL /LOG", false, true, 1, true},
        {"/REMOTE /LOG", false, false, 1, false}, {"/SMTP /LOG", true, false, 1, false},
        {"/CONFIG /DLG /LOG", true, false, 1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.due ? "due: " : "not due: ") + c.switches);
        TestMachine m(kAgentMachine);
        Prepare(m, c.due);
        EXPECT_EQ(RunProgram(m, c.switches), 0);
        std::string log = m.ReadFile(kTraceLog);
        EXPECT_EQ(log.find("|BiosInfo\r\n") != std::string::npos, c.inventory);
        EXPECT_EQ(Count(log, "|Enter  SendSimpleMail"), c.deliveries);
        EXPECT_EQ(!std::filesystem::is_empty(m.HostPath("C:\\Outbox")), c.delivered);
        EXPECT_NE(log.find("|END\r\n"), std::string::npos);
    }
}

TEST(Program, OnlineLeavesThePlainResultsAndAFailedCheckDeliversNothing) {
    {
        TestMachine m(kAgentMachine);
        Prepare(m, true);
        EXPECT_EQ(RunProgram(m, "/N /ONLINE"), 0);
        EXPECT_NE(m.ReadFile("C:\\WINDOWS\\QM-TEST-01.hrz").find("\"Ident\",\"UUID\",\"U\""), std::string::npos);
        EXPECT_TRUE(m.Exists("C:\\WINDOWS\\QM-TEST-01.sfz"));
        EXPECT_EQ(m.ReadFile(kChkId).find("[Inventory]"), std::string::npos);
    }
    {
        TestMachine m(AgentMachineWithUnreadableSettings());
        Prepare(m, true);
        EXPECT_EQ(RunProgram(m, "/DLG /S /LOG"), 0);
        EXPECT_EQ(m.ReadFile(kTraceLog).find("SendSimpleMail"), std::string::npos);
        EXPECT_TRUE(std::filesystem::is_empty(m.HostPath("C:\\Outbox")));
    }
}

TEST(Program, ASecondInstanceEndsAtOnceAndTouchesNothing) {
    // The first one waits for a slow BIOS program, holding the single-instance mutex. The
    // delay goes into the machine's own BIOS program entry: a second entry of that name would
    // give way to it, and the first run would not wait.
    std::string machine = kAgentMachine;
    machine.insert(machine.find("\"uuid\""), R"("delay_ms": 1500, )");
    TestMachine m(machine);
    Prepare(m, true);
    pid_t first = StartProgram(m, "/N");
    for (int i = 0; i < 2000 && !std::filesystem::exists(m.HostPath("C:\\WINDOWS\\QM-TEST-01.hrz")); ++i)
        ::usleep(1000);
    EXPECT_EQ(RunProgram(m, "/N /LOG"), 0);
    EXPECT_FALSE(m.Exists(kTraceLog));  // the second start wrote nothing
    EXPECT_EQ(Wait(first), 0);
    EXPECT_TRUE(m.Exists("C:\\Program Files\\Quarmelin\\Results"));
}
