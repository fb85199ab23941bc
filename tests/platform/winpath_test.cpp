#include <gtest/gtest.h>

#include "platform/sim/code_page_table.h"
#include "platform/sim/short_names.h"
#include "platform/sim/wildcard.h"
#include "platform/winpath.h"

using namespace qm::platform;

TEST(WinPath, SplitsWindowsPaths) {
    struct Case {
        const char* path;
        const char* drive;
        const char* folder;
        const char* name;
        const char* ext;
        const char* parent;
    };
    const Case cases[] = {
        {"C:\\WINDOWS\\system32\\kernel32.dll", "C:", "C:\\WINDOWS\\system32\\", "kernel32.dll", ".dll", "C:\\WINDOWS\\system32"},
        {"C:\\a\\b\\", "C:", "C:\\a\\b\\", "", "", "C:\\a"},
        {"C:\\a", "C:", "C:\\", "a", "", "C:\\"},
        {"C:\\", "C:", "C:\\", "", "", "C:\\"},
        {"C:", "C:", "C:", "", "", "C:\\"},
        {"C:file.txt", "C:", "C:", "file.txt", ".txt", "C:\\"},
        {"\\\\srv\\share\\dir\\f.tar.gz", "\\\\srv\\share", "\\\\srv\\share\\dir\\", "f.tar.gz", ".gz", "\\\\srv\\share\\dir"},
        {"\\\\srv\\share", "\\\\srv\\share", "\\\\srv\\", "share", "", "\\\\srv\\share\\"},
        {"C:/mixed/sep.ini", "C:", "C:/mixed/", "sep.ini", ".ini", "C:/mixed"},
        {"dir.d\\noext", "", "dir.d\\", "noext", "", "dir.d"},
        {"Chk_ID", "", "", "Chk_ID", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(DriveOf(c.path), c.drive);
        EXPECT_EQ(FolderOf(c.path), c.folder);
        EXPECT_EQ(FileNameOf(c.path), c.name);
        EXPECT_EQ(ExtensionOf(c.path), c.ext);
        EXPECT_EQ(ParentOf(c.path), c.parent);
    }
}

TEST(WinPath, JoinsChangesExtensionsAndTellsRoots) {
    EXPECT_EQ(JoinPath("C:\\a", "b.txt"), "C:\\a\\b.txt");
    EXPECT_EQ(JoinPath("C:\\a\\", "\\b.txt"), "C:\\a\\b.txt");
    EXPECT_EQ(JoinPath("C:", "b.txt"), "C:b.txt");
    EXPECT_EQ(JoinPath("", "b.txt"), "b.txt");
    EXPECT_EQ(ChangeExtension("Z:\\bin\\qmagent.exe", ".LOG"), "Z:\\bin\\qmagent.LOG");
    EXPECT_EQ(ChangeExtension("Z:\\b.d\\qmagent", ".LOG"), "Z:\\b.d\\qmagent.LOG");
    EXPECT_EQ(ChangeExtension("a.hrz", ""), "a");
    EXPECT_EQ(IncludeTrailingBackslash("C:\\a"), "C:\\a\\");
    EXPECT_EQ(IncludeTrailingBackslash("C:\\a\\"), "C:\\a\\");
    EXPECT_EQ(ExcludeTrailingBackslash("C:\\a\\"), "C:\\a");
    for (const char* root : {"C:", "C:\\", "d:/", "\\\\srv\\share", "\\\\srv\\share\\"}) EXPECT_TRUE(IsDriveRoot(root)) << root;
    for (const char* other : {"C:\\a", "\\\\srv", "\\\\srv\\", "\\a", "", "a"}) EXPECT_FALSE(IsDriveRoot(other)) << other;
    EXPECT_EQ(PathComponents("C:\\a\\\\b\\"), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(PathComponents("\\\\srv\\share\\x"), (std::vector<std::string>{"x"}));
}

TEST(Wildcard, MatchesAsWindowsDoes) {
    struct Case {
        const char* pattern;
        const char* name;
        bool match;
    };
    // Patterns and names are upper case: the caller folds case first.
    const Case cases[] = {
        {"*", "ANYTHING.TXT", true},        {"*.*", "README", true},           {"*.*", ".PROFILE", true},
        {"*.TXT", "A.TXT", true},           {"*.TXT", "A.TXT.BAK", false},     {"*.TXT", "A.TXTX", false},
        {"*.", "README", true},             {"*.", "READ.ME", false},          {"A?.TXT", "A.TXT", true},
        {"A?.TXT", "AB.TXT", true},         {"A?.TXT", "ABC.TXT", false},      {"???", "AB", true},
        {"???", "ABCD", false},             {"?", ".", false},                 {"FILE.*", "FILE", true},
        {"FILE.*", "FILE.DAT", true},       {"*LOG*", "GANTROVELMINDS.LOG", true}, {"QM*.INI", "QMGUID.INI", true},
        {"QM*.INI", "QMGUID.INI.OLD", false}, {"*.GTV", "#A#B#261209070305042.GTV", true}, {"*A*B*C*", "XAXXBXXCX", true},
        {"*A*B*C*", "XAXXCXXBX", false},    {"ABC", "ABC", true},              {"ABC", "ABCD", false},
    };
    for (const Case& c : cases) EXPECT_EQ(qm::sim::MatchWildcard(c.pattern, c.name), c.match) << c.pattern << " ~ " << c.name;
    EXPECT_TRUE(qm::sim::HasWildcards("a*"));
    EXPECT_FALSE(qm::sim::HasWildcards("a.txt"));
}

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
