#include "support/test_servers.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

extern char** environ;

namespace qm::test {

namespace {

std::string ScriptPath(const std::string& name) { return std::string(QM_SOURCE_DIR) + "/tests/support/servers/" + name; }

// The first line the child writes, within a generous limit.
std::string ReadFirstLine(int fd) {
    std::string line;
    for (int waited = 0; waited < 60000;) {
        pollfd p{fd, POLLIN, 0};
        int ready = ::poll(&p, 1, 100);
        if (ready < 0 && errno != EINTR) break;
        if (ready <= 0) {
            waited += 100;
            continue;
        }
        char c = 0;
        ssize_t n = ::read(fd, &c, 1);
        if (n <= 0) break;
        if (c == '\n') return line;
        line += c;
    }
    return line;
}

}  // namespace

ServerProcess::ServerProcess(const std::string& script, const std::vector<std::string>& arguments,
                             const std::string& errorFile) {
    int out[2];
    if (::pipe(out) != 0) throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    // Not the test's own error output: a server holding it would keep the test runner waiting.
    posix_spawn_file_actions_addopen(&actions, 2, errorFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    posix_spawn_file_actions_addclose(&actions, out[1]);
    // -B: the servers' shared module is imported from the source tree, which keeps no byte code.
    std::vector<std::string> args{"/usr/bin/python3", "-B", ScriptPath(script)};
    args.insert(args.end(), arguments.begin(), arguments.end());
    args.insert(args.end(), {"--parent", std::to_string(::getpid())});
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const int spawned = ::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (spawned != 0) {
        ::close(out[0]);
        pid_ = -1;
        throw std::runtime_error("cannot start " + script + ": " + std::strerror(spawned));
    }
    const std::string line = ReadFirstLine(out[0]);
    ::close(out[0]);
    try {
        port_ = std::stoi(line);
    } catch (const std::exception&) {
        port_ = 0;
    }
    if (port_ <= 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
        throw std::runtime_error(script + " gave no port (got \"" + line + "\")");
    }
}

ServerProcess::~ServerProcess() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    int status = 0;
    for (int waited = 0; waited < 5000; waited += 10) {
        if (::waitpid(pid_, &status, WNOHANG) == pid_) return;
        ::usleep(10000);
    }
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, &status, 0);
}

int UnusedPort() {
    int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = 0;
    socklen_t len = sizeof a;
    int port = 0;
    if (::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) == 0)
        port = ntohs(a.sin_port);
    ::close(s);
    return port;
}

std::vector<std::string> HostFileLines(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream in(path, std::ios::binary);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

namespace {

std::vector<std::string> FtpArguments(const FtpServerOptions& o, const std::string& root, const std::string& log) {
    for (const std::string& folder : o.folders) ::mkdir((root + "/" + folder).c_str(), 0755);
    std::vector<std::string> args{"--root", root, "--log", log};
    for (const auto& [user, password] : o.accounts) args.insert(args.end(), {"--account", user + ":" + password});
    if (o.failStor > 0) args.insert(args.end(), {"--fail-stor", std::to_string(o.failStor)});
    if (o.dropAfterStor > 0) args.insert(args.end(), {"--drop-after-stor", std::to_string(o.dropAfterStor)});
    if (!o.sizeReply.empty()) args.insert(args.end(), {"--size-reply", o.sizeReply});
    if (o.slowReadSeconds > 0) args.insert(args.end(), {"--slow-read", std::to_string(o.slowReadSeconds)});
    if (o.cutStore > 0) args.insert(args.end(), {"--cut-store", std::to_string(o.cutStore)});
    return args;
}

std::vector<std::string> SmtpArguments(const SmtpServerOptions& o, const std::string& out, const std::string& log) {
    std::vector<std::string> args{"--out", out, "--log", log};
    if (!o.user.empty()) args.insert(args.end(), {"--user", o.user, "--password", o.password});
    for (const std::string& r : o.refusedRecipients) args.insert(args.end(), {"--refuse-rcpt", r});
    if (o.refuseData) args.push_back("--refuse-data");
    if (o.refuseEhlo) args.push_back("--refuse-ehlo");
    return args;
}

}  // namespace

FtpTestServer::FtpTestServer(const FtpServerOptions& options)
    : root_("qm-ftp-root"), logFolder_("qm-ftp-log"),
      process_("ftp_server.py", FtpArguments(options, root_.Path(), logFolder_.Path() + "/commands.log"),
               logFolder_.Path() + "/errors.log") {}

std::vector<std::string> FtpTestServer::Commands() const { return HostFileLines(logFolder_.Path() + "/commands.log"); }

std::optional<std::string> FtpTestServer::Stored(const std::string& relativePath) const {
    return ReadHostFile(root_.Path() + "/" + relativePath);
}

std::vector<std::string> FtpTestServer::StoredNames(const std::string& relativeFolder) const {
    std::vector<std::string> names;
    if (DIR* d = ::opendir((root_.Path() + "/" + relativeFolder).c_str())) {
        while (dirent* e = ::readdir(d))
            if (e->d_type == DT_REG) names.push_back(e->d_name);
        ::closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

SmtpTestServer::SmtpTestServer(const SmtpServerOptions& options)
    : out_("qm-smtp-out"), logFolder_("qm-smtp-log"),
      process_("smtp_server.py", SmtpArguments(options, out_.Path(), logFolder_.Path() + "/commands.log"),
               logFolder_.Path() + "/errors.log") {}

std::vector<std::string> SmtpTestServer::Commands() const { return HostFileLines(logFolder_.Path() + "/commands.log"); }

std::vector<ReceivedMail> SmtpTestServer::Mails() const {
    std::vector<ReceivedMail> mails;
    for (int n = 1;; ++n) {
        const std::string base = out_.Path() + "/" + std::to_string(n);
        std::optional<std::string> content = ReadHostFile(base + ".eml");
        std::optional<std::string> envelope = ReadHostFile(base + ".json");
        if (!content || !envelope) break;
        nlohmann::json j = nlohmann::json::parse(*envelope);
        ReceivedMail mail{j.at("from").get<std::string>(), j.at("to").get<std::vector<std::string>>(), *content};
        mails.push_back(std::move(mail));
    }
    return mails;
}

}  // namespace qm::test
