#include <gtest/gtest.h>

#include "core/switches.h"
#include "support/agent_state.h"
#include "support/reg_text.h"
#include "support/test_machine.h"

using namespace qm::core;
using qm::test::RegText;
using qm::test::StartAgent;
using qm::test::TestMachine;

TEST(Switches, ExactTestsIgnoreCaseButNotBlanksOrLongerWords) {
    TestMachine m;
    struct Case {
        std::vector<std::string> parameters;
        const char* sw;
        bool set;
    };
    const Case cases[] = {
        {{"/s"}, "/S", true},
        {{"/S"}, "/s", true},
        {{"/SMTP"}, "/S", false},       // a longer switch is another switch
        {{"/S:x"}, "/S", false},
        {{" /S"}, "/S", false},         // a blank before the slash (possible inside quotes)
        {{"/S "}, "/S", false},
        {{"/S"}, " /S ", true},         // the switch asked for is trimmed
        {{"/LOG2"}, "/LOG", false},
        {{"/dlg", "/HIDE"}, "/HIDE", true},
        {{}, "/S", false},
    };
    for (const Case& c : cases) {
        std::string trace = c.sw;
        for (const auto& p : c.parameters) trace += " [" + p + "]";
        SCOPED_TRACE(trace);
        StartAgent(c.parameters);
        EXPECT_EQ(HasSwitch(c.sw), c.set);
    }
    // Parameter 0, the program path, is never tested.
    StartAgent({}, "/S");
    EXPECT_FALSE(HasSwitch("/S"));
}

TEST(Switches, ValueSwitchesTakeTheRestOfTheFirstMatch) {
    TestMachine m;
    std::string value = "stale";
    StartAgent({"/force_new_guid0a1b", "/FORCE_NEW_GUIDffff"});
    EXPECT_TRUE(GetSwitchValue("/FORCE_NEW_GUID", value));
    EXPECT_EQ(value, "0A1B");
    StartAgent({"/FORCE_NEW_GUID"});
    EXPECT_TRUE(GetSwitchValue("/force_new_guid", value));
    EXPECT_EQ(value, "");
    StartAgent({"/FORCE_NEW"});
    value = "stale";
    EXPECT_FALSE(GetSwitchValue("/FORCE_NEW_GUID", value));
    EXPECT_EQ(value, "");
}

namespace {

// The maker's key, where the stored parameters are looked for first.
RegText MakerKey() { return RegText().Key("HKEY_LOCAL_MACHINE\\SOFTWARE\\Quarmelin"); }

}  // namespace

TEST(Switches, StoredParametersLetTheRegistryDecideOverTheSettingsFile) {
    struct Case {
        RegText registry;      // the maker's key and its values; empty for no key
        const char* settings;  // the QMAGENT_PARAMETERS line of the settings file
        bool set;
    };
    const Case cases[] = {
        {MakerKey().Value("/AT", "1"), "/AT=0", true},
        {MakerKey().Value("/AT", "0"), "/AT=1", false},  // a value that exists decides
        {MakerKey().Value("/AT", ""), "/AT=1", false},
        {RegText(), "/AT=1", true},
        {MakerKey().Value("/at", "1"), "", true},
        {MakerKey().Value("/AT", " 1"), "", false},  // only exactly "1" is on
        {MakerKey().Value("/AT", "yes"), "", false},
        {RegText(), "/AT= 1", false},
        {MakerKey().Dword("/AT", 1), "/AT=1", true},  // not text: absent, so the file decides
        {MakerKey().Dword("/AT", 1), "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.registry.Text() + " | " + c.settings);
        TestMachine m("{}", c.registry.Text());
        m.WriteFile(qm::test::kAgentSettings, std::string("[QMAGENT_PARAMETERS]\r\n") + c.settings + "\r\n");
        StartAgent();
        EXPECT_EQ(IsOptionSet("/AT"), c.set);
    }
    TestMachine m;
    StartAgent({"/at"});
    EXPECT_TRUE(IsOptionSet("/AT"));  // the switch itself needs nothing stored
}

TEST(Switches, StoredParametersComeFromTheFolderTheServiceNames) {
    // The service's program lies elsewhere: its QMAgent.lic holds the stored parameters,
    // even though another one lies beside the agent.
    TestMachine m("{}", RegText()
                            .Key("HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\QmagentSrv")
                            .Value("ImagePath", "C:\\Service\\QMAgentSrv.exe")
                            .Text());
    m.WriteFile(qm::test::kAgentSettings, "[QMAGENT_PARAMETERS]\r\n/LOG=1\r\n");
    m.WriteFile("C:\\Service\\QMAgent.lic", "[QMAGENT_PARAMETERS]\r\n/DISK_USAGE=1\r\n");
    StartAgent();
    EXPECT_TRUE(IsOptionSet("/DISK_USAGE"));
    EXPECT_FALSE(IsOptionSet("/LOG"));
    // The service's INI file names yet another folder.
    m.WriteFile("C:\\Service\\QMAgentSrv.ini", "[SERVER]\r\nPATH=C:\\Shared\r\n");
    m.WriteFile("C:\\Shared\\QMAgent.lic", "[QMAGENT_PARAMETERS]\r\n/ONLINE=1\r\n");
    EXPECT_TRUE(IsOptionSet("/ONLINE"));
    EXPECT_FALSE(IsOptionSet("/DISK_USAGE"));
}
