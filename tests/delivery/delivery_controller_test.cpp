#include <gtest/gtest.h>

#include <algorithm>
#include <regex>

#include "core/error_list.h"
#include "core/process_state.h"
#include "core/settings.h"
#include "core/trace_log.h"
#include "delivery/delivery_controller.h"
#include "platform/platform.h"
#include "support/agent_state.h"
#include "support/test_machine.h"
#include "support/zip_reader.h"

using namespace qm::delivery;
using qm::core::State;
using qm::platform::Files;
using qm::test::kAgentFolder;
using qm::test::kAgentSettings;
using qm::test::kTraceLog;
using qm::test::StartAgent;
using qm::test::TestMachine;

namespace {

const std::string kResults = kAgentFolder + "Results\\";
const std::string kTrans = kAgentFolder + "Trans\\";
const std::string kStamp = "261209070305042";
const std::string kDrop = "C:\\Drop\\";
const std::string kDropSettings = "[IDENTIFICATION]\r\nCODE=C\r\nSITE=S\r\n[DIRECTORY]\r\nDIRECTORY=C:\\Drop\r\n";

std::vector<std::string> Errors() { return qm::test::ErrorTexts(); }

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// What the later ways of delivery saw, through stand-ins installed for a test.
struct WayCalls {
    int ftp = 0;
    int smtp = 0;
    std::vector<std::string> ftpArchives;
    std::vector<std::string> smtpArchives;
    bool ftpDelivers = false;
    bool smtpDelivers = false;
};
WayCalls& Calls() {
    static WayCalls calls;
    return calls;
}
bool StandInFtp(DeliveryContext& c) {
    ++Calls().ftp;
    Calls().ftpArchives = c.archives;
    return Calls().ftpDelivers;
}
bool StandInSmtp(DeliveryContext& c) {
    ++Calls().smtp;
    Calls().smtpArchives = c.archives;
    return Calls().smtpDelivers;
}

class Delivery : public ::testing::Test {
protected:
    void SetUp() override {
        Calls() = WayCalls{};
        DeliveryWays() = LaterDeliveryWays{StandInFtp, StandInSmtp};
    }
    void TearDown() override { DeliveryWays() = LaterDeliveryWays{}; }

    // Settings with the customer and site codes and C:\Drop as the copy folder, the folder in
    // place, and a hardware and a software result waiting in Results\.
    static void DropAndResults(const TestMachine& m) {
        m.WriteFile(kAgentSettings, kDropSettings);
        m.MakeFolder(kDrop);
        m.WriteFile(kResults + "GUID.hrz", "h");
        m.WriteFile(kResults + "GUID.sfz", "s");
    }
};

}  // namespace

TEST(DeliverySettings, DefaultsWithoutASettingsFile) {
    TestMachine m;
    StartAgent();
    DeliveryContext c = ReadDeliverySettings();
    EXPECT_EQ(c.settingsFile, kAgentSettings);
    EXPECT_TRUE(c.archives.empty());
    EXPECT_EQ(c.customerCode, "");
    EXPECT_EQ(c.siteCode, "");
    EXPECT_EQ(c.maxFiles, -1);
    EXPECT_EQ(c.proxyHost, "");
    EXPECT_EQ(c.proxyPort, 2121);
    EXPECT_EQ(c.proxyUser, "");
    EXPECT_EQ(c.proxyPassword, "");
    EXPECT_EQ(c.copyFolder, "");
    EXPECT_FALSE(c.ftpDirectDisabled || c.ftpProxyDisabled || c.smtpPublicDisabled || c.smtpPrivateDisabled);
    EXPECT_FALSE(State().flags.ftpOff);
    EXPECT_FALSE(State().flags.smtpOff);
}

