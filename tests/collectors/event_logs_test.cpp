#include <gtest/gtest.h>

#include <cstring>
#include <nlohmann/json.hpp>

#include "collectors/event_logs.h"
#include "core/result_list.h"
#include "platform/platform.h"
#include "platform/sim/sim_event_log.h"
#include "support/agent_state.h"
#include "support/pe_writer.h"
#include "support/reg_text.h"
#include "support/test_machine.h"

using namespace qm::collectors;
using qm::test::CollectRecords;
using qm::test::kAgentSettings;
using qm::test::kTraceLog;
using qm::test::RegText;
using qm::test::StartAgent;
using qm::test::StartAgentWithLog;
using qm::test::TestMachine;

namespace {

// One event of a log, for the machine file.
struct Ev {
    std::string source;
    std::string type;
    std::uint32_t id = 1;
    std::vector<std::string> strings = {};
    std::string time = "2026-11-30 14:05:10";
};

nlohmann::json Records(const std::vector<Ev>& events) {
    nlohmann::json records = nlohmann::json::array();
    for (const Ev& e : events)
        records.push_back({{"source", e.source}, {"type", e.type}, {"event_id", e.id}, {"strings", e.strings}, {"time", e.time}});
    return records;
}

// A machine whose logs are given (name to events, oldest first), with the JSON patch's other
// entries.
std::string MachineJson(const std::vector<std::pair<std::string, std::vector<Ev>>>& logs, const std::string& patch = "{}") {
    nlohmann::json j = nlohmann::json::parse(patch);
    j["event_logs"] = nlohmann::json::object();
    for (const auto& [name, events] : logs) j["event_logs"][name] = Records(events);
    return j.dump();
}

const std::string kEventlog = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Eventlog";

// The service key with a subkey per log, and each log's sources with their message files
// (none where empty).
RegText EventlogKeys(const std::vector<std::pair<std::string, std::vector<std::pair<std::string, std::string>>>>& logs) {
    RegText reg;
    reg.Key(kEventlog);
    for (const auto& [log, sources] : logs) {
        reg.Key(kEventlog + "\\" + log);
        for (const auto& [source, file] : sources) {
            reg.Key(kEventlog + "\\" + log + "\\" + source);
            if (!file.empty()) reg.ExpandString("EventMessageFile", file);
        }
    }
    return reg;
}

std::string Registry(const std::vector<std::pair<std::string, std::vector<std::pair<std::string, std::string>>>>& logs) {
    return EventlogKeys(logs).Text();
}

// The value fields of the "WindowsLog" records: key, source, type, event number, time, message.
std::vector<std::vector<std::string>> LogRecords(const std::vector<std::string>& lines) {
    std::vector<std::vector<std::string>> records;
    for (const std::string& line : lines) {
        std::vector<std::string> fields = qm::core::ResultFields(line);
        EXPECT_EQ(fields.size(), 7u) << line;
        EXPECT_EQ(fields.at(0), "WindowsLog") << line;
        records.emplace_back(fields.begin() + 1, fields.end());
    }
    return records;
}

// Each record as "source type number".
std::vector<std::string> Brief(const std::vector<std::string>& lines) {
    std::vector<std::string> brief;
    for (const auto& r : LogRecords(lines)) brief.push_back(r[1] + " " + r[2] + " " + r[3]);
    return brief;
}

std::vector<std::string> Collect(TestMachine& m, const std::string& settings) {
    m.WriteFile(kAgentSettings, settings);
    StartAgent();
    return CollectRecords(ReadWindowsLogs);
}

}  // namespace

