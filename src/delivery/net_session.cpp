#include "delivery/net_session.h"
#include "delivery/net_socket.h"

#include <Poco/Exception.h>
#include <Poco/Net/SocketAddress.h>

#include "core/error_list.h"
#include "core/trace_log.h"
#include "platform/text.h"

namespace qm::delivery {

Poco::Net::StreamSocket ConnectTo(const std::string& host, int port) {
    Poco::Net::StreamSocket socket;
    socket.connect(Poco::Net::SocketAddress(host, static_cast<Poco::UInt16>(port)), kConnectTimeout);
    socket.setReceiveTimeout(kReplyTimeout);
    socket.setSendTimeout(kReplyTimeout);
    return socket;
}

std::string ErrorMessage(const std::exception& e) {
    if (const auto* poco = dynamic_cast<const Poco::Exception*>(&e)) return poco->displayText();
    return e.what();
}

bool IsTcpPort(int port) { return port >= 1 && port <= 65535; }

std::string RefusalOf(std::string_view value) {
    return platform::HasControlCharacter(value) ? "it holds a control character" : std::string();
}

void ReportUnusable(const std::string& what) {
    core::WriteLog(what);
    core::LogError(what);
}

}  // namespace qm::delivery
