#include "platform/sim/sim_processes.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "platform/platform.h"
#include "platform/sim/host_files.h"
#include "platform/text.h"
#include "platform/winpath.h"

extern char** environ;

namespace qm::sim {

using namespace qm::platform;

namespace {

bool IsHostExecutable(const std::string& host) {
    struct stat st {};
    return ::stat(host.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(host.c_str(), X_OK) == 0;
}

std::string Quoted(const std::string& p) { return p.find(' ') == std::string::npos ? p : "\"" + p + "\""; }

class SimProcess final : public Process {
public:
    SimProcess(MachineState& state, pid_t pid) : state_(state), pid_(pid) {}

    bool GetExitCodeProcess(DWORD& exitCode) override {
        std::optional<int> status = state_.ChildExitStatus(pid_);
        exitCode = status ? ExitCodeOf(*status) : STILL_ACTIVE;
        return true;
    }

    DWORD WaitForSingleObject(DWORD milliseconds) override {
        // Wakes as the process ends.
        for (;;) {
            auto limit = std::chrono::milliseconds(milliseconds == INFINITE ? 3600000 : milliseconds);
            if (state_.WaitForChildren(pid_, limit)) return WAIT_OBJECT_0;
            if (milliseconds != INFINITE) return WAIT_TIMEOUT;
        }
    }

private:
    static DWORD ExitCodeOf(int status) {
        return WIFEXITED(status) ? static_cast<DWORD>(WEXITSTATUS(status)) : 0xC0000005u;
    }

    MachineState& state_;
    pid_t pid_;
};

}  // namespace

class SimMutex final : public MutexHandle {
public:
    SimMutex(SimProcesses& owner, std::string name, int fd) : owner_(owner), name_(std::move(name)), fd_(fd) {}
    ~SimMutex() override {
        if (fd_ >= 0) ::close(fd_);  // closing the lock file releases the name for other processes
        owner_.ReleaseName(name_);
    }

private:
    SimProcesses& owner_;
    std::string name_;
    int fd_;
};

SimProcesses::SimProcesses(MachineState& state) : state_(state) {}

void SimProcesses::SetHostArguments(std::vector<std::string> argv) {
    std::lock_guard lock(mutex_);
    hostArguments_ = std::move(argv);
}

std::vector<StartedProcess> SimProcesses::Started() const {
    std::lock_guard lock(mutex_);
    return started_;
}

std::string SimProcesses::GetModuleFileName() {
    if (const char* program = std::getenv("QM_PROGRAM"); program != nullptr && *program) return program;
    std::string self;
    {
        std::lock_guard lock(mutex_);
        if (!hostArguments_.empty()) self = hostArguments_[0];
    }
    std::string exe = HostProgramFile();
    return state_.WindowsPathOfHost(exe.empty() ? self : exe);
}

std::string SimProcesses::GetCommandLine() {
    if (const char* line = std::getenv("QM_COMMAND_LINE"); line != nullptr && *line) return line;
    std::string line = Quoted(GetModuleFileName());
    std::lock_guard lock(mutex_);
    for (std::size_t i = 1; i < hostArguments_.size(); ++i) line += " " + Quoted(hostArguments_[i]);
    return line;
}

std::unique_ptr<Process> SimProcesses::CreateProcess(std::string_view commandLine, WORD showWindow,
                                                     DWORD creationFlags) {
    std::vector<std::string> parameters = SplitCommandLine(commandLine);
    if (parameters.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    // The program as Windows finds it: the path given, or with ".exe" added.
    std::string program = parameters[0];
    ResolvedPath p = state_.Resolve(program);
    if ((p.error != ERROR_SUCCESS || !p.exists) && ExtensionOf(program).empty()) {
        ResolvedPath withExe = state_.Resolve(program + ".exe");
        if (withExe.error == ERROR_SUCCESS && withExe.exists) p = withExe;
    }
    if (state_.Fails("CreateProcess", p.windowsPath, false)) return nullptr;
    std::string upper = state_.CodePage().Upper(p.windowsPath);
    std::string host;
    for (const auto& [path, standIn] : state_.Config().programs)
        if (path == upper) host = standIn.front() == '/' ? standIn : HostFolderOf(HostProgramFile()) + "/" + standIn;
    if (host.empty()) {
        if (p.error != ERROR_SUCCESS || !p.exists) {
            SetLastError(p.error != ERROR_SUCCESS ? p.error : ERROR_FILE_NOT_FOUND);
            return nullptr;
        }
        if (!IsHostExecutable(p.host)) {
            SetLastError(ERROR_BAD_EXE_FORMAT);
            return nullptr;
        }
        host = p.host;
    } else if (!IsHostExecutable(host)) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return nullptr;
    }

    // The child runs on this machine, with the Windows command line it was given.
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        std::string_view v(*e);
        if (v.rfind("QM_MACHINE=", 0) == 0 || v.rfind("QM_PROGRAM=", 0) == 0 || v.rfind("QM_COMMAND_LINE=", 0) == 0 ||
            v.rfind("QM_CURRENT_DIRECTORY=", 0) == 0)
            continue;
        env.emplace_back(v);
    }
    env.push_back("QM_MACHINE=" + state_.Config().folder);
    env.push_back("QM_PROGRAM=" + p.windowsPath);
    env.push_back("QM_COMMAND_LINE=" + std::string(commandLine));
    env.push_back("QM_CURRENT_DIRECTORY=" + state_.CurrentDirectory());
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string arg0 = host;
    char* argv[] = {arg0.data(), nullptr};
    // A program in a console of its own does not share the terminal of the one that started
    // it: nothing it shows waits for the user there.
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    if ((creationFlags & CREATE_NEW_CONSOLE) != 0)
        ::posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    pid_t pid = 0;
    int spawned = ::posix_spawn(&pid, host.c_str(), &actions, nullptr, argv, envp.data());
    ::posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        SetLastError(ERROR_BAD_EXE_FORMAT);
        return nullptr;
    }
    {
        std::lock_guard lock(mutex_);
        started_.push_back({std::string(commandLine), p.windowsPath, showWindow, creationFlags});
    }
    state_.AddChild(pid);
    SetLastError(ERROR_SUCCESS);
    return std::make_unique<SimProcess>(state_, pid);
}

std::unique_ptr<MutexHandle> SimProcesses::CreateMutex(std::string_view name) {
    std::string n(name);
    if (state_.Fails("CreateMutex", n, false)) return nullptr;
    bool exists = false;
    int fd = -1;
    {
        std::lock_guard lock(mutex_);
        exists = heldNames_[n]++ > 0;
    }
    if (!exists && !n.empty()) {
        // Names are case-sensitive, as Windows keeps them; the lock file's name spells them in hexadecimal.
        std::string folder = state_.Config().folder + "/.locks";
        std::error_code ec;
        std::filesystem::create_directories(folder, ec);
        std::string file = folder + "/";
        for (char ch : n) {
            static const char* kHex = "0123456789abcdef";
            auto c = static_cast<unsigned char>(ch);
            file += kHex[c >> 4];
            file += kHex[c & 15];
        }
        fd = ::open(file.c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0644);
        if (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            exists = true;
            ::close(fd);
            fd = -1;
        }
    }
    SetLastError(exists ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return std::make_unique<SimMutex>(*this, n, fd);
}

void SimProcesses::ReleaseName(const std::string& name) {
    std::lock_guard lock(mutex_);
    auto it = heldNames_.find(name);
    if (it != heldNames_.end() && --it->second == 0) heldNames_.erase(it);
}

}  // namespace qm::sim
