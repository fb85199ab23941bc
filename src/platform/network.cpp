#include "platform/network.h"

namespace qm::platform {

std::string inet_ntoa(IN_ADDR address) {
    return std::to_string(address.bytes[0]) + "." + std::to_string(address.bytes[1]) + "." +
           std::to_string(address.bytes[2]) + "." + std::to_string(address.bytes[3]);
}

}  // namespace qm::platform
