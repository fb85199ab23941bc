#include "platform/sim/sim_usb.h"

#include <unicode/unistr.h>

#include <algorithm>
#include <cstring>
#include <nlohmann/json.hpp>

#include "platform/platform.h"
#include "platform/sim/machine_file_reader.h"
#include "platform/sim/machine_state.h"
#include "platform/text.h"
#include "platform/usb.h"

namespace qm::sim {

using namespace qm::platform;
using nlohmann::json;

namespace {

// The largest text a string descriptor carries: its length is one byte, two of them its head.
constexpr std::size_t kMaxDescriptorCharacters = 126;

// A number no larger than max: decimal, or hexadecimal text such as "0x046D".
std::uint32_t Number(const MachineFileReader& r, const char* key, std::uint32_t def, std::uint32_t max) {
    if (!r.Has(key)) return def;
    std::uint32_t n = ParseWord(r, key, r.Raw(key));
    if (n > max) r.Fail(key, "expected a number from 0 to " + std::to_string(max));
    return n;
}

// A language id as the records show it, four hexadecimal digits ("0409"), or a number.
std::uint16_t Language(const MachineFileReader& r, const char* key) {
    const json& v = r.Raw(key);
    if (v.is_number_unsigned() && v.get<std::uint64_t>() <= 0xFFFF) return static_cast<std::uint16_t>(v.get<std::uint64_t>());
    std::string t = v.is_string() ? v.get<std::string>() : std::string();
    if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) t = t.substr(2);
    if (t.empty() || t.size() > 4 || t.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        r.Fail(key, "expected a language id such as \"0409\"");
    return static_cast<std::uint16_t>(std::stoul(t, nullptr, 16));
}

// What a device keeps in UTF-16: every character of the text, also those the machine's code
// page lacks.
std::u16string Wide(const MachineFileReader& r, const char* key) {
    if (!r.Raw(key).is_string()) r.Fail(key, "expected a string");
    const std::string utf8 = r.Raw(key).get<std::string>();
    icu::UnicodeString u = icu::UnicodeString::fromUTF8(icu::StringPiece(utf8.data(), static_cast<std::int32_t>(utf8.size())));
    return std::u16string(reinterpret_cast<const char16_t*>(u.getBuffer()), static_cast<std::size_t>(u.length()));
}

MachineFileReader Item(const MachineFileReader& r, const char* key, std::size_t i) {
    return MachineFileReader(r.Array(key)[i], r.File(), r.Pointer(key) + "/" + std::to_string(i), r.CodePage());
}

// "errors": request name to Win32 code; "lengths": request name to a reported length.
UsbRequestFaults Faults(const MachineFileReader& r, std::initializer_list<const char*> errorNames,
                        std::initializer_list<const char*> lengthNames) {
    UsbRequestFaults f;
    if (r.Has("errors")) {
        MachineFileReader e = r.Object("errors");
        e.OnlyKeys(errorNames);
        for (auto it = e.Self().begin(); it != e.Self().end(); ++it) f.errors[it.key()] = ParseWord(e, it.key(), it.value());
    }
    if (r.Has("lengths")) {
        MachineFileReader l = r.Object("lengths");
        l.OnlyKeys(lengthNames);
        for (auto it = l.Self().begin(); it != l.Self().end(); ++it)
            f.reportedLengths[it.key()] = ParseWord(l, it.key(), it.value());
    }
    return f;
}

std::shared_ptr<const UsbHubConfig> ParseHub(const MachineFileReader& r);

UsbDeviceConfig ParseDevice(const MachineFileReader& r) {
    r.OnlyKeys({"port", "status", "usb_version", "class", "subclass", "protocol", "max_packet_size", "vendor", "product",
                "device_version", "manufacturer_index", "product_index", "serial_index", "low_speed", "address",
                "open_pipes", "strings", "configuration", "driver_key", "is_hub", "hub", "hub_name", "raw_descriptors",
                "errors", "lengths", "description"});
    UsbDeviceConfig d;
    if (!r.Has("port")) r.Fail("port", "a device needs the number of its port, from 1");
    d.port = Number(r, "port", 1, 255);
    if (d.port == 0) r.Fail("port", "ports are numbered from 1");
    d.status = Number(r, "status", 1, 0xFFFFFFFF);
    d.bcdUsb = static_cast<std::uint16_t>(Number(r, "usb_version", 0x0110, 0xFFFF));
    d.deviceClass = static_cast<std::uint8_t>(Number(r, "class", 0, 0xFF));
    d.deviceSubClass = static_cast<std::uint8_t>(Number(r, "subclass", 0, 0xFF));
    d.deviceProtocol = static_cast<std::uint8_t>(Number(r, "protocol", 0, 0xFF));
    d.maxPacketSize = static_cast<std::uint8_t>(Number(r, "max_packet_size", 8, 0xFF));
    d.vendor = static_cast<std::uint16_t>(Number(r, "vendor", 0, 0xFFFF));
    d.product = static_cast<std::uint16_t>(Number(r, "product", 0, 0xFFFF));
    d.bcdDevice = static_cast<std::uint16_t>(Number(r, "device_version", 0x0100, 0xFFFF));
    d.lowSpeed = r.Boolean("low_speed", false);
    d.address = static_cast<std::uint16_t>(Number(r, "address", 1, 127));
    d.openPipes = Number(r, "open_pipes", 1, 30);

    // The strings of each language by item; each item takes the index the device descriptor
    // gives it (by default 1, 2 and 3 for the items that some language has).
    struct Items {
        std::uint16_t language;
        std::map<std::string, std::u16string> texts;
    };
    std::vector<Items> tables;
    if (r.Has("strings")) {
        if (r.Array("strings").size() > kMaxDescriptorCharacters) r.Fail("strings", "a device offers at most 126 languages");
        for (std::size_t i = 0; i < r.Array("strings").size(); ++i) {
            MachineFileReader t = Item(r, "strings", i);
            t.OnlyKeys({"language", "manufacturer", "product", "serial"});
            if (!t.Has("language")) t.Fail("language", "a string table needs its language, such as \"0409\"");
            Items items{Language(t, "language"), {}};
            for (const char* item : {"manufacturer", "product", "serial"}) {
                if (!t.Has(item)) continue;
                std::u16string text = Wide(t, item);
                if (text.size() > kMaxDescriptorCharacters) t.Fail(item, "a string descriptor holds at most 126 characters");
                items.texts[item] = std::move(text);
            }
            tables.push_back(std::move(items));
        }
    }
    auto indexOf = [&](const char* key, const char* item, std::uint8_t def) {
        bool offered = std::any_of(tables.begin(), tables.end(), [&](const Items& t) { return t.texts.count(item) != 0; });
        return static_cast<std::uint8_t>(Number(r, key, offered ? def : 0, 0xFF));
    };
    d.manufacturerIndex = indexOf("manufacturer_index", "manufacturer", 1);
    d.productIndex = indexOf("product_index", "product", 2);
    d.serialIndex = indexOf("serial_index", "serial", 3);
    for (const Items& t : tables) {
        UsbStringTable table{t.language, {}};
        for (const auto& [item, text] : t.texts) {
            std::uint8_t index = item == "manufacturer" ? d.manufacturerIndex : item == "product" ? d.productIndex : d.serialIndex;
            if (index != 0) table.texts[index] = text;
        }
        d.strings.push_back(std::move(table));
    }

    if (!r.Self().contains("configuration")) {
        d.configuration = UsbConfiguration{};
    } else if (r.Has("configuration")) {
        MachineFileReader c = r.Object("configuration");
        c.OnlyKeys({"attributes", "max_power", "value"});
        UsbConfiguration conf;
        conf.attributes = static_cast<std::uint8_t>(Number(c, "attributes", 0x80, 0xFF));
        conf.maxPower = static_cast<std::uint8_t>(Number(c, "max_power", 50, 0xFF));
        conf.value = static_cast<std::uint8_t>(Number(c, "value", 1, 0xFF));
        d.configuration = conf;
    }
    if (r.Has("driver_key")) d.driverKey = Wide(r, "driver_key");
    if (r.Has("hub") && r.Has("hub_name")) r.Fail("hub_name", "a device is a hub of its own or names another, not both");
    if (r.Has("hub")) {
        d.hub = ParseHub(r.Object("hub"));
        d.hubName = d.hub->wideName;
    } else if (r.Has("hub_name")) {
        d.hubName = Wide(r, "hub_name");
    }
    d.isHub = r.Boolean("is_hub", d.hubName.has_value());
    if (r.Has("raw_descriptors")) {
        for (std::size_t i = 0; i < r.Array("raw_descriptors").size(); ++i) {
            MachineFileReader raw = Item(r, "raw_descriptors", i);
            raw.OnlyKeys({"type", "index", "language", "bytes"});
            UsbRawDescriptor descriptor;
            descriptor.type = static_cast<std::uint8_t>(Number(raw, "type", 0, 0xFF));
            descriptor.index = static_cast<std::uint8_t>(Number(raw, "index", 0, 0xFF));
            if (raw.Has("language")) descriptor.language = Language(raw, "language");
            if (!raw.Has("bytes")) raw.Fail("bytes", "give the descriptor's bytes");
            descriptor.bytes = ParseHexBytes(raw, "bytes", raw.String("bytes"));
            d.rawDescriptors.push_back(std::move(descriptor));
        }
    }
    d.faults = Faults(r, {"connection_information", "connection_name", "driverkey_name", "language_ids", "strings", "configuration"},
                      {"connection_name", "driverkey_name"});
    return d;
}

std::shared_ptr<const UsbHubConfig> ParseHub(const MachineFileReader& r) {
    r.OnlyKeys({"name", "bus_powered", "ports", "devices", "errors", "description"});
    auto hub = std::make_shared<UsbHubConfig>();
    if (!r.Has("name") || !r.Raw("name").is_string() || r.Raw("name").get<std::string>().empty())
        r.Fail("name", "a hub needs its name");
    hub->name = r.String("name");
    hub->wideName = Wide(r, "name");
    hub->busPowered = r.Boolean("bus_powered", false);
    std::uint32_t highestPort = 0;
    if (r.Has("devices")) {
        for (std::size_t i = 0; i < r.Array("devices").size(); ++i) {
            MachineFileReader device = Item(r, "devices", i);
            UsbDeviceConfig d = ParseDevice(device);
            for (const UsbDeviceConfig& other : hub->devices)
                if (other.port == d.port) device.Fail("port", "port " + std::to_string(d.port) + " twice");
            highestPort = std::max(highestPort, d.port);
            hub->devices.push_back(std::move(d));
        }
    }
    hub->ports = static_cast<std::uint8_t>(Number(r, "ports", highestPort, 255));
    if (hub->ports < highestPort) r.Fail("ports", "a device stands on a port past the hub's last");
    hub->faults = Faults(r, {"node_information"}, {});
    return hub;
}

UsbConfig ParseTree(const MachineFileReader& r) {
    r.OnlyKeys({"controllers", "description"});
    UsbConfig config;
    if (!r.Has("controllers")) return config;
    for (std::size_t i = 0; i < r.Array("controllers").size(); ++i) {
        MachineFileReader c = Item(r, "controllers", i);
        c.OnlyKeys({"number", "root_hub", "errors", "lengths", "description"});
        if (!c.Has("number")) c.Fail("number", "a host controller needs its number");
        UsbControllerConfig controller;
        controller.number = Number(c, "number", 0, 255);
        for (const UsbControllerConfig& other : config.controllers)
            if (other.number == controller.number)
                c.Fail("number", "host controller " + std::to_string(controller.number) + " twice");
        if (c.Has("root_hub")) controller.rootHub = ParseHub(c.Object("root_hub"));
        controller.faults = Faults(c, {"root_hub_name"}, {"root_hub_name"});
        config.controllers.push_back(std::move(controller));
    }
    return config;
}

void Put16(std::string& out, std::size_t at, std::uint32_t value) {
    out[at] = static_cast<char>(value & 0xFF);
    out[at + 1] = static_cast<char>((value >> 8) & 0xFF);
}

void Put32(std::string& out, std::size_t at, std::uint32_t value) {
    Put16(out, at, value & 0xFFFF);
    Put16(out, at + 2, value >> 16);
}

std::uint32_t Get32(std::string_view in, std::size_t at) {
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < 4 && at + i < in.size(); ++i) v |= static_cast<std::uint32_t>(static_cast<unsigned char>(in[at + i])) << (8 * i);
    return v;
}

std::uint16_t Get16(std::string_view in, std::size_t at) { return static_cast<std::uint16_t>(Get32(in.substr(0, at + 2), at)); }

bool Refuse(DWORD error) {
    SetLastError(error);
    return false;
}

bool Answer(const std::string& reply, void* output, DWORD& bytesReturned) {
    if (!reply.empty()) std::memcpy(output, reply.data(), reply.size());
    bytesReturned = static_cast<DWORD>(reply.size());
    return true;
}

std::optional<DWORD> ErrorFor(const UsbRequestFaults& faults, const char* request) {
    auto it = faults.errors.find(request);
    if (it == faults.errors.end()) return std::nullopt;
    return it->second;
}

// A name reply: the head (ConnectionIndex where the reply has one), ActualLength, then the
// name and its terminating zero. A buffer too short for the name gets only the fixed part
// with the length it needs, as the drivers answer it, so that the caller can ask again.
bool AnswerName(std::string head, std::size_t lengthAt, const std::u16string& name, const UsbRequestFaults& faults,
                const char* request, void* output, DWORD outputSize, DWORD& bytesReturned) {
    const std::size_t textAt = head.size();
    const std::size_t needed = textAt + 2 * (name.size() + 1);
    const std::size_t fixed = textAt + 2;
    if (outputSize < fixed) return Refuse(ERROR_INSUFFICIENT_BUFFER);
    auto reported = faults.reportedLengths.find(request);
    Put32(head, lengthAt, reported != faults.reportedLengths.end() ? reported->second : static_cast<std::uint32_t>(needed));
    std::string reply = std::move(head);
    if (outputSize < needed) {
        reply.append(2, '\0');
    } else {
        for (char16_t c : name) {
            reply += static_cast<char>(c & 0xFF);
            reply += static_cast<char>(c >> 8);
        }
        reply.append(2, '\0');
    }
    return Answer(reply, output, bytesReturned);
}

std::string StringDescriptor(const std::u16string& text) {
    std::string d(2, '\0');
    d[0] = static_cast<char>(2 + 2 * text.size());
    d[1] = static_cast<char>(usb::USB_STRING_DESCRIPTOR_TYPE);
    for (char16_t c : text) {
        d += static_cast<char>(c & 0xFF);
        d += static_cast<char>(c >> 8);
    }
    return d;
}

std::string DeviceDescriptor(const UsbDeviceConfig& d) {
    std::string out(usb::kDeviceDescriptorSize, '\0');
    out[0] = static_cast<char>(usb::kDeviceDescriptorSize);
    out[1] = static_cast<char>(usb::USB_DEVICE_DESCRIPTOR_TYPE);
    Put16(out, 2, d.bcdUsb);
    out[4] = static_cast<char>(d.deviceClass);
    out[5] = static_cast<char>(d.deviceSubClass);
    out[6] = static_cast<char>(d.deviceProtocol);
    out[7] = static_cast<char>(d.maxPacketSize);
    Put16(out, 8, d.vendor);
    Put16(out, 10, d.product);
    Put16(out, 12, d.bcdDevice);
    out[14] = static_cast<char>(d.manufacturerIndex);
    out[15] = static_cast<char>(d.productIndex);
    out[16] = static_cast<char>(d.serialIndex);
    out[17] = static_cast<char>(d.configuration ? 1 : 0);
    return out;
}

// An endpoint descriptor for each open pipe: interrupt-in endpoints 1, 2, ...
std::string EndpointDescriptor(const UsbDeviceConfig& d, std::uint32_t pipe) {
    std::string e(7, '\0');
    e[0] = 7;
    e[1] = static_cast<char>(usb::USB_ENDPOINT_DESCRIPTOR_TYPE);
    e[2] = static_cast<char>(0x81 + pipe);
    e[3] = 3;
    Put16(e, 4, d.maxPacketSize);
    e[6] = 10;
    return e;
}

// The whole configuration: the configuration descriptor, one interface, its endpoints.
std::string ConfigurationDescriptor(const UsbDeviceConfig& d, const UsbConfiguration& c) {
    std::string out(usb::kConfigurationDescriptorSize, '\0');
    out[0] = static_cast<char>(usb::kConfigurationDescriptorSize);
    out[1] = static_cast<char>(usb::USB_CONFIGURATION_DESCRIPTOR_TYPE);
    out[4] = 1;
    out[5] = static_cast<char>(c.value);
    out[usb::kConfigurationAttributes] = static_cast<char>(c.attributes);
    out[usb::kConfigurationMaxPower] = static_cast<char>(c.maxPower);
    std::string interface(9, '\0');
    interface[0] = 9;
    interface[1] = static_cast<char>(usb::USB_INTERFACE_DESCRIPTOR_TYPE);
    interface[4] = static_cast<char>(d.openPipes);
    interface[5] = static_cast<char>(d.deviceClass);
    interface[6] = static_cast<char>(d.deviceSubClass);
    interface[7] = static_cast<char>(d.deviceProtocol);
    out += interface;
    for (std::uint32_t p = 0; p < d.openPipes; ++p) out += EndpointDescriptor(d, p);
    Put16(out, 2, static_cast<std::uint32_t>(out.size()));
    return out;
}

class UsbHostController final : public Device {
public:
    UsbHostController(MachineState& state, const UsbControllerConfig& config, std::string name)
        : state_(state), config_(config), name_(std::move(name)) {}

