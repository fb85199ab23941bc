#include <gtest/gtest.h>

#include <tuple>

#include "core/process_state.h"
#include "delivery/connection_dialog.h"
#include "delivery/scrambling.h"
#include "platform/sim/sim_dialogs.h"
#include "support/agent_state.h"
#include "support/scripted_terminal.h"
#include "support/test_machine.h"

using namespace qm::delivery;
using qm::core::State;
using qm::platform::ControlSpec;
using qm::test::kAgentSettings;
using qm::test::TestMachine;

namespace {

struct Values {
    std::string host = "mail.site.example";
    std::string user = "agent";
    std::string password = "given";
    std::string returnAddress = "given@site.example";
    int port = 2525;
    EnteredProxy proxy;
};

// Host, port, user, password and return address.
using Handed = std::tuple<std::string, int, std::string, std::string, std::string>;
Handed HandedBack(const Values& v) { return {v.host, v.port, v.user, v.password, v.returnAddress}; }

bool Ask(Values& v) {
    return AskConnectionSettings(kAgentSettings, v.host, v.user, v.password, v.returnAddress, v.port, v.proxy);
}

const ControlSpec& Find(const qm::platform::ConnectionDialogLayout& layout, const std::string& name) {
    for (const ControlSpec& c : layout.controls)
        if (c.name == name) return c;
    throw std::runtime_error("no control " + name);
}

qm::sim::SimDialogs& DialogsOf(TestMachine& m) { return m.Machine().DialogsOfMachine(); }

const std::string kStored = "[PROXY]\r\nHOST=proxy.site.example\r\nPORT=8021\r\n[SMTP Connection]\r\nRETURN=stored@site.example\r\nICF=" +
                            ScrambleString("storedpw", kByteXorKey) + "\r\n";

}  // namespace

TEST(ConnectionDialog, TheFormIsDescribedWhole) {
    TestMachine m;
    qm::test::StartAgent();
    State().smtpRecipient = "Centre <inv@centre.example>";
    TConnectForm form;
    form.FormCreate();
    const auto& layout = form.Layout();
    EXPECT_EQ(layout.caption, "Automatic Connection Failed...");
    EXPECT_EQ(layout.clientWidth, 421);
    EXPECT_EQ(layout.clientHeight, 617);
    EXPECT_EQ(layout.font.name, "Arial");
    EXPECT_EQ(layout.defaultButton, "btConnect");
    EXPECT_EQ(layout.cancelButton, "btClose");
    EXPECT_EQ(layout.okButtons, (std::vector<std::string>{"btMailto", "btConnect"}));
    const std::pair<const char*, const char*> texts[] = {
        {"gbMail", "By providing your proxy information"},
        {"Label6", "If you have a proxy server in your company, please fill out the following information to allow the agent to send the data. "},
        {"lblProxyHost", "Proxy name or address"},
        {"lblProxyPort", "Proxy port"},
        {"btMailto", "Connect"},
        {"gbSMTP", "By providing your configuration information"},
        {"Label5", "Please provide the computer name or IP address of your local SMTP E-mail host."},
        {"Label3", "A change in the default Port or User ID is usually not necessary."},
        {"Label1", "Host"},
        {"Label2", "Port"},
        {"PortEdit", "25"},
        {"Label4", "User ID"},
        {"lblSMTPPAssword", "Password"},
        {"lblReturnAddress", "Return address"},
        {"Label7", "Destination Email"},
        {"Label8", "Centre <inv@centre.example>"},
        {"btConnect", "Connect"},
        {"btClose", "Close"},
        {"Label9", "In case of a problem, please do not hesitate to contact our technical support."},
    };
    for (const auto& [name, text] : texts) EXPECT_EQ(Find(layout, name).caption, text) << name;
    EXPECT_EQ(Find(layout, "lblConnectionFailed").caption.rfind("Due your company's security policy, the agent cannot", 0), 0u);
    EXPECT_TRUE(Find(layout, "lblConnectionFailed").wordWrap);
    EXPECT_TRUE(Find(layout, "lblConnectionFailed").font.bold);
    EXPECT_EQ(Find(layout, "edSMTPPassword").passwordChar, '*');
    // Every control lies inside its parent, which comes before it.
    for (std::size_t i = 0; i < layout.controls.size(); ++i) {
        const ControlSpec& c = layout.controls[i];
        int width = layout.clientWidth, height = layout.clientHeight;
        if (!c.parent.empty()) {
            const ControlSpec& p = Find(layout, c.parent);
            EXPECT_LT(&p - layout.controls.data(), static_cast<std::ptrdiff_t>(i)) << c.name;
            width = p.width;
            height = p.height;
        }
        EXPECT_TRUE(c.left >= 0 && c.top >= 0 && c.width > 0 && c.height > 0) << c.name;
        EXPECT_LE(c.left + c.width, width) << c.name;
        EXPECT_LE(c.top + c.height, height) << c.name;
        EXPECT_TRUE(c.visible && c.enabled) << c.name;
    }
}

