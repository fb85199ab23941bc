#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <regex>

#include "core/process_state.h"
#include "delivery/delivery_controller.h"
#include "delivery/ftp_delivery.h"
#include "delivery/scrambling.h"
#include "support/agent_state.h"
#include "support/reply_time.h"
#include "support/test_machine.h"
#include "support/test_servers.h"

using namespace qm::delivery;
using qm::core::State;
using qm::test::ErrorTexts;
using qm::test::FtpServerOptions;
using qm::test::FtpTestServer;
using qm::test::kAgentFolder;
using qm::test::kAgentSettings;
using qm::test::kTraceLog;
using qm::test::LogTexts;
using qm::test::TestMachine;

namespace {

const std::string kTrans = kAgentFolder + "Trans\\";
const std::string kUsage = kAgentFolder + "Usage\\";
const std::string kA = kTrans + "#C#S#261209070305042.GTV";
const std::string kB = kTrans + "#C#S#261209070305043.GTV";
const std::string kU = kUsage + "#C#S#261209070305044.NTV";

struct FtpFields {
    std::string host = "127.0.0.1";
    std::string port;
    std::string user = "agent";
    std::string password = "secret";
    std::string folder = "inbox";
};

std::string E(const std::string& plain) { return EncodeSetting(plain, kSettingsKey, "0123456789abcdef"); }

std::string FtpSection(const FtpFields& f) {
    return "[F]\r\nF1=" + E(f.host) + "\r\nF2=" + E(f.port) + "\r\nF3=" + E(f.user) + "\r\nF4=" + E(f.password) +
           "\r\nF5=" + E(f.folder) + "\r\n";
}

// Bytes with every value a byte can hold, so that any change in transit shows.
std::string Bytes(char seed) {
    std::string b;
    for (int i = 0; i < 600; ++i) b += static_cast<char>((i * 7 + seed) & 0xFF);
    b += "\r\n\n\r.\r\n";
    return b;
}

// The context of a delivery from the settings, with the three archives written and listed.
DeliveryContext Context(const TestMachine& m, const std::string& settings, std::vector<std::string> extra = {}) {
    m.WriteFile(kAgentSettings, settings);
    m.WriteFile(kA, Bytes('a'));
    m.WriteFile(kB, Bytes('b'));
    m.WriteFile(kU, Bytes('u'));
    qm::test::StartAgentWithLog();
    DeliveryContext c = ReadDeliverySettings();
    c.archives = {kA, kB, kU};
    c.archives.insert(c.archives.end(), extra.begin(), extra.end());
    return c;
}

// The same for a delivery to the server's folder, as the account agent:secret.
DeliveryContext ContextFor(const TestMachine& m, const FtpTestServer& server, const std::string& folder = "inbox") {
    FtpFields f;
    f.port = std::to_string(server.Port());
    f.folder = folder;
    return Context(m, FtpSection(f));
}

// The commands without the addresses that change from run to run.
std::vector<std::string> Verbs(const std::vector<std::string>& commands) {
    std::vector<std::string> verbs;
    for (const std::string& c : commands) verbs.push_back(c.rfind("PORT ", 0) == 0 ? "PORT" : c);
    return verbs;
}

std::vector<std::string> LogWith(const std::string& log, const std::string& part) {
    std::vector<std::string> found;
    for (const std::string& t : LogTexts(log))
        if (t.find(part) != std::string::npos) found.push_back(t);
    return found;
}

const std::string N = "n\xB0 ";

// The trace log's texts after its opening lines.
std::vector<std::string> DeliveryLog(const std::string& log) {
    std::vector<std::string> texts = LogTexts(log);
    texts.erase(texts.begin(), texts.begin() + 4);
    return texts;
}

}  // namespace