    bool DeviceIoControl(DWORD code, const void*, DWORD, void* output, DWORD outputSize, DWORD& bytesReturned) override {
        bytesReturned = 0;
        if (state_.Fails("DeviceIoControl", name_, false)) return false;
        if (code != IOCTL_USB_GET_ROOT_HUB_NAME) return Refuse(ERROR_INVALID_FUNCTION);
        if (std::optional<DWORD> e = ErrorFor(config_.faults, "root_hub_name")) return Refuse(*e);
        if (!config_.rootHub) return Refuse(ERROR_GEN_FAILURE);
        return AnswerName(std::string(usb::kRootHubNameText, '\0'), usb::kRootHubNameActualLength, config_.rootHub->wideName,
                          config_.faults, "root_hub_name", output, outputSize, bytesReturned);
    }

private:
    MachineState& state_;
    const UsbControllerConfig& config_;
    std::string name_;
};

class UsbHub final : public Device {
public:
    UsbHub(MachineState& state, const UsbHubConfig& hub, std::string name) : state_(state), hub_(hub), name_(std::move(name)) {}

    bool DeviceIoControl(DWORD code, const void* input, DWORD inputSize, void* output, DWORD outputSize,
                         DWORD& bytesReturned) override {
        bytesReturned = 0;
        if (state_.Fails("DeviceIoControl", name_, false)) return false;
        // The caller may hand one block as input and output: read it before answering.
        const std::string in(static_cast<const char*>(input), input != nullptr ? inputSize : 0);
        switch (code) {
            case IOCTL_USB_GET_NODE_INFORMATION: return NodeInformation(output, outputSize, bytesReturned);
            case IOCTL_USB_GET_NODE_CONNECTION_INFORMATION:
                return ConnectionInformation(in, output, outputSize, bytesReturned);
            case IOCTL_USB_GET_DESCRIPTOR_FROM_NODE_CONNECTION: return Descriptor(in, output, outputSize, bytesReturned);
            case IOCTL_USB_GET_NODE_CONNECTION_NAME:
            case IOCTL_USB_GET_NODE_CONNECTION_DRIVERKEY_NAME: return ConnectionName(code, in, output, outputSize, bytesReturned);
            default: return Refuse(ERROR_INVALID_FUNCTION);
        }
    }

private:
    bool NodeInformation(void* output, DWORD outputSize, DWORD& bytesReturned) {
        if (std::optional<DWORD> e = ErrorFor(hub_.faults, "node_information")) return Refuse(*e);
        if (outputSize < usb::kNodeInformationSize) return Refuse(ERROR_INSUFFICIENT_BUFFER);
        std::string reply(usb::kNodeInformationSize, '\0');
        Put32(reply, usb::kNodeType, usb::UsbHub);
        // Two bitmaps of one bit per port and one for the hub follow the fixed seven bytes.
        reply[usb::kHubDescriptorLength] = static_cast<char>(7 + 2 * ((hub_.ports + 8) / 8));
        reply[usb::kHubDescriptorType] = static_cast<char>(usb::USB_HUB_DESCRIPTOR_TYPE);
        reply[usb::kHubNumberOfPorts] = static_cast<char>(hub_.ports);
        reply[usb::kHubPowerOnToPowerGood] = 50;
        reply[usb::kHubIsBusPowered] = hub_.busPowered ? 1 : 0;
        return Answer(reply, output, bytesReturned);
    }