TEST(EventLogs, LimitsAndTheScanWindowChooseTheNewestErrorsWarningsAndFailureAudits) {
    // Oldest first; information and success audits are never written.
    TestMachine m(MachineJson({{"Application", {{"App", "error", 1}, {"App", "warning", 2}, {"App", "information", 3},
                                                {"App", "failure_audit", 4}, {"App", "error", 5}, {"App", "success_audit", 6},
                                                {"App", "warning", 7}, {"App", "error", 8}}}}),
                  Registry({{"Application", {}}}));
    const std::vector<std::string> all = {"App Error 8", "App Warning 7", "App Error 5", "App Failure audit 4",
                                          "App Warning 2", "App Error 1"};
    const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
        {"", all},
        {"[Application]\r\nERROR=0\r\n", {"App Warning 7", "App Failure audit 4", "App Warning 2"}},
        {"[application]\r\nERROR=-1\r\nMAX=-1\r\n", all},
        {"[Application]\r\nERROR=1\r\nWARNING=1\r\nREFUSED=0\r\n", {"App Error 8", "App Warning 7"}},
        {"[Application]\r\nMAX=0\r\n", {}},
        {"[Application]\r\nMAX=3\r\n", {"App Error 8", "App Warning 7"}},
        {"[Application]\r\nMAX=100\r\n", all},
        {"[Application]\r\nError=1\r\nmax=5\r\n", {"App Error 8", "App Warning 7", "App Failure audit 4"}},
    };
    for (const auto& [settings, expected] : cases) {
        SCOPED_TRACE(settings);
        std::vector<std::string> lines = Collect(m, settings);
        EXPECT_EQ(Brief(lines), expected);
        for (const auto& r : LogRecords(lines)) {
            EXPECT_EQ(r[0], "Application");
            // The machine's time zone is GMT: the time as generated, no hour added.
            EXPECT_EQ(r[4], "2026/11/30 14:05:10");
        }
    }
}

TEST(EventLogs, SourceFiltersIncludeExcludeAndTurnAsTheirOrderSays) {
    TestMachine m(MachineJson({{"System", {{"Disk", "error"}, {"Tcpip", "error"}, {"Srv", "error"}}}}), Registry({{"System", {}}}));
    const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
        {"Disk=1\r\nSrv=1", {"Srv", "Disk"}},
        {"Tcpip=2", {"Srv", "Disk"}},
        {"Disk=1\r\nTcpip=2", {}},                  // the exclusion empties the list of inclusions
        {"Disk=1\r\nTcpip=2\r\nSrv=1", {"Srv"}},     // ... and a later inclusion starts it again
        {"Tcpip=2\r\nDisk=1", {"Srv"}},              // after an exclusion, an inclusion excludes
        {"Disk=3\r\nSrv=x", {"Srv", "Tcpip", "Disk"}},  // other values change nothing
        {"disk=1", {}},                              // source names compare exactly
        {"Error=1", {"Srv"}},                        // a limit in another case, not a source
    };
    for (const auto& [section, expected] : cases) {
        SCOPED_TRACE(section);
        std::vector<std::string> sources;
        for (const auto& r : LogRecords(Collect(m, "[SYSTEM]\r\n" + section + "\r\n"))) sources.push_back(r[1]);
        EXPECT_EQ(sources, expected);
    }
}

