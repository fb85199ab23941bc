#pragma once
// The network sections of the hardware result file: the machine's IPv4 addresses ("IP
// address"), its network adapters with the TCP/IP settings of the first one ("Network
// adapter", "IPConfig") and the hardware addresses of its NetBIOS LAN adapters ("MAC
// address").

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/network.h"

namespace qm::collectors {

// "IP address": the addresses the local host name resolves to; Winsock is released at the end.
void IPInfo();
// "Network adapter": the adapters the registry lists, then the "IPConfig" records of the first.
void NetworkInfo();
// "IPConfig" of one adapter: on NT its service name, on the 9x family the four-digit number of
// its adapter key, which also numbers its transport key.
void IPConfigInfo(const std::string& adapter);
// "MAC address": the adapters' addresses, sorted, each once.
void MacAddressInfo();

// Starts Winsock 1.1 once until it is released; false when it cannot be started.
bool StartWinsock();
// The local host name; empty when it cannot be read.
std::string GetLocalHostName();
// The resolver's entry for a name; none for an empty or unknown name.
std::optional<platform::HOSTENT> LookupHost(const std::string& name);
// Appends each IPv4 address of the entry in dotted form.
void AddHostAddresses(const platform::HOSTENT& entry, std::vector<std::string>& list);
// Empties the list and fills it with the addresses of the local host.
std::vector<std::string>& GetLocalIPList(std::vector<std::string>& list);

using MacAddress = std::array<std::uint8_t, 6>;
// The address of one NetBIOS LAN adapter; all zero when it has none or does not answer.
MacAddress GetAdapterMacAddress(int lana);
// Twelve upper-case hexadecimal digits in three groups of four joined by ":".
std::string FormatMacAddress(const MacAddress& address);

}  // namespace qm::collectors
