#include "delivery/smtp_delivery.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

#include "core/error_list.h"
#include "core/identification.h"
#include "core/process_state.h"
#include "core/profile_files.h"
#include "core/settings.h"
#include "core/trace_log.h"
#include "delivery/connection_dialog.h"
#include "delivery/ftp_delivery.h"
#include "delivery/net_session.h"
#include "delivery/scrambling.h"
#include "platform/ini_image.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "platform/winpath.h"

namespace qm::delivery {

using namespace qm::platform;
using core::LogError;
using core::ReadProfileString;
using core::State;
using core::WriteLog;

namespace {

constexpr int kSendDebugPublicRepeats = 5;

// The values every attempt connects with.
struct SmtpValues {
    std::string host;
    int port = 0;
    std::string user;
    std::string password;
    std::string returnAddress;
};

// An address goes between the angle brackets of "MAIL FROM" and "RCPT TO": a bracket or a
// blank in it would close them and add parameters of the settings' making.
std::string AddressRefusalOf(std::string_view address) {
    if (std::string why = RefusalOf(address); !why.empty()) return why;
    if (address.find_first_of("<> ") != std::string_view::npos) return "is not a bare mail address";
    return std::string();
}

// Whether the values can go into commands and headers; the first refusal is logged.
bool Usable(const SmtpValues& v, const char* which) {
    const std::pair<const char*, const std::string*> values[] = {
        {"host", &v.host}, {"user", &v.user}, {"password", &v.password}, {"return address", &v.returnAddress}};
    for (const auto& [name, value] : values) {
        const std::string why = value == &v.returnAddress ? AddressRefusalOf(*value) : RefusalOf(*value);
        if (!why.empty()) {
            ReportUnusable(std::string(which) + " SMTP unusable : the " + name + " " + why);
            return false;
        }
    }
    if (!IsTcpPort(v.port)) {
        ReportUnusable(std::string(which) + " SMTP unusable : the port is not a port from 1 to 65535");
        return false;
    }
    return true;
}

// The characters of a text in the ANSI code page, each as its bytes: an encoded word must hold
// whole characters. Bytes the code page cannot read stand for one character each.
std::vector<std::string> CharactersOf(std::string_view text) {
    platform::CodePageService& cp = platform::CodePage();
    const std::u16string wide = cp.MultiByteToWideChar(text);
    std::vector<std::string> characters;
    std::string joined;
    for (std::size_t i = 0; i < wide.size(); ++i) {
        const bool pair = wide[i] >= 0xD800 && wide[i] < 0xDC00 && i + 1 < wide.size();
        characters.push_back(cp.WideCharToMultiByte(std::u16string_view(wide).substr(i, pair ? 2 : 1)));
        joined += characters.back();
        if (pair) ++i;
    }
    if (joined != text) {
        characters.clear();
        for (char c : text) characters.emplace_back(1, c);
    }
    return characters;
}

// A character as it may stand in an encoded word of a display name: letters, digits and a few
// signs as they are, a blank as "_", every other byte in hexadecimal.
std::string QEncoded(std::string_view character) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (char c : character) {
        const auto b = static_cast<unsigned char>(c);
        if ((b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') ||
            std::string_view("!*+-/").find(c) != std::string_view::npos)
            out += c;
        else if (c == ' ')
            out += '_';
        else
            out += {'=', kHex[b >> 4], kHex[b & 15]};
    }
    return out;
}

// The name as encoded words of at most 75 characters, each further one on a folded line.
std::string EncodedWords(std::string_view name, const std::string& charset) {
    constexpr std::size_t kWordLimit = 75;
    const std::string open = "=?" + charset + "?q?";
    const std::string close = "?=";
    std::string words;
    std::string word;
    auto flush = [&] {
        if (word.empty()) return;
        words += (words.empty() ? "" : "\r\n ") + open + word + close;
        word.clear();
    };
    for (const std::string& character : CharactersOf(name)) {
        const std::string encoded = QEncoded(character);
        if (open.size() + word.size() + encoded.size() + close.size() > kWordLimit) flush();
        word += encoded;
    }
    flush();
    return words;
}

std::string Charset() { return "windows-" + std::to_string(CodePage().GetACP()); }

// The name the agent greets with: the computer name, as far as a host name may hold it.
std::string GreetingName() {
    std::string name;
    for (char c : core::GetLocalComputerName())
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.') name += c;
    return name.empty() ? std::string("localhost") : name;
}

// "YYYYMMDDHHNNSSZZZ" of the local time.
std::string LocalStamp() {
    const SYSTEMTIME t = Clock().GetLocalTime();
    char text[24];
    std::snprintf(text, sizeof text, "%04u%02u%02u%02u%02u%02u%03u", unsigned(t.wYear) % 10000u, unsigned(t.wMonth) % 100u,
                  unsigned(t.wDay) % 100u, unsigned(t.wHour) % 100u, unsigned(t.wMinute) % 100u,
                  unsigned(t.wSecond) % 100u, unsigned(t.wMilliseconds) % 1000u);
    return text;
}

std::int64_t NowMs() {
    constexpr std::uint64_t kUnixEpochIn1601 = 116444736000000000ull;  // 100 ns since 1601
    const std::uint64_t ticks = Clock().GetSystemTimeAsFileTime().ticks;
    return static_cast<std::int64_t>(ticks > kUnixEpochIn1601 ? (ticks - kUnixEpochIn1601) / 10000 : 0);
}

// Unique for the machine: the time, a number counted through the process, the machine.
std::string MessageId() {
    std::string id;
    for (char c : State().machineId)
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) id += c;
    if (id.empty()) id = "qmagent";
    return "<" + LocalStamp() + "." + std::to_string(++State().mailsBuilt) + "." + id + "@" + GreetingName() + ">";
}

// Sends the mail with its date and identifier of the moment.
void Send(TKBNMSMTP& client, AgentMail& mail) {
    mail.dateMs = NowMs();
    mail.messageId = MessageId();
    client.Send(mail);
}

// Adds the archive to the message: its path as a body line and its bytes as an attachment.
// False, with the reason in the error list, when it cannot be read.
bool Attach(AgentMail& mail, const std::string& archive) {
    MailAttachment a{archive, FileNameOf(archive), {}};
    if (!ReadWholeFile(Files(), archive, a.bytes)) {
        ReportUnusable("Attach failed : " + archive + " (error " + std::to_string(GetLastError()) + ")");
        return false;
    }
    mail.body.push_back(archive);
    mail.attachments.push_back(std::move(a));
    return true;
}

}  // namespace

