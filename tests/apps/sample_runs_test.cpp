#include <gtest/gtest.h>

#include <regex>

#include "apps/agent.h"
#include "platform/platform.h"
#include "platform/winpath.h"
#include "support/golden.h"
#include "support/test_machine.h"

namespace {

// The time of the run is the machine's clock, which starts at the real time: it is masked. So
// is the hour of an event's time, which the machine's bias at the time of the run (standard or
// daylight time) turns into local time.
std::string MaskDate(std::string text) {
    text = std::regex_replace(text, std::regex("(\"WindowsLog\",(\"[^\"]*\",){4}\"[0-9]{4}/[0-9]{2}/[0-9]{2} )[0-9]{2}:"),
                              "$1hh:");
    return std::regex_replace(text, std::regex("\"Inventory\",\"Date\",\"[^\"]*\""), "\"Inventory\",\"Date\",\"<date>\"");
}

}  // namespace

// A whole online run on each sample machine leaves its plain result files, which hold what
// the machine has, record for record; with "/DISK_USAGE", so that they hold the disk usage of
// its documents too.
TEST(SampleRuns, OnlineRunsWriteTheGoldenResultFiles) {
    struct Sample {
        const char* name;
        const char* agent;
        const char* asset;
    };
    const Sample samples[] = {{"xp-workstation", "C:\\Program Files\\Quarmelin\\QMAgent.exe", "QM-XP-WS01"},
                              {"win98-desktop", "C:\\QMAGENT\\QMAgent.exe", "QM-98-DESK"}};
    for (const Sample& s : samples) {
        SCOPED_TRACE(s.name);
        qm::test::SampleMachine machine(s.name);
        machine.InstallProgram("QMBios.exe", qm::platform::FolderOf(s.agent));
        EXPECT_EQ(qm::agent::AgentMain({s.agent, "/N", "/ONLINE", "/DISK_USAGE"}), 0);
        for (const char* ext : {".hrz", ".sfz"}) {
            std::string file = std::string("C:\\WINDOWS\\") + s.asset + ext;
            std::string text;
            ASSERT_TRUE(qm::platform::ReadWholeFile(qm::platform::Files(), file, text)) << file;
            std::string masked = MaskDate(text);
            EXPECT_EQ(masked, qm::test::Golden(std::string(s.name) + ext, masked)) << file;
        }
    }
}
