#include <gtest/gtest.h>

#include "collectors/cpu_inventory.h"
#include "support/agent_state.h"
#include "support/reg_text.h"
#include "support/test_machine.h"

using namespace qm::collectors;
using namespace qm::test;

namespace {

const char* const kCentralProcessor = "HKEY_LOCAL_MACHINE\\HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0";

std::string Frequencies(const std::vector<int>& mhz) {
    std::string list;
    for (int f : mhz) list += (list.empty() ? "" : ",") + std::to_string(f);
    return R"({"processor": {"frequencies_mhz": [)" + list + "]}}";
}

}  // namespace

TEST(Processor, VotesOverNineMeasurements) {
    struct Case {
        std::vector<int> mhz;
        int result;
    };
    const Case cases[] = {
        {{2800, 2799, 2800, 2801, 2799, 2800, 2801, 2799, 2801}, 2801},  // three each: the latest last occurrence
        {{100, 900, 300, 800, 200, 700, 400, 600, 500}, 800},            // all differ: the second highest
        {{10, 20, 30, 40, 50, 60, 70, 20, 80}, 20},                      // one value twice
        {{1200, 1200, 1200, 1200, 1200, 1200, 1200, 1200, 1200}, 1200},
    };
    for (const Case& c : cases) {
        TestMachine m(Frequencies(c.mhz));
        StartAgent();
        EXPECT_EQ(MeasureCpuFrequency(), c.result);
    }
    // Each measurement takes 2.5 s of the machine's clock, nine of them 22.5 s.
    TestMachine m(Frequencies({2800}));
    StartAgent();
    std::uint64_t start = qm::platform::Clock().GetTickCount64();
    MeasureCpuFrequency();
    EXPECT_NEAR(static_cast<double>(qm::platform::Clock().GetTickCount64() - start), 22500.0, 20.0);
}

TEST(Processor, AFailingMeasurementGivesZeroAndStopsTheRest) {
    // The time-stamp counter faults in the third measurement (its fifth read).
    TestMachine m(R"({"processor": {"frequencies_mhz": [2800]}, "faults": [{"op": "RDTSC", "after": 4}]})");
    StartAgentWithLog();
    EXPECT_EQ(MeasureCpuFrequency(), 0);
    EXPECT_NE(m.ReadFile(kTraceLog).find("|RDTSC faulted\r\n"), std::string::npos);
}

TEST(Processor, TheNineMeasurementsReadTheWindowsVersionOnce) {
    // A second question about the version would raise, and a raising measurement gives 0.
    TestMachine m(R"({"processor": {"frequencies_mhz": [2800]}, "faults": [{"op": "GetVersionEx", "raise": true, "after": 1}]})");
    StartAgent();
    EXPECT_EQ(MeasureCpuFrequency(), 2800);
}

TEST(Processor, WritesAllSevenRecords) {
    TestMachine m(R"({"processor": {"vendor": "GenuineIntel", "count": 2, "frequencies_mhz": [2800],
                                    "leaves": {"1": ["0x0FF00F29", "0x00010809", 0, 0], "2": [0, 0, 0, "0x00000082"]}}})",
                  RegText().Key(kCentralProcessor).Dword("~Mhz", 2800).Text());
    StartAgent();
    EXPECT_EQ(CollectRecords(CpuInventory),
              (std::vector<std::string>{"\"CPU\",\"Frequency\",\"2800\"", "\"CPU\",\"Freq in reg\",\"2800\"",
                                        "\"CPU\",\"Vendor\",\"GenuineIntel\"", "\"CPU\",\"TFMS\",\"0F29\"",
                                        "\"CPU\",\"BrandID\",\"09\"", "\"CPU\",\"L2 cache\",\"256KB\"",
                                        "\"CPU\",\"Count\",\"2\""}));
    EXPECT_EQ(L2CacheSize(0x46), "N/A");
    EXPECT_EQ(L2CacheSize(0x00), "N/A");
    EXPECT_EQ(L2CacheSize(0x45), "2048KB");
}

TEST(Processor, FailuresLeaveTheirDefaultsAndEveryRecordStands) {
    TestMachine m(R"({"processor": {"vendor": "Odd", "frequencies_mhz": [1000]},
                      "faults": [{"op": "CPUID", "path": "leaf1"}, {"op": "CPUID", "path": "leaf2"},
                                 {"op": "GetSystemInfo"}]})",
                  RegText().Key(kCentralProcessor).Value("~Mhz", "2800").Text());
    StartAgentWithLog();
    EXPECT_EQ(CollectRecords(CpuInventory),
              (std::vector<std::string>{"\"CPU\",\"Frequency\",\"1000\"", "\"CPU\",\"Freq in reg\",\"0\"",
                                        "\"CPU\",\"Vendor\",\"Odd\"", "\"CPU\",\"TFMS\",\"0000\"",
                                        "\"CPU\",\"BrandID\",\"00\"", "\"CPU\",\"L2 cache\",\"N/A\"",
                                        "\"CPU\",\"Count\",\"1\""}));
    std::string log = m.ReadFile(kTraceLog);
    EXPECT_NE(log.find("|CPUID faulted for leaf 1"), std::string::npos);
    EXPECT_NE(log.find("|Invalid data type for '~Mhz'"), std::string::npos);
    EXPECT_NE(log.find("|GetSystemInfo failed on purpose"), std::string::npos);

    // No registry value: 0 and no message.
    TestMachine quiet(R"({"processor": {"frequencies_mhz": [1000]}})");
    StartAgentWithLog();
    EXPECT_EQ(CollectRecords(CpuInventory)[1], "\"CPU\",\"Freq in reg\",\"0\"");
    EXPECT_EQ(quiet.ReadFile(kTraceLog).find("Mhz"), std::string::npos);
}
