#include "delivery/net_session.h"
#include "delivery/net_socket.h"

#include <algorithm>

#include <Poco/Exception.h>
#include <Poco/Net/NetException.h>
#include <Poco/Net/SocketAddress.h>
#include <Poco/Net/StreamSocketImpl.h>
#include <Poco/Timestamp.h>

#include "core/error_list.h"
#include "core/trace_log.h"
#include "platform/text.h"

namespace qm::delivery {

namespace {

int replyTimeoutMilliseconds = kReplyTimeoutSeconds * 1000;

// Far more than any reply of the commands the agent sends; a server that goes on beyond it
// is not answering.
constexpr int kMaxReplyBytes = 64 * 1024;

// The control connection of a session. The network library reads a reply line by line with no
// bound on their number, and loops for ever on a continued reply cut off by the server; so
// every command sent opens a new reply that must come whole, within its size and within the
// reply time-out counted from the command, not from the last byte, so that a server
// trickling bytes ends too.
class BoundedReplySocket : public Poco::Net::StreamSocketImpl {
public:
    void StartReply() {
        received_ = 0;
        deadline_ = Poco::Timestamp() + ReplyTimeout().totalMicroseconds();
    }

    using StreamSocketImpl::connect;
    using StreamSocketImpl::receiveBytes;
    using StreamSocketImpl::sendBytes;

    // The greeting is the reply to the connection.
    void connect(const Poco::Net::SocketAddress& address, const Poco::Timespan& timeout) override {
        StreamSocketImpl::connect(address, timeout);
        StartReply();
    }

    int sendBytes(const void* buffer, int length, int flags) override {
        StartReply();
        return StreamSocketImpl::sendBytes(buffer, length, flags);
    }

    int receiveBytes(void* buffer, int length, int flags) override {
        const Poco::Timestamp::TimeDiff left = deadline_ - Poco::Timestamp();
        if (left <= 0) throw Poco::TimeoutException("No whole reply from the server in time");
        setReceiveTimeout(Poco::Timespan(std::min<Poco::Timestamp::TimeDiff>(left, ReplyTimeout().totalMicroseconds())));
        const int n = StreamSocketImpl::receiveBytes(buffer, std::min(length, kMaxReplyBytes - received_ + 1), flags);
        if (n == 0) throw Poco::Net::ConnectionResetException("The server closed the connection");
        received_ += n;
        if (received_ > kMaxReplyBytes) throw Poco::Net::NetException("The server's reply is too long");
        return n;
    }

private:
    int received_ = 0;
    Poco::Timestamp deadline_;
};

}  // namespace

Poco::Net::StreamSocket ConnectTo(const std::string& host, int port) {
    Poco::Net::StreamSocket socket(new BoundedReplySocket);
    socket.connect(Poco::Net::SocketAddress(host, static_cast<Poco::UInt16>(port)), kConnectTimeout);
    socket.setReceiveTimeout(ReplyTimeout());
    socket.setSendTimeout(ReplyTimeout());
    return socket;
}

void StartReplyTime(Poco::Net::Socket& connection) {
    if (auto* bounded = dynamic_cast<BoundedReplySocket*>(connection.impl())) bounded->StartReply();
}

int ReplyTimeoutMilliseconds() { return replyTimeoutMilliseconds; }

void SetReplyTimeoutForTests(int milliseconds) {
    replyTimeoutMilliseconds = milliseconds > 0 ? milliseconds : kReplyTimeoutSeconds * 1000;
}

std::string ErrorMessage(const std::exception& e) {
    std::string message = e.what();
    if (const auto* poco = dynamic_cast<const Poco::Exception*>(&e)) message = poco->displayText();
    // A server's reply is part of the message: its control characters would forge lines of
    // the trace log and the error list.
    for (char& ch : message)
        if (static_cast<unsigned char>(ch) < 0x20 || ch == '\x7F') ch = ' ';
    return message;
}

bool IsTcpPort(int port) { return port >= 1 && port <= 65535; }

std::string RefusalOf(std::string_view value) {
    return platform::HasControlCharacter(value) ? "holds a control character" : std::string();
}

void ReportUnusable(const std::string& what) {
    core::WriteLog(what);
    core::LogError(what);
}

}  // namespace qm::delivery