    // The device on the port the request names; false (with the error set) for a port the hub
    // does not have.
    bool Port(std::string_view in, std::uint32_t& port, const UsbDeviceConfig*& device) const {
        if (in.size() < 4) return Refuse(ERROR_INVALID_PARAMETER);
        port = Get32(in, usb::kConnectionIndex);
        if (port == 0 || port > hub_.ports) return Refuse(ERROR_INVALID_PARAMETER);
        device = nullptr;
        for (const UsbDeviceConfig& d : hub_.devices)
            if (d.port == port) device = &d;
        return true;
    }

    static bool Connected(const UsbDeviceConfig* device) { return device != nullptr && device->status == usb::DeviceConnected; }

    bool ConnectionInformation(std::string_view in, void* output, DWORD outputSize, DWORD& bytesReturned) {
        std::uint32_t port = 0;
        const UsbDeviceConfig* d = nullptr;
        if (!Port(in, port, d)) return false;
        if (d != nullptr)
            if (std::optional<DWORD> e = ErrorFor(d->faults, "connection_information")) return Refuse(*e);
        if (outputSize < usb::kPipeList) return Refuse(ERROR_INSUFFICIENT_BUFFER);
        std::string reply(usb::kPipeList, '\0');
        Put32(reply, usb::kConnectionIndex, port);
        Put32(reply, usb::kConnectionStatus, d != nullptr ? d->status : usb::NoDeviceConnected);
        if (Connected(d)) {
            std::string descriptor = DeviceDescriptor(*d);
            reply.replace(usb::kDeviceDescriptor, descriptor.size(), descriptor);
            reply[usb::kCurrentConfigurationValue] = static_cast<char>(d->configuration ? d->configuration->value : 0);
            reply[usb::kLowSpeed] = d->lowSpeed ? 1 : 0;
            reply[usb::kDeviceIsHub] = d->isHub ? 1 : 0;
            Put16(reply, usb::kDeviceAddress, d->address);
            Put32(reply, usb::kNumberOfOpenPipes, d->openPipes);
            // As many pipes as the buffer holds.
            for (std::uint32_t p = 0; p < d->openPipes && reply.size() + usb::kPipeInfoSize <= outputSize; ++p)
                reply += EndpointDescriptor(*d, p) + std::string(4, '\0');
        }
        return Answer(reply, output, bytesReturned);
    }

