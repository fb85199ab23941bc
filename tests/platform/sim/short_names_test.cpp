#include <gtest/gtest.h>

#include "platform/sim/code_page_table.h"
#include "platform/sim/short_names.h"

TEST(ShortNames, AreMadeDeterministicallyAndAvoidClashes) {
    qm::sim::CodePageTable cp(1252);
    std::vector<std::string> names = {"Program Files", "Documents and Settings", "PROGRA~1", "Progress Reports",
                                      "boot.ini", "index.html", "my.file.name.txt", ".hidden", "ab cd"};
    std::vector<std::string> shorts = qm::sim::AssignShortNames(names, cp);
    // "PROGRA~1" exists as a real name, so "Program Files" and "Progress Reports" get ~2 and ~3 in name order.
    EXPECT_EQ(shorts[0], "PROGRA~2");
    EXPECT_EQ(shorts[1], "DOCUME~1");
    EXPECT_EQ(shorts[2], "");
    EXPECT_EQ(shorts[3], "PROGRE~1");
    EXPECT_EQ(shorts[4], "");
    EXPECT_EQ(shorts[5], "INDEX~1.HTM");
    EXPECT_EQ(shorts[6], "MYFILE~1.TXT");
    EXPECT_EQ(shorts[7], "HIDDEN~1");
    EXPECT_EQ(shorts[8], "ABCD~1");
    EXPECT_EQ(qm::sim::AssignShortNames(names, cp), shorts);  // the same folder, the same names

    std::vector<std::string> many;
    for (int i = 0; i < 12; ++i) many.push_back("Long File Name " + std::to_string(i) + ".document");
    std::vector<std::string> s = qm::sim::AssignShortNames(many, cp);
    EXPECT_EQ(s[0], "LONGFI~1.DOC");
    // Numbers follow the upper-cased long names: 0, 1, 10, 11, 2, ..., 9.
    EXPECT_EQ(s[11], "LONGFI~4.DOC");
    EXPECT_EQ(s[9], "LONGF~12.DOC");  // two digits leave room for five characters of the name
}

TEST(ShortNames, ValidShortNamesNeedNone) {
    for (const char* n : {"BOOT.INI", "boot.ini", "CHK_ID", "A", "12345678.123", "QMGuid.ini"})
        EXPECT_TRUE(qm::sim::IsValidShortName(n)) << n;
    for (const char* n : {"123456789", "a.b.c", "name.html", "with space", ".x", "a+b", "x.", ""})
        EXPECT_FALSE(qm::sim::IsValidShortName(n)) << n;
}
