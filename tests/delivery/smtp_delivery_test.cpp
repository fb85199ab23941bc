#include <gtest/gtest.h>

#include "core/process_state.h"
#include "delivery/delivery_controller.h"
#include "delivery/scrambling.h"
#include "delivery/smtp_delivery.h"
#include "platform/sim/sim_dialogs.h"
#include "support/agent_state.h"
#include "support/mail_reader.h"
#include "support/test_machine.h"
#include "support/test_servers.h"

using namespace qm::delivery;
using qm::core::State;
using qm::test::ErrorTexts;
using qm::test::FtpTestServer;
using qm::test::kAgentFolder;
using qm::test::kAgentSettings;
using qm::test::kTraceLog;
using qm::test::LogTexts;
using qm::test::Parse;
using qm::test::Parsed;
using qm::test::SmtpServerOptions;
using qm::test::SmtpTestServer;
using qm::test::TestMachine;

namespace {

const std::string kTrans = kAgentFolder + "Trans\\";
const std::string kA = kTrans + "#C#S#261209070305042.GTV";
const std::string kB = kTrans + "#C#S#261209070305043.GTV";
const std::string kC = kAgentFolder + "Pda\\#C#S#261209070305044.BTV";
const std::string kRecipient = "Processing Centre <inventory@centre.example>";

struct SmtpFields {
    std::string host = "127.0.0.1";
    std::string port;
    std::string user = "agent";
    std::string returnAddress = "agent@site.example";
    std::string recipient = kRecipient;
    std::string password;  // none: no authentication
};

std::string E(const std::string& plain) { return EncodeSetting(plain, kSettingsKey, "fedcba9876543210"); }

std::string SmtpSection(const SmtpFields& f) {
    return "[IDENTIFICATION]\r\nCODE=C\r\nSITE=S\r\n[S]\r\nS1=" + E(f.host) + "\r\nS2=" + E("unused") + "\r\nS3=" +
           E(f.port) + "\r\nS4=" + E(f.user) + "\r\nS5=" + E(f.returnAddress) + "\r\nS6=" + E(f.recipient) +
           "\r\nS7=" + E(f.password) + "\r\n";
}

std::string PrivateSection(int port, const std::string& password = "") {
    return "[SMTP Connection]\r\nHOST=127.0.0.1\r\nUSERID=agent\r\nPORT=" + std::to_string(port) +
           "\r\nRETURN=private@site.example\r\nICF=" + ScrambleString(password, kByteXorKey) + "\r\n";
}

std::string Bytes(char seed) {
    std::string b;
    for (int i = 0; i < 700; ++i) b += static_cast<char>((i * 13 + seed) & 0xFF);
    return b + "\r\n.\r\n";
}

DeliveryContext Context(const TestMachine& m, const std::string& settings, const std::vector<std::string>& switches = {}) {
    m.WriteFile(kAgentSettings, settings);
    m.WriteFile(kA, Bytes('a'));
    m.WriteFile(kB, Bytes('b'));
    m.WriteFile(kC, Bytes('c'));
    qm::test::StartAgentWithLog(switches);
    for (const std::string& s : switches) {
        if (s == "/HIDE") State().flags.hide = true;
        if (s == "/SMTP") State().flags.smtp = true;
        if (s == "/SENDDEBUG") State().flags.sendDebug = true;
    }
    DeliveryContext c = ReadDeliverySettings();
    c.archives = {kA, kB, kTrans + "gone.GTV", kC};
    return c;
}

std::vector<std::string> Matching(const std::vector<std::string>& texts, const std::string& prefix) {
    std::vector<std::string> found;
    for (const std::string& t : texts)
        if (t.rfind(prefix, 0) == 0) found.push_back(t);
    return found;
}

bool Has(const std::vector<std::string>& texts, const std::string& text) {
    return std::find(texts.begin(), texts.end(), text) != texts.end();
}

// The settings with another site.
std::string WithSite(std::string settings, const std::string& site) {
    return settings.replace(settings.find("SITE=S"), 6, "SITE=" + site);
}

qm::sim::SimDialogs& DialogsOf(TestMachine& m) { return m.Machine().DialogsOfMachine(); }

}  // namespace