TEST(DeliverySettings, ReadsEveryKeyAndCountsOnlyOneAsOn) {
    TestMachine m;
    m.WriteFile(kAgentSettings,
                "[IDENTIFICATION]\r\nCODE=ACME\r\nSITE=Lyon 2\r\n[DATA]\r\nMAXFILES=12\r\n"
                "[PROXY]\r\nHOST=proxy.local\r\nPORT=0x50\r\nUSER=pu\r\nPASSWORD=pw\r\n"
                "[DIRECTORY]\r\nDIRECTORY=\\\\server\\drop\r\n"
                "[FTP]\r\nDISABLE=1\r\nPUBLIC_DISABLE=2\r\nPRIVATE_DISABLE= 1 \r\n"
                "[SNMP]\r\nDISABLE=1\r\n[SMTP]\r\nPUBLIC_DISABLE=1\r\nPRIVATE_DISABLE=yes\r\n");
    StartAgent();
    DeliveryContext c = ReadDeliverySettings();
    EXPECT_EQ(c.customerCode, "ACME");
    EXPECT_EQ(c.siteCode, "Lyon 2");
    EXPECT_EQ(c.maxFiles, 12);
    EXPECT_EQ(c.proxyHost, "proxy.local");
    EXPECT_EQ(c.proxyPort, 80);
    EXPECT_EQ(c.proxyUser, "pu");
    EXPECT_EQ(c.proxyPassword, "pw");
    EXPECT_EQ(c.copyFolder, "\\\\server\\drop");
    EXPECT_FALSE(c.ftpDirectDisabled);  // 2 leaves the way on
    EXPECT_TRUE(c.ftpProxyDisabled);
    EXPECT_TRUE(c.smtpPublicDisabled);
    EXPECT_FALSE(c.smtpPrivateDisabled);
    EXPECT_TRUE(State().flags.ftpOff);
    EXPECT_TRUE(State().flags.smtpOff);

    // Values that do not parse count as their defaults; flags once set stay set.
    m.WriteFile(kAgentSettings, "[DATA]\r\nMAXFILES=ten\r\n[PROXY]\r\nPORT=21x\r\n[FTP]\r\nDISABLE=0\r\n[SNMP]\r\nDISABLE=2\r\n");
    c = ReadDeliverySettings();
    EXPECT_EQ(c.maxFiles, -1);
    EXPECT_EQ(c.proxyPort, 2121);
    EXPECT_TRUE(State().flags.ftpOff);
    EXPECT_TRUE(State().flags.smtpOff);
    StartAgent();
    ReadDeliverySettings();
    EXPECT_FALSE(State().flags.ftpOff);
    EXPECT_FALSE(State().flags.smtpOff);
}

TEST(MarkFileSent, RenamesToOldAndReplacesAnOlderOne) {
    TestMachine m;
    m.WriteFile(kTrans + "a.GTV", "new");
    m.WriteFile(kTrans + "a.Old", "delivered long ago");
    m.WriteFile(kTrans + "b.v1.NTV", "usage");
    qm::test::StartAgentWithLog();
    Files().SetFileAttributes(kTrans + "a.Old", qm::platform::FILE_ATTRIBUTE_READONLY);
    Files().SetFileAttributes(kTrans + "a.GTV", qm::platform::FILE_ATTRIBUTE_READONLY);
    MarkFileSent(kTrans + "a.GTV");
    MarkFileSent(kTrans + "b.v1.NTV");
    MarkFileSent(kTrans + "missing.GTV");
    EXPECT_EQ(qm::test::FileNamesIn(kTrans), (std::vector<std::string>{"a.Old", "b.v1.Old"}));
    EXPECT_EQ(m.ReadFile(kTrans + "a.Old"), "new");

    // A rename that fails leaves the archive waiting.
    m.WriteFile(kTrans + "c.GTV", "c");
    m.Machine().AddFault({"MoveFile", kTrans + "c.GTV", qm::platform::ERROR_SHARING_VIOLATION, false, -1});
    EXPECT_FALSE(MarkFileSent(kTrans + "c.GTV"));
    EXPECT_EQ(m.ReadFile(kTrans + "c.GTV"), "c");
    // ...and says so, or the archive would be listed again unexplained.
    const std::string line = "rename " + kTrans + "c.GTV to " + kTrans + "c.Old failed :32";
    EXPECT_EQ(Errors(), (std::vector<std::string>{line}));
    EXPECT_TRUE(Contains(m.ReadFile(kTraceLog), "|" + line + "\r\n"));
}

