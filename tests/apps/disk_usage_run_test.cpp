#include <gtest/gtest.h>

#include <functional>

#include "apps/agent.h"
#include "platform/platform.h"
#include "platform/registry_accessor.h"
#include "platform/winpath.h"
#include "support/test_machine.h"

namespace {

bool HasDiskUsage(const std::string& hardwareFile) {
    std::string text;
    EXPECT_TRUE(qm::platform::ReadWholeFile(qm::platform::Files(), hardwareFile, text)) << hardwareFile;
    return text.find("\r\n\"DiskUsage\",\"") != std::string::npos;
}

// The workstation stores its parameters under the maker's registry key.
void StoreInRegistry() {
    qm::platform::RegistryAccessor reg(qm::platform::HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(reg.OpenKey("SOFTWARE\\Quarmelin", false));
    reg.WriteString("/DISK_USAGE", "1");
}

// The desktop has no registry value: its settings file's parameters decide.
void StoreInSettingsFile() {
    const char* const settings = "C:\\QMAGENT\\QMAgent.lic";
    std::string text;
    ASSERT_TRUE(qm::platform::ReadWholeFile(qm::platform::Files(), settings, text));
    std::size_t at = text.find("/DISK_USAGE=0");
    ASSERT_NE(at, std::string::npos);
    text[at + 12] = '1';
    ASSERT_TRUE(qm::platform::WriteWholeFile(qm::platform::Files(), settings, text));
}

}  // namespace

// Without the switch, a stored "/DISK_USAGE" of "1" turns the scan on in a whole run; the
// samples as shipped store "0".
TEST(DiskUsageRun, AStoredParameterTurnsTheScanOn) {
    struct Sample {
        const char* name;
        const char* agent;
        const char* hardwareFile;
        std::function<void()> store;
    };
    const Sample samples[] = {
        {"xp-workstation", "C:\\Program Files\\Quarmelin\\QMAgent.exe", "C:\\WINDOWS\\QM-XP-WS01.hrz", StoreInRegistry},
        {"win98-desktop", "C:\\QMAGENT\\QMAgent.exe", "C:\\WINDOWS\\QM-98-DESK.hrz", StoreInSettingsFile}};
    for (const Sample& s : samples) {
        SCOPED_TRACE(s.name);
        qm::test::SampleMachine machine(s.name);
        machine.InstallProgram("QMBios.exe", qm::platform::FolderOf(s.agent));
        EXPECT_EQ(qm::agent::AgentMain({s.agent, "/N", "/ONLINE"}), 0);
        EXPECT_FALSE(HasDiskUsage(s.hardwareFile));
        s.store();
        EXPECT_EQ(qm::agent::AgentMain({s.agent, "/N", "/ONLINE"}), 0);
        EXPECT_TRUE(HasDiskUsage(s.hardwareFile));
    }
}