TEST(EventLogs, TheMessageComesFromTheFirstMessageFileThatHasItWithItsInsertsAndIsCut) {
    // 25 insertion strings; the message names %20 and the ones the argument array holds empty.
    std::vector<std::string> strings;
    for (int i = 1; i <= 25; ++i) strings.push_back("s" + std::to_string(i));
    strings[0] = "B-7";
    strings[1] = "Ledger";
    const std::uint32_t id = 0xC0001F41;  // error severity, customer bit clear, facility 0
    const std::string longText = "Batch %1 failed, \"%2\" refused it.%n[%20][%21][%22]%n" + std::string(220, 'z') + "%n";
    TestMachine m(MachineJson({{"Application", {{"Ledger Pro", "error", id, strings, "2026-07-01 14:05:10"},
                                                {"Ledger Pro", "warning", 0x80000002u, {"D:"}, "2026-11-30 23:30:00"},
                                                {"Old Tool", "error", 3, {"x"}},
                                                {"Nobody", "error", 4}}}},
                              R"({"time_zone": {"bias": 300, "standard_name": "Eastern Standard Time",
                                   "daylight_name": "Eastern Daylight Time",
                                   "standard_date": {"month": 10, "day_of_week": 0, "week": 5, "hour": 2},
                                   "daylight_date": {"month": 4, "day_of_week": 0, "week": 1, "hour": 2}},
                                  "locale": {"date_separator": "-", "time_separator": "."},
                                  "environment": {"LEDGER": "C:\\Ledger"}})"),
                  (EventlogKeys({{"Application",
                                  {{"Ledger Pro", "%SystemRoot%\\none.dll;%LEDGER%\\msg.dll"}, {"Old Tool", ""}}}}) +
                   RegText().Key(kEventlog + "\\Application").Value("DisplayNameFile", "C:\\Tools\\old.dll"))
                      .Text());
    m.WriteFile("C:\\Ledger\\msg.dll",
                qm::test::BuildMessageFile({{0x0409, {{id, longText}, {0x1F41, "found by the low bits"},
                                                      {0x80000002u, "No disc in %1%0"}}}}));
    m.WriteFile("C:\\Tools\\old.dll", qm::test::BuildMessageFile({{0x0409, {{3, "Old tool stopped: %1\r\n", false}}}}));
    auto records = LogRecords(Collect(m, ""));
    ASSERT_EQ(records.size(), 4u);
    // The newest first: a source without a key of its own takes the log's file, which lacks
    // the message.
    EXPECT_EQ(records[0], (std::vector<std::string>{"Application", "Nobody", "Error", "4", "2026-11-30 09.05.10", ""}));
    EXPECT_EQ(records[1], (std::vector<std::string>{"Application", "Old Tool", "Error", "3", "2026-11-30 09.05.10",
                                                    "Old tool stopped: x"}));
    // Local time, with the daylight rule of the event's own date: standard time in November ...
    EXPECT_EQ(records[2], (std::vector<std::string>{"Application", "Ledger Pro", "Warning", "2", "2026-11-30 18.30.00",
                                                    "No disc in D:"}));
    std::string expected = "Batch B-7 failed   Ledger  refused it. [s20][][] " + std::string(220, 'z');
    expected.resize(250);
    // ... and daylight saving time in July, though the run is in winter.
    EXPECT_EQ(records[3], (std::vector<std::string>{"Application", "Ledger Pro", "Error", "8001", "2026-07-01 10.05.10",
                                                    expected}));
}

TEST(EventLogs, EachEventTimeTakesTheDaylightRuleOfItsOwnDate) {
    const std::string eastern = R"("bias": 300, "standard_date": {"month": 11, "day_of_week": 0, "week": 1, "hour": 2},
                                   "daylight_date": {"month": 3, "day_of_week": 0, "week": 2, "hour": 2})";
    const std::string southern = R"("bias": -600, "standard_date": {"month": 4, "day_of_week": 0, "week": 1, "hour": 3},
                                    "daylight_date": {"month": 10, "day_of_week": 0, "week": 1, "hour": 2})";
    const std::string refused = R"(, "faults": [{"op": "SystemTimeToTzSpecificLocalTime", "error": 87}])";
    struct Case {
        std::string name, zone, extra;
        std::vector<std::string> times;  // newest first: autumn, summer, spring, winter
    };
    const std::vector<Case> cases = {
        {"north", eastern, "", {"2026-10-15 08:00:00", "2026-07-15 08:00:00", "2026-04-15 08:00:00", "2026-01-15 07:00:00"}},
        {"south", southern, "", {"2026-10-15 23:00:00", "2026-07-15 22:00:00", "2026-04-15 22:00:00", "2026-01-15 23:00:00"}},
        {"no daylight saving", R"("bias": -60)", "",
         {"2026-10-15 13:00:00", "2026-07-15 13:00:00", "2026-04-15 13:00:00", "2026-01-15 13:00:00"}},
        // Where the conversion fails, the bias in force at the run (winter) stands in.
        {"failing", eastern, refused,
         {"2026-10-15 07:00:00", "2026-07-15 07:00:00", "2026-04-15 07:00:00", "2026-01-15 07:00:00"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestMachine m(MachineJson({{"System", {{"Disk", "error", 1, {}, "2026-01-15 12:00:00"},
                                               {"Disk", "error", 2, {}, "2026-04-15 12:00:00"},
                                               {"Disk", "error", 3, {}, "2026-07-15 12:00:00"},
                                               {"Disk", "error", 4, {}, "2026-10-15 12:00:00"}}}},
                                  R"({"clock": {"virtual": true, "start": "2026-12-09T07:00:00"},
                                      "locale": {"date_separator": "-", "time_separator": ":"},
                                      "time_zone": {)" + c.zone + "}" + c.extra + "}"),
                      Registry({{"System", {}}}));
        std::vector<std::string> times;
        for (const auto& r : LogRecords(Collect(m, ""))) times.push_back(r[4]);
        EXPECT_EQ(times, c.times);
    }
}

