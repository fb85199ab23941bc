#include <gtest/gtest.h>

#include "core/error_list.h"
#include "core/process_state.h"
#include "core/settings.h"
#include "support/agent_state.h"
#include "support/test_machine.h"

using namespace qm::core;
using qm::test::StartAgent;
using qm::test::TestMachine;

namespace {
// The agent's error list lies in the current folder, named after the program.
const char* const kList = "C:\\TEMP\\QMAgent.LOG";
const char* const kInTemp = R"({"current_directory": "C:\\TEMP"})";
}  // namespace

TEST(ErrorList, AccumulatesDatedLinesAcrossRuns) {
    TestMachine m(kInTemp);
    StartAgent();
    InitWorkFolder();
    LogError("SendByRep : copy failed");
    m.Machine().AdvanceClock(60'000);
    LogError("SMTP : no server");
    SaveErrorLog();
    EXPECT_EQ(m.ReadFile(kList),
              "12/9/2026 7:03:05 AM - QM-TEST-01 - SendByRep : copy failed\r\n"
              "12/9/2026 7:04:05 AM - QM-TEST-01 - SMTP : no server\r\n");
    StartAgent();
    InitWorkFolder();
    LogError("FTP : refused");
    SaveErrorLog();
    std::string text = m.ReadFile(kList);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3);
    EXPECT_NE(text.find("- FTP : refused\r\n"), std::string::npos);
}

TEST(ErrorList, ARunWithoutFailuresLeavesTheFileAlone) {
    TestMachine m(kInTemp);
    StartAgent();
    SaveErrorLog();
    EXPECT_FALSE(m.Exists(kList));
    m.WriteFile(kList, "old line without line end");
    SaveErrorLog();
    EXPECT_EQ(m.ReadFile(kList), "old line without line end");
}

TEST(ErrorList, NamesTheAssetCachedAtItsFirstUseAndUsesTheLocaleFormats) {
    TestMachine m(R"({"current_directory": "C:\\TEMP",
                      "locale": {"short_date": "dd.MM.yyyy", "date_separator": ".", "time_format": "HH:mm:ss"}})");
    StartAgent();
    InitWorkFolder();
    LogError("first");
    qm::platform::Environment().SetEnvironmentVariable("COMPUTERNAME", "RENAMED");
    LogError("second");
    SaveErrorLog();
    EXPECT_EQ(m.ReadFile(kList), "09.12.2026 07:03:05 - QM-TEST-01 - first\r\n09.12.2026 07:03:05 - QM-TEST-01 - second\r\n");
}

TEST(ErrorList, AListThatCouldNotBeReadOnlyAppends) {
    TestMachine m(kInTemp);
    m.WriteFile(kList, "line 1\r\nline 2\r\n");
    m.Machine().AddFault({"ReadFile", kList, qm::platform::ERROR_ACCESS_DENIED, false, 1});
    StartAgent();
    InitWorkFolder();
    LogError("new");
    SaveErrorLog();
    std::string text = m.ReadFile(kList);
    EXPECT_EQ(text.rfind("line 1\r\nline 2\r\n", 0), 0u);
    EXPECT_NE(text.find(" - new\r\n"), std::string::npos);
}

TEST(ErrorList, FollowsTheCurrentFolderAndSwallowsItsOwnFailures) {
    TestMachine m(R"({"current_directory": "C:\\WINDOWS", "faults": [{"op": "write", "path": "C:\\WINDOWS\\QMAgent.LOG"}]})");
    StartAgent();
    InitWorkFolder();
    LogError("kept in memory only");
    EXPECT_NO_THROW(SaveErrorLog());
    EXPECT_FALSE(m.Exists("C:\\WINDOWS\\QMAgent.LOG"));
    EXPECT_FALSE(State().errorList.has_value());
}

TEST(ErrorList, FailuresThatRaiseNeitherLoseLinesNorEndTheProcess) {
    TestMachine m(kInTemp);
    m.WriteFile(kList, "line 1\r\nline 2\r\n");
    m.Machine().AddFault({"ReadFile", kList, 0, true, 1});
    StartAgent();
    InitWorkFolder();
    LogError("new");
    EXPECT_NO_THROW(SaveErrorLog());
    std::string text = m.ReadFile(kList);
    EXPECT_EQ(text.rfind("line 1\r\nline 2\r\n", 0), 0u);
    EXPECT_NE(text.find(" - new\r\n"), std::string::npos);

    m.Machine().AddFault({"write", kList, 0, true, -1});
    LogError("kept in memory");
    EXPECT_NO_THROW(SaveErrorLog());
    EXPECT_EQ(m.ReadFile(kList), text);
}

TEST(ErrorList, AMessageFromOutsideStaysOnItsOwnLine) {
    TestMachine m(kInTemp);
    StartAgent();
    InitWorkFolder();
    // A server's reply may hold line breaks and other control characters.
    LogError("Public SMTP FAILED : 421 busy\r\n12/9/2026 7:03:05 AM - QM-TEST-01 - Sent\tby\x7fSMTP\x1b");
    LogError("next");
    SaveErrorLog();
    EXPECT_EQ(m.ReadFile(kList),
              "12/9/2026 7:03:05 AM - QM-TEST-01 - Public SMTP FAILED : 421 busy  12/9/2026 7:03:05 AM - QM-TEST-01 - "
              "Sent by SMTP \r\n"
              "12/9/2026 7:03:05 AM - QM-TEST-01 - next\r\n");
}
