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
const RegText kValueKey = RegText()
                             .Key("HKEY_LOCAL_MACHINE\\SOFTWARE\\Values")
                             .Value("Text", "plain text")
                             .ExpandString("Expand", "%windir%\\x")
                             .Dword("Number", 0xFFFFFFFEu)
                             .Binary("Address", {0xC0, 0xA8, 0x00, 0x01})
                             .MultiString("Multi", {"one", "two"})
                             .Typed("None", qm::platform::REG_NONE, {0x41, 0x00, 0x42})
                             .Binary("Empty", {});
const std::string kValues = kValueKey.Text();
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
    // A huge command line still comes down to the file it starts with.
    EXPECT_EQ(ExtractExistingFile("C:\\WINDOWS\\notepad.exe " + std::string(4 << 20, 'x')), "C:\\WINDOWS\\notepad.exe");
    EXPECT_EQ(ExtractExistingFile(std::string(4 << 20, '"')), "");
}

TEST(RegistryReaders, FindTextAndIntegerTellAbsentFromEmptyAndCountOtherTypesAsAbsent) {
    TestMachine m("{}", RegText(kValueKey).Value("Blank", "").Text());
    qm::test::StartAgentWithLog();
    RegistryAccessor reg(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(reg.OpenKeyReadOnly("SOFTWARE\\Values"));
    struct Case {
        const char* name;
        std::optional<std::string> text;
        std::optional<int> number;
    };
    const Case cases[] = {
        {"Text", "plain text", std::nullopt}, {"Expand", "%windir%\\x", std::nullopt}, {"Blank", "", std::nullopt},
        {"Number", std::nullopt, -2},         {"Multi", std::nullopt, std::nullopt},  {"Missing", std::nullopt, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(FindRegText(c.name, reg), c.text);
        EXPECT_EQ(FindRegInteger(c.name, reg), c.number);
    }
    // A value of another type is said in the trace log; a missing one is not.
    std::string log = m.ReadFile(qm::test::kTraceLog);
    for (const char* name : {"Text", "Expand", "Blank", "Number", "Multi"})
        EXPECT_NE(log.find(std::string("|Invalid data type for '") + name + "': counted as absent\r\n"), std::string::npos)
            << name;
    EXPECT_EQ(log.find("'Missing'"), std::string::npos);
}
