#include <gtest/gtest.h>

#include "platform/platform.h"
#include "support/test_machine.h"

using namespace qm::platform;
using qm::test::TestMachine;

TEST(SimGuids, HandOutTheScriptedSequenceThenRandomOnes) {
    TestMachine m(R"({"guids": ["{0F8FAD5B-D9CB-469F-A165-70867728950E}", "7c9e6679-7425-40de-944b-e07fc1f90ae7"]})");
    Guid g;
    ASSERT_TRUE(Guids().CoCreateGuid(g));
    EXPECT_EQ(GuidToString(g), "{0F8FAD5B-D9CB-469F-A165-70867728950E}");
    ASSERT_TRUE(Guids().CoCreateGuid(g));
    EXPECT_EQ(GuidToString(g), "{7C9E6679-7425-40DE-944B-E07FC1F90AE7}");
    Guid a, b;
    ASSERT_TRUE(Guids().CoCreateGuid(a));
    ASSERT_TRUE(Guids().CoCreateGuid(b));
    EXPECT_NE(a, b);
    m.Machine().AddFault({"CoCreateGuid", "", 0x80004005u, false, 1});
    EXPECT_FALSE(Guids().CoCreateGuid(g));
}