TEST(ConnectionDialog, FlagsDisableOrHideWhatCannotServe) {
    struct Case {
        bool ftpOff, smtpOff, settingsMode;
        std::vector<std::string> disabled;
        std::vector<std::string> hidden;
    };
    const Case cases[] = {
        {true, false, false, {"eProxyHost", "eProxyPort"}, {}},
        {false, true, false, {"HostEdit", "PortEdit", "UserIDEdit", "edSMTPPassword", "edReturnAdress"}, {}},
        {false, false, true, {}, {"btMailto", "btConnect"}},
    };
    for (const Case& k : cases) {
        TestMachine m;
        qm::test::StartAgent();
        State().flags.ftpOff = k.ftpOff;
        State().flags.smtpOff = k.smtpOff;
        State().flags.smtp = k.settingsMode;
        TConnectForm form;
        form.FormCreate();
        std::vector<std::string> disabled, hidden;
        for (const ControlSpec& c : form.Layout().controls) {
            if (!c.enabled) disabled.push_back(c.name);
            if (!c.visible) hidden.push_back(c.name);
        }
        std::sort(disabled.begin(), disabled.end());
        std::vector<std::string> expected = k.disabled;
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(disabled, expected);
        EXPECT_EQ(hidden, k.hidden);
    }
}

TEST(ConnectionDialog, ShowsTheValuesInForceAndStoresNothingOnClose) {
    TestMachine m;
    m.WriteFile(kAgentSettings, kStored);
    qm::test::StartAgent();
    Values v;
    EXPECT_FALSE(Ask(v));  // the user closes it
    const auto layout = DialogsOf(m).LastConnectionDialogLayout();
    const std::pair<const char*, const char*> shown[] = {
        {"HostEdit", "mail.site.example"}, {"PortEdit", "2525"},          {"UserIDEdit", "agent"},
        {"eProxyHost", "proxy.site.example"}, {"eProxyPort", "8021"},  {"edReturnAdress", "stored@site.example"},
        {"edSMTPPassword", "storedpw"},
    };
    for (const auto& [name, text] : shown) EXPECT_EQ(Find(layout, name).caption, text) << name;
    EXPECT_EQ(m.ReadFile(kAgentSettings), kStored);
    // The return address and password are those read from the settings file.
    EXPECT_EQ(v.returnAddress, "stored@site.example");
    EXPECT_EQ(v.password, "storedpw");
    EXPECT_EQ(v.host, "mail.site.example");
    EXPECT_FALSE(v.proxy.entered);
}