TEST(EventLogs, DamagedRecordsFailuresAndGrowingRecordsCostNoOtherRecord) {
    nlohmann::json logs = {
        {"Application", Records({{"Big", "error", 1, {std::string(2000, 'b')}}, {"Small", "error", 2}})},
        {"System", Records({{"Disk", "error", 11}, {"Disk", "error", 12}})},
        {"Security", Records({{"Audit", "failure_audit", 21}})},
        {"Custom", Records({{"Mine", "warning", 31}})}};
    // A damaged record between two good ones, and one whose strings run past its end.
    logs["Application"].insert(logs["Application"].begin() + 1, nlohmann::json{{"raw", "00 01 02 03 04 05 06 07"}});
    nlohmann::json patch = {{"event_logs", logs},
                            {"faults", nlohmann::json::array({
                                           // The service calls every buffer too small: the log ends.
                                           {{"op", "ReadEventLog"}, {"path", "System"}, {"error", 122}, {"after", 1}},
                                           {{"op", "OpenEventLog"}, {"path", "Security"}, {"error", 5}},
                                           {{"op", "GetNumberOfEventLogRecords"}, {"path", "Custom"}, {"raise", true}},
                                       })}};
    TestMachine m(patch.dump(), Registry({{"Custom", {}}, {"Application", {}}, {"Security", {}}, {"System", {}}}));
    m.WriteFile(kAgentSettings, "");
    StartAgentWithLog();
    std::vector<std::string> lines = CollectRecords(ReadWindowsLogs);
    // The older record is larger than the newer one: the buffer grows for it.
    EXPECT_EQ(Brief(lines), (std::vector<std::string>{"Small Error 2", "Big Error 1"}));
    // An error in one log is logged, and the next log is read.
    std::string log = m.ReadFile(kTraceLog);
    EXPECT_NE(log.find("|GetNumberOfEventLogRecords failed on purpose: Custom"), std::string::npos) << log;
}

TEST(EventLogs, AStringRunningPastItsRecordMakesTheRecordDamaged) {
    qm::sim::EventRecordConfig good;
    good.number = 2;
    good.type = 1;
    good.source = "Cut";
    good.strings = {"abc"};
    std::string bytes = qm::sim::EventRecordBytes(good, "PC");
    // The string's terminator and the padding become text: it runs into the length.
    std::uint32_t offset = 0;
    std::memcpy(&offset, bytes.data() + qm::platform::event_record::kStringOffset, 4);
    for (std::size_t i = offset; i < bytes.size() - 4; ++i) bytes[i] = 'x';
    std::string hex;
    for (char c : bytes) {
        static const char* digits = "0123456789ABCDEF";
        auto byte = static_cast<unsigned char>(c);
        hex += digits[byte >> 4];
        hex += digits[byte & 15];
    }
    nlohmann::json patch = {{"event_logs", {{"Application", nlohmann::json::array({{{"source", "Fine"}, {"type", "error"}, {"event_id", 1}},
                                                                                   {{"raw", hex}}})}}}};
    TestMachine m(patch.dump(), Registry({{"Application", {}}}));
    EXPECT_EQ(Brief(Collect(m, "")), (std::vector<std::string>{"Fine Error 1"}));
}

