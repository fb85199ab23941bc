#include <gtest/gtest.h>

#include <thread>

#include "core/process_state.h"
#include "core/result_list.h"
#include "core/trace_log.h"
#include "platform/sim/sim_dialogs.h"
#include "support/agent_state.h"
#include "support/test_machine.h"

using namespace qm::core;
using qm::test::kTraceLog;
using qm::test::StartAgent;
using qm::test::TestMachine;

TEST(TraceLog, TimesHaveNoLeadingZeros) {
    EXPECT_EQ(TraceLinePrefix(9, 5, 7, 42), "9:5:7:42|");
    EXPECT_EQ(TraceLinePrefix(0, 0, 0, 0), "0:0:0:0|");
    EXPECT_EQ(TraceLinePrefix(23, 59, 59, 999), "23:59:59:999|");
}

TEST(TraceLog, WritesNothingWithoutLogging) {
    TestMachine m;
    m.WriteFile(kTraceLog, "previous run");
    StartAgent();
    OpenLogFile();
    WriteLog("ignored");
    CloseLogFile();
    EXPECT_EQ(m.ReadFile(kTraceLog), "previous run");
    EXPECT_TRUE(m.Machine().DialogsOfMachine().Journal().empty());
}

TEST(TraceLog, LinesAreExactAndReplaceThePreviousRun) {
    TestMachine m;
    m.WriteFile(kTraceLog, "previous run\r\n");
    StartAgent({"/LOG"});
    State().logOn = true;
    OpenLogFile();
    CreateResultList();
    AddResultLine("CPU", "Vendor", QuoteField("GenuineIntel"));
    m.Machine().AdvanceClock(3'000'000);  // 07:53:05.042
    WriteLog("Version:2.02.06");
    CloseLogFile();
    WriteLog("after closing");  // nothing more reaches the closed file
    EXPECT_EQ(m.ReadFile(kTraceLog),
              "7:3:5:42|BEGIN\r\n"
              "7:3:5:42|12/9/2026\r\n"
              "7:3:5:42|7:3:5:42\r\n"
              "7:3:5:42|LogFile:C:\\WINDOWS\\Gantrovelminds.log\r\n"
              "7:3:5:42|RES : \"CPU\",\"Vendor\",\"GenuineIntel\"\r\n"
              "7:53:5:42|Version:2.02.06\r\n"
              "7:53:5:42|closing logfile\r\n"
              "7:53:5:42|END\r\n");
}

TEST(TraceLog, AnInputOutputErrorSwitchesLoggingOff) {
    TestMachine m;
    StartAgent({"/LOG"});
    State().logOn = true;
    OpenLogFile();
    m.Machine().AddFault({"WriteFile", kTraceLog, qm::platform::ERROR_DISK_FULL, false, 1});
    EXPECT_NO_THROW(WriteLog("lost"));
    EXPECT_FALSE(State().logOn);
    EXPECT_NO_THROW(WriteLog("not tried"));
    EXPECT_NO_THROW(CloseLogFile());
    std::string log = m.ReadFile(kTraceLog);
    EXPECT_NE(log.find("|LogFile:"), std::string::npos);
    EXPECT_EQ(log.find("lost"), std::string::npos);
    EXPECT_EQ(log.find("not tried"), std::string::npos);

    // A log that cannot even be opened: the run goes on without it.
    TestMachine locked(R"({"faults": [{"op": "CreateFile", "path": "C:\\WINDOWS\\Gantrovelminds.log"}]})");
    StartAgent({"/LOG"});
    State().logOn = true;
    EXPECT_NO_THROW(OpenLogFile());
    EXPECT_FALSE(State().logOn);
    EXPECT_NO_THROW(WriteLog("x"));
}

TEST(TraceLog, TheLogWindowMirrorsTheFileAndKeepsTheProgramOpen) {
    TestMachine m(R"({"dialogs": {"main_window_stays_open": true}})");
    StartAgent({"/LOG2"});
    State().logWindowOn = true;  // "/LOG2" alone turns logging on
    OpenLogFile();
    WriteLog("one event");
    CloseLogFile();
    auto& dialogs = m.Machine().DialogsOfMachine();
    std::vector<std::string> lines = dialogs.LogWindowLines();
    ASSERT_EQ(lines.size(), 9u);
    EXPECT_EQ(lines[0], "");
    EXPECT_EQ(lines[1], "7:3:5:42|BEGIN");
    EXPECT_EQ(lines[5], "7:3:5:42|one event");
    EXPECT_EQ(lines[7], "7:3:5:42|END");
    EXPECT_EQ(lines[8], "C:\\WINDOWS\\Gantrovelminds.log exists");
    EXPECT_EQ(dialogs.Journal().front().title, "Log");

    // The message loop holds the program until the user closes the window.
    std::thread loop([] { qm::platform::Dialogs().RunMessageLoop(); });
    while (!dialogs.InMessageLoop()) std::this_thread::yield();
    dialogs.CloseMainWindow();
    loop.join();
    EXPECT_EQ(dialogs.Journal().back().kind, "main form closed");
}

TEST(TraceLog, TheLogWindowSaysWhenTheFileCouldNotBeMade) {
    TestMachine m(R"({"faults": [{"op": "CreateFile", "path": "C:\\WINDOWS\\Gantrovelminds.log"}]})");
    StartAgent({"/LOG2"});
    State().logWindowOn = true;
    OpenLogFile();
    WriteLog("one event");
    CloseLogFile();
    EXPECT_EQ(m.Machine().DialogsOfMachine().LogWindowLines(),
              (std::vector<std::string>{"", "C:\\WINDOWS\\Gantrovelminds.log not exists"}));
}

TEST(TraceLog, ATextFromOutsideStaysOnItsOwnLine) {
    struct Case {
        std::string text;
        std::string written;
    };
    // A value read from the machine, a file or a server may hold anything: what would end the
    // line, or move the cursor, or hide text, becomes a blank.
    const Case cases[] = {
        {"model\r\n7:3:5:42|Sent by SMTP", "model  7:3:5:42|Sent by SMTP"},
        {"a\nb\rc", "a b c"},
        {std::string("nul\0end", 7), "nul end"},
        {"tab\tvertical\vform\ffeed", "tab vertical form feed"},
        {"\x1b[2Kerased\x7f", " [2Kerased "},
        {"Soci\xE9t\xE9 \xA0 kept", "Soci\xE9t\xE9 \xA0 kept"},  // code-page characters stay
    };
    TestMachine m(R"({"dialogs": {"main_window_stays_open": true}})");
    StartAgent({"/LOG2"});
    State().logWindowOn = true;
    OpenLogFile();
    for (const Case& c : cases) WriteLog(c.text);
    CloseLogFile();
    std::vector<std::string> expected{"BEGIN", "12/9/2026", "7:3:5:42", "LogFile:C:\\WINDOWS\\Gantrovelminds.log"};
    for (const Case& c : cases) expected.push_back(c.written);
    expected.insert(expected.end(), {"closing logfile", "END"});
    EXPECT_EQ(qm::test::LogTexts(m.ReadFile(kTraceLog)), expected);
    // The window shows the same lines.
    std::vector<std::string> shown = m.Machine().DialogsOfMachine().LogWindowLines();
    ASSERT_EQ(shown.size(), expected.size() + 2);
    for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(shown[i + 1], "7:3:5:42|" + expected[i]);
}