TEST(SmtpDelivery, OneMailCarriesEveryArchiveThroughThePublicServerWithAuthLogin) {
    SmtpTestServer server({"agent", "pw", {}, false, false});
    TestMachine m;
    SmtpFields f;
    f.port = std::to_string(server.Port());
    f.password = "pw";
    DeliveryContext c = Context(m, SmtpSection(f));

    EXPECT_TRUE(SendBySmtp(c));

    std::vector<qm::test::ReceivedMail> mails = server.Mails();
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_EQ(mails[0].from, "agent@site.example");
    EXPECT_EQ(mails[0].to, (std::vector<std::string>{"inventory@centre.example"}));
    Parsed p = Parse(mails[0].content);
    EXPECT_EQ(p.headers.get("Subject", ""), "#C#S");
    EXPECT_EQ(p.headers.get("Reply-To", ""), "agent@site.example");
    EXPECT_EQ(p.headers.get("From", ""), "\"agent@site.example\" <agent@site.example>");
    EXPECT_EQ(p.headers.get("To", ""), "\"Processing Centre\" <inventory@centre.example>");
    EXPECT_NE(p.headers.get("Date", ""), "");
    EXPECT_NE(p.headers.get("Message-ID", "").find('@'), std::string::npos);
    EXPECT_EQ(p.body, (std::vector<std::string>{kA, kB, kC}));
    EXPECT_EQ(p.attachments, (std::vector<std::pair<std::string, std::string>>{
                                 {"#C#S#261209070305042.GTV", Bytes('a')},
                                 {"#C#S#261209070305043.GTV", Bytes('b')},
                                 {"#C#S#261209070305044.BTV", Bytes('c')}}));
    const std::vector<std::string> commands = server.Commands();
    ASSERT_GE(commands.size(), 8u);
    EXPECT_EQ(commands[0].rfind("EHLO ", 0), 0u);
    EXPECT_EQ(std::vector<std::string>(commands.begin() + 1, commands.end()),
              (std::vector<std::string>{"AUTH LOGIN", "AUTHENTICATED LOGIN", "RSET", "MAIL FROM:<agent@site.example>",
                                        "RCPT TO:<inventory@centre.example>", "DATA", "QUIT"}));
    EXPECT_EQ(qm::test::FileNamesIn(kTrans), (std::vector<std::string>{"#C#S#261209070305042.Old", "#C#S#261209070305043.Old"}));
    EXPECT_EQ(qm::test::FileNamesIn(kAgentFolder + "Pda\\"), (std::vector<std::string>{"#C#S#261209070305044.Old"}));
    const std::vector<std::string> log = LogTexts(m.ReadFile(kTraceLog));
    EXPECT_TRUE(Has(log, "S,S1=" + E("127.0.0.1")));
    EXPECT_TRUE(Has(log, "Attach : " + kA + ",size : " + std::to_string(Bytes('a').size())));
    EXPECT_TRUE(Has(log, "ConnectedBySmtp"));
    EXPECT_TRUE(Has(log, "Sent by SMTP"));
    EXPECT_FALSE(Has(log, "ConnectwithITparamfailed"));
    EXPECT_TRUE(ErrorTexts().empty());
}

TEST(SmtpDelivery, AServerThatRefusesEhloIsGreetedWithHelo) {
    SmtpTestServer server({"", "", {}, false, true});
    TestMachine m;
    SmtpFields f;
    f.port = std::to_string(server.Port());
    DeliveryContext c = Context(m, SmtpSection(f));
    EXPECT_TRUE(SendBySmtp(c));
    EXPECT_EQ(server.Mails().size(), 1u);
    const std::vector<std::string> commands = server.Commands();
    ASSERT_GE(commands.size(), 3u);
    EXPECT_EQ(commands[0].rfind("EHLO ", 0), 0u);
    EXPECT_EQ(commands[1], "HELO " + commands[0].substr(5));
    EXPECT_EQ(commands[2], "RSET");
}