TEST(SendByRep, WithoutAFolderOrWithAMissingOneNothingIsCopied) {
    TestMachine m;
    m.WriteFile(kTrans + "a.GTV", "a");
    qm::test::StartAgentWithLog();
    DeliveryContext c;
    c.archives = {kTrans + "a.GTV"};
    EXPECT_FALSE(SendByRep(c));
    EXPECT_TRUE(Errors().empty());

    c.copyFolder = "C:\\Nowhere";
    EXPECT_FALSE(SendByRep(c));
    EXPECT_EQ(Errors(), (std::vector<std::string>{"Directory not Found : C:\\Nowhere"}));
    EXPECT_EQ(c.archives, (std::vector<std::string>{kTrans + "a.GTV"}));
    EXPECT_EQ(qm::test::FileNamesIn(kTrans), (std::vector<std::string>{"a.GTV"}));
}

TEST(SendByRep, CopiesEveryArchiveIntoTheFolderAndMarksItSent) {
    TestMachine m;
    m.WriteFile(kTrans + "a.GTV", "archive a");
    m.WriteFile(kAgentFolder + "Pda\\p.BTV", "archive p");
    m.MakeFolder(kDrop);
    qm::test::StartAgentWithLog();
    DeliveryContext c;
    c.archives = {kTrans + "a.GTV", kAgentFolder + "Pda\\p.BTV"};
    c.copyFolder = "C:\\Drop";  // inside it, not beside it
    ASSERT_TRUE(SendByRep(c));
    EXPECT_EQ(c.copyFolder, kDrop);
    EXPECT_TRUE(c.archives.empty());
    EXPECT_EQ(m.ReadFile("C:\\Drop\\a.GTV"), "archive a");
    EXPECT_EQ(m.ReadFile("C:\\Drop\\p.BTV"), "archive p");
    EXPECT_EQ(qm::test::FileNamesIn(kDrop), (std::vector<std::string>{"a.GTV", "p.BTV"}));
    EXPECT_EQ(qm::test::FileNamesIn(kTrans), (std::vector<std::string>{"a.Old"}));
    EXPECT_EQ(qm::test::FileNamesIn(kAgentFolder + "Pda\\"), (std::vector<std::string>{"p.Old"}));
    EXPECT_FALSE(m.Exists("C:\\Drop2"));
    std::string log = m.ReadFile(kTraceLog);
    EXPECT_TRUE(Contains(log, "|copy " + kTrans + "a.GTV to C:\\Drop\\a.GTV succeeded \r\n"));
    EXPECT_TRUE(Contains(log, "|copy " + kAgentFolder + "Pda\\p.BTV to C:\\Drop\\p.BTV succeeded \r\n"));
    EXPECT_TRUE(Errors().empty());
}

