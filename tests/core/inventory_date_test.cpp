#include "core/inventory_date.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/process_state.h"
#include "core/profile_files.h"
#include "core/settings.h"
#include "platform/platform.h"
#include "support/agent_state.h"
#include "support/test_machine.h"

using namespace qm;
using qm::test::kChkId;
using qm::test::kTraceLog;
using qm::test::StartAgent;
using qm::test::TestMachine;

namespace {

// A machine whose clock starts at the given local time and whose locale writes dates day
// first with dots and a 12-hour clock, so that nothing matches the stored form by chance.
std::string ForeignMachine(const std::string& start = "2026-12-09T07:03:05.042") {
    return R"({"clock": {"virtual": true, "start": ")" + start +
           R"("}, "locale": {"date_separator": ".", "short_date": "dd.MM.yyyy", "time_separator": ".",
                 "time_format": "h.mm.ss tt"}})";
}

// Starts the agent with its work folder in place and, unless empty, the stored date text.
void StartWithStoredDate(const TestMachine& m, const std::vector<std::string>& switches, const std::string& stored) {
    if (!stored.empty()) m.WriteFile(kChkId, "[Inventory]\r\nDate=" + stored + "\r\n");
    StartAgent(switches);
    core::InitWorkFolder();
}

std::string StoredDate() { return core::ReadProfileString(kChkId, "Inventory", "Date", "<none>"); }

// The four settings a read or write switches are the locale's again afterwards.
void ExpectLocaleFormats() {
    const core::FormatSettings locale = core::FormatsFromLocale();
    const core::FormatSettings& f = core::ProcessFormats();
    ASSERT_EQ(locale.dateSeparator, '.');
    EXPECT_EQ(f.dateSeparator, locale.dateSeparator);
    EXPECT_EQ(f.shortDateFormat, locale.shortDateFormat);
    EXPECT_EQ(f.timeSeparator, locale.timeSeparator);
    EXPECT_EQ(f.longTimeFormat, locale.longTimeFormat);
}

}  // namespace

