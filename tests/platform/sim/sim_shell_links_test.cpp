#include <gtest/gtest.h>

#include "platform/platform.h"
#include "support/lnk_writer.h"
#include "support/pe_writer.h"
#include "support/test_machine.h"

using namespace qm::platform;
using qm::test::TestMachine;

TEST(SimShellLinks, ReadTheTargetLocalOrByItsShare) {
    TestMachine m(R"({"drives": [{"letter": "C", "folder": "drive_c"},
                                 {"letter": "N", "type": "remote", "folder": "net_n", "unc": "\\\\SRV\\Apps"}]})");
    m.WriteFile("C:\\Program Files\\Long App\\app.exe", "MZ");
    qm::test::ShortcutSpec local;
    local.localBasePath = "C:\\Program Files\\Long App\\app.exe";
    local.name = "The app";
    local.arguments = "/quiet";
    local.workingDirectory = "C:\\Program Files\\Long App";
    m.WriteFile("C:\\Links\\local.lnk", qm::test::BuildShortcut(local));
    m.WriteFile("C:\\Links\\share.lnk", qm::test::ShortcutToShare("\\\\SRV\\Apps", "tool.exe", "N:"));
    m.WriteFile("C:\\Links\\broken.lnk", "not a link at all");

    auto link = ShellLinks().CreateShellLink();
    ASSERT_NE(link, nullptr);
    std::string text;
    ASSERT_TRUE(link->Load(u"C:\\Links\\local.lnk"));
    ASSERT_TRUE(link->GetPath(text, 32768, SLGP_UNCPRIORITY));
    EXPECT_EQ(text, "C:\\Program Files\\Long App\\app.exe");
    ASSERT_TRUE(link->GetPath(text, 32768, SLGP_SHORTPATH));
    EXPECT_EQ(text, "C:\\PROGRA~1\\LONGAP~1\\app.exe");
    ASSERT_TRUE(link->GetPath(text, 10, SLGP_UNCPRIORITY));
    EXPECT_EQ(text, "C:\\Progra");  // the buffer cuts, its terminator counted
    ASSERT_TRUE(link->GetDescription(text, 255));
    EXPECT_EQ(text, "The app");
    ASSERT_TRUE(link->GetArguments(text, 255));
    EXPECT_EQ(text, "/quiet");
    ASSERT_TRUE(link->GetWorkingDirectory(text, 255));
    EXPECT_EQ(text, "C:\\Program Files\\Long App");

    ASSERT_TRUE(link->Load(u"C:\\Links\\share.lnk"));
    ASSERT_TRUE(link->GetPath(text, 32768, SLGP_UNCPRIORITY));
    EXPECT_EQ(text, "\\\\SRV\\Apps\\tool.exe");
    EXPECT_FALSE(link->Load(u"C:\\Links\\broken.lnk"));
    EXPECT_FALSE(link->GetPath(text, 32768, SLGP_UNCPRIORITY));
    EXPECT_FALSE(link->Load(u"C:\\Links\\missing.lnk"));

    m.Machine().AddFault({"CoCreateInstance", "ShellLink", 0x80040154u, false, -1});
    EXPECT_EQ(ShellLinks().CreateShellLink(), nullptr);
}

TEST(SimShellLinks, TextsWhoseLengthCountsTheirZeroComeBackAsCStrings) {
    TestMachine m;
    qm::test::ShortcutSpec spec;
    spec.localBasePath = "C:\\App\\app.exe";
    spec.name = std::string("The app\0", 8);
    spec.workingDirectory = std::string("C:\\App\0", 7);
    spec.arguments = std::string("/quiet\0junk", 11);
    m.WriteFile("C:\\Links\\counted.lnk", qm::test::BuildShortcut(spec));
    auto link = ShellLinks().CreateShellLink();
    ASSERT_NE(link, nullptr);
    ASSERT_TRUE(link->Load(u"C:\\Links\\counted.lnk"));
    std::string text;
    ASSERT_TRUE(link->GetDescription(text, 255));
    EXPECT_EQ(text, "The app");
    ASSERT_TRUE(link->GetWorkingDirectory(text, 255));
    EXPECT_EQ(text, "C:\\App");
    ASSERT_TRUE(link->GetArguments(text, 255));
    EXPECT_EQ(text, "/quiet");
}
