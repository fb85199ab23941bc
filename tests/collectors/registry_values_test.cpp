#include <gtest/gtest.h>

#include "collectors/registry_values.h"
#include "support/agent_state.h"
#include "support/reg_text.h"
#include "support/test_machine.h"

using namespace qm::collectors;
using qm::platform::HKEY_LOCAL_MACHINE;
using qm::platform::RegistryAccessor;
using qm::test::RegText;
using qm::test::TestMachine;

namespace {
const std::string kValues = RegText()
                                .Key("HKEY_LOCAL_MACHINE\\SOFTWARE\\Values")
                                .Value("Text", "plain text")
                                .ExpandString("Expand", "%windir%\\x")
                                .Dword("Number", 0xFFFFFFFEu)
                                .Binary("Address", {0xC0, 0xA8, 0x00, 0x01})
                                .MultiString("Multi", {"one", "two"})
                                .Typed("None", qm::platform::REG_NONE, {0x41, 0x00, 0x42})
                                .Binary("Empty", {})
                                .Text();
}

TEST(RegistryReaders, ReadAnyTypeAsText) {
    TestMachine m("{}", kValues);
    qm::test::StartAgent();
    RegistryAccessor reg(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(reg.OpenKeyReadOnly("SOFTWARE\\Values"));
    const qm::platform::HKEY opened = reg.CurrentKey();
    ASSERT_NE(opened, 0u);
    struct Case {
        const char* name;
        const char* text;
        const char* dotted;
    };
    const Case cases[] = {
        {"Text", "plain text", ""},         {"Expand", "%windir%\\x", ""},  // not expanded
        {"Number", "-2", ""},               {"Address", "\xC0\xA8\x01", "192.168.0.1"},
        {"Multi", "onetwo", "111.110.101.0.116.119.111.0.0"},  // the strings run together
        {"None", "AB", "65.0.66"},          {"Empty", "", ""},
        {"Missing", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ReadRegValueAsString(c.name, reg), c.text);
        EXPECT_EQ(RegBinaryToDotted(c.name, reg), c.dotted);
    }
    EXPECT_EQ(reg.CurrentKey(), opened);  // the caller's key stays open
}

TEST(RegistryReaders, StripQuotesAndExtractExistingFile) {
    const std::pair<const char*, const char*> quotes[] = {
        {"\"", "\""}, {"\"\"", ""}, {"\"a b\"", "a b"}, {"\"open", "open"}, {"close\"", "close"}, {"x", "x"}, {"", ""}};
    for (const auto& [in, out] : quotes) EXPECT_EQ(StripQuotes(in), out) << in;

    TestMachine m;
    m.WriteFile("C:\\Program Files\\Tool\\tool.exe", "MZ");
    m.WriteFile("C:\\WINDOWS\\notepad.exe", "MZ");
    const std::pair<const char*, const char*> lines[] = {
        {"\"C:\\Program Files\\Tool\\tool.exe\" -service \"C:\\data\"", "C:\\Program Files\\Tool\\tool.exe"},
        {"C:\\Program Files\\Tool\\tool.exe /x", "C:\\Program Files\\Tool\\tool.exe"},
        {"C:\\WINDOWS\\notepad.exe", "C:\\WINDOWS\\notepad.exe"},
        {"C:\\WINDOWS\\missing.exe /x", ""},
        {"C:\\Program Files\\Tool", ""},  // a folder is no file
        {"", ""},
    };
    for (const auto& [in, out] : lines) EXPECT_EQ(ExtractExistingFile(in), out) << in;
}
