#include <gtest/gtest.h>

#include "core/process_state.h"
#include "core/result_list.h"
#include "core/settings.h"
#include "delivery/delivery_controller.h"
#include "delivery/result_check.h"
#include "delivery/scrambling.h"
#include "platform/platform.h"
#include "support/agent_state.h"
#include "support/test_machine.h"
#include "support/zip_reader.h"

using namespace qm::delivery;
using qm::core::State;
using qm::test::kTraceLog;
using qm::test::StartWithResultNames;
using qm::test::TestMachine;

namespace {

// The machine identifier, which names the result files on the server.
const char* const kMachineId = "0123456789ABCDEF0123456789ABCDEF";
const char* const kLocalHrz = "C:\\WINDOWS\\QM-TEST-01.hrz";
const char* const kLocalSfz = "C:\\WINDOWS\\QM-TEST-01.sfz";
const char* const kServerHrz = "C:\\Program Files\\Quarmelin\\Results\\0123456789ABCDEF0123456789ABCDEF.hrz";
const char* const kServerSfz = "C:\\Program Files\\Quarmelin\\Results\\0123456789ABCDEF0123456789ABCDEF.sfz";

const std::string kComplete =
    "\"F1\",\"F2\",\"F3\"\r\n"
    "\"Identification\",\"Asset#\",\"PC-0042\"\r\n"
    "\"Memory\",\"Total\",\"512\"\r\n"
    "\"Windows\",\"Version\",\"5.1\"\r\n"
    "\"CPU\",\"Frequency\",\"2400\"\r\n";

}  // namespace