TEST(FtpDelivery, UploadsEveryArchiveDirectlyAndMarksEachSent) {
    FtpTestServer server({{{"agent", "secret"}}, {"inbox"}});
    TestMachine m;
    FtpFields f;
    f.port = std::to_string(server.Port());
    DeliveryContext c = Context(m, FtpSection(f), {kTrans + "gone.GTV"});

    EXPECT_TRUE(SendFTPFile(c));

    EXPECT_EQ(server.StoredNames("inbox"),
              (std::vector<std::string>{"#C#S#261209070305042.GTV", "#C#S#261209070305043.GTV", "#C#S#261209070305044.NTV"}));
    EXPECT_EQ(server.Stored("inbox/#C#S#261209070305042.GTV"), Bytes('a'));
    EXPECT_EQ(server.Stored("inbox/#C#S#261209070305043.GTV"), Bytes('b'));
    EXPECT_EQ(server.Stored("inbox/#C#S#261209070305044.NTV"), Bytes('u'));
    EXPECT_EQ(qm::test::FileNamesIn(kTrans), (std::vector<std::string>{"#C#S#261209070305042.Old", "#C#S#261209070305043.Old"}));
    EXPECT_EQ(qm::test::FileNamesIn(kUsage), (std::vector<std::string>{"#C#S#261209070305044.Old"}));
    EXPECT_EQ(Verbs(server.Commands()),
              (std::vector<std::string>{"USER agent", "PASS secret", "TYPE I", "SYST", "CWD inbox",
                                        "SIZE #C#S#261209070305042.GTV", "PORT", "STOR #C#S#261209070305042.GTV",
                                        "SIZE #C#S#261209070305043.GTV", "PORT", "STOR #C#S#261209070305043.GTV",
                                        "SIZE #C#S#261209070305044.NTV", "PORT", "STOR #C#S#261209070305044.NTV", "QUIT"}));
    EXPECT_EQ(DeliveryLog(m.ReadFile(kTraceLog)),
              (std::vector<std::string>{"EnterSendFTPFile", "try FTP connection(" + N + "0)", "EnterSendFTPFile",
                                        "try to send data", kA + " was sent", kB + " was sent", kU + " was sent",
                                        "EndSendFtpFile"}) );
    EXPECT_TRUE(ErrorTexts().empty());
}