TEST(SmtpDelivery, MaxFilesTenSendsOneMailPerArchive) {
    SmtpTestServer server;
    TestMachine m;
    SmtpFields f;
    f.port = std::to_string(server.Port());
    DeliveryContext c = Context(m, SmtpSection(f) + "[DATA]\r\nMAXFILES=10\r\n");
    EXPECT_TRUE(SendBySmtp(c));
    std::vector<qm::test::ReceivedMail> mails = server.Mails();
    ASSERT_EQ(mails.size(), 3u);
    const std::string names[] = {"#C#S#261209070305042.GTV", "#C#S#261209070305043.GTV", "#C#S#261209070305044.BTV"};
    const std::string paths[] = {kA, kB, kC};
    for (std::size_t i = 0; i < 3; ++i) {
        Parsed p = Parse(mails[i].content);
        EXPECT_EQ(p.body, (std::vector<std::string>{paths[i]}));
        ASSERT_EQ(p.attachments.size(), 1u);
        EXPECT_EQ(p.attachments[0].first, names[i]);
        EXPECT_NE(p.headers.get("Message-ID"), Parse(mails[(i + 1) % 3].content).headers.get("Message-ID"));
    }
    EXPECT_EQ(Matching(server.Commands(), "AUTH").size(), 0u);
    EXPECT_EQ(qm::test::FileNamesIn(kTrans), (std::vector<std::string>{"#C#S#261209070305042.Old", "#C#S#261209070305043.Old"}));
}

TEST(SmtpDelivery, ThePrivateServerServesWhenThePublicOneCannot) {
    struct Case {
        const char* name;
        bool withPublic;  // a public server that refuses the connection
        std::vector<std::string> errors;
    };
    const Case cases[] = {{"no S1", false, {}}, {"the public server refuses", true, {"Public SMTP FAILED : "}}};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        SmtpTestServer server;
        TestMachine m;
        SmtpFields f;
        f.port = std::to_string(qm::test::UnusedPort());
        std::string settings = SmtpSection(f);
        if (!k.withPublic) settings = "[S]\r\nS6=" + E(kRecipient) + "\r\n";
        // "ICF" alone does not ask for authentication: only "S7" does.
        DeliveryContext c = Context(m, settings + PrivateSection(server.Port(), "icfpw"));
        EXPECT_TRUE(SendBySmtp(c));
        ASSERT_EQ(server.Mails().size(), 1u);
        EXPECT_EQ(server.Mails()[0].from, "private@site.example");
        EXPECT_TRUE(Matching(server.Commands(), "AUTH").empty());
        std::vector<std::string> errors = ErrorTexts();
        ASSERT_EQ(errors.size(), k.errors.size());
        for (std::size_t i = 0; i < errors.size(); ++i) EXPECT_EQ(errors[i].rfind(k.errors[i], 0), 0u) << errors[i];
        const std::vector<std::string> log = LogTexts(m.ReadFile(kTraceLog));
        EXPECT_TRUE(Has(log, "ConnectwithITparamfailed"));
        EXPECT_TRUE(Has(log, "SMTP Connection,PORT=" + std::to_string(server.Port())));
        EXPECT_TRUE(Has(log, "TryToConnectWithINIparam"));
    }
}

TEST(SmtpDelivery, ARefusedMessageMarksNothingItDidNotCarry) {
    struct Case {
        const char* name;
        SmtpServerOptions options;
        bool perArchive;
        std::vector<std::string> trans;
    };
    const std::vector<std::string> waiting{"#C#S#261209070305042.GTV", "#C#S#261209070305043.GTV"};
    const Case cases[] = {
        {"the recipient is refused", {"", "", {"inventory@centre.example"}, false, false}, false, waiting},
        {"the message is refused", {"", "", {}, true, false}, false, waiting},
        {"the message of the first archive is refused", {"", "", {}, true, false}, true, waiting},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        SmtpTestServer server(k.options);
        TestMachine m;
        SmtpFields f;
        f.port = std::to_string(server.Port());
        DeliveryContext c = Context(m, SmtpSection(f) + (k.perArchive ? "[DATA]\r\nMAXFILES=12\r\n" : ""));
        EXPECT_FALSE(SendBySmtp(c));
        EXPECT_TRUE(server.Mails().empty());
        EXPECT_EQ(qm::test::FileNamesIn(kTrans), k.trans);
        std::vector<std::string> errors = ErrorTexts();
        ASSERT_EQ(errors.size(), 2u);
        EXPECT_EQ(errors[0].rfind("Message not Sent:", 0), 0u) << errors[0];
        EXPECT_NE(errors[0].find(k.perArchive || k.options.refuseData ? "554" : "550"), std::string::npos) << errors[0];
        EXPECT_EQ(errors[1], "Message not Sent");
        EXPECT_EQ(Matching(LogTexts(m.ReadFile(kTraceLog)), "Send by SMTP failed:").size(), 1u);
    }
}