TEST(ConnectionDialog, WritesOnlyWhatTheValuesEntitle) {
    struct Case {
        const char* name;
        std::vector<std::pair<std::string, std::string>> typed;
        std::string press;
        bool settingsMode;
        bool answer;
        std::string file;
        bool proxyEntered;
    };
    const std::string icf = ScrambleString("typedpw", kByteXorKey);
    const std::vector<std::pair<std::string, std::string>> all{
        {"HostEdit", "smtp.site.example"}, {"PortEdit", "587"}, {"UserIDEdit", "typed"}, {"edSMTPPassword", "typedpw"},
        {"edReturnAdress", "typed@site.example"}, {"eProxyHost", "gate.site.example"}, {"eProxyPort", "3128"}};
    const std::string smtpWritten = "[SMTP Connection]\r\nHOST=smtp.site.example\r\nUSERID=typed\r\nPORT=587\r\n"
                                    "RETURN=typed@site.example\r\nICF=" + icf + "\r\n";
    const Case cases[] = {
        {"OK with both", all, "btConnect", false, true, smtpWritten + "[PROXY]\r\nHOST=gate.site.example\r\nPORT=3128\r\n", true},
        {"the proxy's connect button", all, "btMailto", false, true,
         smtpWritten + "[PROXY]\r\nHOST=gate.site.example\r\nPORT=3128\r\n", true},
        {"Close", all, "btClose", false, false, "", false},
        {"the close box in connection-settings mode", all, "", true, false,
         smtpWritten + "[PROXY]\r\nHOST=gate.site.example\r\nPORT=3128\r\n", true},
        {"no host", {{"HostEdit", ""}, {"UserIDEdit", "typed"}, {"eProxyHost", "gate.site.example"}}, "btConnect", false,
         true, "[PROXY]\r\nHOST=gate.site.example\r\nPORT=2121\r\n", true},
        {"no proxy host, ports that are no numbers",
         {{"HostEdit", "smtp.site.example"}, {"PortEdit", ""}, {"eProxyPort", "x"}}, "btConnect", false, true,
         "[SMTP Connection]\r\nHOST=smtp.site.example\r\nUSERID=\r\nPORT=25\r\nRETURN=\r\nICF=\r\n", false},
        {"a line break typed into the host", {{"HostEdit", "smtp\r\n[F]\r\nF1=x"}}, "btConnect", false, true, "", false},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        TestMachine m;
        m.WriteFile(kAgentSettings, "");
        qm::test::StartAgent();
        State().flags.smtp = k.settingsMode;
        DialogsOf(m).AddConnectionAnswer({k.typed, k.press});
        Values v;
        v.host = "";
        v.user = "";
        EXPECT_EQ(Ask(v), k.answer);
        EXPECT_EQ(m.ReadFile(kAgentSettings), k.file);
        EXPECT_EQ(v.proxy.entered, k.proxyEntered);
        if (k.answer || k.settingsMode) {
            EXPECT_EQ(v.host, k.typed[0].second);
        }
    }
    {
        // What the dialog hands back, and the refusal of the line break.
        TestMachine m;
        qm::test::StartAgent();
        m.MakeFolder(qm::test::kAgentFolder);
        DialogsOf(m).AddConnectionAnswer({all, "btConnect"});
        Values v;
        EXPECT_TRUE(Ask(v));
        EXPECT_EQ(HandedBack(v), (Handed{"smtp.site.example", 587, "typed", "typedpw", "typed@site.example"}));
        EXPECT_EQ(v.proxy.host, "gate.site.example");
        EXPECT_EQ(v.proxy.port, 3128);
        DialogsOf(m).AddConnectionAnswer({{{"HostEdit", "smtp\r\nX"}}, "btConnect"});
        EXPECT_TRUE(Ask(v));
        EXPECT_EQ(v.host, "smtp\r\nX");  // handed back, to be refused by the attempt
        EXPECT_EQ(qm::test::ErrorTexts(),
                  (std::vector<std::string>{"Connection settings not saved in SMTP Connection : a value holds a control character"}));
    }
}

TEST(ConnectionDialog, ASettingsFileThatCannotBeWrittenKeepsTheEnteredProxy) {
    TestMachine m(R"({"faults": [{"op": "WritePrivateProfileString", "path": "C:\\Program Files\\Quarmelin\\QMAgent.lic", "error": 5}]})");
    m.WriteFile(kAgentSettings, "");
    qm::test::StartAgent();
    DialogsOf(m).AddConnectionAnswer({{{"eProxyHost", "gate.example"}}, "btMailto"});
    Values v;
    EXPECT_TRUE(Ask(v));
    EXPECT_TRUE(v.proxy.entered);
    EXPECT_EQ(v.proxy.host, "gate.example");
    EXPECT_EQ(m.ReadFile(kAgentSettings), "");
    ASSERT_EQ(qm::test::ErrorTexts().size(), 2u);  // the server and the proxy
    EXPECT_EQ(qm::test::ErrorTexts()[0].rfind("Connection settings not saved : ", 0), 0u);
}

TEST(ConnectionDialog, ADisabledFieldTakesNoInputAndAHiddenButtonNoClick) {
    TestMachine m;
    m.WriteFile(kAgentSettings, "");
    qm::test::StartAgent();
    State().flags.smtpOff = true;
    State().flags.smtp = true;
    DialogsOf(m).AddConnectionAnswer({{{"HostEdit", "typed.example"}, {"eProxyHost", "gate.example"}}, "btConnect"});
    Values v;
    EXPECT_FALSE(Ask(v));
    EXPECT_EQ(v.host, "mail.site.example");  // as shown
    EXPECT_TRUE(v.proxy.entered);
    const auto journal = DialogsOf(m).Journal();
    ASSERT_FALSE(journal.empty());
    EXPECT_EQ(journal.back().kind, "connection");
    EXPECT_NE(journal.back().detail.find("HostEdit takes no input"), std::string::npos) << journal.back().detail;
    EXPECT_NE(journal.back().detail.find("btConnect cannot be pressed"), std::string::npos);
}