TEST(EventLogs, WithoutTheServiceKeyNothingIsWrittenAndWithoutLogsTheDefaultSourceReads) {
    const std::string machine = MachineJson({{"Application", {{"App", "error", 1}, {"App", "warning", 2}}}});
    TestMachine none(machine);
    EXPECT_TRUE(Collect(none, "").empty());
    // An empty service key: the log the service opens for an empty name, read whole with at
    // most ten errors, under an empty key.
    TestMachine empty(machine, RegText().Key(kEventlog).Text());
    std::vector<std::string> lines = Collect(empty, "");
    EXPECT_EQ(Brief(lines), (std::vector<std::string>{"App Warning 2", "App Error 1"}));
    for (const auto& r : LogRecords(lines)) EXPECT_EQ(r[0], "");
}

TEST(EventLogs, TheReaderKeepsOneSourcePerLogAndCountsWhatItAccepts) {
    EventLog reader("", 10, -1, -1, -1, "");
    ASSERT_EQ(reader.Sources().size(), 1u);
    EXPECT_TRUE(reader.Accept("Anything", 1, "X"));  // the default source takes every log
    reader.AddSource("System", 1, 0, -1, 50, "C:\\names.dll");
    reader.AddSource("Application", 5, 5, 5, 50, "");
    ASSERT_EQ(reader.Sources().size(), 2u);
    EXPECT_EQ(reader.Sources()[0].name, "System");
    EXPECT_EQ(reader.Sources()[0].displayNameFile, "C:\\names.dll");
    reader.AddFilter("Nowhere", "X", 1);  // no such log: nothing changes
    EXPECT_EQ(reader.Sources()[0].filterMode, 2);
    EXPECT_TRUE(reader.Accept("System", 1, "X"));
    EXPECT_FALSE(reader.Accept("System", 1, "X"));
    EXPECT_FALSE(reader.Accept("System", 2, "X"));
    EXPECT_TRUE(reader.Accept("System", 16, "X"));
    EXPECT_FALSE(reader.Accept("System", 4, "X"));
    EXPECT_FALSE(reader.Accept("system", 16, "X"));
    EXPECT_EQ(reader.Sources()[0].errorCount, 1);
    EXPECT_EQ(reader.Sources()[0].failureAuditCount, 1);
}

TEST(ExpandEnvVars, OnePassFromLeftToRightThatNeverSearchesWhatItInserted) {
    const std::string longValue(300, 'v');
    TestMachine m(R"({"environment": {"SystemRoot": "C:\\WINDOWS", "FOO": "%FOO%", "PCT": "50%", "LONG": ")" + longValue + R"("}})");
    const std::pair<std::string, std::string> cases[] = {
        {"%SystemRoot%\\system32\\msg.dll", "C:\\WINDOWS\\system32\\msg.dll"},
        {"%systemroot%\\a;%UNSET%b", "C:\\WINDOWS\\a;b"},
        {"%FOO%", "%FOO%"},
        {"%FOO%%FOO%x", "%FOO%%FOO%x"},
        {"%PCT% %SystemRoot%", "50% C:\\WINDOWS"},
        {"100%", "100"},
        {"a%b", "ab"},
        {"%%", ""},
        {"%LONG%!", longValue + "!"},
        {"", ""},
    };
    for (const auto& [text, expanded] : cases) EXPECT_EQ(ExpandEnvVars(text), expanded) << text;
}
