#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/platform.h"
#include "platform/sim/sim_processes.h"
#include "support/test_machine.h"

using namespace qm::platform;
using qm::test::TestMachine;

TEST(SimProcesses, RunStandInsOnTheSameMachine) {
    TestMachine m(R"({"bios_program": {"manufacturer": "Maker", "model": "Model 7", "serial": "SN-1",
                                       "uuid": "4C4C4544004A3510804BB2C04F4D3132", "exit_code": 3}})");
    m.InstallProgram("QMBios.exe", "C:\\Program Files\\Quarmelin");
    m.WriteFile("C:\\WINDOWS\\PC.hrz", "\"F1\"\r\n");
    std::string shortPath;
    ASSERT_GT(Files().GetShortPathName("C:\\WINDOWS\\PC.hrz", shortPath), 0u);
    auto p = Processes().CreateProcess(
        "C:\\WINDOWS\\system32\\cmd.exe /C \"\"C:\\Program Files\\Quarmelin\\QMBios.exe\" /" + shortPath + "\"", SW_HIDE,
        HIGH_PRIORITY_CLASS | CREATE_NEW_CONSOLE);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->WaitForSingleObject(20000), WAIT_OBJECT_0);
    DWORD code = 0;
    ASSERT_TRUE(p->GetExitCodeProcess(code));
    EXPECT_EQ(code, 3u);  // the interpreter passes the program's exit code on
    EXPECT_EQ(m.ReadFile("C:\\WINDOWS\\PC.hrz"),
              "\"F1\"\r\n\"Ident\",\"Manufacturer\",\"Maker\"\r\n\"Ident\",\"Model\",\"Model 7\"\r\n\"Ident\",\"SN\",\"SN-1\"\r\n"
              "\"Ident\",\"UUID\",\"4C4C4544004A3510804BB2C04F4D3132\"\r\n");
    std::vector<qm::sim::StartedProcess> started = m.Machine().ProcessesOfMachine().Started();
    ASSERT_EQ(started.size(), 1u);
    EXPECT_EQ(started[0].program, "C:\\WINDOWS\\system32\\cmd.exe");
    EXPECT_EQ(started[0].creationFlags, HIGH_PRIORITY_CLASS | CREATE_NEW_CONSOLE);

    EXPECT_EQ(Processes().CreateProcess("C:\\nothing\\here.exe", SW_HIDE, 0), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
    m.WriteFile("C:\\WINDOWS\\notes.exe", "not a program");
    EXPECT_EQ(Processes().CreateProcess("C:\\WINDOWS\\notes", SW_HIDE, 0), nullptr);  // ".exe" is added
    EXPECT_EQ(GetLastError(), ERROR_BAD_EXE_FORMAT);
}

TEST(SimProcesses, NamedMutexesExcludeAcrossProcessesAndKeepTheirCase) {
    TestMachine m;
    auto first = Processes().CreateMutex("QMAGENT.EXE");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
    auto second = Processes().CreateMutex("QMAGENT.EXE");
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    auto other = Processes().CreateMutex("qmagent.exe");  // names are case-sensitive
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);

    // Another process on the same machine folder sees the name taken, until it is released.
    int toChild[2];
    ASSERT_EQ(::pipe(toChild), 0);
    pid_t pid = ::fork();
    if (pid == 0) {
        auto machine = qm::sim::SimMachine::Load(m.Folder());
        auto again = machine->Processes().CreateMutex("QMAGENT.EXE");
        _exit(GetLastError() == ERROR_ALREADY_EXISTS ? 0 : 1);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    first.reset();
    second.reset();
    pid = ::fork();
    if (pid == 0) {
        auto machine = qm::sim::SimMachine::Load(m.Folder());
        auto again = machine->Processes().CreateMutex("QMAGENT.EXE");
        _exit(GetLastError() == ERROR_SUCCESS ? 0 : 1);
    }
    ::waitpid(pid, &status, 0);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    ::close(toChild[0]);
    ::close(toChild[1]);
}