TEST(FtpDelivery, ThroughTheProxyTheLoginNamesUserAndSite) {
    struct Case {
        const char* name;
        std::string proxyUser;
        std::vector<std::string> login;
    };
    const Case cases[] = {
        {"a proxy account", "gate", {"USER gate", "PASS gatepw", "USER agent@ftp.example", "PASS secret"}},
        {"no proxy account", "", {"USER agent@ftp.example", "PASS secret"}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        FtpTestServer server({{{"gate", "gatepw"}, {"agent@ftp.example", "secret"}}, {"inbox"}});
        TestMachine m;
        FtpFields f;
        f.host = "ftp.example";  // never resolved: the proxy is reached
        f.port = "21";
        DeliveryContext c = Context(m, FtpSection(f) + "[FTP]\r\nPUBLIC_DISABLE=1\r\n[PROXY]\r\nHOST=127.0.0.1\r\nPORT=" +
                                           std::to_string(server.Port()) + "\r\nUSER=" + k.proxyUser +
                                           "\r\nPASSWORD=gatepw\r\n");
        EXPECT_TRUE(SendFTPFile(c));
        std::vector<std::string> expected = k.login;
        for (const char* s : {"TYPE I", "SYST", "CWD inbox", "SIZE #C#S#261209070305042.GTV", "PORT",
                              "STOR #C#S#261209070305042.GTV", "SIZE #C#S#261209070305043.GTV", "PORT",
                              "STOR #C#S#261209070305043.GTV", "SIZE #C#S#261209070305044.NTV", "PORT",
                              "STOR #C#S#261209070305044.NTV", "QUIT"})
            expected.push_back(s);
        EXPECT_EQ(Verbs(server.Commands()), expected);
        EXPECT_EQ(server.Stored("inbox/#C#S#261209070305043.GTV"), Bytes('b'));
        const std::string log = m.ReadFile(kTraceLog);
        EXPECT_EQ(LogWith(log, "try"),
                  (std::vector<std::string>{"try FTP connection(" + N + "0) Proxy : 127.0.0.1 Port : " + std::to_string(server.Port()),
                                            "try Proxy FTP connection(" + N + "0)", "try to send data"}));
        EXPECT_TRUE(ErrorTexts().empty());
    }
}

TEST(FtpDelivery, FiveFailedAttemptsOfEachKindThenNothingSent) {
    const int closed = qm::test::UnusedPort();
    TestMachine m;
    FtpFields f;
    f.port = std::to_string(closed);
    DeliveryContext c = Context(m, FtpSection(f) + "[PROXY]\r\nHOST=127.0.0.1\r\nPORT=" + std::to_string(closed) + "\r\n");

    EXPECT_FALSE(SendFTPFile(c));

    const std::string log = m.ReadFile(kTraceLog);
    std::vector<std::string> tries = LogWith(log, "try");
    ASSERT_EQ(tries.size(), 15u);
    for (int n = 0; n < 5; ++n) {
        EXPECT_EQ(tries[static_cast<std::size_t>(n)], "try FTP connection(" + N + std::to_string(n) + ")");
        EXPECT_EQ(tries[static_cast<std::size_t>(5 + 2 * n)],
                  "try FTP connection(" + N + std::to_string(n) + ") Proxy : 127.0.0.1 Port : " + std::to_string(closed));
        EXPECT_EQ(tries[static_cast<std::size_t>(6 + 2 * n)], "try Proxy FTP connection(" + N + std::to_string(n) + ")");
    }
    // The direct failures go to the error list only, the proxy ones to the trace log too.
    std::vector<std::string> errors = ErrorTexts();
    ASSERT_EQ(errors.size(), 10u);
    for (int n = 1; n <= 5; ++n) {
        const std::string prefix = "FTP connection failed (" + N + std::to_string(n) + ") : Message (";
        EXPECT_EQ(errors[static_cast<std::size_t>(n - 1)].rfind(prefix, 0), 0u) << errors[static_cast<std::size_t>(n - 1)];
        EXPECT_EQ(errors[static_cast<std::size_t>(n + 4)].rfind(prefix, 0), 0u);
        EXPECT_EQ(errors[static_cast<std::size_t>(n - 1)].back(), ')');
    }
    EXPECT_EQ(LogWith(log, "FTP connection failed").size(), 5u);
    EXPECT_EQ(LogTexts(log).back(), "EndSendFtpFile");
    EXPECT_EQ(qm::test::FileNamesIn(kTrans), (std::vector<std::string>{"#C#S#261209070305042.GTV", "#C#S#261209070305043.GTV"}));
    EXPECT_FALSE(State().flags.ftpOff);  // the server settings were usable
}

TEST(FtpDelivery, ARefusedLoginIsAFailedAttempt) {
    FtpTestServer server({{{"agent", "other"}}, {"inbox"}});
    TestMachine m;
    FtpFields f;
    f.port = std::to_string(server.Port());
    DeliveryContext c = Context(m, FtpSection(f) + "[FTP]\r\nPRIVATE_DISABLE=1\r\n");
    EXPECT_FALSE(SendFTPFile(c));
    std::vector<std::string> users;
    for (const std::string& command : server.Commands())
        if (command.rfind("USER ", 0) == 0) users.push_back(command);
    EXPECT_EQ(users.size(), 5u);
    EXPECT_EQ(ErrorTexts().size(), 5u);
    EXPECT_NE(ErrorTexts().back().find("530"), std::string::npos) << ErrorTexts().back();
    EXPECT_EQ(server.StoredNames("inbox").size(), 0u);
    EXPECT_EQ(qm::test::FileNamesIn(kUsage), (std::vector<std::string>{"#C#S#261209070305044.NTV"}));
}

TEST(FtpDelivery, FailedPassesKeepWhatWasNotStoredWaiting) {
    struct Case {
        const char* name;
        FtpServerOptions options;
        std::string folder;
        bool sent;
        int failedPasses;
        std::vector<std::string> stored;
        std::vector<std::string> trans;  // afterwards
    };
    const std::vector<std::string> waiting{"#C#S#261209070305042.GTV", "#C#S#261209070305043.GTV"};
    const std::vector<std::string> all{"#C#S#261209070305042.GTV", "#C#S#261209070305043.GTV", "#C#S#261209070305044.NTV"};
    const Case cases[] = {
        {"the folder is missing", {{{"agent", "secret"}}, {}}, "inbox", false, 5, {}, waiting},
        {"the folder is empty", {{{"agent", "secret"}}, {"inbox"}}, "", false, 5, {}, waiting},
        // The next pass stores what the failed one left: the first archive is not sent twice, and
        // the next pass stays in the folder, also when it was named relative to the login folder.
        {"the second store is refused", {{{"agent", "secret"}}, {"inbox"}, 2}, "/inbox", true, 1, all,
         {"#C#S#261209070305042.Old", "#C#S#261209070305043.Old"}},
        {"the second store into a relative folder is refused", {{{"agent", "secret"}}, {"inbox"}, 2}, "inbox", true, 1,
         all, {"#C#S#261209070305042.Old", "#C#S#261209070305043.Old"}},
        {"the connection is lost after the first store", {{{"agent", "secret"}}, {"inbox"}, 0, 1}, "inbox", false, 5,
         {"#C#S#261209070305042.GTV"}, {"#C#S#261209070305042.Old", "#C#S#261209070305043.GTV"}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        FtpTestServer server(k.options);
        TestMachine m;
        DeliveryContext c = ContextFor(m, server, k.folder);
        EXPECT_EQ(SendFTPFile(c), k.sent);
        EXPECT_EQ(server.StoredNames(k.folder.empty() ? "inbox" : k.folder), k.stored);
        EXPECT_EQ(qm::test::FileNamesIn(kTrans), k.trans);
        std::vector<std::string> errors = ErrorTexts();
        ASSERT_EQ(errors.size(), static_cast<std::size_t>(k.failedPasses));
        for (int r = 1; r <= k.failedPasses; ++r)
            EXPECT_EQ(errors[static_cast<std::size_t>(r - 1)].rfind("Upload failed (" + N + std::to_string(r) + ") : Message (", 0), 0u)
                << errors[static_cast<std::size_t>(r - 1)];
        EXPECT_EQ(LogWith(m.ReadFile(kTraceLog), "Upload failed").size(), static_cast<std::size_t>(k.failedPasses));
        // Every stored file is whole.
        for (const std::string& name : k.stored)
            EXPECT_EQ(server.Stored("inbox/" + name)->size(), Bytes('a').size());
    }
}

TEST(FtpDelivery, UnusableServerSettingsTurnFtpOffAndSendNothing) {
    struct Case {
        const char* name;
        std::string section;  // replaces [F]
        bool reported;
    };
    FtpTestServer server({{{"agent", "secret"}}, {"inbox"}});
    const std::string port = std::to_string(server.Port());
    auto fields = [&](auto change) {
        FtpFields f;
        f.port = port;
        change(f);
        return FtpSection(f);
    };
    const Case cases[] = {
        {"no F1", "[F]\r\nF2=" + E(port) + "\r\n", false},
        {"a port that is no number", fields([](FtpFields& f) { f.port = "21a"; }), false},
        {"an empty port", fields([](FtpFields& f) { f.port = ""; }), false},
        {"port 0", fields([](FtpFields& f) { f.port = "0"; }), true},
        {"port 65536", fields([](FtpFields& f) { f.port = "65536"; }), true},
        {"an empty host", fields([](FtpFields& f) { f.host = ""; }), false},
        {"a line break in the host", fields([](FtpFields& f) { f.host = "127.0.0.1\r\nDELE x"; }), true},
        {"a line break in the user", fields([](FtpFields& f) { f.user = "agent\r\nDELE x"; }), true},
        {"a line break in the password", fields([](FtpFields& f) { f.password = "secret\nDELE x"; }), true},
        {"a line break in the folder", fields([](FtpFields& f) { f.folder = "inbox\r\nRMD inbox"; }), true},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        TestMachine m;
        DeliveryContext c = Context(m, k.section);
        EXPECT_FALSE(SendFTPFile(c));
        EXPECT_TRUE(State().flags.ftpOff);
        EXPECT_EQ(ErrorTexts().size(), k.reported ? 1u : 0u);
        if (k.reported) {
            EXPECT_EQ(ErrorTexts()[0].rfind("FTP server unusable : ", 0), 0u) << ErrorTexts()[0];
        }
        EXPECT_TRUE(LogWith(m.ReadFile(kTraceLog), "try").empty());
        EXPECT_EQ(qm::test::FileNamesIn(kTrans).size(), 2u);
    }
    EXPECT_TRUE(server.Commands().empty());
}

TEST(FtpDelivery, AProxyValueWithAControlCharacterKeepsTheProxyUnused) {
    FtpTestServer server({{{"gate", "gatepw"}, {"agent@127.0.0.1", "secret"}}, {"inbox"}});
    TestMachine m;
    FtpFields f;
    f.port = std::to_string(server.Port());
    DeliveryContext c = Context(m, FtpSection(f) + "[FTP]\r\nPUBLIC_DISABLE=1\r\n");
    c.proxyHost = "127.0.0.1";
    c.proxyPort = server.Port();
    c.proxyUser = "gate\tSITE x";
    EXPECT_FALSE(SendFTPFile(c));
    EXPECT_TRUE(server.Commands().empty());
    EXPECT_EQ(ErrorTexts(), (std::vector<std::string>{"FTP proxy unusable : PROXY USER holds a control character"}));
}

TEST(FtpDelivery, ConnectionSettingsModeMakesNoAttempt) {
    FtpTestServer server({{{"agent", "secret"}}, {"inbox"}});
    TestMachine m;
    FtpFields f;
    f.port = std::to_string(server.Port());
    DeliveryContext c = Context(m, FtpSection(f));
    State().flags.smtp = true;
    EXPECT_FALSE(SendFTPFile(c));
    EXPECT_FALSE(State().flags.ftpOff);
    EXPECT_EQ(DeliveryLog(m.ReadFile(kTraceLog)), (std::vector<std::string>{"EnterSendFTPFile", "EndSendFtpFile"}));

    // Without its server section, FTP is off for the run, also in that mode.
    m.WriteFile(kAgentSettings, "");
    EXPECT_FALSE(SendFTPFile(c));
    EXPECT_TRUE(State().flags.ftpOff);
    EXPECT_TRUE(server.Commands().empty());
}

namespace {

// How often a command line arrived.
std::size_t CountOf(const std::vector<std::string>& commands, const std::string& command) {
    return static_cast<std::size_t>(std::count(commands.begin(), commands.end(), command));
}

void WriteOnServer(const FtpTestServer& server, const std::string& relativePath, const std::string& bytes) {
    std::ofstream(server.Root() + "/" + relativePath, std::ios::binary) << bytes;
}

}  // namespace

TEST(FtpDelivery, AnUploadLastsAsLongAsItsBytesKeepMoving) {
    struct Case {
        const char* name;
        FtpServerOptions options;
        std::size_t stores;
        std::size_t failedPasses;
    };
    const Case cases[] = {
        // Far longer in all than the reply time, with bytes moving far more often than it.
        {"a server that reads slowly", {{{"agent", "secret"}}, {"inbox"}, 0, 0, {}, 5.0, 0}, 1, 0},
        // That upload fails, the next pass stores the archive whole under its own name.
        {"a data connection lost halfway", {{{"agent", "secret"}}, {"inbox"}, 0, 0, {}, 0, 100000}, 2, 1},
    };
    const qm::test::ShortReplyTime replyTime(2000);
    std::string big;
    for (int i = 0; big.size() < 3 * 1024 * 1024; ++i) big += Bytes(static_cast<char>(i));
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        FtpTestServer server(k.options);
        TestMachine m;
        DeliveryContext c = ContextFor(m, server);
        m.WriteFile(kA, big);
        c.archives = {kA};
        EXPECT_TRUE(SendFTPFile(c));
        EXPECT_EQ(CountOf(server.Commands(), "STOR #C#S#261209070305042.GTV"), k.stores);
        EXPECT_EQ(server.StoredNames("inbox"), (std::vector<std::string>{"#C#S#261209070305042.GTV"}));
        EXPECT_TRUE(server.Stored("inbox/#C#S#261209070305042.GTV") == big);
        EXPECT_EQ(qm::test::FileNamesIn(kTrans), (std::vector<std::string>{"#C#S#261209070305042.Old", "#C#S#261209070305043.GTV"}));
        EXPECT_EQ(LogWith(m.ReadFile(kTraceLog), " was sent"), (std::vector<std::string>{kA + " was sent"}));
        std::vector<std::string> errors = ErrorTexts();
        ASSERT_EQ(errors.size(), k.failedPasses);
        if (k.failedPasses > 0) {
            EXPECT_EQ(errors[0].rfind("Upload failed (" + N + "1) : Message (", 0), 0u) << errors[0];
        }
    }
}

TEST(FtpDelivery, AnotherAgentsArchiveOnTheServerIsNeverStoredOver) {
    struct Case {
        const char* name;
        std::string sizeReply;
        bool sent;
        bool fresh;  // the first archive went under a fresh time stamp
        int failedPasses;
    };
    const Case cases[] = {
        {"the server tells", "", true, true, 0},
        // Without the command the server cannot tell: stored as it always was.
        {"SIZE unknown (500)", "500 Unknown command.", true, false, 0},
        {"SIZE unknown (502)", "502 Command not implemented.", true, false, 0},
        // An answer that says neither yes nor no, or a server that holds every name.
        {"an unclear answer", "451 Try again later.", false, false, 5},
        {"every name taken", "213 1", false, false, 5},
    };
    const std::string name = "#C#S#261209070305042.GTV";
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        FtpServerOptions options{{{"agent", "secret"}}, {"inbox"}};
        options.sizeReply = k.sizeReply;
        FtpTestServer server(options);
        WriteOnServer(server, "inbox/" + name, "another agent's archive");
        TestMachine m;
        DeliveryContext c = ContextFor(m, server);
        EXPECT_EQ(SendFTPFile(c), k.sent);
        const std::vector<std::string> stored = server.StoredNames("inbox");
        const std::vector<std::string> trans = qm::test::FileNamesIn(kTrans);
        if (k.fresh) {
            ASSERT_EQ(stored.size(), 4u);
            std::string renamed;
            for (const std::string& n : stored)
                if (n != name && n != "#C#S#261209070305043.GTV" && n != "#C#S#261209070305044.NTV") renamed = n;
            EXPECT_TRUE(std::regex_match(renamed, std::regex("#C#S#[0-9]{15}\\.GTV"))) << renamed;
            EXPECT_EQ(server.Stored("inbox/" + renamed), Bytes('a'));
            EXPECT_EQ(server.Stored("inbox/" + name), "another agent's archive");
            // What is marked sent is the file that was stored.
            const std::string old = renamed.substr(0, renamed.size() - 4) + ".Old";
            EXPECT_NE(std::find(trans.begin(), trans.end(), old), trans.end());
            EXPECT_EQ(m.ReadFile(kTrans + old), Bytes('a'));
            EXPECT_EQ(trans.size(), 2u);
        } else if (k.sent) {
            EXPECT_EQ(stored.size(), 3u);
            EXPECT_EQ(server.Stored("inbox/" + name), Bytes('a'));
            EXPECT_EQ(trans, (std::vector<std::string>{"#C#S#261209070305042.Old", "#C#S#261209070305043.Old"}));
        } else {
            EXPECT_EQ(stored, (std::vector<std::string>{name}));
            EXPECT_EQ(server.Stored("inbox/" + name), "another agent's archive");
            EXPECT_EQ(trans, (std::vector<std::string>{name, "#C#S#261209070305043.GTV"}));
            EXPECT_EQ(CountOf(Verbs(server.Commands()), "PORT"), 0u);
        }
        EXPECT_EQ(ErrorTexts().size(), static_cast<std::size_t>(k.failedPasses));
        for (const std::string& e : ErrorTexts()) EXPECT_EQ(e.rfind("Upload failed (", 0), 0u) << e;
    }
}