TEST(SmtpDelivery, HiddenRunsAskNothingAndTheDialogGivesTheServerThatDelivers) {
    SmtpTestServer server;
    {
        TestMachine m;
        SmtpFields f;
        f.port = std::to_string(qm::test::UnusedPort());
        DeliveryContext c = Context(m, SmtpSection(f), {"/HIDE"});
        EXPECT_FALSE(SendBySmtp(c));
        EXPECT_EQ(DialogsOf(m).ConnectionDialogShown(), 0);
        EXPECT_EQ(Matching(ErrorTexts(), "Public SMTP FAILED : ").size(), 1u);
        EXPECT_EQ(Matching(ErrorTexts(), "Private SMTP FAILED : ").size(), 1u);
    }
    TestMachine m;
    SmtpFields f;
    f.port = std::to_string(qm::test::UnusedPort());
    DeliveryContext c = Context(m, SmtpSection(f));
    // The first answer names a server that does not answer either: the dialog comes again.
    DialogsOf(m).AddConnectionAnswer({{{"PortEdit", std::to_string(qm::test::UnusedPort())}}, "btConnect"});
    DialogsOf(m).AddConnectionAnswer(
        {{{"HostEdit", "127.0.0.1"}, {"PortEdit", std::to_string(server.Port())}, {"edReturnAdress", "typed@site.example"}},
         "btConnect"});
    EXPECT_TRUE(SendBySmtp(c));
    EXPECT_EQ(DialogsOf(m).ConnectionDialogShown(), 2);
    ASSERT_EQ(server.Mails().size(), 1u);
    EXPECT_EQ(server.Mails()[0].from, "typed@site.example");
    const std::string settings = m.ReadFile(kAgentSettings);
    EXPECT_NE(settings.find("PORT=" + std::to_string(server.Port())), std::string::npos);
    EXPECT_NE(settings.find("RETURN=typed@site.example"), std::string::npos);
}

TEST(SmtpDelivery, ConnectionSettingsModeOnlyAsksAndStores) {
    SmtpTestServer server;
    TestMachine m;
    SmtpFields f;
    f.port = std::to_string(server.Port());
    DeliveryContext c = Context(m, SmtpSection(f), {"/SMTP"});
    c.archives.clear();
    DialogsOf(m).AddConnectionAnswer({{{"HostEdit", "mail.site.example"}, {"eProxyHost", "proxy.site.example"}}, ""});
    EXPECT_FALSE(SendBySmtp(c));
    EXPECT_TRUE(server.Commands().empty());
    EXPECT_EQ(DialogsOf(m).ConnectionDialogShown(), 1);
    for (const auto& control : DialogsOf(m).LastConnectionDialogLayout().controls)
        if (control.kind == "button") {
            EXPECT_EQ(control.visible, control.name == "btClose") << control.name;
        }
    const std::string settings = m.ReadFile(kAgentSettings);
    EXPECT_NE(settings.find("HOST=mail.site.example"), std::string::npos);
    EXPECT_NE(settings.find("HOST=proxy.site.example"), std::string::npos);
}

