#include <gtest/gtest.h>

#include "platform/platform.h"
#include "platform/sim/sim_shell.h"
#include "support/reg_text.h"
#include "support/test_machine.h"

using namespace qm::platform;
using qm::test::TestMachine;

namespace {

const std::string kAssociations = qm::test::RegText()
                                      .Key("HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\.htm")
                                      .Value("", "htmlfile")
                                      .Key("HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\.txt")
                                      .Value("", "txtfile")
                                      .Key("HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\.log\\shell\\open\\command")
                                      .Value("", "notepad.exe %1")
                                      .Key("HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\htmlfile\\shell\\open\\command")
                                      .Value("", R"("C:\Program Files\Browser\browse.exe" -nohome "%1")")
                                      .Text();

}  // namespace

TEST(Shell, OpenFindsTheProgramOfTheFileTypeAndAnswersAsWindowsDoes) {
    TestMachine m("{}", kAssociations);
    m.WriteFile("C:\\R\\report.htm", "<HTML>");
    m.WriteFile("C:\\R\\notes.txt", "x");
    m.WriteFile("C:\\R\\run.log", "x");
    m.WriteFile("C:\\R\\data.xyz", "x");
    EXPECT_GT(Shell().ShellExecute("open", "C:\\R\\report.htm", "", "", SW_SHOWMAXIMIZED), 32u);
    EXPECT_GT(Shell().ShellExecute("open", "C:\\R\\run.log", "", "", 1), 32u);  // a command under the extension
    EXPECT_EQ(Shell().ShellExecute("open", "C:\\R\\notes.txt", "", "", 1), SE_ERR_NOASSOC);  // a type without a command
    EXPECT_EQ(Shell().ShellExecute("open", "C:\\R\\data.xyz", "", "", 1), SE_ERR_NOASSOC);
    EXPECT_EQ(Shell().ShellExecute("open", "C:\\R\\gone.htm", "", "", 1), SE_ERR_FNF);
    EXPECT_EQ(Shell().ShellExecute("open", "C:\\Nowhere\\gone.htm", "", "", 1), SE_ERR_PNF);
    EXPECT_EQ(Shell().ShellExecute("print", "C:\\R\\report.htm", "", "", 1), SE_ERR_NOASSOC);

    std::vector<qm::sim::ShellRequest> requests = m.Machine().ShellOfMachine().Requests();
    ASSERT_EQ(requests.size(), 7u);
    EXPECT_EQ(requests[0].file, "C:\\R\\report.htm");
    EXPECT_EQ(requests[0].showCommand, SW_SHOWMAXIMIZED);
    EXPECT_EQ(requests[0].command, "\"C:\\Program Files\\Browser\\browse.exe\" -nohome \"C:\\R\\report.htm\"");
    EXPECT_EQ(requests[0].hostPath, m.HostPath("C:\\R\\report.htm"));
    EXPECT_EQ(requests[1].command, "notepad.exe C:\\R\\run.log");
    EXPECT_EQ(requests[4].result, SE_ERR_FNF);
}

TEST(Shell, AFaultRefusesTheOpen) {
    TestMachine m(R"({"faults": [{"op": "ShellExecute", "path": "C:\\R", "error": 5}]})", kAssociations);
    m.WriteFile("C:\\R\\report.htm", "<HTML>");
    EXPECT_EQ(Shell().ShellExecute("open", "C:\\R\\report.htm", "", "", 3), SE_ERR_ACCESSDENIED);
}
