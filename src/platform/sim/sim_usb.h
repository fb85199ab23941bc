#pragma once
// The USB tree of the simulated machine: host controllers, their root hubs, and the devices on
// the hubs' ports (external hubs with devices of their own among them), as machine.json's
// "usb" describes them. Host controllers and hubs open as devices and answer the USB control
// requests with the published reply blocks; the machine file may make each request of a
// controller, hub or port fail, report a wrong length, or hand back descriptor bytes of its
// own.

#include <cstdint>
#include <map>
#include <memory>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/devices.h"

namespace qm::sim {

class CodePageTable;
class MachineState;

// What a controller, hub or port does instead of answering one of its requests. The request
// names are those of the machine file: "root_hub_name", "node_information",
// "connection_information", "connection_name", "driverkey_name", "language_ids", "strings",
// "configuration".
struct UsbRequestFaults {
    std::map<std::string, platform::DWORD> errors;          // the request fails with this code
    std::map<std::string, std::uint32_t> reportedLengths;   // a name reply's ActualLength
};

// The strings of one language, by descriptor index.
struct UsbStringTable {
    std::uint16_t language = 0;
    std::map<std::uint8_t, std::u16string> texts;
};

// Descriptor bytes handed back as they are, for the request of that type, index and language.
struct UsbRawDescriptor {
    std::uint8_t type = 0;
    std::uint8_t index = 0;
    std::optional<std::uint16_t> language;  // none: any
    std::string bytes;
};

struct UsbConfiguration {
    std::uint8_t attributes = 0x80;
    std::uint8_t maxPower = 50;  // in units of 2 mA
    std::uint8_t value = 1;
};

struct UsbHubConfig;

struct UsbDeviceConfig {
    std::uint32_t port = 1;
    std::uint32_t status = 1;  // USB_CONNECTION_STATUS
    std::uint16_t bcdUsb = 0x0110;
    std::uint8_t deviceClass = 0;
    std::uint8_t deviceSubClass = 0;
    std::uint8_t deviceProtocol = 0;
    std::uint8_t maxPacketSize = 8;
    std::uint16_t vendor = 0;
    std::uint16_t product = 0;
    std::uint16_t bcdDevice = 0x0100;
    std::uint8_t manufacturerIndex = 0;
    std::uint8_t productIndex = 0;
    std::uint8_t serialIndex = 0;
    bool lowSpeed = false;
    std::uint16_t address = 1;
    std::uint32_t openPipes = 1;
    // In the device's order; none: the device has no string descriptors.
    std::vector<UsbStringTable> strings;
    std::optional<UsbConfiguration> configuration;  // none: the request fails
    std::optional<std::u16string> driverKey;        // none: the request fails
    bool isHub = false;
    // The name the connection-name request answers: the hub this device is, or another hub
    // of the tree that it names (itself or an ancestor, as a faulty driver may).
    std::optional<std::u16string> hubName;
    std::shared_ptr<const UsbHubConfig> hub;  // the hub this device is, when it is one
    std::vector<UsbRawDescriptor> rawDescriptors;
    UsbRequestFaults faults;
};

struct UsbHubConfig {
    std::string name;        // in the ANSI code page, as CreateFile is given it after "\\.\"
    std::u16string wideName;  // as the name replies carry it
    bool busPowered = false;
    std::uint8_t ports = 0;
    std::vector<UsbDeviceConfig> devices;
    UsbRequestFaults faults;
};

struct UsbControllerConfig {
    unsigned number = 0;
    std::shared_ptr<const UsbHubConfig> rootHub;  // none: the name request fails
    UsbRequestFaults faults;
};

struct UsbConfig {
    std::vector<UsbControllerConfig> controllers;
};

// The "usb" entry of machine.json: the tree itself, or the name of a JSON file beside the
// machine file that holds it. Throws MachineError naming the file and the place.
UsbConfig ParseUsbConfig(const nlohmann::json& node, const std::string& fileName, const std::string& machineFolder,
                         const CodePageTable& cp);

// The host controller or hub a device name opens; null when the name is none of them.
std::unique_ptr<platform::Device> OpenUsbDevice(MachineState& state, std::string_view deviceName);

}  // namespace qm::sim