TEST(SmtpDelivery, WithoutARecipientTheDialogIsShownOnceForTheProxy) {
    SmtpTestServer server;
    TestMachine m;
    SmtpFields f;
    f.port = std::to_string(server.Port());
    f.recipient = "";
    DeliveryContext c = Context(m, SmtpSection(f));
    for (int i = 0; i < 3; ++i) DialogsOf(m).AddConnectionAnswer({{{"eProxyHost", "proxy.site.example"}}, "btMailto"});
    EXPECT_FALSE(SendBySmtp(c));
    EXPECT_TRUE(State().flags.smtpOff);
    EXPECT_EQ(DialogsOf(m).ConnectionDialogShown(), 1);
    EXPECT_TRUE(server.Commands().empty());
    for (const auto& control : DialogsOf(m).LastConnectionDialogLayout().controls)
        if (control.kind == "edit") {
            EXPECT_EQ(control.enabled, control.name == "eProxyHost" || control.name == "eProxyPort") << control.name;
        }
}

TEST(SmtpDelivery, HostileSettingsSendAndInjectNothing) {
    struct Case {
        const char* name;
        std::string settings;
        std::string error;
    };
    SmtpTestServer server;
    const std::string port = std::to_string(server.Port());
    auto with = [&](auto change) {
        SmtpFields f;
        f.port = port;
        change(f);
        return SmtpSection(f);
    };
    const Case cases[] = {
        {"a line break in the recipient",
         with([](SmtpFields& f) { f.recipient = "inventory@centre.example>\r\nRCPT TO:<evil@x.example"; }),
         "SMTP disabled : the recipient holds a control character"},
        {"a line break in the return address",
         with([](SmtpFields& f) { f.returnAddress = "agent@site.example>\r\nRCPT TO:<evil@x.example"; }),
         "Public SMTP unusable : the return address holds a control character"},
        {"a line break in the host", with([](SmtpFields& f) { f.host = "127.0.0.1\r\nX"; }),
         "Public SMTP unusable : the host holds a control character"},
        {"a line break in the user", with([](SmtpFields& f) { f.user = "agent\r\nX"; }),
         "Public SMTP unusable : the user holds a control character"},
        // What stands between the brackets of a command must be one address, not parameters of its own.
        {"a parameter after the recipient",
         with([](SmtpFields& f) { f.recipient = "inventory@centre.example> NOTIFY=NEVER"; }),
         "SMTP disabled : the recipient is not a bare mail address"},
        {"a parameter after the return address",
         with([](SmtpFields& f) { f.returnAddress = "agent@site.example> SIZE=1"; }),
         "Public SMTP unusable : the return address is not a bare mail address"},
        {"a control character in the site", WithSite(with([](SmtpFields&) {}), "S\x0b\x01X"),
         "SMTP disabled : the customer code or site holds a control character"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        TestMachine m;
        DeliveryContext c = Context(m, k.settings, {"/HIDE"});
        EXPECT_FALSE(SendBySmtp(c));
        EXPECT_FALSE(ErrorTexts().empty());
        if (!ErrorTexts().empty()) {
            EXPECT_EQ(ErrorTexts()[0], k.error);
        }
        EXPECT_EQ(qm::test::FileNamesIn(kTrans).size(), 2u);
    }
    EXPECT_TRUE(server.Commands().empty());
    EXPECT_TRUE(server.Mails().empty());
}

TEST(SmtpDelivery, ALineBreakTypedIntoTheDialogInjectsNothing) {
    SmtpTestServer server;
    TestMachine m;
    SmtpFields f;
    f.port = std::to_string(qm::test::UnusedPort());
    DeliveryContext c = Context(m, SmtpSection(f));
    DialogsOf(m).AddConnectionAnswer(
        {{{"PortEdit", std::to_string(server.Port())}, {"edReturnAdress", "a@site.example>\r\nRCPT TO:<evil@x.example"}},
         "btConnect"});
    EXPECT_FALSE(SendBySmtp(c));
    EXPECT_TRUE(server.Commands().empty());
    EXPECT_EQ(Matching(ErrorTexts(), "Public SMTP unusable : the return address").size(), 1u);
    EXPECT_EQ(Matching(ErrorTexts(), "Private SMTP unusable : the return address").size(), 1u);
}

TEST(SmtpDelivery, SendDebugMailsATestFirstAndItNeverCountsAsDelivery) {
    {
        SmtpTestServer server;
        TestMachine m;
        SmtpFields f;
        f.port = std::to_string(server.Port());
        DeliveryContext c = Context(m, SmtpSection(f), {"/SENDDEBUG"});
        EXPECT_TRUE(SendBySmtp(c));
        std::vector<qm::test::ReceivedMail> mails = server.Mails();
        ASSERT_EQ(mails.size(), 2u);
        Parsed test = Parse(mails[0].content);
        const std::string subject = test.headers.get("Subject", "");
        EXPECT_EQ(subject.size(), std::string("Test:").size() + 17 + 2) << subject;
        EXPECT_EQ(subject.rfind("Test:2026120907", 0), 0u) << subject;
        EXPECT_EQ(subject.substr(subject.size() - 2), ":C");
        EXPECT_TRUE(test.attachments.empty());
        EXPECT_EQ(mails[0].to, (std::vector<std::string>{"inventory@centre.example"}));
        EXPECT_EQ(mails[1].to, (std::vector<std::string>{"inventory@centre.example", kSupportAddress}));
        EXPECT_EQ(Parse(mails[1].content).headers.get("Subject", ""), "#C#S");
    }
    {
        // The test mail arrives, the real one is refused: nothing counts as sent.
        SmtpTestServer server({"", "", {kSupportAddress}, false, false});
        TestMachine m;
        SmtpFields f;
        f.port = std::to_string(server.Port());
        DeliveryContext c = Context(m, SmtpSection(f), {"/SENDDEBUG"});
        EXPECT_FALSE(SendBySmtp(c));
        EXPECT_EQ(server.Mails().size(), 1u);
        EXPECT_EQ(qm::test::FileNamesIn(kTrans).size(), 2u);
        EXPECT_EQ(qm::test::FileNamesIn(kTrans)[0], "#C#S#261209070305042.GTV");
    }
    {
        // A public server that fails is tried six times, then the private one serves.
        SmtpTestServer server;
        TestMachine m;
        SmtpFields f;
        f.port = std::to_string(qm::test::UnusedPort());
        DeliveryContext c = Context(m, SmtpSection(f) + PrivateSection(server.Port()), {"/SENDDEBUG"});
        EXPECT_TRUE(SendBySmtp(c));
        EXPECT_EQ(Matching(ErrorTexts(), "Public SMTP FAILED : ").size(), 6u);
        EXPECT_EQ(server.Mails().size(), 2u);
    }
}

TEST(SmtpDelivery, AProxyEnteredInTheDialogDeliversByFtpInTheSameCall) {
    FtpTestServer ftp({{{"agent@127.0.0.1", "secret"}}, {"inbox"}});
    SmtpTestServer smtp;
    TestMachine m;
    const std::string ftpSection = "[F]\r\nF1=" + E("127.0.0.1") + "\r\nF2=" + E(std::to_string(qm::test::UnusedPort())) +
                                   "\r\nF3=" + E("agent") + "\r\nF4=" + E("secret") + "\r\nF5=" + E("inbox") +
                                   "\r\n[FTP]\r\nPUBLIC_DISABLE=1\r\n";
    // Without a public server, the private one that the dialog stored is tried after it.
    DeliveryContext c = Context(m, "[S]\r\nS6=" + E(kRecipient) + "\r\n" + ftpSection);
    DialogsOf(m).AddConnectionAnswer({{{"HostEdit", "127.0.0.1"},
                                       {"PortEdit", std::to_string(smtp.Port())},
                                       {"eProxyHost", "127.0.0.1"},
                                       {"eProxyPort", std::to_string(ftp.Port())}},
                                      "btMailto"});
    EXPECT_TRUE(SendBySmtp(c));
    EXPECT_TRUE(smtp.Mails().empty());
    EXPECT_EQ(ftp.StoredNames("inbox"),
              (std::vector<std::string>{"#C#S#261209070305042.GTV", "#C#S#261209070305043.GTV", "#C#S#261209070305044.BTV"}));
    EXPECT_EQ(ftp.Stored("inbox/#C#S#261209070305043.GTV"), Bytes('b'));
    EXPECT_EQ(qm::test::FileNamesIn(kTrans), (std::vector<std::string>{"#C#S#261209070305042.Old", "#C#S#261209070305043.Old"}));
}

TEST(SmtpDelivery, ASubjectBeyondAsciiIsEncoded) {
    SmtpTestServer server;
    TestMachine m;
    SmtpFields f;
    f.port = std::to_string(server.Port());
    DeliveryContext c = Context(m, WithSite(SmtpSection(f), "Soci\xE9t\xE9"));
    EXPECT_TRUE(SendBySmtp(c));
    ASSERT_EQ(server.Mails().size(), 1u);
    const std::string content = server.Mails()[0].content;
    const std::size_t subject = content.find("\r\nSubject: ");
    ASSERT_NE(subject, std::string::npos);
    const std::string line = content.substr(subject + 2, content.find("\r\n", subject + 2) - subject - 2);
    EXPECT_EQ(line, "Subject: =?windows-1252?q?#C#Soci=E9t=E9?=");
}

TEST(SmtpDelivery, MailAddressesWithAndWithoutTheirNames) {
    struct Case {
        const char* text;
        const char* address;
        const char* name;
    };
    const Case cases[] = {
        {"inv@centre.example", "inv@centre.example", ""},
        {"  Centre <inv@centre.example> ", "inv@centre.example", "Centre"},
        {"\"Centre, Lyon\" <inv@centre.example>", "inv@centre.example", "Centre, Lyon"},
        {"<inv@centre.example>", "inv@centre.example", ""},
        {"Centre <inv@centre.example", "Centre <inv@centre.example", ""},
        {"", "", ""},
        // A quoted name's escapes are the quoting's, not the name's.
        {"\"Say \\\"Hi\\\" \\\\ Co\" <inv@centre.example>", "inv@centre.example", "Say \"Hi\" \\ Co"},
    };
    for (const Case& k : cases) {
        MailAddress a = ParseMailAddress(k.text);
        EXPECT_EQ(a.address, k.address) << k.text;
        EXPECT_EQ(a.name, k.name) << k.text;
    }
}

namespace {

// The header's lines as they travelled, folded lines joined again.
std::string RawHeader(const std::string& content, const std::string& name) {
    const std::size_t at = content.find("\r\n" + name + ": ");
    if (at == std::string::npos) return "(none)";
    std::size_t end = at + 2;
    while ((end = content.find("\r\n", end)) != std::string::npos && (content[end + 2] == ' ' || content[end + 2] == '\t'))
        end += 2;
    return content.substr(at + 2, end - at - 2);
}

}  // namespace

TEST(SmtpDelivery, TheRecipientsNameIsQuotedOrEncodedAndTheEnvelopeHasTheAddressAlone) {
    struct Case {
        const char* name;
        std::string recipient;
        std::string to;  // the header as it travelled
    };
    const Case cases[] = {
        {"a plain name", "Centre <inv@centre.example>", "To: \"Centre\" <inv@centre.example>"},
        {"a comma and an at sign", "\"Centre, Lyon @ HQ\" <inv@centre.example>", "To: \"Centre, Lyon @ HQ\" <inv@centre.example>"},
        {"a quote and a backslash", "O\"Brien \\ Co <inv@centre.example>", "To: \"O\\\"Brien \\\\ Co\" <inv@centre.example>"},
        {"no name", "inv@centre.example", "To: <inv@centre.example>"},
        {"beyond ASCII", "Soci\xE9t\xE9 G\xE9n\xE9rale <inv@centre.example>",
         "To: =?windows-1252?q?Soci=E9t=E9_G=E9n=E9rale?= <inv@centre.example>"},
        // In a name, only letters, digits and a few signs may stand as they are in an encoded word.
        {"signs beside a letter beyond ASCII", "\xC9quipe (\"R&D\") #2 <inv@centre.example>",
         "To: =?windows-1252?q?=C9quipe_=28=22R=26D=22=29_=232?= <inv@centre.example>"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        SmtpTestServer server;
        TestMachine m;
        SmtpFields f;
        f.port = std::to_string(server.Port());
        f.recipient = k.recipient;
        DeliveryContext c = Context(m, SmtpSection(f));
        EXPECT_TRUE(SendBySmtp(c));
        ASSERT_EQ(server.Mails().size(), 1u);
        EXPECT_EQ(server.Mails()[0].to, (std::vector<std::string>{"inv@centre.example"}));
        EXPECT_EQ(RawHeader(server.Mails()[0].content, "To"), k.to);
    }
}

TEST(SmtpDelivery, ALongOrHostileNameNeverBreaksTheHeader) {
    struct Case {
        const char* name;
        std::string displayName;
        std::string header;  // after "To: ", folded lines as they are
    };
    const std::string longName = "Centre de traitement des inventaires de la soci\xE9t\xE9 anonyme";
    const Case cases[] = {
        // Each encoded word at most 75 characters, the next one on a folded line of its own.
        {"a long name", longName,
         "=?windows-1252?q?Centre_de_traitement_des_inventaires_de_la_soci=E9t=E9_a?=\r\n"
         " =?windows-1252?q?nonyme?= <inv@centre.example>"},
        // Line breaks and other control characters are blanks: the header keeps its one line.
        {"line breaks", "Centre\r\nBcc: evil@x.example", "\"Centre  Bcc: evil@x.example\" <inv@centre.example>"},
        {"a line break beside a letter beyond ASCII", "\xC9\r\nBcc:", "=?windows-1252?q?=C9__Bcc=3A?= <inv@centre.example>"},
    };
    TestMachine m;  // its code page tells the characters apart
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        const std::string header = MailboxHeader(MailAddress{"inv@centre.example", k.displayName}, "windows-1252");
        EXPECT_EQ(header, k.header);
        std::size_t from = 0;
        for (std::size_t end; (end = header.find("\r\n", from)) != std::string::npos; from = end + 3) {
            EXPECT_EQ(header.substr(end, 3), "\r\n ");  // every line break folds
            EXPECT_LE(end - from, 76u);
        }
        std::size_t word = 0;
        while ((word = header.find("=?", word)) != std::string::npos) {
            const std::size_t close = header.find("?=", word + 2 + std::string("windows-1252?q?").size());
            ASSERT_NE(close, std::string::npos);
            EXPECT_LE(close + 2 - word, 75u);
            word = close + 2;
        }
    }
}

TEST(SmtpDelivery, OneMessageMarksOnlyTheArchivesItCarried) {
    struct Case {
        const char* name;
        qm::sim::FaultConfig fault;
    };
    const Case cases[] = {
        {"the archive cannot be opened", {"CreateFile", kB, qm::platform::ERROR_SHARING_VIOLATION}},
        {"the archive cannot be read", {"ReadFile", kB, qm::platform::ERROR_ACCESS_DENIED}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        SmtpTestServer server;
        TestMachine m;
        SmtpFields f;
        f.port = std::to_string(server.Port());
        DeliveryContext c = Context(m, SmtpSection(f));
        m.Machine().AddFault(k.fault);
        EXPECT_TRUE(SendBySmtp(c));
        ASSERT_EQ(server.Mails().size(), 1u);
        Parsed p = Parse(server.Mails()[0].content);
        EXPECT_EQ(p.body, (std::vector<std::string>{kA, kC}));
        ASSERT_EQ(p.attachments.size(), 2u);
        // The archive that did not travel waits for the next delivery; the others are marked.
        EXPECT_EQ(qm::test::FileNamesIn(kTrans), (std::vector<std::string>{"#C#S#261209070305042.Old", "#C#S#261209070305043.GTV"}));
        EXPECT_EQ(qm::test::FileNamesIn(kAgentFolder + "Pda\\"), (std::vector<std::string>{"#C#S#261209070305044.Old"}));
        EXPECT_EQ(Matching(ErrorTexts(), "Attach failed : " + kB).size(), 1u);
    }
}
