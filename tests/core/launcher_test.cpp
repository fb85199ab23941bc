#include <gtest/gtest.h>

#include <filesystem>

#include "apps/command_interpreter.h"
#include "core/launcher.h"
#include "core/process_state.h"
#include "core/settings.h"
#include "platform/platform.h"
#include "platform/sim/sim_processes.h"
#include "support/agent_state.h"
#include "support/test_machine.h"

using namespace qm::core;
using qm::test::StartAgent;
using qm::test::TestMachine;

namespace {

const char* const kBios = R"({"bios_program": {"manufacturer": "Maker", "model": "M1", "serial": "SN-9", "uuid": "U-1",
                                                "command_line_file": "C:\\TEMP\\qmbios-command-line.txt"}})";
// Where the stand-in writes the command line it was started with, unchanged.
const char* const kReceived = "C:\\TEMP\\qmbios-command-line.txt";

}  // namespace

TEST(Launcher, RunHiddenWaitsForTheProgramOrItsTimeOut) {
    TestMachine m(R"({"bios_program": {"delay_ms": 1500, "exit_code": 7}})");
    m.InstallProgram("QMBios.exe", "C:\\Tools");
    m.WriteFile("C:\\TEMP\\a.hrz", "");
    StartAgent();
    std::uint64_t start = qm::platform::Clock().GetTickCount64();
    // A time-out of 0 returns after the first poll, the program still running.
    EXPECT_EQ(RunHidden("C:\\Tools\\QMBios.exe /C:\\TEMP\\a.hrz", qm::platform::SW_HIDE, 0, 0), 259);
    EXPECT_LT(qm::platform::Clock().GetTickCount64() - start, 1000u);
    // Waited for, it ends with its own exit code.
    EXPECT_EQ(RunHidden("C:\\Tools\\QMBios.exe /C:\\TEMP\\a.hrz", qm::platform::SW_HIDE, 0, 30), 7);
    auto started = m.Machine().ProcessesOfMachine().Started();
    ASSERT_EQ(started.size(), 2u);
    EXPECT_EQ(started[0].creationFlags, qm::platform::CREATE_NEW_CONSOLE);  // always added
    EXPECT_EQ(RunHidden("C:\\Tools\\missing.exe", qm::platform::SW_HIDE, 0, 5), -1);
    // Too long for the buffer: refused, never cut.
    EXPECT_EQ(RunHidden("C:\\Tools\\QMBios.exe /" + std::string(600, 'x'), qm::platform::SW_HIDE, 0, 5), -1);
    EXPECT_EQ(m.Machine().ProcessesOfMachine().Started().size(), 2u);
}

TEST(Launcher, TheBiosProgramAppendsItsRecordsThroughTheShortPath) {
    TestMachine m(kBios);
    m.InstallProgram("QMBios.exe", qm::test::kAgentFolder);
    StartAgent();
    InitWorkFolder();
    State().resultFiles.localHardware = "C:\\Documents and Settings\\PC 01.hrz";
    m.WriteFile(State().resultFiles.localHardware, "\"F1\"\r\n");
    LaunchBiosHelper();
    EXPECT_EQ(m.ReadFile(State().resultFiles.localHardware),
              "\"F1\"\r\n\"Ident\",\"Manufacturer\",\"Maker\"\r\n\"Ident\",\"Model\",\"M1\"\r\n\"Ident\",\"SN\",\"SN-9\"\r\n"
              "\"Ident\",\"UUID\",\"U-1\"\r\n");
    auto started = m.Machine().ProcessesOfMachine().Started();
    ASSERT_EQ(started.size(), 1u);
    // The outer quotes are the interpreter's; the program gets a slash and the short path, unquoted.
    EXPECT_EQ(started[0].commandLine,
              "C:\\WINDOWS\\system32\\cmd.exe /C \"\"C:\\Program Files\\Quarmelin\\QMBios.exe\" /C:\\DOCUME~1\\PC01~1.HRZ\"");
    EXPECT_EQ(m.ReadFile(kReceived), "\"C:\\Program Files\\Quarmelin\\QMBios.exe\" /C:\\DOCUME~1\\PC01~1.HRZ");
    EXPECT_EQ(started[0].creationFlags, qm::platform::HIGH_PRIORITY_CLASS | qm::platform::CREATE_NEW_CONSOLE);
    EXPECT_EQ(started[0].showWindow, qm::platform::SW_HIDE);
}

