#include <gtest/gtest.h>

#include "collectors/internet_settings.h"
#include "core/trace_log.h"
#include "platform/platform.h"
#include "support/agent_state.h"
#include "support/pe_writer.h"
#include "support/reg_text.h"
#include "support/test_machine.h"

using namespace qm::collectors;
using namespace qm::test;
using Records = std::vector<std::string>;

namespace {

const std::string kSettings = "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
const std::string kZone = kSettings + "\\Zones\\3";
const std::string kExtensions = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Internet Explorer\\Extensions\\";

std::string Ie(const std::string& key, const std::string& value) {
    return "\"InternetExplorer\",\"" + key + "\",\"" + value + "\"";
}

// The records of the Internet zone, a custom level with the given values; the zone's key makes
// the settings key above it, whose proxy record comes first.
Records ZoneRecords(const RegText& values) {
    TestMachine m("{}", (RegText().Key(kZone).Dword("CurrentLevel", 0) + values).Text());
    StartAgentWithLog();
    Records records = CollectRecords(InternetExplorerInfo);
    if (records.empty() || records.front() != Ie("ProxyEnable", "NO")) return {"no proxy record first"};
    records.erase(records.begin());
    return records;
}

}  // namespace

TEST(InternetExplorer, StartPageProxyAndAStandardLevel) {
    struct Case {
        const char* name;
        RegText registry;
        Records records;
    };
    const Case cases[] = {
        {"proxy as text",
         RegText().Key("HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Explorer\\Main").Value("Start Page", "http://intranet/")
             .Key(kSettings).Value("ProxyEnable", "1").Value("ProxyServer", "proxy:8080").Key(kZone).Dword("CurrentLevel", 0x11000),
         {Ie("StartPage", "http://intranet/"), Ie("ProxyEnable", "YES"), Ie("ProxyConfig", "proxy:8080"), Ie("SecurityLevel", "Middle")}},
        {"proxy as a number", RegText().Key(kSettings).Dword("ProxyEnable", 1).Key(kZone).Dword("CurrentLevel", 0x10000),
         {Ie("ProxyEnable", "YES"), Ie("ProxyConfig", ""), Ie("SecurityLevel", "Low")}},
        {"proxy off", RegText().Key(kSettings).Dword("ProxyEnable", 0).Value("ProxyServer", "p").Key(kZone).Dword("CurrentLevel", 0x10500),
         {Ie("ProxyEnable", "NO"), Ie("SecurityLevel", "MiddleLow")}},
        {"no proxy value, a high level", RegText().Key(kSettings).Key(kZone).Value("CurrentLevel", "73728"),
         {Ie("ProxyEnable", "NO"), Ie("SecurityLevel", "High")}},
        {"a level of no template", RegText().Key(kZone).Dword("CurrentLevel", 7), {Ie("ProxyEnable", "NO")}},
        {"a start page key without the value",
         RegText().Key("HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Explorer\\Main"), {Ie("StartPage", "")}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestMachine m("{}", c.registry.Text());
        StartAgent();
        EXPECT_EQ(CollectRecords(InternetExplorerInfo), c.records);
    }
}

TEST(InternetExplorer, ALevelThatIsNoNumberIsLogged) {
    TestMachine m("{}", RegText().Key(kSettings).Key(kZone).Value("CurrentLevel", "abc").Text());
    StartAgentWithLog();
    EXPECT_EQ(CollectRecords(InternetExplorerInfo), (Records{Ie("ProxyEnable", "NO")}));
    qm::core::CloseLogFile();
    EXPECT_NE(m.ReadFile(kTraceLog).find("|'abc' of 'CurrentLevel' is not a valid integer value\r\n"), std::string::npos);
}

TEST(InternetExplorer, JavaPermissionsOfACustomZoneInBinaryAndNumberForm) {
    struct Case {
        const char* name;
        RegText value;
        const char* java;  // none when null
    };
    const Case cases[] = {
        {"bytes 00 00 01 00", RegText().Binary("1C00", {0, 0, 1, 0}), "HighSecurity"},
        {"number 10000", RegText().Dword("1C00", 0x10000), "HighSecurity"},
        {"bytes 00 00 02 00", RegText().Binary("1C00", {0, 0, 2, 0}), "MiddleSecurity"},
        {"number 20000", RegText().Dword("1C00", 0x20000), "MiddleSecurity"},
        {"bytes 00 00 03 00", RegText().Binary("1C00", {0, 0, 3, 0}), "LowSecurity"},
        {"number 30000", RegText().Dword("1C00", 0x30000), "LowSecurity"},
        {"number 0", RegText().Dword("1C00", 0), "disable"},
        {"bytes 00 08 00 00", RegText().Binary("1C00", {0, 8, 0, 0}), "custom"},
        {"number 5", RegText().Dword("1C00", 5), "unknown : 5"},
        {"three bytes 00 00 01", RegText().Binary("1C00", {0, 0, 1}), "HighSecurity"},  // the missing low byte is 0
        {"one byte 01", RegText().Binary("1C00", {1}), "unknown : 16777216"},
        {"no bytes", RegText().Binary("1C00", {}), "unknown : -1"},
        {"bytes FF FF FF FE", RegText().Binary("1C00", {0xFF, 0xFF, 0xFF, 0xFE}), "unknown : -2"},
        {"text", RegText().Value("1C00", "65536"), nullptr},  // another type counts as absent
        {"missing", RegText(), nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Records expected = {Ie("SecurityLevel", "Personalized")};
        if (c.java != nullptr) expected.push_back(Ie("JavaPrameters", c.java));
        expected.push_back(Ie("ActiveScript", "query"));
        EXPECT_EQ(ZoneRecords(RegText(c.value).Dword("1400", 1)), expected);
    }
}

TEST(InternetExplorer, FiveBytesOfJavaPermissionsEndTheCollector) {
    EXPECT_EQ(ZoneRecords(RegText().Binary("1C00", {0, 0, 1, 0, 0}).Dword("1400", 1)), (Records{Ie("SecurityLevel", "Personalized")}));
}

TEST(InternetExplorer, ScriptAndAppletActions) {
    EXPECT_EQ(ZoneRecords(RegText().Dword("1C00", 0).Dword("1400", 0).Dword("1402", 3)),
              (Records{Ie("SecurityLevel", "Personalized"), Ie("JavaPrameters", "disable"), Ie("ActiveScript", "always"),
                       Ie("JavaApplet", "disable")}));
    EXPECT_EQ(ZoneRecords(RegText().Dword("1C00", 0).Dword("1400", 2).Dword("1402", 1)),
              (Records{Ie("SecurityLevel", "Personalized"), Ie("JavaPrameters", "disable"), Ie("JavaApplet", "query")}));
}

TEST(InternetExplorer, ExtensionsByProgramOrText) {
    TestMachine m("{}", RegText()
                            .Key(kExtensions + "{A}")
                            .Value("Exec", "\"C:\\Tools\\research.exe\" /x")
                            .Value("ButtonText", "not this")
                            .Key(kExtensions + "{B}")
                            .Value("CLSID", "nothing of the three")
                            .Key(kExtensions + "{C}")
                            .Value("ButtonText", "Blog This")
                            .Key(kExtensions + "{D}")
                            .Value("MenuText", "Send to &Notes")
                            .Key(kExtensions + "{E}")
                            .Value("Exec", "C:\\Tools\\plain.exe")
                            .Key(kExtensions + "{F}")
                            .Value("Exec", "C:\\Tools\\gone.exe")
                            .Text());
    m.WriteFile("C:\\Tools\\research.exe", BuildDescribedProgram("Research Bar", "2.1"));
    m.WriteFile("C:\\Tools\\plain.exe", BuildPeFileWithoutResources());
    StartAgentWithLog();
    EXPECT_EQ(CollectRecords(getIEExtention),
              (Records{Ie("Extension1", "Research Bar 2.1"), Ie("Extension2", "Blog This"), Ie("Extension3", "Send to &Notes"),
                       Ie("Extension4", "C:\\Tools\\plain.exe"), Ie("Extension5", "")}));
    qm::core::CloseLogFile();
    EXPECT_NE(m.ReadFile(kTraceLog).find("|Enter getIEExtention\r\n"), std::string::npos);
}

TEST(Cookies, TheFirstSourceThatHasItsValueDecides) {
    struct Case {
        const char* name;
        RegText registry;
        Records records;
    };
    const Case cases[] = {
        {"AllowCookies 0", RegText().Key(kSettings).Dword("AllowCookies", 0).Key(kZone).Dword("1A10", 3), {Ie("CookiesStatut", "query")}},
        {"AllowCookies 1", RegText().Key(kSettings).Dword("AllowCookies", 1), {Ie("CookiesStatut", "always")}},
        {"AllowCookies 7 hides the zone", RegText().Key(kSettings).Dword("AllowCookies", 7).Key(kZone).Dword("1A10", 3), {}},
        {"1A10 1", RegText().Key(kSettings).Key(kZone).Dword("1A10", 1).Dword("1A02", 3), {Ie("CookiesStatut", "others")}},
        {"1A10 3", RegText().Key(kZone).Dword("1A10", 3), {Ie("CookiesStatut", "disable")}},
        {"1A02 1", RegText().Key(kZone).Dword("1A02", 1), {Ie("CookiesStatut", "query")}},
        {"1A02 0", RegText().Key(kZone).Dword("1A02", 0), {Ie("CookiesStatut", "always")}},
        {"AllowCookies as text counts as absent", RegText().Key(kSettings).Value("AllowCookies", "1").Key(kZone).Dword("1A02", 3),
         {Ie("CookiesStatut", "disable")}},
        {"none", RegText().Key(kSettings).Key(kZone), {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestMachine m("{}", c.registry.Text());
        StartAgent();
        EXPECT_EQ(CollectRecords(CookiesInfo), c.records);
    }
}

TEST(DefaultPrograms, TheAssociatedProgramOrAnEmptyRecord) {
    TestMachine m("{}", RegText()
                            .Key("HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\htmlfile\\shell\\open\\command")
                            .Value("", "\"C:\\Program Files\\Web Browser\\browser.exe\" -nohome")
                            .Key("HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\mailto\\shell\\open\\command")
                            .Value("", "C:\\Mail\\missing.exe %1")
                            .Text());
    m.WriteFile("C:\\Program Files\\Web Browser\\browser.exe", BuildDescribedProgram("Web Browser", "6.0.2900"));
    StartAgent();
    EXPECT_EQ(CollectRecords(DefaultBrowserInfo), (Records{"\"Internet\",\"DefaultBrowser\",\"Web Browser 6.0.2900\""}));
    EXPECT_EQ(CollectRecords(DefaultMailInfo), (Records{"\"Internet\",\"DefaultMail\",\"\""}));

    TestMachine none("{}", RegText()
                               .Key("HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\mailto\\shell\\open\\command")
                               .Dword("", 1)
                               .Text());
    StartAgentWithLog();
    EXPECT_EQ(CollectRecords(DefaultBrowserInfo), (Records{"\"Internet\",\"DefaultBrowser\",\"\""}));
    EXPECT_EQ(CollectRecords(DefaultMailInfo), (Records{"\"Internet\",\"DefaultMail\",\"\""}));

    // Programs without a version resource have nothing to say of themselves: not even their path.
    TestMachine plain("{}", RegText()
                                .Key("HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\htmlfile\\shell\\open\\command")
                                .Value("", "C:\\Browser\\browse.exe %1")
                                .Key("HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\mailto\\shell\\open\\command")
                                .Value("", "C:\\Mail\\mailer.exe /mailurl:%1")
                                .Text());
    plain.WriteFile("C:\\Browser\\browse.exe", BuildPeFileWithoutResources());
    plain.WriteFile("C:\\Mail\\mailer.exe", "not a program file at all");
    StartAgent();
    EXPECT_EQ(CollectRecords(DefaultBrowserInfo), (Records{"\"Internet\",\"DefaultBrowser\",\"\""}));
    EXPECT_EQ(CollectRecords(DefaultMailInfo), (Records{"\"Internet\",\"DefaultMail\",\"\""}));
}
