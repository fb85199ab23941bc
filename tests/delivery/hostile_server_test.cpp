// Servers that answer what no server should: replies that never end, replies that stop halfway,
// and replies that carry control characters. Each is a small scripted server on 127.0.0.1 of
// this test's own; the clients must give up with an error, never hang or grow without end.

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <thread>

#include "delivery/ftp_delivery.h"
#include "delivery/net_session.h"
#include "delivery/smtp_delivery.h"
#include "support/reply_time.h"

using namespace qm::delivery;

namespace {

// Accepts one connection, writes the opening bytes, then the repeated bytes for as long as the
// client reads them (none: it closes at once), then closes; or, when silent, writes nothing more
// and keeps the connection open until the client leaves.
class ScriptedServer {
public:
    ScriptedServer(std::string opening, std::string repeated, bool silent = false)
        : opening_(std::move(opening)), repeated_(std::move(repeated)), silent_(silent) {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        if (listener_ < 0) throw std::runtime_error("socket");
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = 0;
        socklen_t len = sizeof a;
        if (::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(listener_, 1) != 0 ||
            ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len) != 0)
            throw std::runtime_error("bind");
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }
    ~ScriptedServer() {
        ::shutdown(listener_, SHUT_RDWR);
        thread_.join();
        ::close(listener_);
    }
    int Port() const { return port_; }
    // The bytes the client sent before the connection ended.
    std::string Received() {
        thread_.join();
        thread_ = std::thread([] {});
        return received_;
    }

private:
    void Serve() {
        const int c = ::accept(listener_, nullptr, nullptr);
        if (c < 0) return;
        bool open = Write(c, opening_);
        while (open && !repeated_.empty()) open = Write(c, repeated_);
        if (!silent_) ::shutdown(c, SHUT_WR);
        char buffer[4096];
        for (ssize_t n; (n = ::recv(c, buffer, sizeof buffer, 0)) > 0;) received_.append(buffer, static_cast<std::size_t>(n));
        ::close(c);
    }
    static bool Write(int c, const std::string& bytes) {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::send(c, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
            if (n <= 0) return false;
            done += static_cast<std::size_t>(n);
        }
        return true;
    }

    std::string opening_;
    std::string repeated_;
    bool silent_ = false;
    int listener_ = -1;
    int port_ = 0;
    std::string received_;
    std::thread thread_;
};

struct HostileReply {
    const char* what;
    std::string opening;
    std::string repeated;
};

const HostileReply kReplies[] = {
    {"a continued reply that the server leaves halfway", "220-Welcome\r\n", ""},
    {"a continued reply that never ends", "220-Welcome\r\n", "220-and more of it\r\n"},
    {"continuation lines without a code that never end", "220-Welcome\r\n", "more\r\n"},
    {"a line that never ends", "220 ", std::string(8192, 'x')},
    {"a reply with no code", "Welcome\r\n", ""},
    {"a reply with a code beyond the protocol", "999 Welcome\r\n", ""},
    {"nothing at all", "", ""},
};

// The message as the logs would show it holds no byte that could start a line of its own.
void ExpectPrintable(const std::string& message) {
    for (char ch : message) EXPECT_GE(static_cast<unsigned char>(ch), 0x20) << message;
}

}  // namespace

TEST(HostileServer, FtpGivesUpOnEveryBrokenGreeting) {
    for (const HostileReply& r : kReplies) {
        SCOPED_TRACE(r.what);
        ScriptedServer server(r.opening, r.repeated);
        TKBNMFTP client;
        try {
            client.Connect("127.0.0.1", server.Port(), "agent", "secret");
            ADD_FAILURE() << "connected";
        } catch (const std::exception& e) {
            ExpectPrintable(ErrorMessage(e));
        }
        EXPECT_FALSE(client.FConnected);
        EXPECT_EQ(server.Received().find("USER"), std::string::npos);
    }
}

TEST(HostileServer, SmtpGivesUpOnEveryBrokenGreeting) {
    for (const HostileReply& r : kReplies) {
        SCOPED_TRACE(r.what);
        ScriptedServer server(r.opening, r.repeated);
        TKBNMSMTP client(TKBNMSMTP::Authentication::None);
        client.Host = "127.0.0.1";
        client.Port = server.Port();
        try {
            client.Connect();
            ADD_FAILURE() << "connected";
        } catch (const std::exception& e) {
            ExpectPrintable(ErrorMessage(e));
        }
        EXPECT_FALSE(client.Connected());
        EXPECT_EQ(server.Received().find("MAIL"), std::string::npos);
    }
}

TEST(HostileServer, ControlCharactersOfARefusalNeverReachTheLogs) {
    ScriptedServer server("220 Ready\r\n530-Denied\r\n530-\x1b[2J\x07" "forged line\r\n530 \r\n", "");
    TKBNMFTP client;
    try {
        client.Connect("127.0.0.1", server.Port(), "agent", "secret");
        ADD_FAILURE() << "connected";
    } catch (const std::exception& e) {
        const std::string message = ErrorMessage(e);
        ExpectPrintable(message);
        EXPECT_NE(message.find("Denied"), std::string::npos) << message;
        EXPECT_NE(message.find("forged line"), std::string::npos) << message;
    }
}

TEST(HostileServer, AServerSilentAfterItsGreetingIsLeftWithinTheReplyTime) {
    struct Case {
        const char* what;
        std::string greeting;
        void (*connect)(int port);
        std::string command;  // the one the server leaves unanswered
    };
    const Case cases[] = {
        {"FTP", "220 Ready\r\n",
         [](int port) {
             TKBNMFTP client;
             client.Connect("127.0.0.1", port, "agent", "secret");
         },
         "USER agent\r\n"},
        {"SMTP", "220 Ready\r\n",
         [](int port) {
             TKBNMSMTP client(TKBNMSMTP::Authentication::None);
             client.Host = "127.0.0.1";
             client.Port = port;
             client.Connect();
         },
         "EHLO "},
    };
    const qm::test::ShortReplyTime replyTime(1000);
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        ScriptedServer server(k.greeting, "", true);
        try {
            k.connect(server.Port());
            ADD_FAILURE() << "connected";
        } catch (const std::exception& e) {
            EXPECT_NE(ErrorMessage(e).find("Timeout"), std::string::npos) << ErrorMessage(e);
        }
        EXPECT_EQ(server.Received().rfind(k.command, 0), 0u);
    }
}
