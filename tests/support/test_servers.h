#pragma once
// Real FTP and SMTP servers for the delivery tests: Python programs on 127.0.0.1, each started
// on a free port with folders of its own and stopped by its process id at the end of the scope.

#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

#include "support/test_machine.h"

namespace qm::test {

// A program started with /usr/bin/python3 that prints its port on its first output line; its
// error output goes to the error file.
class ServerProcess {
public:
    ServerProcess(const std::string& script, const std::vector<std::string>& arguments, const std::string& errorFile);
    ~ServerProcess();
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;
    int Port() const { return port_; }

private:
    pid_t pid_ = -1;
    int port_ = 0;
};

// A port of 127.0.0.1 on which nothing listens.
int UnusedPort();

// The lines of a host file; none when it does not exist.
std::vector<std::string> HostFileLines(const std::string& path);

struct FtpServerOptions {
    std::vector<std::pair<std::string, std::string>> accounts;  // user, password
    std::vector<std::string> folders;                          // made below the root
    int failStor = 0;      // the n-th STOR of the server's life is refused
    int dropAfterStor = 0;  // the control connection closes after the n-th stored file
    std::string sizeReply = {};  // the reply line to every SIZE; none: the server's own
    double slowReadSeconds = 0;  // each upload is read a chunk every 0.2 s for this long
    int cutStore = 0;  // the first upload's data connection closes after at most this many bytes
};

class FtpTestServer {
public:
    explicit FtpTestServer(const FtpServerOptions& options);
    int Port() const { return process_.Port(); }
    const std::string& Root() const { return root_.Path(); }
    // Every command line received, in order.
    std::vector<std::string> Commands() const;
    // The bytes of a stored file, by its path below the root; none when it is missing.
    std::optional<std::string> Stored(const std::string& relativePath) const;
    // The names of the files in a folder below the root, sorted.
    std::vector<std::string> StoredNames(const std::string& relativeFolder) const;

private:
    TempFolder root_;
    TempFolder logFolder_;
    ServerProcess process_;
};

struct SmtpServerOptions {
    std::string user;  // AUTH LOGIN accepts this account; none: no account
    std::string password;
    std::vector<std::string> refusedRecipients;
    bool refuseData = false;
    bool refuseEhlo = false;
};

struct ReceivedMail {
    std::string from;
    std::vector<std::string> to;
    std::string content;  // headers and body as received
};

class SmtpTestServer {
public:
    explicit SmtpTestServer(const SmtpServerOptions& options = {});
    int Port() const { return process_.Port(); }
    std::vector<std::string> Commands() const;
    // The messages accepted so far, in order.
    std::vector<ReceivedMail> Mails() const;

private:
    TempFolder out_;
    TempFolder logFolder_;
    ServerProcess process_;
};

}  // namespace qm::test