TEST(InventoryDate, IsDueWithoutADateInANewMonthOrYearOrWhenThePeriodHasPassed) {
    struct Case {
        const char* name;
        std::string now;
        std::vector<std::string> switches;
        std::string stored;  // empty: no Chk_ID
        bool due;
    };
    const Case cases[] = {
        {"no date stored", "2026-12-09T07:03:05", {}, "", true},
        {"31st to the 1st of the next month, whatever the period", "2026-11-01T00:00:30", {"/N99"},
         "10/31/2026 23:59", true},
        {"December to January", "2027-01-02T08:00:00", {}, "12/30/2026 08:00", true},
        {"same month, a later year", "2026-12-09T07:03:05", {}, "12/20/2027 10:00", true},
        {"same month, default period", "2026-12-31T23:59:00", {}, "12/01/2026 00:00", false},
        {"same month, a later day", "2026-12-09T07:03:05", {}, "12/20/2026 10:00", false},
        {"/N alone", "2026-12-09T07:03:05", {"/N"}, "12/09/2026 07:03", true},
        {"/N0", "2026-12-09T07:03:05", {"/N0"}, "12/09/2026 07:03", true},
        {"/N-1", "2026-12-09T07:03:05", {"/N-1"}, "12/09/2026 07:03", true},
        {"/n7, seven days", "2026-12-09T07:03:05", {"/n7"}, "12/02/2026 07:03", true},
        {"/n7, six days", "2026-12-09T07:03:05", {"/n7"}, "12/03/2026 07:03", false},
        {"/N7: whole days, the last inventory late in its day", "2026-12-09T00:01:00", {"/N7"},
         "12/02/2026 23:59", true},
        {"/N7: whole days, now late in the day", "2026-12-09T23:59:00", {"/N7"}, "12/03/2026 00:00", false},
        {"/N123 reads 12: twelve days", "2026-12-20T10:00:00", {"/N123"}, "12/08/2026 10:00", true},
        {"/N123 reads 12: eleven days", "2026-12-20T10:00:00", {"/N123"}, "12/09/2026 10:00", false},
        {"/Nab is a period of 0", "2026-12-09T07:03:05", {"/Nab"}, "12/09/2026 07:03", true},
        {"a longer word counts as the switch", "2026-12-09T07:03:05", {"/NOLOG"}, "12/09/2026 07:03", true},
        {"among other switches", "2026-12-09T07:03:05", {"/LOG", "/N5", "/S"}, "12/04/2026 07:03", true},
        {"only the first /N counts", "2026-12-09T07:03:05", {"/N40", "/N0"}, "12/01/2026 07:03", false},
        {"other switches leave the default", "2026-12-09T07:03:05", {"/LOG", "/ONLINE"}, "12/01/2026 07:03", false},
        {"an unreadable date", "2026-12-09T07:03:05", {}, "25/12/2026 07:03", true},
        {"an empty date", "2026-12-09T07:03:05", {}, "", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestMachine m(ForeignMachine(c.now));
        StartWithStoredDate(m, c.switches, c.stored);
        EXPECT_EQ(core::IsInventoryDue(), c.due);
    }
}

TEST(InventoryDate, IsSavedMonthFirstWithSlashesAndA24HourClockWhateverTheLocale) {
    struct Case {
        const char* now;
        const char* stored;
    };
    const Case cases[] = {
        {"2026-12-09T07:03:05.042", "12/09/2026 07:03"},
        {"2026-03-04T19:45:59.999", "03/04/2026 19:45"},
        {"2026-12-09T00:00:00.000", "12/09/2026"},
        {"2026-12-09T00:00:00.999", "12/09/2026"},
        {"2026-12-09T00:00:01.000", "12/09/2026 00:00"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.now);
        TestMachine m(ForeignMachine(c.now));
        StartWithStoredDate(m, {}, "");
        core::SaveInventoryDate();
        EXPECT_EQ(StoredDate(), c.stored);
        ExpectLocaleFormats();
    }
}

TEST(InventoryDate, SavingReplacesTheDateKeepsTheRestAndIsLogged) {
    TestMachine m(ForeignMachine("2026-12-09T07:03:05"));
    m.WriteFile(kChkId, "[Identification]\r\nID=abc\r\n[Inventory]\r\nDate=01/02/2020 03:04\r\n");
    qm::test::StartAgentWithLog();
    core::SaveInventoryDate();
    EXPECT_EQ(StoredDate(), "12/09/2026 07:03");
    EXPECT_EQ(core::ReadProfileString(kChkId, "Identification", "ID"), "abc");
    std::string log = m.ReadFile(kTraceLog);
    EXPECT_NE(log.find("|Exit Save Inventory Date\r\n"), std::string::npos) << log;
    // A saved inventory is not due again this month.
    EXPECT_FALSE(core::IsInventoryDue());
}

TEST(InventoryDate, AFailedSaveRaisesAndStillRestoresTheFormats) {
    TestMachine m(ForeignMachine());
    StartWithStoredDate(m, {}, "");
    m.Machine().AddFault({"WritePrivateProfileString", kChkId, platform::ERROR_ACCESS_DENIED, false, -1});
    EXPECT_THROW(core::SaveInventoryDate(), core::ProfileWriteError);
    ExpectLocaleFormats();
}

TEST(InventoryDate, IsLoadedMonthFirstWhateverTheLocale) {
    struct Case {
        const char* stored;  // nullptr: no Chk_ID
        core::DateTime expected;
    };
    const Case cases[] = {
        {"12/09/2026 07:03", core::EncodeDateTime(2026, 12, 9, 7, 3)},
        {"12/09/2026", core::EncodeDateTime(2026, 12, 9)},
        {"2/3/2026 7:05", core::EncodeDateTime(2026, 2, 3, 7, 5)},
        // Written day first by another program: read month first all the same.
        {"09/12/2026 10:00", core::EncodeDateTime(2026, 9, 12, 10, 0)},
        {"25/12/2026 10:00", 0},
        {"02/30/2026", 0},
        {"12.09.2026 07.03", 0},
        {"12/09/2026 25:00", 0},
        {"not a date", 0},
        {"", 0},
        {nullptr, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored ? c.stored : "no Chk_ID");
        TestMachine m(ForeignMachine());
        if (c.stored) m.WriteFile(kChkId, std::string("[Inventory]\r\nDate=") + c.stored + "\r\n");
        StartAgent();
        core::InitWorkFolder();
        EXPECT_DOUBLE_EQ(core::LoadInventoryDate(), c.expected);
        ExpectLocaleFormats();
    }
}

TEST(InventoryDate, DatePartsDoNotRollOverJustBeforeMidnight) {
    const core::DateTime value = core::EncodeDateTime(2026, 12, 31, 23, 59, 59, 999);
    EXPECT_EQ(core::DayOfDate(value), 31);
    EXPECT_EQ(core::MonthOfDate(value), 12);
    EXPECT_EQ(core::YearOfDate(value), 2026);
    const core::DateTime leap = core::EncodeDateTime(2024, 2, 29);
    EXPECT_EQ(core::DayOfDate(leap), 29);
    EXPECT_EQ(core::MonthOfDate(leap), 2);
    EXPECT_EQ(core::YearOfDate(leap), 2024);
}
