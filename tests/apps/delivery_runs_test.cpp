#include <gtest/gtest.h>

#include "apps/agent.h"
#include "delivery/scrambling.h"
#include "platform/platform.h"
#include "platform/sim/sim_dialogs.h"
#include "platform/text.h"
#include "platform/winpath.h"
#include "support/agent_state.h"
#include "support/mail_reader.h"
#include "support/test_machine.h"
#include "support/test_servers.h"
#include "support/zip_reader.h"

using namespace qm::test;
using qm::delivery::EncodeSetting;
using qm::delivery::kSettingsKey;

namespace {

const std::string kFolder = "C:\\Program Files\\Quarmelin\\";
const std::string kProgram = kFolder + "QMAgent.exe";
// The error list goes to the current folder: one of the machine, not the host's.
const char* const kInMachine = R"({"current_directory": "C:\\WINDOWS"})";

void Set(const std::string& section, const std::string& key, const std::string& value) {
    ASSERT_TRUE(qm::platform::Profile().WritePrivateProfileString(section, key, value, kFolder + "QMAgent.lic"));
}

void SetEncoded(const std::string& section, const std::string& key, const std::string& plain) {
    Set(section, key, EncodeSetting(plain, kSettingsKey, "0011223344556677"));
}

// The archive a run left in Trans\: its name and bytes; it must be the only one.
std::pair<std::string, std::string> DeliveredArchive() {
    std::vector<std::string> names = FileNamesIn(kFolder + "Trans\\");
    EXPECT_EQ(names.size(), 1u);
    if (names.empty()) return {};
    std::string bytes;
    EXPECT_TRUE(qm::platform::ReadWholeFile(qm::platform::Files(), kFolder + "Trans\\" + names[0], bytes));
    return {names[0], bytes};
}

// The entries of an archive hold the machine's scrambled hardware and software results.
void ExpectResults(const std::string& archive) {
    std::vector<ZipEntry> entries = ReadZip(archive);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_TRUE(qm::platform::EndsWithNoCase(entries[0].name, ".hrz") || qm::platform::EndsWithNoCase(entries[1].name, ".hrz"));
    EXPECT_TRUE(qm::platform::EndsWithNoCase(entries[0].name, ".sfz") || qm::platform::EndsWithNoCase(entries[1].name, ".sfz"));
    for (const ZipEntry& e : entries) EXPECT_GT(e.bytes.size(), 100u) << e.name;
}

}  // namespace

// A whole run of the sample workstation whose copy folder is missing: the new archive goes to
// the FTP server, or, with FTP unusable, to the mail server, whole, and is marked sent.
TEST(DeliveryRuns, TheSampleWorkstationDeliversByFtpElseBySmtp) {
    for (bool ftpUsable : {true, false}) {
        SCOPED_TRACE(ftpUsable ? "by FTP" : "by SMTP");
        FtpTestServer ftp({{{"inventory", "ftp-pw"}}, {"drop"}});
        SmtpTestServer smtp;
        SampleMachine machine("xp-workstation", kInMachine);
        machine.InstallProgram("QMBios.exe", kFolder);
        Set("DIRECTORY", "DIRECTORY", "C:\\Inventory\\Missing");
        SetEncoded("F", "F1", "127.0.0.1");
        SetEncoded("F", "F2", ftpUsable ? std::to_string(ftp.Port()) : "not a port");
        SetEncoded("F", "F3", "inventory");
        SetEncoded("F", "F4", "ftp-pw");
        SetEncoded("F", "F5", "drop");
        SetEncoded("S", "S1", "127.0.0.1");
        SetEncoded("S", "S3", std::to_string(smtp.Port()));
        SetEncoded("S", "S5", "agent@acme.example");
        SetEncoded("S", "S6", "inventory@centre.example");

        EXPECT_EQ(qm::agent::AgentMain({kProgram, "/N", "/S", "/HIDE"}), 0);

        const auto [name, bytes] = DeliveredArchive();
        ASSERT_TRUE(qm::platform::EndsWithNoCase(name, ".Old")) << name;
        const std::string sentName = qm::platform::ChangeExtension(name, ".GTV");
        EXPECT_EQ(sentName.rfind("#ACME#Accounts#", 0), 0u) << sentName;
        ExpectResults(bytes);
        if (ftpUsable) {
            EXPECT_EQ(ftp.StoredNames("drop"), (std::vector<std::string>{sentName}));
            EXPECT_EQ(ftp.Stored("drop/" + sentName), bytes);
            EXPECT_TRUE(smtp.Commands().empty());
        } else {
            EXPECT_TRUE(ftp.Commands().empty());
            std::vector<ReceivedMail> mails = smtp.Mails();
            ASSERT_EQ(mails.size(), 1u);
            EXPECT_EQ(mails[0].to, (std::vector<std::string>{"inventory@centre.example"}));
            Parsed mail = Parse(mails[0].content);
            EXPECT_EQ(mail.headers.get("Subject", ""), "#ACME#Accounts");
            ASSERT_EQ(mail.attachments.size(), 1u);
            EXPECT_EQ(mail.attachments[0].first, sentName);
            EXPECT_EQ(mail.attachments[0].second, bytes);
        }
    }
}

// "/CONFIG" on the sample workstation, which mails nothing (its recipient is empty), given an
// FTP server: the dialog is shown once, with its mail fields disabled and only "Close", and the
// proxy typed is stored. Nothing is sent.
TEST(DeliveryRuns, ConnectionSettingsModeAsksOnceAndStoresTheProxy) {
    SampleMachine machine("xp-workstation",
                          R"({"current_directory": "C:\\WINDOWS", "dialogs": {"connection": [{"type": {"eProxyHost": "gate.acme.example", "eProxyPort": "3128",
                                                                   "HostEdit": "mail.acme.example"}, "press": "btConnect"}]}})");
    FtpTestServer ftp({{{"inventory", "ftp-pw"}}, {"drop"}});
    SetEncoded("F", "F1", "127.0.0.1");
    SetEncoded("F", "F2", std::to_string(ftp.Port()));
    EXPECT_EQ(qm::agent::AgentMain({kProgram, "/CONFIG"}), 0);
    EXPECT_TRUE(ftp.Commands().empty());
    auto& dialogs = machine.Machine().DialogsOfMachine();
    EXPECT_EQ(dialogs.ConnectionDialogShown(), 1);
    for (const auto& c : dialogs.LastConnectionDialogLayout().controls) {
        if (c.kind == "button") {
            EXPECT_EQ(c.visible, c.name == "btClose") << c.name;
        }
        if (c.name == "HostEdit") {
            EXPECT_FALSE(c.enabled);
        }
    }
    const std::string settings = kFolder + "QMAgent.lic";
    auto read = [&](const char* section, const char* key) {
        return qm::platform::Profile().GetPrivateProfileString(section, key, "<none>", settings);
    };
    EXPECT_EQ(read("PROXY", "HOST"), "gate.acme.example");
    EXPECT_EQ(read("PROXY", "PORT"), "3128");
    EXPECT_EQ(read("SMTP Connection", "HOST"), "<none>");  // the disabled host field kept its empty text
    EXPECT_TRUE(FileNamesIn(kFolder + "Trans\\").empty());
}