TEST(SendByRep, AFailedCopyLosesNothingAndLeavesTheArchiveToTheNextWays) {
    struct Case {
        const char* name;
        qm::sim::FaultConfig fault;
        std::string error;
    };
    // A fault on the drop folder strikes the second copy into it, b's.
    const Case cases[] = {
        {"the copy is refused", {"CopyFile", kDrop, qm::platform::ERROR_DISK_FULL, false, 1, 1}, "112"},
        {"the copy cannot be renamed", {"MoveFile", "C:\\Drop\\b.GTV", qm::platform::ERROR_ACCESS_DENIED, false, -1}, "5"},
        {"the copy breaks off", {"CopyFile", kDrop, qm::platform::ERROR_NOT_READY, false, 1, 1}, "21"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestMachine m;
        m.WriteFile(kTrans + "a.GTV", "a");
        m.WriteFile(kTrans + "b.GTV", "b");
        m.WriteFile(kTrans + "c.GTV", "c");
        m.WriteFile("C:\\Drop\\b.GTV", "copied by an earlier run");
        qm::test::StartAgentWithLog();
        m.Machine().AddFault(c.fault);
        DeliveryContext context;
        context.archives = {kTrans + "a.GTV", kTrans + "b.GTV", kTrans + "c.GTV"};
        context.copyFolder = kDrop;
        EXPECT_FALSE(SendByRep(context));
        m.Machine().ClearFaults();
        EXPECT_EQ(context.archives, (std::vector<std::string>{kTrans + "b.GTV"}));
        EXPECT_EQ(qm::test::FileNamesIn(kTrans), (std::vector<std::string>{"a.Old", "b.GTV", "c.Old"}));
        EXPECT_EQ(qm::test::FileNamesIn(kDrop), (std::vector<std::string>{"a.GTV", "b.GTV", "c.GTV"}));
        EXPECT_EQ(m.ReadFile("C:\\Drop\\b.GTV"), "copied by an earlier run");
        EXPECT_EQ(Errors(), (std::vector<std::string>{"copy " + kTrans + "b.GTV to C:\\Drop\\b.GTV failed :" + c.error}));
    }
}

TEST(SendByRep, AFileOfTheSameNameIsNeverReplaced) {
    TestMachine m;
    m.WriteFile(kTrans + "same.GTV", "archive");
    m.WriteFile(kTrans + "other.GTV", "this agent's archive");
    m.WriteFile(kTrans + "new.GTV", "new");
    m.WriteFile(kDrop + "same.GTV", "archive");                  // this archive, delivered before
    m.WriteFile(kDrop + "other.GTV", "another agent's archive");  // of the same name
    qm::test::StartAgentWithLog();
    DeliveryContext c;
    c.archives = {kTrans + "same.GTV", kTrans + "other.GTV", kTrans + "new.GTV"};
    c.copyFolder = kDrop;
    EXPECT_FALSE(SendByRep(c));
    EXPECT_EQ(c.archives, (std::vector<std::string>{kTrans + "other.GTV"}));
    EXPECT_EQ(m.ReadFile(kDrop + "other.GTV"), "another agent's archive");
    EXPECT_EQ(m.ReadFile(kDrop + "same.GTV"), "archive");
    EXPECT_EQ(m.ReadFile(kDrop + "new.GTV"), "new");
    EXPECT_EQ(qm::test::FileNamesIn(kTrans), (std::vector<std::string>{"new.Old", "other.GTV", "same.Old"}));
    EXPECT_EQ(qm::test::FileNamesIn(kDrop), (std::vector<std::string>{"new.GTV", "other.GTV", "same.GTV"}));
    EXPECT_EQ(Errors(), (std::vector<std::string>{"copy " + kTrans + "other.GTV to " + kDrop + "other.GTV failed :80"}));
    EXPECT_TRUE(Contains(m.ReadFile(kTraceLog), "|copy " + kTrans + "same.GTV to " + kDrop +
                                                    "same.GTV: the same file is there already\r\n"));
}

TEST_F(Delivery, TwoAgentsOfOneSiteNeverReplaceEachOthersArchiveInASharedFolder) {
    // Both machines map N: to one shared folder; their clocks give both archives one name.
    qm::test::TempFolder share("qm-share");
    const std::string machine = R"({"drives": [{"letter": "C", "folder": "drive_c"},
        {"letter": "N", "type": "remote", "folder": ")" + share.Path() + R"(", "unc": "\\\\server\\drop"}]})";
    const std::string settings = "[IDENTIFICATION]\r\nCODE=C\r\nSITE=S\r\n[DIRECTORY]\r\nDIRECTORY=N:\\\r\n";
    const std::string name = "#C#S#" + kStamp + ".GTV";
    // One agent's results waiting in Results\, then its delivery.
    auto deliver = [&](TestMachine& m, const std::string& id, const std::string& which) {
        m.WriteFile(kAgentSettings, settings);
        m.WriteFile(kResults + id + ".hrz", which + " agent's hardware");
        m.WriteFile(kResults + id + ".sfz", which + " agent's software");
        qm::test::StartAgentWithLog();
        return SendSimpleMail();
    };
    std::string first;
    {
        TestMachine a(machine);
        EXPECT_TRUE(deliver(a, "AAAA", "first"));
        first = a.ReadFile("N:\\" + name);
        EXPECT_EQ(qm::test::FileNamesIn(kTrans), (std::vector<std::string>{"#C#S#" + kStamp + ".Old"}));
    }
    TestMachine b(machine);
    EXPECT_TRUE(deliver(b, "BBBB", "second"));
    // The first agent's archive is still there, whole; the second one went in beside it under a
    // fresh time stamp, in the same delivery, and was marked sent under that name.
    std::vector<std::string> shared = qm::test::FileNamesIn("N:\\");
    ASSERT_EQ(shared.size(), 2u);
    const std::string fresh = shared[0] == name ? shared[1] : shared[0];
    EXPECT_TRUE(std::regex_match(fresh, std::regex("#C#S#[0-9]{15}\\.GTV"))) << fresh;
    EXPECT_NE(fresh, name);
    EXPECT_EQ(b.ReadFile("N:\\" + name), first);
    EXPECT_EQ(qm::test::ZipNames(first), (std::vector<std::string>{"AAAA.hrz", "AAAA.sfz"}));
    EXPECT_EQ(qm::test::ZipNames(b.ReadFile("N:\\" + fresh)), (std::vector<std::string>{"BBBB.hrz", "BBBB.sfz"}));
    EXPECT_EQ(qm::test::FileNamesIn(kTrans), (std::vector<std::string>{fresh.substr(0, fresh.size() - 4) + ".Old"}));
    EXPECT_EQ(Calls().ftp + Calls().smtp, 0);
    EXPECT_TRUE(Errors().empty());
    EXPECT_TRUE(Contains(b.ReadFile(kTraceLog), "|copy " + kTrans + fresh + " to N:\\" + fresh + " succeeded \r\n"));
}

