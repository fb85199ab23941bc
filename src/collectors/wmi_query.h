#pragma once
// The WMI query class of the collectors: one connection to a namespace of the local computer,
// one WQL query at a time, every property value of every result object as one flat list of
// texts, object after object, which the callers address by position.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/wmi.h"

namespace qm::collectors {

class MyWmi {
public:
    // Connects to the namespace on the local computer; raises when no connection was made, with
    // the thread's last system error code in decimal as the message.
    void Connect(const std::string& nameSpace);
    // Runs the query and lists the value of every property of every object, one item for each
    // property: empty for NULL, for an array and for a value that cannot be read. Never raises;
    // a failure is logged and ends the list where it happened.
    std::vector<std::string> Query(const std::string& wql);
    // The connection stays until the object goes; only the flag is cleared.
    void Disconnect();
    bool Connected() const { return connected_; }

private:
    bool connected_ = false;
    std::unique_ptr<platform::WmiLocator> locator_;
    std::unique_ptr<platform::WmiServices> services_;
};

// A text as a WQL string literal holds it between its double quotes: backslashes and double
// quotes escaped, so that no value ends the literal early.
std::string WqlString(std::string_view text);

}  // namespace qm::collectors
