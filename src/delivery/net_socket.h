#pragma once
// The TCP connection of the FTP and SMTP clients, for the files that talk to the network
// library (and so include none of the platform layer).

#include <string>

#include <Poco/Net/StreamSocket.h>
#include <Poco/Timespan.h>

#include "delivery/net_session.h"

namespace qm::delivery {

inline const Poco::Timespan kConnectTimeout(kConnectTimeoutSeconds, 0);
inline Poco::Timespan ReplyTimeout() { return Poco::Timespan(Poco::Timespan::TimeDiff(ReplyTimeoutMilliseconds()) * 1000); }

// A TCP connection to the host and port, within the connect time-out; throws on failure.
Poco::Net::StreamSocket ConnectTo(const std::string& host, int port);
// Times the next reply on a connection of ConnectTo from now rather than from the last command
// sent: the reply to a command that moves data comes only once the data has moved.
void StartReplyTime(Poco::Net::Socket& connection);

}  // namespace qm::delivery