TEST(SendByRep, TheArchivesOwnFolderIsNoDelivery) {
    TestMachine m;
    m.WriteFile(kTrans + "a.GTV", "a");
    qm::test::StartAgentWithLog();
    DeliveryContext context;
    context.archives = {kTrans + "a.GTV"};
    context.copyFolder = "c:\\progra~1\\quarmelin\\TRANS";  // the same folder, written otherwise
    EXPECT_FALSE(SendByRep(context));
    EXPECT_EQ(context.archives, (std::vector<std::string>{kTrans + "a.GTV"}));
    EXPECT_EQ(qm::test::FileNamesIn(kTrans), (std::vector<std::string>{"a.GTV"}));
    EXPECT_EQ(m.ReadFile(kTrans + "a.GTV"), "a");
    EXPECT_EQ(Errors(), (std::vector<std::string>{"copy " + kTrans + "a.GTV to c:\\progra~1\\quarmelin\\TRANS\\a.GTV failed :183"}));
}

TEST(SendByRep, AnErrorPartWayKeepsWhatWasNotCopied) {
    TestMachine m;
    m.WriteFile(kTrans + "a.GTV", "a");
    m.WriteFile(kTrans + "b.GTV", "b");
    m.WriteFile(kTrans + "c.GTV", "c");
    qm::test::StartAgentWithLog();
    m.Machine().AddFault({"CopyFile", kTrans + "b.GTV", qm::platform::ERROR_ACCESS_DENIED, true, -1});
    DeliveryContext context;
    context.archives = {kTrans + "a.GTV", kTrans + "b.GTV", kTrans + "c.GTV"};
    context.copyFolder = kDrop;
    m.MakeFolder(kDrop);
    EXPECT_FALSE(SendByRep(context));
    m.Machine().ClearFaults();
    EXPECT_EQ(context.archives, (std::vector<std::string>{kTrans + "b.GTV", kTrans + "c.GTV"}));
    EXPECT_EQ(qm::test::FileNamesIn(kTrans), (std::vector<std::string>{"a.Old", "b.GTV", "c.GTV"}));
    ASSERT_EQ(Errors().size(), 1u);
    EXPECT_EQ(Errors()[0].rfind("Error During SendByRepCopyFile failed on purpose", 0), 0u) << Errors()[0];
}

TEST_F(Delivery, NothingToDeliverTriesNoWay) {
    TestMachine m;
    m.WriteFile(kTrans + "old.Old", "delivered");
    m.WriteFile(kTrans + "kept.RTV", "never listed");
    qm::test::StartAgentWithLog();
    EXPECT_FALSE(SendSimpleMail());
    EXPECT_EQ(Calls().ftp + Calls().smtp, 0);
    std::string log = m.ReadFile(kTraceLog);
    EXPECT_TRUE(Contains(log, "|Enter  SendSimpleMail\r\n"));
    EXPECT_TRUE(Contains(log, "|GetDirectoryFiles(" + kTrans + ",.GTV)\r\n"));
    EXPECT_TRUE(Contains(log, "|GetDirectoryFiles(" + kAgentFolder + "Pda\\,.BTV)\r\n"));
    EXPECT_TRUE(m.Exists(kResults));  // Results\ and Trans\ are made, the others only named
    EXPECT_FALSE(m.Exists(kAgentFolder + "Usage"));
}

