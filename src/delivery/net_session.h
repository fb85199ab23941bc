#pragma once
// What the FTP and the SMTP delivery share: how long they wait for a server, which values may
// go on the wire, and how a failure reads in the logs. Free of the network library's headers,
// whose socket names would clash with the platform layer's.

#include <exception>
#include <string>
#include <string_view>

namespace qm::delivery {

// A server that does not answer must not hold the agent for ever.
inline constexpr int kConnectTimeoutSeconds = 30;
inline constexpr int kReplyTimeoutSeconds = 120;

// How long a reply may take, and how long a data transfer may stand still: kReplyTimeoutSeconds
// unless a test has shortened it, so that a slow server can outlast it in seconds, not minutes.
int ReplyTimeoutMilliseconds();
// For tests only; a value of 0 or below restores kReplyTimeoutSeconds.
void SetReplyTimeoutForTests(int milliseconds);

// The message of a failure as the logs show it: on one line, control characters made blanks.
std::string ErrorMessage(const std::exception& e);

bool IsTcpPort(int port);

// Why a value cannot go into a protocol command or a mail header; empty when it can.
std::string RefusalOf(std::string_view value);
// Reports a setting that makes a way of delivery unusable, in the trace log and the error list.
void ReportUnusable(const std::string& what);

}  // namespace qm::delivery
