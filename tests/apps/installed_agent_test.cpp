#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "support/test_machine.h"

namespace fs = std::filesystem;

namespace {

const char* const kAgentFolder = "drive_c/Program Files/Quarmelin";

// The XP workstation as the build makes it: the sample machine with the built programs
// installed in its agent folder.
void InstallSample(const fs::path& machine) {
    fs::copy(fs::path(QM_SOURCE_DIR) / "machines/xp-workstation", machine, fs::copy_options::recursive);
    fs::path bin = fs::read_symlink("/proc/self/exe").parent_path();
    for (const char* program : {"qmagent.exe", "QMBios.exe", "qmcmd.exe"})
        fs::copy_file(bin / program, machine / kAgentFolder / program, fs::copy_options::overwrite_existing);
}

// One interactive run of the installed agent through the runner of ./run.sh; what it printed.
std::string RunInstalled(const fs::path& machine) {
    std::string command = "/usr/bin/python3 '" + std::string(QM_SOURCE_DIR) + "/tools/run_agent.py' '" +
                          machine.string() + "' 'C:\\Program Files\\Quarmelin\\' /DLG /LOG 2>&1 </dev/null";
    std::string out;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return out;
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, pipe)) > 0;) out.append(buf, n);
    EXPECT_EQ(::pclose(pipe), 0) << out;
    return out;
}

std::size_t FilesIn(const fs::path& folder) {
    if (!fs::is_directory(folder)) return 0;
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

}  // namespace

// The agent installed on the machine runs there: its settings beside it, its archive folders
// inside the machine, so deleting the machine folder gives a fresh machine. The run's summary
// says what the run made.
TEST(InstalledAgent, RunsOnTheMachineItLiesOnAndAFreshMachineStartsAfresh) {
    qm::test::TempFolder temp("qm-installed");
    fs::path machine = fs::path(temp.Path()) / "machine";
    InstallSample(machine);

    std::string first = RunInstalled(machine);
    EXPECT_NE(first.find("End message \"Inventory\":\n    Your inventory report will reach you within a few minutes.\n"),
              std::string::npos)
        << first;
    EXPECT_NE(first.find("Archives: 1, 1 of them made or delivered in this run"), std::string::npos) << first;
    EXPECT_NE(first.find("C:\\WINDOWS\\QM-XP-WS01.hrz  ->  C:\\Program Files\\Quarmelin\\Results\\"), std::string::npos)
        << first;
    EXPECT_NE(first.find("\n        ./drive_c/Inventory/Outbox/#ACME#Accounts#"), std::string::npos) << first;
    EXPECT_NE(first.find("they stay in the work folder:\n    C:\\WINDOWS\\PDA-7F3A21C9.pdz\n        ./drive_c/WINDOWS/PDA-7F3A21C9.pdz\n"),
              std::string::npos)
        << first;
    std::string chkId = qm::test::ReadHostFile((machine / "drive_c/WINDOWS/Chk_ID").string()).value_or("");
    EXPECT_NE(chkId.find("PATH=C:\\Program Files\\Quarmelin\\qmagent.exe"), std::string::npos) << chkId;
    EXPECT_EQ(FilesIn(machine / kAgentFolder / "Trans"), 1u);
    EXPECT_EQ(FilesIn(machine / "drive_c/Inventory/Outbox"), 1u);

    std::string second = RunInstalled(machine);
    EXPECT_NE(second.find("Archives: 2, 1 of them made or delivered in this run"), std::string::npos) << second;

    fs::remove_all(machine);
    InstallSample(machine);
    std::string third = RunInstalled(machine);
    EXPECT_NE(third.find("Archives: 1, 1 of them made or delivered in this run"), std::string::npos) << third;
    EXPECT_EQ(FilesIn(machine / kAgentFolder / "Trans"), 1u);
}
