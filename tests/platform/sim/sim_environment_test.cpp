#include <gtest/gtest.h>

#include "platform/platform.h"
#include "support/test_machine.h"

using namespace qm::platform;
using qm::test::TestMachine;

TEST(SimEnvironment, KeepsTheBufferRulesOfWindows) {
    TestMachine m(R"({"environment": {"LONG": null}})");
    std::string value;
    EXPECT_EQ(Environment().GetEnvironmentVariable("computername", value, 260), 10u);
    EXPECT_EQ(value, "QM-TEST-01");
    EXPECT_EQ(Environment().GetEnvironmentVariable("NOPE", value, 260), 0u);
    EXPECT_EQ(GetLastError(), ERROR_ENVVAR_NOT_FOUND);
    std::string longValue(300, 'x');
    ASSERT_TRUE(Environment().SetEnvironmentVariable("LONG", longValue));
    EXPECT_EQ(Environment().GetEnvironmentVariable("LONG", value, 260), 301u);  // the size it needs
    EXPECT_EQ(value, "");
    EXPECT_EQ(ReadEnvironmentVariable(Environment(), "LONG"), longValue);
    ASSERT_TRUE(Environment().SetEnvironmentVariable("long", std::nullopt));
    EXPECT_EQ(ReadEnvironmentVariable(Environment(), "LONG"), "");
    // Set and empty: found, whatever error an earlier call left.
    ASSERT_TRUE(Environment().SetEnvironmentVariable("EMPTY", ""));
    SetLastError(ERROR_ENVVAR_NOT_FOUND);
    EXPECT_EQ(Environment().GetEnvironmentVariable("EMPTY", value, 260), 0u);
    EXPECT_EQ(GetLastError(), ERROR_ENVVAR_NOT_FOUND);
    SetLastError(ERROR_ENVVAR_NOT_FOUND);
    EXPECT_EQ(FindEnvironmentVariable(Environment(), "EMPTY"), std::optional<std::string>(""));
    EXPECT_EQ(FindEnvironmentVariable(Environment(), "LONG"), std::nullopt);
}
