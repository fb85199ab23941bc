#include <gtest/gtest.h>

#include "core/profile_files.h"
#include "core/settings.h"
#include "platform/platform.h"
#include "platform/sim/machine.h"
#include "support/agent_state.h"
#include "support/test_machine.h"

using namespace qm::core;

// An agent run from the build folder finds each sample machine's settings through its
// service entry.
TEST(SampleMachines, FindTheirSettingsThroughTheServiceEntry) {
    const std::pair<const char*, const char*> samples[] = {
        {"xp-workstation", "C:\\Program Files\\Quarmelin\\QMAgent.lic"}, {"win98-desktop", "C:\\QMAGENT\\QMAgent.lic"}};
    for (const auto& [name, settings] : samples) {
        SCOPED_TRACE(name);
        qm::test::SampleMachine sample(name);
        qm::test::StartAgent({}, sample.Machine().WindowsPathOfHost(sample.Folder()) + "\\bin\\QMAgent.exe");
        EXPECT_EQ(GetSettingsFileName(), settings);
        EXPECT_EQ(ReadProfileString(GetSettingsFileName(), "IDENTIFICATION", "CODE"), "ACME");
        EXPECT_EQ(ReadProfileInteger(GetSettingsFileName(), "PROXY", "PORT", 0), 2121);
    }
}