TEST_F(Delivery, GtvPacksRtvAndSendsNothing) {
    TestMachine m;
    DropAndResults(m);
    qm::test::StartAgentWithLog({"/GTV"});
    State().flags.gtv = true;
    EXPECT_FALSE(SendSimpleMail());  // the new archive is RTV: nothing waits
    EXPECT_EQ(qm::test::FileNamesIn(kTrans), (std::vector<std::string>{"#C#S#" + kStamp + ".RTV"}));
    EXPECT_TRUE(qm::test::FileNamesIn(kResults).empty());

    m.WriteFile(kTrans + "older.GTV", "waiting");
    m.WriteFile(kAgentFolder + "SNMP\\x.DTV", "waiting");
    EXPECT_TRUE(SendSimpleMail());
    EXPECT_EQ(qm::test::FileNamesIn(kTrans), (std::vector<std::string>{"#C#S#" + kStamp + ".RTV", "older.GTV"}));
    EXPECT_EQ(qm::test::FileNamesIn(kAgentFolder + "SNMP\\"), (std::vector<std::string>{"x.DTV"}));
    EXPECT_TRUE(qm::test::FileNamesIn(kDrop).empty());
    EXPECT_EQ(Calls().ftp + Calls().smtp, 0);
}

TEST_F(Delivery, AFolderCopyDeliversEveryListedArchive) {
    TestMachine m;
    DropAndResults(m);
    m.WriteFile(kTrans + "older.GTV", "g");
    m.WriteFile(kAgentFolder + "Usage\\u.NTV", "n");
    m.WriteFile(kAgentFolder + "SNMP\\s.DTV", "d");
    m.WriteFile(kAgentFolder + "Pda\\p.BTV", "b");
    qm::test::StartAgentWithLog();
    EXPECT_TRUE(SendSimpleMail());
    const std::string fresh = "#C#S#" + kStamp + ".GTV";
    EXPECT_EQ(qm::test::FileNamesIn(kDrop), (std::vector<std::string>{fresh, "older.GTV", "p.BTV", "s.DTV", "u.NTV"}));
    EXPECT_EQ(qm::test::ZipNames(m.ReadFile(kDrop + fresh)), (std::vector<std::string>{"GUID.hrz", "GUID.sfz"}));
    EXPECT_EQ(qm::test::FileNamesIn(kTrans), (std::vector<std::string>{"#C#S#" + kStamp + ".Old", "older.Old"}));
    EXPECT_EQ(qm::test::FileNamesIn(kAgentFolder + "Usage\\"), (std::vector<std::string>{"u.Old"}));
    EXPECT_EQ(qm::test::FileNamesIn(kAgentFolder + "SNMP\\"), (std::vector<std::string>{"s.Old"}));
    EXPECT_EQ(qm::test::FileNamesIn(kAgentFolder + "Pda\\"), (std::vector<std::string>{"p.Old"}));
    EXPECT_EQ(Calls().ftp + Calls().smtp, 0);

    // A second delivery in the same run finds nothing left to send.
    EXPECT_FALSE(SendSimpleMail());
    EXPECT_EQ(qm::test::FileNamesIn(kDrop).size(), 5u);
}