    bool Descriptor(std::string_view in, void* output, DWORD outputSize, DWORD& bytesReturned) {
        if (in.size() < usb::kDescriptorData) return Refuse(ERROR_INVALID_PARAMETER);
        if (outputSize < usb::kDescriptorData) return Refuse(ERROR_INSUFFICIENT_BUFFER);
        std::uint32_t port = 0;
        const UsbDeviceConfig* d = nullptr;
        if (!Port(in, port, d)) return false;
        if (!Connected(d)) return Refuse(ERROR_INVALID_PARAMETER);
        const std::uint16_t value = Get16(in, usb::kSetupWValue);
        const std::uint8_t type = static_cast<std::uint8_t>(value >> 8);
        const std::uint8_t index = static_cast<std::uint8_t>(value & 0xFF);
        const std::uint16_t language = Get16(in, usb::kSetupWIndex);
        const std::uint16_t wanted = Get16(in, usb::kSetupWLength);
        std::optional<std::string> descriptor;
        for (const UsbRawDescriptor& raw : d->rawDescriptors)
            if (!descriptor && raw.type == type && raw.index == index && (!raw.language || *raw.language == language))
                descriptor = raw.bytes;
        if (!descriptor) {
            std::optional<DWORD> error;
            descriptor = Generated(*d, type, index, language, error);
            if (!descriptor) return Refuse(error.value_or(ERROR_GEN_FAILURE));
        }
        // The device sends no more than asked, and the reply holds no more than its buffer.
        std::size_t size = std::min<std::size_t>({descriptor->size(), wanted, outputSize - usb::kDescriptorData});
        std::string reply(in.substr(0, usb::kDescriptorData));
        reply.append(*descriptor, 0, size);
        return Answer(reply, output, bytesReturned);
    }

