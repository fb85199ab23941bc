#pragma once
// Delivery by SMTP mail: the archives travel as attachments, in one message or one message
// each, to the recipient of the settings' section "S", through the public mail server of that
// section or the private one of "SMTP Connection". When neither accepts the connection, the
// user is asked for connection settings.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "delivery/delivery_controller.h"

namespace Poco::Net {
class SMTPClientSession;
}

namespace qm::delivery {

// A mail address with its optional display name.
struct MailAddress {
    std::string address;
    std::string name;
};
// "Name <address>", "\"Name\" <address>" or a bare address; blanks around it removed.
MailAddress ParseMailAddress(const std::string& text);
// A mailbox as a header holds it: "<address>" after the display name, which is quoted (its
// quotes and backslashes escaped), or, with characters beyond ASCII, encoded words in the
// character set. Control characters of the name are blanks.
std::string MailboxHeader(const MailAddress& mailbox, const std::string& charset);

struct MailAttachment {
    std::string path;  // the file it was read from
    std::string name;  // the name it travels under
    std::string bytes;
};

// The message the agent sends: its headers' values, its body lines and the files it attaches.
// Texts are in the ANSI code page named by the character set.
struct AgentMail {
    std::string from;  // sender address and name, and reply-to
    std::string subject;
    std::vector<MailAddress> recipients;
    std::vector<std::string> body;
    std::vector<MailAttachment> attachments;
    std::string charset;
    std::int64_t dateMs = 0;  // milliseconds since 1970, UTC
    std::string messageId;
};

// The agent's SMTP client: one for a delivery call; the server values are set before each
// connection, the authentication chosen once.
class TKBNMSMTP {
public:
    enum class Authentication { None, Login };

    explicit TKBNMSMTP(Authentication authentication);
    ~TKBNMSMTP();
    TKBNMSMTP(const TKBNMSMTP&) = delete;
    TKBNMSMTP& operator=(const TKBNMSMTP&) = delete;

    // Connects, greets the server (EHLO, else HELO) and authenticates when asked; throws when
    // any step fails, the connection then closed again.
    void Connect();
    bool Connected() const { return session_ != nullptr; }
    // One message: RSET, MAIL FROM, RCPT TO for each recipient, DATA, the MIME message; throws
    // when the server refuses any of them.
    void Send(const AgentMail& mail);
    // QUIT; never throws.
    void Disconnect();

    std::string Host;
    int Port = 25;
    std::string HeloName = "localhost";
    std::string Username;
    std::string Password;
    bool FSent = false;

private:
    Authentication authentication_;
    std::unique_ptr<Poco::Net::SMTPClientSession> session_;
};

// The fixed second recipient of the "/SENDDEBUG" run.
inline constexpr const char* kSupportAddress = "support@quarmelin.example";

// Mails the context's archives; true when they were delivered (by mail, or by the FTP retry
// through a proxy entered in the connection dialog).
bool SendBySmtp(DeliveryContext& context);

}  // namespace qm::delivery