TEST_F(Delivery, TheNextWaysGetWhatTheFolderCopyLeft) {
    TestMachine m;
    m.WriteFile(kAgentSettings, "[DIRECTORY]\r\nDIRECTORY=C:\\Drop\\\r\n");
    m.MakeFolder(kDrop);
    m.WriteFile(kTrans + "a.GTV", "a");
    m.WriteFile(kTrans + "b.GTV", "b");
    qm::test::StartAgentWithLog();
    m.Machine().AddFault({"CopyFile", kDrop, qm::platform::ERROR_DISK_FULL, false, 1, 1});
    Calls().ftpDelivers = true;
    EXPECT_TRUE(SendSimpleMail());
    EXPECT_EQ(Calls().ftp, 1);
    EXPECT_EQ(Calls().ftpArchives, (std::vector<std::string>{kTrans + "b.GTV"}));
    EXPECT_EQ(Calls().smtp, 0);
    std::string log = m.ReadFile(kTraceLog);
    EXPECT_TRUE(Contains(log, "|Sent by FTP\r\n"));
    EXPECT_EQ(qm::test::FileNamesIn(kTrans), (std::vector<std::string>{"a.Old", "b.GTV"}));  // FTP marks what it sends
}

TEST_F(Delivery, AMissingCopyFolderFallsThroughToFtpThenSmtp) {
    TestMachine m;
    m.WriteFile(kAgentSettings, "[DIRECTORY]\r\nDIRECTORY=C:\\Gone\r\n");
    m.WriteFile(kTrans + "a.GTV", "a");
    m.WriteFile(kAgentFolder + "Pda\\p.BTV", "p");
    qm::test::StartAgentWithLog();
    Calls().smtpDelivers = true;
    EXPECT_TRUE(SendSimpleMail());
    const std::vector<std::string> all{kTrans + "a.GTV", kAgentFolder + "Pda\\p.BTV"};
    EXPECT_EQ(Calls().ftpArchives, all);
    EXPECT_EQ(Calls().smtpArchives, all);
    EXPECT_EQ(Errors(), (std::vector<std::string>{"Directory not Found : C:\\Gone"}));
    EXPECT_FALSE(Contains(m.ReadFile(kTraceLog), "Sent by FTP"));

    Calls().smtpDelivers = false;
    EXPECT_FALSE(SendSimpleMail());
    EXPECT_EQ(Calls().ftp, 2);
    EXPECT_EQ(Calls().smtp, 2);
}

TEST_F(Delivery, FtpOffAndSmtpOffTryNothing) {
    struct Case {
        const char* settings;
        bool sendDebug;
        int ftp;
        int smtp;
        bool ftpDisabledLogged;
    };
    const Case cases[] = {
        {"[FTP]\r\nDISABLE=1\r\n[SNMP]\r\nDISABLE=1\r\n", false, 0, 0, true},
        {"[FTP]\r\nDISABLE=1\r\n", false, 0, 1, true},
        {"[SNMP]\r\nDISABLE=1\r\n", false, 1, 0, false},
        {"[FTP]\r\nDISABLE=2\r\n[SNMP]\r\nDISABLE=2\r\n", false, 1, 1, false},
        {"", true, 0, 1, true},  // "/SENDDEBUG" turned FTP off at start-up
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.settings);
        TestMachine m;
        m.WriteFile(kAgentSettings, c.settings);
        m.WriteFile(kTrans + "a.GTV", "a");
        qm::test::StartAgentWithLog();
        State().flags.ftpOff = c.sendDebug;
        Calls() = WayCalls{};
        EXPECT_FALSE(SendSimpleMail());
        EXPECT_EQ(Calls().ftp, c.ftp);
        EXPECT_EQ(Calls().smtp, c.smtp);
        std::string log = m.ReadFile(kTraceLog);
        EXPECT_EQ(Contains(log, "|FTP connection disabled in configuration file\r\n"), c.ftpDisabledLogged);
        EXPECT_FALSE(Contains(log, "Sent by FTP"));
        EXPECT_EQ(qm::test::FileNamesIn(kTrans), (std::vector<std::string>{"a.GTV"}));
    }
}

TEST_F(Delivery, WithoutServerSettingsTheArchivesWait) {
    TestMachine m;
    m.WriteFile(kResults + "GUID.hrz", "h");
    qm::test::StartAgentWithLog();
    DeliveryWays() = LaterDeliveryWays{};
    EXPECT_FALSE(SendSimpleMail());
    EXPECT_EQ(qm::test::FileNamesIn(kTrans), (std::vector<std::string>{"###" + kStamp + ".GTV"}));
    EXPECT_TRUE(qm::test::FileNamesIn(kResults).empty());
    EXPECT_FALSE(Contains(m.ReadFile(kTraceLog), "FTP connection disabled"));
}