    // A descriptor as the device would send it; none (the request stalls) when it has no such
    // descriptor or the machine file makes the request fail.
    static std::optional<std::string> Generated(const UsbDeviceConfig& d, std::uint8_t type, std::uint8_t index,
                                                std::uint16_t language, std::optional<DWORD>& error) {
        switch (type) {
            case usb::USB_DEVICE_DESCRIPTOR_TYPE: return DeviceDescriptor(d);
            case usb::USB_CONFIGURATION_DESCRIPTOR_TYPE:
                if ((error = ErrorFor(d.faults, "configuration")) || !d.configuration || index != 0) return std::nullopt;
                return ConfigurationDescriptor(d, *d.configuration);
            case usb::USB_STRING_DESCRIPTOR_TYPE:
                if (index == 0) {
                    if ((error = ErrorFor(d.faults, "language_ids")) || d.strings.empty()) return std::nullopt;
                    std::string list(2, '\0');
                    list[0] = static_cast<char>(2 + 2 * d.strings.size());
                    list[1] = static_cast<char>(usb::USB_STRING_DESCRIPTOR_TYPE);
                    for (const UsbStringTable& t : d.strings) {
                        list += static_cast<char>(t.language & 0xFF);
                        list += static_cast<char>(t.language >> 8);
                    }
                    return list;
                }
                if ((error = ErrorFor(d.faults, "strings"))) return std::nullopt;
                for (const UsbStringTable& t : d.strings) {
                    if (t.language != language) continue;
                    auto text = t.texts.find(index);
                    if (text != t.texts.end()) return StringDescriptor(text->second);
                }
                return std::nullopt;
            default: return std::nullopt;
        }
    }