TEST(FtpDelivery, WhatWasStoredIsNotSentAgainWhenItKeepsItsName) {
    struct Case {
        const char* name;
        FtpServerOptions options;
        bool sent;
        std::vector<std::string> left;  // for the later ways
    };
    const Case cases[] = {
        {"by a later pass", {{{"agent", "secret"}}, {"inbox"}, 2}, true, {}},
        {"by a later way", {{{"agent", "secret"}}, {"inbox"}, 0, 1}, false, {kB, kU}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        FtpTestServer server(k.options);
        TestMachine m;
        DeliveryContext c = ContextFor(m, server);
        // The first archive is stored, but cannot be renamed to .Old.
        m.Machine().AddFault({"MoveFile", kA, qm::platform::ERROR_SHARING_VIOLATION, false, -1});
        EXPECT_EQ(SendFTPFile(c), k.sent);
        m.Machine().ClearFaults();
        EXPECT_EQ(CountOf(server.Commands(), "STOR #C#S#261209070305042.GTV"), 1u);
        EXPECT_EQ(CountOf(Verbs(server.Commands()), "SIZE #C#S#261209070305042.GTV"), 1u);
        EXPECT_EQ(c.archives, k.left);
        EXPECT_EQ(qm::test::FileNamesIn(kTrans)[0], "#C#S#261209070305042.GTV");
        const std::string line = "rename " + kA + " to " + kTrans + "#C#S#261209070305042.Old failed :32";
        ASSERT_FALSE(ErrorTexts().empty());
        EXPECT_EQ(ErrorTexts()[0], line);
        EXPECT_EQ(LogWith(m.ReadFile(kTraceLog), line).size(), 1u);
    }
}