std::string MailboxHeader(const MailAddress& mailbox, const std::string& charset) {
    // Nothing of the name may end the header's line.
    const std::string name = platform::BlankControlCharacters(mailbox.name);
    const std::string address = "<" + mailbox.address + ">";
    if (name.empty()) return address;
    const bool beyondAscii =
        std::any_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
    if (beyondAscii) return EncodedWords(name, charset) + " " + address;
    std::string quoted = "\"";
    for (char c : name) {
        if (c == '"' || c == '\\') quoted += '\\';
        quoted += c;
    }
    return quoted + "\" " + address;
}

bool SendBySmtp(DeliveryContext& context) {
    WriteLog("enterSendBySmtp");
    bool result = false;
    EnteredProxy proxy;
    core::RunFlags& flags = State().flags;
    const std::string& file = context.settingsFile;

    std::string raw[8];
    for (int i = 1; i <= 7; ++i) {
        const std::string key = "S" + std::to_string(i);
        raw[i] = ReadProfileString(file, "S", key, "");
        WriteLog("S," + key + "=" + raw[i]);
    }
    auto decode = [&](int i) { return DecodeSetting(raw[i], kSettingsKey); };

    SmtpValues current;
    std::string authPassword;
    if (core::ProfileValueExists(file, "S", "S1")) {
        current.host = decode(1);
        decode(2);
        int port = 0;
        if (!ParseWholeInteger(decode(3), port)) {
            context.smtpPublicDisabled = true;
        } else {
            current.port = port;
            current.user = decode(4);
            current.returnAddress = decode(5);
            current.password = authPassword = decode(7);
            if (!Usable(current, "Public")) context.smtpPublicDisabled = true;
        }
    } else {
        context.smtpPublicDisabled = true;
    }

    MailAddress recipient;
    if (core::ProfileValueExists(file, "S", "S6")) {
        const std::string decoded = decode(6);
        recipient = ParseMailAddress(decoded);
        std::string why = RefusalOf(decoded);
        if (why.empty()) why = AddressRefusalOf(recipient.address);
        if (!why.empty()) {
            ReportUnusable("SMTP disabled : the recipient " + why);
            flags.smtpOff = true;
        } else if (recipient.address.empty()) {
            // Like a missing one: this agent delivers by other ways.
            flags.smtpOff = true;
        } else {
            State().smtpRecipient = decoded;
        }
    } else {
        flags.smtpOff = true;
    }
    // The subject carries the customer code and the site.
    for (const std::string* code : {&context.customerCode, &context.siteCode}) {
        if (std::string why = RefusalOf(*code); !why.empty() && !flags.smtpOff) {
            ReportUnusable("SMTP disabled : the customer code or site " + why);
            flags.smtpOff = true;
        }
    }

    TKBNMSMTP client(authPassword.empty() ? TKBNMSMTP::Authentication::None : TKBNMSMTP::Authentication::Login);
    client.HeloName = GreetingName();
    auto attempt = [&](const char* failure) {
        try {
            client.Connect();
        } catch (const std::exception& e) {
            LogError(std::string(failure) + ErrorMessage(e));
        }
    };
    auto setValues = [&] {
        client.Host = current.host;
        client.Port = current.port;
        client.Username = current.user;
        client.Password = current.password;
    };

    WriteLog("TryToConnectwithITparam");
    int publicRepeats = 0;
    while (!client.Connected()) {
        if (!flags.smtp) {
            setValues();
            // The values may be the dialog's by now: they are checked again before they are used.
            if (!context.smtpPublicDisabled && !flags.smtpOff && Usable(current, "Public"))
                attempt("Public SMTP FAILED : ");
        }
        if (client.Connected()) continue;
        if (flags.sendDebug && !flags.smtp && publicRepeats < kSendDebugPublicRepeats) {
            ++publicRepeats;
            continue;
        }
        publicRepeats = 0;
        WriteLog("ConnectwithITparamfailed");
        const char* keys[] = {"HOST", "USERID", "PORT", "RETURN"};
        for (const char* key : keys)
            WriteLog(std::string("SMTP Connection,") + key + "=" + ReadProfileString(file, "SMTP Connection", key, ""));
        current.host = ReadProfileString(file, "SMTP Connection", "HOST", current.host);
        current.user = ReadProfileString(file, "SMTP Connection", "USERID", current.user);
        current.port = core::ReadProfileInteger(file, "SMTP Connection", "PORT", current.port);
        current.returnAddress = ReadProfileString(file, "SMTP Connection", "RETURN", current.returnAddress);
        current.password = ScrambleString(ReadProfileString(file, "SMTP Connection", "ICF", ""), kByteXorKey);
        if (!flags.smtp) {
            WriteLog("TryToConnectWithINIparam");
            setValues();
            if (!context.smtpPrivateDisabled && !flags.smtpOff && Usable(current, "Private"))
                attempt("Private SMTP FAILED : ");
        }
        if (client.Connected()) {
            if (proxy.entered && SendFTPFile(context)) return true;
            continue;
        }
        if (flags.hide) return false;
        const bool ok = AskConnectionSettings(file, current.host, current.user, current.password,
                                              current.returnAddress, current.port, proxy);
        if (proxy.entered) {
            context.proxyHost = proxy.host;
            context.proxyPort = proxy.port;
        }
        // With SMTP off no attempt can follow: the dialog served to enter a proxy.
        if (!ok || flags.smtp || flags.smtpOff) return false;
    }

    WriteLog("ConnectedBySmtp");
    AgentMail mail;
    mail.from = current.returnAddress;
    const std::string subject = "#" + context.customerCode + "#" + context.siteCode;
    mail.subject = subject;
    mail.recipients = {recipient};
    mail.charset = Charset();
    bool messageFreed = false;
    auto freeMessage = [&] {
        if (messageFreed) return;
        messageFreed = true;
        WriteLog("Free SNMP");
        client.Disconnect();
        WriteLog("After Free SNMP");
    };

    if (flags.sendDebug) {
        mail.subject = "Test:" + LocalStamp() + ":" + context.customerCode;
        try {
            Send(client, mail);
            client.FSent = true;
        } catch (const std::exception&) {
            client.FSent = false;
        }
        mail.subject = subject;
        mail.recipients.push_back(MailAddress{kSupportAddress, ""});
    }
    // Only the archives' own message counts as delivery.
    client.FSent = false;

    const bool perArchive = context.maxFiles >= 10;
    for (const std::string& archive : context.archives) {
        if (FileExists(Files(), archive)) {
            WriteLog("Attach : " + archive + ",size : " + std::to_string(core::GetFileSizeByName(archive)));
            Attach(mail, archive);
        }
        if (!perArchive || mail.attachments.empty()) continue;
        WriteLog("Try to send");
        try {
            Send(client, mail);
        } catch (const std::exception& e) {
            WriteLog("Send by SMTP failed:" + ErrorMessage(e));
            LogError("Message not Sent:" + ErrorMessage(e));
            LogError("Message not Sent");
            WriteLog("Send by SMTP failed");
            freeMessage();
            return false;
        }
        MarkFileSent(archive);
        mail.body.clear();
        mail.attachments.clear();
        result = true;
    }
    WriteLog("End Attach");
    WriteLog("before arrange");
    WriteLog("after arrange");
    WriteLog("before count");
    if (mail.attachments.empty()) {
        freeMessage();
        return result;
    }
    WriteLog("After count");
    WriteLog("Try to send");
    WriteLog("Before send");
    try {
        Send(client, mail);
        WriteLog("After send");
        client.FSent = true;
        WriteLog("affect Success");
    } catch (const std::exception& e) {
        WriteLog("Send by SMTP failed:" + ErrorMessage(e));
        LogError("Message not Sent:" + ErrorMessage(e));
    }
    WriteLog("Get Result");
    result = client.FSent;
    freeMessage();
    if (result) {
        WriteLog("Sent by SMTP");
        // Only what travelled in the message is delivered: an archive that could not be read
        // waits for the next delivery.
        for (const MailAttachment& a : mail.attachments) MarkFileSent(a.path);
    } else {
        LogError("Message not Sent");
        WriteLog("Sending by SMTP failed");
    }
    return result;
}

}  // namespace qm::delivery
