#pragma once
// Reads back a mail message as a server received it, for tests that check what arrived: its
// headers, its text lines and its attachments, decoded.

#include <istream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <Poco/Net/MailMessage.h>
#include <Poco/Net/MessageHeader.h>
#include <Poco/Net/NameValueCollection.h>
#include <Poco/Net/PartHandler.h>
#include <Poco/StreamCopier.h>

namespace qm::test {

// A received message taken apart: its headers, its text lines and its attachments.
struct Parsed {
    Poco::Net::NameValueCollection headers;
    std::vector<std::string> body;
    std::vector<std::pair<std::string, std::string>> attachments;  // file name, bytes
};

class MailPartCollector : public Poco::Net::PartHandler {
public:
    explicit MailPartCollector(Parsed& p) : p_(p) {}
    void handlePart(const Poco::Net::MessageHeader& header, std::istream& stream) override {
        std::string bytes;
        Poco::StreamCopier::copyToString(stream, bytes);
        std::string disposition;
        Poco::Net::NameValueCollection parameters;
        if (header.has("Content-Disposition")) {
            Poco::Net::MessageHeader::splitParameters(header.get("Content-Disposition"), disposition, parameters);
            if (disposition == "attachment") {
                p_.attachments.emplace_back(parameters.get("filename", ""), bytes);
                return;
            }
        }
        std::istringstream lines(bytes);
        for (std::string line; std::getline(lines, line);) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            p_.body.push_back(line);
        }
    }

private:
    Parsed& p_;
};

inline Parsed Parse(const std::string& content) {
    Parsed p;
    Poco::Net::MailMessage message;
    MailPartCollector collector(p);
    std::istringstream in(content);
    message.read(in, collector);
    for (const auto& [name, value] : message) p.headers.add(name, value);
    if (p.body.empty() && p.attachments.empty() && !message.getContent().empty()) p.body.push_back(message.getContent());
    return p;
}

}  // namespace qm::test
