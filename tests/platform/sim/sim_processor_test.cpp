#include <gtest/gtest.h>

#include <cstring>

#include "platform/platform.h"
#include "support/test_machine.h"

using namespace qm::platform;
using qm::test::TestMachine;

TEST(SimProcessor, AScriptedProcessorAnswersCpuidAndCountsPerMeasurement) {
    TestMachine m(R"({"processor": {"vendor": "AuthenticAMD", "leaves": {"1": [3881, "0x00010800", 0, 0]},
                                    "frequencies_mhz": [2800, 2799]},
                      "faults": [{"op": "CPUID", "path": "leaf2"}]})");
    CpuidResult zero = Processor().Cpuid(0);
    char vendor[13] = {};
    std::memcpy(vendor, &zero.ebx, 4);
    std::memcpy(vendor + 4, &zero.edx, 4);
    std::memcpy(vendor + 8, &zero.ecx, 4);
    EXPECT_STREQ(vendor, "AuthenticAMD");
    EXPECT_EQ(Processor().Cpuid(1).eax, 3881u);
    EXPECT_EQ(Processor().Cpuid(1).ebx, 0x10800u);
    EXPECT_THROW(Processor().Cpuid(2), PlatformFault);
    // The two reads of a measurement lie the frequency times 2.5 seconds apart; the last repeats.
    for (std::uint64_t mhz : {2800u, 2799u, 2799u}) {
        std::uint64_t c0 = Processor().ReadTimeStampCounter();
        std::uint64_t c1 = Processor().ReadTimeStampCounter();
        EXPECT_EQ(c1 - c0, mhz * 2'500'000u);
    }
}
