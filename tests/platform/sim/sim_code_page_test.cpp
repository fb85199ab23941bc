#include <gtest/gtest.h>

#include "platform/platform.h"
#include "support/test_machine.h"

using namespace qm::platform;
using qm::test::TestMachine;

TEST(SimCodePage, ConvertsAndFoldsCaseInTheAnsiCodePage) {
    TestMachine m;
    EXPECT_EQ(CodePage().GetACP(), 1252u);
    EXPECT_EQ(CodePage().CharUpper("caf\xE9 \xFF stra\xDF" "e"), "CAF\xC9 \x9F STRA\xDF" "E");  // y-diaeresis is 0x9F in 1252
    EXPECT_EQ(CodePage().CharLower("\xC9T\xC9"), "\xE9t\xE9");
    EXPECT_EQ(CodePage().MultiByteToWideChar("\x80"), std::u16string(1, u'\u20AC'));  // the euro sign
    EXPECT_EQ(CodePage().WideCharToMultiByte(u"\u20AC\u4E2D"), "\x80?");
}
