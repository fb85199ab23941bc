#pragma once
// The simulated machine's network: its host name and IPv4 addresses behind Winsock, and the
// NetBIOS LAN adapters with their hardware addresses, as machine.json's "network" says.

#include <array>
#include <mutex>
#include <nlohmann/json_fwd.hpp>
#include <set>
#include <string>
#include <vector>

#include "platform/network.h"

namespace qm::sim {

class CodePageTable;
class MachineState;

struct LanaConfig {
    platform::UCHAR number = 0;
    std::array<platform::UCHAR, 6> address{};
    // Not 0: the NetBIOS return code of that command on this adapter.
    platform::UCHAR resetError = 0;
    platform::UCHAR statusError = 0;
};

struct NetworkConfig {
    std::string hostName;  // empty: the computer name
    std::vector<platform::IN_ADDR> addresses;
    std::vector<LanaConfig> lanas;
};

// The "network" object of machine.json; throws MachineError naming the file and the place.
NetworkConfig ParseNetworkConfig(const nlohmann::json& node, const std::string& fileName, const std::string& pointer,
                                 const CodePageTable& cp);

class SimNetwork final : public platform::NetworkService {
public:
    explicit SimNetwork(MachineState& state);
    int WSAStartup(platform::WORD versionRequested, platform::WSADATA& data) override;
    int WSACleanup() override;
    int gethostname(std::string& name, int nameLength) override;
    bool gethostbyname(std::string_view name, platform::HOSTENT& entry) override;
    platform::UCHAR Netbios(platform::NCB& ncb) override;

private:
    // False with WSANOTINITIALISED while no WSAStartup of this process is in force.
    bool Started();
    platform::UCHAR AdapterStatus(platform::NCB& ncb, const LanaConfig& lana);

    MachineState& state_;
    std::string hostName_;
    std::mutex mutex_;
    int starts_ = 0;
    std::set<platform::UCHAR> resetLanas_;
};

}  // namespace qm::sim
