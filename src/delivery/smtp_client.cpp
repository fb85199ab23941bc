#include <sstream>

#include <Poco/Net/MailMessage.h>
#include <Poco/Net/NetException.h>
#include <Poco/Net/StringPartSource.h>
#include <Poco/Net/SMTPClientSession.h>
#include <Poco/Base64Encoder.h>
#include <Poco/Timestamp.h>

#include "delivery/net_socket.h"
#include "delivery/smtp_delivery.h"

namespace qm::delivery {

namespace {

void BuildMessage(const AgentMail& mail, Poco::Net::MailMessage& m) {
    // The sender's name is its address, quoted so that its at sign stays inside it.
    m.setSender(MailboxHeader(MailAddress{mail.from, mail.from}, mail.charset));
    m.set("Reply-To", mail.from);
    m.setSubject(Poco::Net::MailMessage::encodeWord(mail.subject, mail.charset));
    m.setDate(Poco::Timestamp(static_cast<Poco::Timestamp::TimeVal>(mail.dateMs) * 1000));
    m.set("Message-ID", mail.messageId);
    // Written here, not from the message's recipients: the library would put an encoded name
    // inside quotes and leave quotes in a name unescaped. The envelope names them itself.
    std::string to;
    for (const MailAddress& r : mail.recipients) to += (to.empty() ? "" : ", ") + MailboxHeader(r, mail.charset);
    m.set("To", to);
    std::string body;
    for (const std::string& line : mail.body) body += line + "\r\n";
    const std::string textType = "text/plain; charset=" + mail.charset;
    if (mail.attachments.empty()) {
        m.setContentType(textType);
        m.setContent(body, Poco::Net::MailMessage::ENCODING_QUOTED_PRINTABLE);
        return;
    }
    m.addContent(new Poco::Net::StringPartSource(body, textType), Poco::Net::MailMessage::ENCODING_QUOTED_PRINTABLE);
    for (const MailAttachment& a : mail.attachments)
        m.addAttachment(a.name, new Poco::Net::StringPartSource(a.bytes, "application/octet-stream", a.name),
                        Poco::Net::MailMessage::ENCODING_BASE64);
}

// Sends the command; throws, naming what was refused (never a credential), unless the reply
// is accepted.
void Expect(Poco::Net::SMTPClientSession& session, const std::string& command, bool (*accepted)(int),
            const std::string& what = "") {
    std::string response;
    const int status = session.sendCommand(command, response);
    if (!accepted(status)) throw Poco::Net::SMTPException((what.empty() ? command : what) + " refused", response, status);
}
bool Completed(int status) { return status / 100 == 2; }
bool ReadyForData(int status) { return status == 354; }
bool Challenged(int status) { return status == 334; }
bool Authenticated(int status) { return status == 235; }

std::string Base64(const std::string& text) {
    std::ostringstream out;
    Poco::Base64Encoder encoder(out);
    encoder.rdbuf()->setLineLength(0);
    encoder << text;
    encoder.close();
    return out.str();
}

std::string TrimBlanks(const std::string& s) {
    const std::size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos) return std::string();
    return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

}  // namespace

MailAddress ParseMailAddress(const std::string& text) {
    const std::string t = TrimBlanks(text);
    const std::size_t open = t.rfind('<');
    const std::size_t close = open == std::string::npos ? std::string::npos : t.find('>', open);
    if (open == std::string::npos || close == std::string::npos) return MailAddress{t, ""};
    std::string name = TrimBlanks(t.substr(0, open));
    if (name.size() >= 2 && name.front() == '"' && name.back() == '"') {
        // Inside the quotes a backslash only says that the next character is the name's.
        std::string unquoted;
        for (std::size_t i = 1; i + 1 < name.size(); ++i) {
            if (name[i] == '\\' && i + 2 < name.size()) ++i;
            unquoted += name[i];
        }
        name = std::move(unquoted);
    }
    return MailAddress{TrimBlanks(t.substr(open + 1, close - open - 1)), name};
}

TKBNMSMTP::TKBNMSMTP(Authentication authentication) : authentication_(authentication) {}

TKBNMSMTP::~TKBNMSMTP() { Disconnect(); }

void TKBNMSMTP::Connect() {
    Disconnect();
    auto session = std::make_unique<Poco::Net::SMTPClientSession>(ConnectTo(Host, Port));
    session->setTimeout(ReplyTimeout());
    // The greeting, then EHLO, and HELO for a server that does not answer 250 to it.
    session->open();
    std::string response;
    if (session->sendCommand("EHLO", HeloName, response) != 250) Expect(*session, "HELO " + HeloName, Completed);
    // The server's prompts are not read: servers word them differently.
    if (authentication_ == Authentication::Login) {
        Expect(*session, "AUTH LOGIN", Challenged);
        Expect(*session, Base64(Username), Challenged, "The user name");
        Expect(*session, Base64(Password), Authenticated, "The password");
    }
    session_ = std::move(session);
}

void TKBNMSMTP::Send(const AgentMail& mail) {
    if (!session_) throw Poco::Net::SMTPException("Not connected");
    Poco::Net::MailMessage message;
    BuildMessage(mail, message);
    Expect(*session_, "RSET", Completed);
    Expect(*session_, "MAIL FROM:<" + mail.from + ">", Completed);
    for (const MailAddress& r : mail.recipients) Expect(*session_, "RCPT TO:<" + r.address + ">", Completed);
    Expect(*session_, "DATA", ReadyForData);
    std::ostringstream text;
    message.write(text);
    std::istringstream in(text.str());
    session_->sendMessage(in);
}

void TKBNMSMTP::Disconnect() {
    if (!session_) return;
    try {
        session_->close();
    } catch (...) {
        // A server that is gone already needs no goodbye.
    }
    session_.reset();
}

}  // namespace qm::delivery
