#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/test_machine.h"

extern char** environ;

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

// One interactive run of the installed agent through the runner of ./run.sh, with the
// environment's variables before it; what it printed.
std::string RunInstalled(const fs::path& machine, const std::string& variables = "") {
    std::string command = variables + " /usr/bin/python3 '" + std::string(QM_SOURCE_DIR) + "/tools/run_agent.py' '" +
                          machine.string() + "' 'C:\\Program Files\\Quarmelin\\' /DLG /LOG 2>&1 </dev/null";
    std::string out;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return out;
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, pipe)) > 0;) out.append(buf, n);
    EXPECT_EQ(::pclose(pipe), 0) << out;
    return out;
}

// A program on a pseudo-terminal: the test reads its screen and types on its keyboard.
class TerminalSession {
public:
    TerminalSession(const fs::path& program, const std::vector<std::string>& arguments) {
        std::vector<std::string> args = {program.string()};
        args.insert(args.end(), arguments.begin(), arguments.end());
        std::vector<std::string> env;
        for (char** e = environ; *e != nullptr; ++e)
            if (std::string_view(*e).rfind("QM_", 0) != 0) env.emplace_back(*e);
        pid_ = ::forkpty(&master_, nullptr, nullptr, nullptr);
        if (pid_ == 0) {
            std::vector<char*> argv, envp;
            for (std::string& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            for (std::string& e : env) envp.push_back(e.data());
            envp.push_back(nullptr);
            if (::chdir(program.parent_path().c_str()) == 0) ::execve(argv[0], argv.data(), envp.data());
            ::_exit(127);
        }
    }
    ~TerminalSession() {
        if (master_ >= 0) ::close(master_);
        if (pid_ > 0) ::waitpid(pid_, nullptr, 0);
    }
    bool Started() const { return pid_ > 0; }
    // Waits, with a generous limit, until the screen shows the text after what was waited for
    // before (line ends as "\n").
    bool WaitFor(const std::string& text) {
        auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        for (;;) {
            std::size_t at = screen_.find(text, mark_);
            if (at != std::string::npos) {
                mark_ = at + text.size();
                return true;
            }
            if (std::chrono::steady_clock::now() > until || !ReadSome()) return false;
        }
    }
    void Type(const std::string& keys) { EXPECT_EQ(::write(master_, keys.data(), keys.size()), static_cast<ssize_t>(keys.size())); }
    // The exit code, once the program ended; the screen then holds all it showed.
    int ExitCode() {
        while (ReadSome()) {
        }
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    const std::string& Screen() const { return screen_; }
    // What the screen showed after the text last waited for.
    std::string SinceLastWait() const { return screen_.substr(mark_); }
    // Whether the terminal echoes what is typed, and setting it as a password prompt does.
    bool Echoes() const {
        termios modes{};
        return ::tcgetattr(master_, &modes) == 0 && (modes.c_lflag & ECHO) != 0;
    }
    void SetEcho(bool on) {
        termios modes{};
        ASSERT_EQ(::tcgetattr(master_, &modes), 0);
        if (on)
            modes.c_lflag |= ECHO;
        else
            modes.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        ASSERT_EQ(::tcsetattr(master_, TCSANOW, &modes), 0);
    }

private:
    bool ReadSome() {
        pollfd p{master_, POLLIN, 0};
        if (::poll(&p, 1, 1000) < 0) return false;
        if ((p.revents & (POLLIN | POLLHUP)) == 0) return true;
        char buf[4096];
        ssize_t n = ::read(master_, buf, sizeof buf);
        if (n <= 0) return false;  // the program closed the terminal
        for (ssize_t i = 0; i < n; ++i)
            if (buf[i] != '\r') screen_ += buf[i];
        return true;
    }

    pid_t pid_ = -1;
    int master_ = -1;
    std::string screen_;
    std::size_t mark_ = 0;
};

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

    EXPECT_NE(first.find("\nAsset tag of the inventory: none (\"/AT\" asks for one until one is stored)\n"), std::string::npos)
        << first;

    // A name on the machine's drive never acts on the terminal the summary is printed on.
    { std::ofstream(machine / kAgentFolder / "Trans" / "note\x1b[2J.txt") << "x"; }
    // The asset tag the identification file holds is the one the run used.
    std::size_t section = chkId.find("[Identification]\r\n");
    ASSERT_NE(section, std::string::npos) << chkId;
    chkId.insert(section + 18, "AssetTag#=QM-7\x1b[2J\r\n");
    { std::ofstream(machine / "drive_c/WINDOWS/Chk_ID", std::ios::binary) << chkId; }
    std::string second = RunInstalled(machine);
    EXPECT_NE(second.find("\nAsset tag of the inventory: QM-7?[2J\n"), std::string::npos) << second;
    EXPECT_NE(second.find("Archives: 3, 1 of them made or delivered in this run"), std::string::npos) << second;
    EXPECT_NE(second.find("\\Trans\\note?[2J.txt  [other file]"), std::string::npos) << second;
    EXPECT_EQ(second.find('\x1b'), std::string::npos) << second;

    fs::remove_all(machine);
    InstallSample(machine);
    std::string third = RunInstalled(machine);
    EXPECT_NE(third.find("Archives: 1, 1 of them made or delivered in this run"), std::string::npos) << third;
    EXPECT_EQ(FilesIn(machine / kAgentFolder / "Trans"), 1u);
}

// The summary's way to a fresh machine is the command that makes this sample machine again,
// and its way to the inventory the front-end's command for that machine.
TEST(InstalledAgent, TheSummaryNamesTheCommandThatMakesTheMachineAnew) {
    qm::test::TempFolder temp("qm-anew");
    fs::path machine = fs::path(temp.Path()) / "machine";
    InstallSample(machine);
    struct Case {
        const char* variables;
        const char* anew;
        const char* report;
    };
    const Case cases[] = {
        {"env -u QM_SAMPLE", "; ./run.sh makes it anew:\n", "cd build/bin && ./qnlonline.exe "},
        {"QM_SAMPLE=xp-workstation", "; ./run.sh makes it anew:\n", "cd build/bin && ./qnlonline.exe "},
        {"QM_SAMPLE=win98-desktop", "; QM_SAMPLE=win98-desktop ./run.sh makes it anew:\n",
         "cd build/bin && QM_MACHINE=machine-98 ./qnlonline.exe "},
    };
    for (const Case& c : cases) {
        std::string out = RunInstalled(machine, c.variables);
        EXPECT_NE(out.find(std::string("To start afresh, delete the machine folder") + c.anew), std::string::npos) << out;
        EXPECT_NE(out.find(std::string("The inventory is read in the report, which the front-end makes from a new online "
                                       "run:\n    ") +
                           c.report),
                  std::string::npos)
            << out;
    }
}

// On a terminal the windows wait for the user: the asset-tag dialog asks for the tag, the end
// message waits for OK, and what was typed is what the machine keeps.
TEST(InstalledAgent, OnATerminalTheDialogsAskTheUser) {
    qm::test::TempFolder temp("qm-terminal");
    fs::path machine = fs::path(temp.Path()) / "machine";
    InstallSample(machine);
    TerminalSession session(machine / kAgentFolder / "qmagent.exe", {"/DLG", "/AT"});
    ASSERT_TRUE(session.Started());
    ASSERT_TRUE(session.WaitFor("== Please enter asset tag # ==\nCancel: no asset tag is stored, and the inventory runs on "
                                "without one.\nAsset Tag #: "))
        << session.Screen();
    session.Type("TAG-0042\n");
    ASSERT_TRUE(session.WaitFor("[ OK ]  Cancel ? ")) << session.Screen();
    session.Type("\n");
    ASSERT_TRUE(session.WaitFor("Inventory currently executing. Please wait...\n")) << session.Screen();
    ASSERT_TRUE(session.WaitFor("== Inventory ==\nYour inventory report will reach you within a few minutes.\n[ OK ] "))
        << session.Screen();
    session.Type("\n");
    EXPECT_EQ(session.ExitCode(), 0) << session.Screen();
    // The wait dialog's progress line is not drawn again after the end message box: the
    // terminal is left with nothing of it.
    EXPECT_EQ(session.SinceLastWait().find("\xe2\x96\x84"), std::string::npos) << session.Screen();
    std::string chkId = qm::test::ReadHostFile((machine / "drive_c/WINDOWS/Chk_ID").string()).value_or("");
    EXPECT_NE(chkId.find("AssetTag#=TAG-0042\r\n"), std::string::npos) << chkId;
    std::string journal = qm::test::ReadHostFile((machine / "windows.log").string()).value_or("");
    EXPECT_NE(journal.find("qmagent.exe: asset tag \"Please enter asset tag #\"\n    Asset Tag # -> OK: TAG-0042\n"),
              std::string::npos)
        << journal;
}

// A run stopped by Ctrl-C while a prompt has the echo off gives the terminal back as it was.
TEST(InstalledAgent, AnInterruptedRunGivesTheTerminalBackWithItsEcho) {
    qm::test::TempFolder temp("qm-interrupt");
    fs::path machine = fs::path(temp.Path()) / "machine";
    InstallSample(machine);
    TerminalSession session("/usr/bin/python3", {std::string(QM_SOURCE_DIR) + "/tools/run_agent.py", machine.string(),
                                                 "C:\\Program Files\\Quarmelin\\", "/DLG", "/AT"});
    ASSERT_TRUE(session.Started());
    ASSERT_TRUE(session.WaitFor("Asset Tag #: ")) << session.Screen();
    session.SetEcho(false);
    session.Type("\x03");
    EXPECT_EQ(session.ExitCode(), 130) << session.Screen();
    EXPECT_NE(session.Screen().find("The run was interrupted."), std::string::npos) << session.Screen();
    EXPECT_TRUE(session.Echoes());
}