// On a terminal the dialog says what it says, shows the disabled fields without asking for
// them, asks for the others with what they hold as the default, and offers its buttons.
TEST(ConnectionDialog, OnATerminalItAsksForEachField) {
    {
        TestMachine m;
        m.WriteFile(kAgentSettings, "");
        qm::test::StartAgent();
        State().flags.ftpOff = true;
        State().smtpRecipient = "inv@centre.example";
        qm::test::ScriptedTerminal t("smtp.acme.example\n\n\nsecret\nret@acme.example\n\n");
        DialogsOf(m).UseTerminal(t.Make());
        Values v;
        EXPECT_TRUE(Ask(v));
        EXPECT_EQ(HandedBack(v), (Handed{"smtp.acme.example", 2525, "agent", "secret", "ret@acme.example"}));
        const std::string screen = t.Screen();
        for (const char* shown : {"== Automatic Connection Failed... ==\nDue your company's security policy",
                                  "\n[ By providing your proxy information ]\nIf you have a proxy server",
                                  "\nProxy name or address:   (disabled)\nProxy port: 2121  (disabled)\n",
                                  "\nHost [mail.site.example]: Port [2525]: User ID [agent]: Password: Return address: ",
                                  "Destination Email: inv@centre.example\n", "[ Connect ]  Close ? "})
            EXPECT_NE(screen.find(shown), std::string::npos) << shown << "\n" << screen;
        EXPECT_NE(m.ReadFile(kAgentSettings).find("HOST=smtp.acme.example"), std::string::npos);
    }
    {
        // Connection-settings mode: "Close" alone, and what the fields hold is stored.
        TestMachine m;
        m.WriteFile(kAgentSettings, "");
        qm::test::StartAgent();
        State().flags.smtp = true;
        qm::test::ScriptedTerminal t("\n\n\n\n\n\n\n\n");
        DialogsOf(m).UseTerminal(t.Make());
        Values v;
        EXPECT_FALSE(Ask(v));
        const std::string screen = t.Screen();
        EXPECT_NE(screen.find("[ Close ] "), std::string::npos) << screen;
        EXPECT_EQ(screen.find("Connect ]"), std::string::npos) << screen;
        EXPECT_EQ(screen.find("Connect  "), std::string::npos) << screen;
        EXPECT_NE(m.ReadFile(kAgentSettings).find("HOST=mail.site.example"), std::string::npos);
    }
}

TEST(ConnectionDialog, APasswordIsStoredOnlyWhenItReadsBackAsTyped) {
    struct Case {
        const char* name;
        std::string typed;
        bool stored;
    };
    // The stored form is scrambled byte by byte with 0x95: "\xB5" becomes a blank, "\xEA" DEL,
    // "\x9C" a tab, "\x98" CR, "\x9F" LF, "\x95" a zero, "\x8F" Ctrl-Z, "\xB7" a double quote.
    const Case cases[] = {
        {"an ordinary one", "typedpw", true},
        {"none", "", true},
        {"a blank at its start", "\xB5pw", false},
        {"a blank at its end", "pw\xB5", false},
        {"a blank inside", "p\xB5w", true},
        {"DEL", "\xEApw\xEA", true},
        {"a tab inside", "p\x9Cw", true},
        {"a tab at its start", "\x9Cpw", false},
        {"Ctrl-Z at its end", "pw\x8F", false},
        {"a carriage return", "p\x98w", false},
        {"a line feed", "p\x9Fw", false},
        {"a zero", std::string("p\x95w"), false},
        {"quotes around it", "\xB7pw\xB7", false},
        {"one quote", "\xB7pw", true},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        TestMachine m;
        m.WriteFile(kAgentSettings, "");
        qm::test::StartAgent();
        DialogsOf(m).AddConnectionAnswer({{{"HostEdit", "smtp.site.example"}, {"edSMTPPassword", k.typed}}, "btConnect"});
        // The second dialog shows the password as the settings file gives it back.
        DialogsOf(m).AddConnectionAnswer({{}, "btClose"});
        Values v;
        EXPECT_TRUE(Ask(v));
        EXPECT_EQ(v.password, k.typed);  // handed back as typed, stored or not
        EXPECT_FALSE(Ask(v));
        EXPECT_EQ(v.password, k.stored ? k.typed : "");
        EXPECT_EQ(m.ReadFile(kAgentSettings).empty(), !k.stored);
        EXPECT_EQ(qm::test::ErrorTexts(),
                  k.stored ? std::vector<std::string>{}
                           : std::vector<std::string>{
                                 "Connection settings not saved in SMTP Connection : the password would not read back as typed"});
    }
}
