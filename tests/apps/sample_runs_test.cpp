#include <gtest/gtest.h>

#include <regex>

#include "apps/agent.h"
#include "platform/platform.h"
#include "platform/winpath.h"
#include "support/agent_state.h"
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
    struct SampleHandheld {
        const char* name;
        const char* handheld;  // the .pdz the run writes, none without a synchronised handheld
    };
    const Sample samples[] = {{"xp-workstation", "C:\\Program Files\\Quarmelin\\QMAgent.exe", "QM-XP-WS01"},
                              {"win98-desktop", "C:\\QMAGENT\\QMAgent.exe", "QM-98-DESK"}};
    const SampleHandheld handhelds[] = {{"xp-workstation", "PDA-7F3A21C9.pdz"}, {"win98-desktop", nullptr}};
    for (std::size_t i = 0; i < std::size(samples); ++i) {
        const Sample& s = samples[i];
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
        // The handheld file stays in the work folder, named by the handheld.
        std::vector<std::string> pdz;
        for (const std::string& name : qm::test::FileNamesIn("C:\\WINDOWS\\"))
            if (qm::platform::ExtensionOf(name) == ".pdz") pdz.push_back(name);
        if (handhelds[i].handheld == nullptr) {
            EXPECT_TRUE(pdz.empty());
            continue;
        }
        ASSERT_EQ(pdz, std::vector<std::string>{handhelds[i].handheld});
        std::string text;
        ASSERT_TRUE(qm::platform::ReadWholeFile(qm::platform::Files(), "C:\\WINDOWS\\" + pdz[0], text));
        EXPECT_EQ(text, qm::test::Golden(std::string(s.name) + ".pdz", text));
    }
}

// A run that scrambles its results leaves the handheld file where it wrote it: no program
// moves it to Results\, so no delivery packs it.
TEST(SampleRuns, TheHandheldFileStaysInTheWorkFolder) {
    qm::test::SampleMachine machine("xp-workstation");
    machine.InstallProgram("QMBios.exe", "C:\\Program Files\\Quarmelin\\");
    EXPECT_EQ(qm::agent::AgentMain({"C:\\Program Files\\Quarmelin\\QMAgent.exe", "/N"}), 0);
    EXPECT_TRUE(qm::platform::FileExists(qm::platform::Files(), "C:\\WINDOWS\\PDA-7F3A21C9.pdz"));
    EXPECT_FALSE(qm::platform::FileExists(qm::platform::Files(), "C:\\WINDOWS\\QM-XP-WS01.hrz"));  // scrambled away
    for (const char* folder : {"Results", "Pda"})
        for (const std::string& name : qm::test::FileNamesIn(std::string("C:\\Program Files\\Quarmelin\\") + folder + "\\"))
            EXPECT_NE(qm::platform::ExtensionOf(name), ".pdz") << folder << "\\" << name;
    // The sync manager got both files and the registration.
    EXPECT_TRUE(qm::platform::FileExists(qm::platform::Files(), "C:\\Program Files\\Palm\\add-on\\PalmInfo.prc"));
    EXPECT_TRUE(qm::platform::FileExists(qm::platform::Files(), "C:\\Program Files\\Palm\\QuarmelinConduit.dll"));
}
