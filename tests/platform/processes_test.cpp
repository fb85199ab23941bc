#include <gtest/gtest.h>

#include "platform/platform.h"
#include "support/test_machine.h"

using namespace qm::platform;

TEST(CommandLines, SplitAsTheProgramsSplitThem) {
    EXPECT_EQ(SplitCommandLine("\"C:\\Program Files\\Q\\qmagent.exe\" /N  /ONLINE"),
              (std::vector<std::string>{"C:\\Program Files\\Q\\qmagent.exe", "/N", "/ONLINE"}));
    EXPECT_EQ(SplitCommandLine("a\"b c\"d \" /S\""), (std::vector<std::string>{"ab cd", " /S"}));
    EXPECT_TRUE(SplitCommandLine("   ").empty());
}