TEST_F(Delivery, ConnectionSettingsModePacksAndListsNothing) {
    TestMachine m;
    m.WriteFile(kAgentSettings, "[DIRECTORY]\r\nDIRECTORY=C:\\Drop\r\n");
    m.MakeFolder(kDrop);
    m.WriteFile(kResults + "GUID.hrz", "h");
    m.WriteFile(kTrans + "a.GTV", "a");
    qm::test::StartAgentWithLog({"/SMTP"});
    State().flags.smtp = true;
    EXPECT_FALSE(SendSimpleMail());
    EXPECT_EQ(qm::test::FileNamesIn(kResults), (std::vector<std::string>{"GUID.hrz"}));
    EXPECT_EQ(qm::test::FileNamesIn(kTrans), (std::vector<std::string>{"a.GTV"}));
    EXPECT_TRUE(qm::test::FileNamesIn(kDrop).empty());
    EXPECT_EQ(Calls().ftp, 1);
    EXPECT_TRUE(Calls().ftpArchives.empty());
    EXPECT_EQ(Calls().smtp, 1);
    EXPECT_TRUE(Calls().smtpArchives.empty());
    EXPECT_FALSE(Contains(m.ReadFile(kTraceLog), "GetDirectoryFiles("));
}

TEST_F(Delivery, AFailureAtEachStepLosesNothing) {
    struct Case {
        const char* name;
        qm::sim::FaultConfig fault;
        std::vector<std::string> results;  // what stays in Results\ afterwards
        std::vector<std::string> trans;
        std::vector<std::string> drop;  // what reached the copy folder
        bool sent;
    };
    const std::string fresh = "#C#S#" + kStamp;
    const Case cases[] = {
        // The new archive cannot be made and the delivered one cannot be marked: it is sent again next time.
        {"Trans cannot be written", {"write", kAgentFolder + "Trans", qm::platform::ERROR_ACCESS_DENIED, false, -1},
         {"GUID.hrz", "GUID.sfz"}, {"older.GTV"}, {"older.GTV"}, true},
        {"a result file cannot be read", {"ReadFile", kResults + "GUID.sfz", qm::platform::ERROR_ACCESS_DENIED, false, -1},
         {"GUID.sfz"}, {fresh + ".Old", "older.Old"}, {fresh + ".GTV", "older.GTV"}, true},
        {"the folders cannot be determined",
         {"GetFileAttributes", kAgentFolder + "Trans", qm::platform::ERROR_ACCESS_DENIED, true, -1},
         {"GUID.hrz", "GUID.sfz"}, {"older.GTV"}, {}, false},
        {"the copy folder cannot be written", {"write", "C:\\Drop", qm::platform::ERROR_ACCESS_DENIED, false, -1},
         {}, {fresh + ".GTV", "older.GTV"}, {}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestMachine m;
        DropAndResults(m);
        m.WriteFile(kTrans + "older.GTV", "g");
        qm::test::StartAgentWithLog();
        m.Machine().AddFault(c.fault);
        bool sent = SendSimpleMail();
        m.Machine().ClearFaults();
        EXPECT_EQ(sent, c.sent);
        EXPECT_EQ(qm::test::FileNamesIn(kResults), c.results);
        EXPECT_EQ(qm::test::FileNamesIn(kTrans), c.trans);
        EXPECT_EQ(qm::test::FileNamesIn(kDrop), c.drop);
    }
    // The error that kept the folders from being determined is in the error list.
    TestMachine m;
    qm::test::StartAgentWithLog();
    m.Machine().AddFault({"GetFileAttributes", kAgentFolder + "Trans", qm::platform::ERROR_ACCESS_DENIED, true, -1});
    DeliveryFolders folders = DetermineDeliveryFolders();
    EXPECT_EQ(folders.results, kResults);  // determined before the error: kept
    EXPECT_EQ(folders.trans + folders.usage + folders.snmp + folders.pda, "");
    ASSERT_EQ(Errors().size(), 1u);
    EXPECT_TRUE(Contains(Errors()[0], "GetFileAttributes failed on purpose")) << Errors()[0];
}