TEST(CheckHardwareResult, NeedsTheFourRecordsAtTheHeadOfALine) {
    struct Case {
        const char* name;
        std::string file;
        bool complete;
    };
    const Case cases[] = {
        {"as written", kComplete, true},
        {"any order and case, LF ends, no header",
         "\"cpu\",\"FREQUENCY\",\"1\"\n\"WINDOWS\",\"version\",\"x\"\n\"memory\",\"TOTAL\"\n"
         "\"IDENTIFICATION\",\"ASSET#\",\"\"",
         true},
        {"a head with nothing after it", "\"Identification\",\"Asset#\"\r\n\"Memory\",\"Total\"\r\n"
                                          "\"Windows\",\"Version\"\r\n\"CPU\",\"Frequency\"\r\n",
         true},
        {"header line only", "\"F1\",\"F2\",\"F3\"\r\n", false},
        {"empty file", "", false},
        {"a blank before the first quote",
         "\"Identification\",\"Asset#\",\"1\"\r\n \"Memory\",\"Total\",\"2\"\r\n\"Windows\",\"Version\",\"3\"\r\n"
         "\"CPU\",\"Frequency\",\"4\"\r\n",
         false},
        {"a head inside a line",
         "\"Identification\",\"Asset#\",\"1\"\r\n\"X\",\"Memory\",\"Total\",\"2\"\r\n\"Windows\",\"Version\",\"3\"\r\n"
         "\"CPU\",\"Frequency\",\"4\"\r\n",
         false},
        {"a head cut short",
         "\"Identification\",\"Asset#\",\"1\"\r\n\"Memory\",\"Total\",\"2\"\r\n\"Windows\",\"Version\",\"3\"\r\n"
         "\"CPU\",\"Frequenc\r\n",
         false},
        {"a key that only begins like it",
         "\"Identification\",\"Asset#\",\"1\"\r\n\"Memory\",\"Totals\",\"2\"\r\n\"Windows\",\"Version\",\"3\"\r\n"
         "\"CPU\",\"Frequency\",\"4\"\r\n",
         false},  // the head ends with the key's closing quote
        {"without the processor",
         "\"Identification\",\"Asset#\",\"1\"\r\n\"Memory\",\"Total\",\"2\"\r\n\"Windows\",\"Version\",\"3\"\r\n",
         false},
        {"without the asset number",
         "\"Identification\",\"Asset\",\"1\"\r\n\"Memory\",\"Total\",\"2\"\r\n\"Windows\",\"Version\",\"3\"\r\n"
         "\"CPU\",\"Frequency\",\"4\"\r\n",
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestMachine m;
        m.WriteFile(kLocalHrz, c.file);
        StartWithResultNames({}, true, kMachineId);
        EXPECT_EQ(CheckHardwareResult(), c.complete);
        std::string log = m.ReadFile(kTraceLog);
        bool reported = log.find(std::string("|") + kLocalHrz + " contains errors\r\n") != std::string::npos;
        EXPECT_EQ(reported, !c.complete);
    }
}

TEST(CheckHardwareResult, AMissingFileIsReportedAndAnUnreadableOneIsNot) {
    TestMachine m;
    StartWithResultNames({}, true, kMachineId);
    EXPECT_FALSE(CheckHardwareResult());
    EXPECT_NE(m.ReadFile(kTraceLog).find(std::string("|") + kLocalHrz + " not found\r\n"), std::string::npos);

    m.WriteFile(kLocalHrz, kComplete);
    m.Machine().AddFault({"ReadFile", kLocalHrz, qm::platform::ERROR_ACCESS_DENIED, false, -1});
    const std::string before = m.ReadFile(kTraceLog);
    EXPECT_FALSE(CheckHardwareResult());
    m.Machine().AddFault({"CreateFile", kLocalHrz, qm::platform::ERROR_SHARING_VIOLATION, true, -1});
    EXPECT_FALSE(CheckHardwareResult());
    EXPECT_EQ(m.ReadFile(kTraceLog), before);
    m.Machine().ClearFaults();
    EXPECT_TRUE(CheckHardwareResult());
}

TEST(PakResult, ScramblesBothFilesIntoResultsAndThenDeletesThem) {
    TestMachine m;
    m.WriteFile(kLocalHrz, kComplete);
    m.WriteFile(kLocalSfz, "\"F1\"\r\n\"Software\",\"Editor\",\"1.0\"\r\n");
    StartWithResultNames({}, true, kMachineId);
    ASSERT_TRUE(PakResult());
    EXPECT_EQ(m.ReadFile(kServerHrz), ScrambleString(kComplete, kByteXorKey));
    EXPECT_EQ(m.ReadFile(kServerSfz), ScrambleString("\"F1\"\r\n\"Software\",\"Editor\",\"1.0\"\r\n", kByteXorKey));
    EXPECT_FALSE(m.Exists(kLocalHrz));
    EXPECT_FALSE(m.Exists(kLocalSfz));
    std::string log = m.ReadFile(kTraceLog);
    const std::string expected = std::string("7:3:5:42|Crypt hardware:") + kLocalHrz + "," + kServerHrz + "\r\n" +
                                 "7:3:5:42|save EncryptFile:" + kServerHrz + "\r\n" +
                                 "7:3:5:42|Crypt Software:" + kLocalSfz + "," + kServerSfz + "\r\n" +
                                 "7:3:5:42|save EncryptFile:" + kServerSfz + "\r\n" +
                                 "7:3:6:42|Delete Hard Local\r\n"  // after the wait of one second
                                 "7:3:6:42|Delete Soft Local\r\n"
                                 "7:3:6:42|Exit PakResult\r\n";
    EXPECT_NE(log.find(expected), std::string::npos) << log;
}

TEST(PakResult, KeepsThePlainFilesWhenEitherCannotBeScrambled) {
    const std::string hrz = kComplete, sfz = "\"F1\"\r\n\"Software\",\"Editor\",\"1.0\"\r\n";
    const std::string results = "C:\\Program Files\\Quarmelin\\Results";
    struct Case {
        const char* name;
        bool hasHrz;
        bool hasSfz;
        qm::sim::FaultConfig fault;
    };
    const Case cases[] = {
        {"no software file", true, false, {}},
        {"no hardware file", false, true, {}},
        {"Results cannot be written", true, true, {"write", results, qm::platform::ERROR_ACCESS_DENIED, false, -1}},
        {"the software copy cannot be written", true, true,
         {"CreateFile", results, qm::platform::ERROR_DISK_FULL, false, -1, 1}},
        {"the software file cannot be read", true, true,
         {"ReadFile", kLocalSfz, qm::platform::ERROR_ACCESS_DENIED, false, -1}},
        {"the copy raises", true, true, {"MoveFile", results, qm::platform::ERROR_ACCESS_DENIED, true, -1}},
        {"the software copy raises", true, true, {"MoveFile", results, qm::platform::ERROR_ACCESS_DENIED, true, -1, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestMachine m;
        if (c.hasHrz) m.WriteFile(kLocalHrz, hrz);
        if (c.hasSfz) m.WriteFile(kLocalSfz, sfz);
        StartWithResultNames({}, true, kMachineId);
        if (!c.fault.op.empty()) m.Machine().AddFault(c.fault);
        EXPECT_FALSE(PakResult());
        m.Machine().ClearFaults();
        if (c.hasHrz) {
            EXPECT_EQ(m.ReadFile(kLocalHrz), hrz);
        }
        if (c.hasSfz) {
            EXPECT_EQ(m.ReadFile(kLocalSfz), sfz);
        }
        EXPECT_FALSE(m.Exists(kServerHrz));  // no half pair waits for delivery
        std::string log = m.ReadFile(kTraceLog);
        EXPECT_EQ(log.find("Delete Hard Local"), std::string::npos);
        EXPECT_EQ(log.find("Exit PakResult"), std::string::npos);
        if (!c.fault.raise) {
            qm::platform::FindData data;
            EXPECT_EQ(qm::platform::Files().FindFirstFile(results + "\\*.tmp", data), nullptr);
        }
    }
}

TEST(PakResult, APairWaitingFromAnEarlierRunStaysWholeUntilTheNewPairIsWritten) {
    const std::string results = "C:\\Program Files\\Quarmelin\\Results";
    const std::string oldHrz = ScrambleString("earlier hardware", kByteXorKey);
    const std::string oldSfz = ScrambleString("earlier software", kByteXorKey);
    struct Case {
        const char* name;
        qm::sim::FaultConfig fault;
    };
    // Counted calls into Results\: the first CreateFile writes the new hardware copy, the
    // second the new software copy; the renames follow.
    const Case cases[] = {
        {"the software copy cannot be written", {"CreateFile", results, qm::platform::ERROR_DISK_FULL, false, 1, 1}},
        {"the software copy raises", {"CreateFile", results, qm::platform::ERROR_DISK_FULL, true, 1, 1}},
        {"the software copy breaks off", {"WriteFile", results, qm::platform::ERROR_DISK_FULL, false, 1, 1}},
        {"the first rename fails", {"MoveFile", results, qm::platform::ERROR_ACCESS_DENIED, false, 1, 0}},
        {"the second rename fails", {"MoveFile", results, qm::platform::ERROR_ACCESS_DENIED, false, 1, 1}},
        {"the third rename fails", {"MoveFile", results, qm::platform::ERROR_ACCESS_DENIED, false, 1, 2}},
        {"the fourth rename fails", {"MoveFile", results, qm::platform::ERROR_ACCESS_DENIED, false, 1, 3}},
        {"the fourth rename raises", {"MoveFile", results, qm::platform::ERROR_ACCESS_DENIED, true, 1, 3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestMachine m;
        m.WriteFile(kLocalHrz, kComplete);
        m.WriteFile(kLocalSfz, "\"F1\"\r\n");
        m.WriteFile(kServerHrz, oldHrz);
        m.WriteFile(kServerSfz, oldSfz);
        m.WriteFile(qm::test::kAgentSettings, "[DIRECTORY]\r\nDIRECTORY=C:\\Drop\r\n");
        m.MakeFolder("C:\\Drop");
        StartWithResultNames({}, true, kMachineId);
        m.Machine().AddFault(c.fault);
        EXPECT_FALSE(PakResult());
        m.Machine().ClearFaults();
        EXPECT_EQ(qm::test::FileNamesIn(results + "\\"),
                  (std::vector<std::string>{std::string(kMachineId) + ".hrz", std::string(kMachineId) + ".sfz"}));
        EXPECT_EQ(m.ReadFile(kServerHrz), oldHrz);
        EXPECT_EQ(m.ReadFile(kServerSfz), oldSfz);
        EXPECT_EQ(m.ReadFile(kLocalHrz), kComplete);  // the new inventory is not lost either
        EXPECT_EQ(m.ReadFile(kLocalSfz), "\"F1\"\r\n");

        // The next delivery carries the earlier pair, both halves.
        ASSERT_TRUE(SendSimpleMail());
        std::vector<std::string> drop = qm::test::FileNamesIn("C:\\Drop\\");
        ASSERT_EQ(drop.size(), 1u);
        std::vector<qm::test::ZipEntry> entries = qm::test::ReadZip(m.ReadFile("C:\\Drop\\" + drop[0]));
        ASSERT_EQ(entries.size(), 2u);
        EXPECT_EQ(entries[0].bytes, oldHrz);
        EXPECT_EQ(entries[1].bytes, oldSfz);
    }
}
