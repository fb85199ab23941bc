#pragma once
// The USB sections of the hardware result file: one group of records per host controller's
// root hub ("HCD") and per connected device ("USB"), the devices behind external hubs
// included, read through the host controllers' and hubs' control requests and, for the
// device description and maker, the registry's USB device instances.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/devices.h"

namespace qm::collectors {

// Hubs above one another: a root hub, then at most six tiers of external hubs.
inline constexpr std::size_t kMaxHubTiers = 7;
// A string descriptor 0 carries at most this many language ids in its 255 bytes.
inline constexpr std::size_t kMaxLanguageIds = 126;
using LanguageIds = std::array<std::uint32_t, kMaxLanguageIds>;

// The whole USB pass; a failure that ends it is logged and costs the other sections nothing.
void UsbInventory();
// Host controllers 0 to 10, with the device counter started at 0.
void EnumerateHostControllers();
// The name of the host controller's root hub; empty when it cannot be read.
std::string GetRootHubName(platform::Device& hostController);
// The hub's records under its key, then the devices on its ports. ancestors are the names of
// the hubs above it, root first; a hub among them, one this pass walked already, or one past
// the last tier, is not walked.
void UsbHubInfo(const std::string& hubName, const std::string& hubKey, const std::vector<std::string>& ancestors = {});
// The records of every connected device on ports 1 to ports, walking into hubs. hubs are the
// names of this hub and those above it.
void UsbPortsInfo(platform::Device& hub, unsigned ports, const std::string& parentKey,
                  const std::vector<std::string>& hubs = {});
// The language ids of string descriptor 0 of the device on the port, in its order; their count.
std::size_t GetLanguageIds(platform::Device& hub, std::uint32_t port, LanguageIds& ids);
// String descriptor index in the language, as ANSI text; empty when it cannot be read.
std::string GetStringDescriptor(platform::Device& hub, std::uint32_t port, std::uint8_t index, std::uint16_t language);
// "RemoteWakeUp", "Self Powered", "Bus Powered" and "MaxPower" from the first configuration.
void UsbConfigInfo(platform::Device& hub, std::uint32_t port, const std::string& deviceKey);
// The driver key name of the device on the port; empty when it cannot be read.
std::string GetDriverKeyName(platform::Device& hub, std::uint32_t port);
// The name of the hub on the port; empty when it cannot be read.
std::string GetExternalHubName(platform::Device& hub, std::uint32_t port);
// "DeviceDesc" and "Mfg" of every USB device instance whose "Driver" is the driver key name.
void UsbDriverInfo(const std::string& driverKeyName, const std::string& deviceKey);

}  // namespace qm::collectors