    bool ConnectionName(DWORD code, std::string_view in, void* output, DWORD outputSize, DWORD& bytesReturned) {
        std::uint32_t port = 0;
        const UsbDeviceConfig* d = nullptr;
        if (!Port(in, port, d)) return false;
        const bool driverKey = code == IOCTL_USB_GET_NODE_CONNECTION_DRIVERKEY_NAME;
        const char* request = driverKey ? "driverkey_name" : "connection_name";
        if (d != nullptr)
            if (std::optional<DWORD> e = ErrorFor(d->faults, request)) return Refuse(*e);
        std::u16string name;
        if (driverKey) {
            // Only a device that is there has a driver.
            if (!Connected(d) || !d->driverKey) return Refuse(ERROR_INVALID_PARAMETER);
            name = *d->driverKey;
        } else if (Connected(d) && d->hubName) {
            name = *d->hubName;  // a port without a hub names nothing
        }
        std::string head(usb::kConnectionNameText, '\0');
        Put32(head, usb::kConnectionIndex, port);
        static const UsbRequestFaults kNone;
        return AnswerName(std::move(head), usb::kConnectionNameActualLength, name, d != nullptr ? d->faults : kNone, request,
                          output, outputSize, bytesReturned);
    }

    MachineState& state_;
    const UsbHubConfig& hub_;
    std::string name_;
};

const UsbHubConfig* FindHub(const UsbHubConfig& hub, std::string_view name) {
    if (EqualsNoCase(hub.name, name)) return &hub;
    for (const UsbDeviceConfig& d : hub.devices)
        if (d.hub)
            if (const UsbHubConfig* found = FindHub(*d.hub, name)) return found;
    return nullptr;
}

}  // namespace

