#include <gtest/gtest.h>

#include "apps/command_interpreter.h"

using qm::apps::InterpreterCommands;

TEST(CommandLines, TheInterpreterStripsOuterQuotesAndSplitsAtSeparators) {
    EXPECT_EQ(InterpreterCommands("cmd.exe /C \"C:\\A B\\QMBios.exe\" /C:\\X.hrz"),
              std::vector<std::string>{"C:\\A B\\QMBios.exe /C:\\X.hrz"});  // the first and the last quote go
    EXPECT_EQ(InterpreterCommands("cmd.exe /C \"\"C:\\A&B\\QMBios.exe\" /\"C:\\X&Y.hrz\"\""),
              std::vector<std::string>{"\"C:\\A&B\\QMBios.exe\" /\"C:\\X&Y.hrz\""});
    EXPECT_EQ(InterpreterCommands("cmd /c a.exe & b.exe && c.exe | d.exe"),
              (std::vector<std::string>{"a.exe", "b.exe", "c.exe", "d.exe"}));
    EXPECT_TRUE(InterpreterCommands("cmd.exe /K x").empty());
}
