#include <gtest/gtest.h>

#include "platform/platform.h"
#include "platform/registry_accessor.h"
#include "support/registry_samples.h"
#include "support/test_machine.h"

using namespace qm::platform;
using qm::test::kRegedit4;
using qm::test::TestMachine;

TEST(RegistryAccessor, RaisesWhereTheTypeDoesNotFit) {
    TestMachine m("{}", kRegedit4);
    {
        RegistryAccessor reg(HKEY_LOCAL_MACHINE);
        ASSERT_TRUE(reg.OpenKeyReadOnly("SOFTWARE\\Quarmelin\\"));
        EXPECT_EQ(reg.ReadString("GUID"), "0F8FAD5BD9CB469FA16570867728950E");
        EXPECT_EQ(reg.ReadString("Expand"), "%windir%");
        EXPECT_EQ(reg.ReadString("Missing"), "");
        EXPECT_THROW(reg.ReadString("Count"), RegistryError);
        EXPECT_THROW(reg.ReadString("Blob"), RegistryError);
        EXPECT_EQ(reg.ReadInteger("Count"), 42);
        EXPECT_THROW(reg.ReadInteger("GUID"), RegistryError);
        EXPECT_THROW(reg.ReadInteger("Missing"), RegistryError);
        std::uint8_t buffer[4] = {};
        EXPECT_EQ(reg.ReadBinaryData("Blob", buffer, sizeof buffer), 4u);
        EXPECT_EQ(buffer[0], 0xC0);
        std::uint8_t roomy[8] = {};
        EXPECT_EQ(reg.ReadBinaryData("Multi", roomy, sizeof roomy), 6u);  // any type but text and numbers
        EXPECT_EQ(roomy[2], 'b');
        EXPECT_THROW(reg.ReadBinaryData("Long", buffer, sizeof buffer), RegistryError);
        EXPECT_THROW(reg.ReadBinaryData("GUID", buffer, sizeof buffer), RegistryError);
        EXPECT_TRUE(reg.ValueExists("guid"));
        EXPECT_FALSE(reg.ValueExists("Missing"));
        EXPECT_EQ(reg.GetDataType("Qword"), REG_QWORD);
        EXPECT_EQ(reg.GetDataType("Missing"), std::nullopt);
        EXPECT_EQ(reg.GetDataSize("Blob"), 4);
        EXPECT_EQ(reg.GetDataSize("Missing"), -1);
        EXPECT_THROW(reg.WriteString("X", "read-only key"), RegistryError);
        // A subkey path goes on from the open key.
        ASSERT_TRUE(reg.OpenSubKeyReadOnly("Sub\\Deep"));
        EXPECT_EQ(reg.ReadString("Ansi"), "caf\xE9");
        EXPECT_TRUE(reg.KeyExists("SOFTWARE\\Quarmelin"));
        EXPECT_FALSE(reg.KeyExists("SOFTWARE\\Nothing"));
        EXPECT_FALSE(reg.OpenKeyReadOnly("SOFTWARE\\Nothing"));
        EXPECT_EQ(reg.ReadString("Ansi"), "caf\xE9");  // a failed open keeps the open key
    }
    EXPECT_EQ(m.Machine().OpenRegistryKeys(), 0u);
}

TEST(RegistryAccessor, PathsStartAtTheRootOrBelowTheOpenKeyAsTheCallSays) {
    TestMachine m("{}", kRegedit4);
    {
        RegistryAccessor reg(HKEY_LOCAL_MACHINE);
        // Nothing open: there is nothing to go on from.
        EXPECT_FALSE(reg.OpenSubKeyReadOnly("SOFTWARE\\Quarmelin"));
        EXPECT_FALSE(reg.OpenSubKey("SOFTWARE\\Quarmelin", true));
        EXPECT_EQ(reg.CurrentKey(), 0u);
        ASSERT_TRUE(reg.OpenKeyReadOnly("SOFTWARE\\Quarmelin\\Sub"));
        // From the root whatever is open; a leading backslash means nothing more.
        EXPECT_FALSE(reg.OpenKeyReadOnly("Deep"));
        EXPECT_FALSE(reg.KeyExists("Deep"));
        EXPECT_TRUE(reg.KeyExists("\\SOFTWARE\\Quarmelin\\Sub\\Deep\\"));
        ASSERT_TRUE(reg.OpenKeyReadOnly("\\SOFTWARE\\Quarmelin"));
        EXPECT_EQ(reg.ReadInteger("Count"), 42);
        ASSERT_TRUE(reg.OpenSubKeyReadOnly("Sub\\Deep\\"));
        EXPECT_EQ(reg.ReadString("Ansi"), "caf\xE9");
        EXPECT_FALSE(reg.OpenSubKeyReadOnly("SOFTWARE"));
        EXPECT_EQ(reg.ReadString("Ansi"), "caf\xE9");  // a failed open keeps the open key
        // Made below the open key, which the new key then replaces.
        ASSERT_TRUE(reg.OpenKey("SOFTWARE\\Quarmelin", false));
        ASSERT_TRUE(reg.OpenSubKey("Made\\Here", true));
        reg.WriteString("V", "x");
        ASSERT_TRUE(reg.CreateKey("SOFTWARE\\Quarmelin\\Also"));
        EXPECT_EQ(reg.ReadString("V"), "x");  // CreateKey leaves the open key
    }
    RegistryAccessor check(HKEY_LOCAL_MACHINE);
    EXPECT_TRUE(check.KeyExists("SOFTWARE\\Quarmelin\\Made\\Here"));
    EXPECT_TRUE(check.KeyExists("SOFTWARE\\Quarmelin\\Also"));
    EXPECT_FALSE(check.KeyExists("SOFTWARE\\Quarmelin\\Sub\\Made"));
    EXPECT_EQ(m.Machine().OpenRegistryKeys(), 0u);
}