UsbConfig ParseUsbConfig(const json& node, const std::string& fileName, const std::string& machineFolder,
                         const CodePageTable& cp) {
    if (!node.is_string()) return ParseTree(MachineFileReader(node, fileName, "/usb", &cp));
    // The tree in a file of its own beside machine.json, which never names another folder.
    std::string path = FileBesideMachine(node.get<std::string>(), machineFolder);
    const json top = json::object();
    MachineFileReader at(top, fileName, "", &cp);
    if (path.empty()) at.Fail("usb", "expected the USB tree, or the name of a file beside the machine file");
    std::optional<json> tree = ReadJsonFile(path);
    if (!tree) at.Fail("usb", "cannot read " + path);
    return ParseTree(MachineFileReader(*tree, path, "", &cp));
}

std::unique_ptr<Device> OpenUsbDevice(MachineState& state, std::string_view deviceName) {
    const std::string_view prefix = "\\\\.\\";
    if (!StartsWithNoCase(deviceName, prefix)) return nullptr;
    const UsbConfig& usb = state.Config().usb;
    for (const UsbControllerConfig& c : usb.controllers)
        if (EqualsNoCase(deviceName, std::string(prefix) + "HCD" + std::to_string(c.number)))
            return std::make_unique<UsbHostController>(state, c, std::string(deviceName));
    std::string_view hubName = deviceName.substr(prefix.size());
    for (const UsbControllerConfig& c : usb.controllers)
        if (c.rootHub)
            if (const UsbHubConfig* hub = FindHub(*c.rootHub, hubName))
                return std::make_unique<UsbHub>(state, *hub, std::string(deviceName));
    return nullptr;
}

}  // namespace qm::sim