TEST(Launcher, SpecialCharactersNeitherBreakTheCommandLineNorInject) {
    struct Case {
        const char* name;
        std::string agentFolder;
        std::string resultFile;
        std::string received;  // the command line the program gets
        bool throughInterpreter;
    };
    const Case cases[] = {
        // Inside the program's quotes the interpreter takes "&", "(" and "^" as plain text.
        {"an agent folder of special characters", "C:\\A&B (x) ^y", "C:\\WINDOWS\\PC.hrz",
         "\"C:\\A&B (x) ^y\\QMBios.exe\" /C:\\WINDOWS\\PC.hrz", true},
        // "%" would be expanded whatever the quotes.
        {"a per cent sign in the agent folder", "C:\\100%", "C:\\WINDOWS\\PC.hrz",
         "\"C:\\100%\\QMBios.exe\" /C:\\WINDOWS\\PC.hrz", false},
        // The argument stands outside quotes: any character special to the interpreter there
        // starts the program directly.
        {"an ampersand in the result path", "C:\\Program Files\\Quarmelin", "C:\\A&B\\PC.hrz",
         "\"C:\\Program Files\\Quarmelin\\QMBios.exe\" /C:\\A&B\\PC.hrz", false},
        {"a bracket and a caret in the result path", "C:\\Program Files\\Quarmelin", "C:\\(A)^B\\PC.hrz",
         "\"C:\\Program Files\\Quarmelin\\QMBios.exe\" /C:\\(A)^B\\PC.hrz", false},
        {"a per cent sign in the result path", "C:\\Program Files\\Quarmelin", "C:\\50%\\PC.hrz",
         "\"C:\\Program Files\\Quarmelin\\QMBios.exe\" /C:\\50%\\PC.hrz", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestMachine m(kBios);
        m.InstallProgram("QMBios.exe", c.agentFolder);
        StartAgent({}, c.agentFolder + "\\QMAgent.exe");
        State().resultFiles.localHardware = c.resultFile;
        m.WriteFile(c.resultFile, "");
        std::string line = BiosHelperCommandLine(c.resultFile);
        if (c.throughInterpreter) {
            EXPECT_EQ(line, "C:\\WINDOWS\\system32\\cmd.exe /C \"" + c.received + "\"");
            // The interpreter sees one command, the whole quoted program path and its argument.
            EXPECT_EQ(qm::apps::InterpreterCommands(line), std::vector<std::string>{c.received});
        } else {
            EXPECT_EQ(line, c.received);
        }
        LaunchBiosHelper();
        EXPECT_EQ(m.ReadFile(kReceived), c.received);
        EXPECT_NE(m.ReadFile(c.resultFile).find("\"Ident\",\"UUID\",\"U-1\""), std::string::npos);
    }
}

TEST(Launcher, WithoutAnInterpreterTheProgramStartsDirectlyAndWithoutItNothingHappens) {
    TestMachine m(std::string(R"({"environment": {"COMSPEC": null}, )") + (kBios + 1));
    m.InstallProgram("QMBios.exe", qm::test::kAgentFolder);
    StartAgent();
    InitWorkFolder();
    State().resultFiles.localHardware = "C:\\WINDOWS\\PC.hrz";
    m.WriteFile(State().resultFiles.localHardware, "");
    LaunchBiosHelper();
    EXPECT_NE(m.ReadFile("C:\\WINDOWS\\PC.hrz").find("\"Ident\",\"SN\",\"SN-9\""), std::string::npos);
    EXPECT_EQ(m.Machine().ProcessesOfMachine().Started().at(0).program, "C:\\Program Files\\Quarmelin\\QMBios.exe");
    EXPECT_EQ(m.ReadFile(kReceived), "\"C:\\Program Files\\Quarmelin\\QMBios.exe\" /C:\\WINDOWS\\PC.hrz");

    // No BIOS program in the agent folder: the interpreter reports it on its hidden console.
    TestMachine bare;
    StartAgent();
    InitWorkFolder();
    State().resultFiles.localHardware = "C:\\WINDOWS\\PC.hrz";
    bare.WriteFile(State().resultFiles.localHardware, "\"F1\"\r\n");
    EXPECT_NO_THROW(LaunchBiosHelper());
    EXPECT_EQ(bare.ReadFile("C:\\WINDOWS\\PC.hrz"), "\"F1\"\r\n");
}
