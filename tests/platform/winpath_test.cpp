#include <gtest/gtest.h>

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
    const std::pair<const char*, const char*> trimmed[] = {
        {"report.htm", "report.htm"}, {"report.htm. .", "report.htm"}, {"a b ", "a b"}, {"...", ""}, {".x", ".x"}};
    for (const auto& [name, kept] : trimmed) EXPECT_EQ(WithoutTrailingDotsAndBlanks(name), kept) << name;
    EXPECT_EQ(PathComponents("C:\\a\\\\b\\"), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(PathComponents("\\\\srv\\share\\x"), (std::vector<std::string>{"x"}));
}
