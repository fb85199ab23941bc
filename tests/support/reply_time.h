#pragma once
// The reply time of the FTP and SMTP clients shortened for a scope, so that a slow or silent
// server outlasts it in seconds. Free of the platform layer, for tests that use sockets.

#include "delivery/net_session.h"

namespace qm::test {

class ShortReplyTime {
public:
    explicit ShortReplyTime(int milliseconds) { delivery::SetReplyTimeoutForTests(milliseconds); }
    ~ShortReplyTime() { delivery::SetReplyTimeoutForTests(0); }
    ShortReplyTime(const ShortReplyTime&) = delete;
    ShortReplyTime& operator=(const ShortReplyTime&) = delete;
};

}  // namespace qm::test
