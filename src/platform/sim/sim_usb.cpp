#include "platform/sim/sim_usb.h"

#include <unicode/unistr.h>

#include <algorithm>
#include <cstring>
#include <nlohmann/json.hpp>

#include "platform/platform.h"
#include "platform/sim/host_files.h"
#include "platform/sim/machine_state.h"
#include "platform/text.h"
#include "platform/usb.h"

namespace qm::sim {

using namespace qm::platform;
using nlohmann::json;

namespace {

// The largest text a string descriptor carries: its length is one byte, two of them its head.
constexpr std::size_t kMaxDescriptorCharacters = 126;

// Names the file and the JSON pointer of what the machine file gets wrong.
class UsbReader {
public:
    UsbReader(std::string file, const CodePageTable& cp) : file_(std::move(file)), cp_(cp) {}

    [[noreturn]] void Fail(const std::string& where, const std::string& what) const {
        throw MachineError(file_ + ": " + (where.empty() ? "/" : where) + ": " + what);
    }

    void OnlyKeys(const json& node, const std::string& where, std::initializer_list<const char*> allowed) const {
        if (!node.is_object()) Fail(where, "expected an object");
        for (auto it = node.begin(); it != node.end(); ++it)
            if (std::none_of(allowed.begin(), allowed.end(), [&](const char* a) { return it.key() == a; }))
                Fail(where + "/" + it.key(), "unknown entry");
    }

    // A number, or hexadecimal text with or without "0x" ("0x046D", "0409").
    std::uint64_t Number(const json& node, const char* key, const std::string& where, std::uint64_t def,
                         std::uint64_t max) const {
        if (!node.contains(key) || node.at(key).is_null()) return def;
        const json& v = node.at(key);
        std::string at = where + "/" + key;
        std::uint64_t n = 0;
        if (v.is_number_unsigned()) {
            n = v.get<std::uint64_t>();
        } else if (v.is_string()) {
            std::string t = v.get<std::string>();
            if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) t = t.substr(2);
            if (t.empty() || t.size() > 8 || t.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
                Fail(at, "expected a number, or hexadecimal text such as \"0x046D\"");
            n = std::stoull(t, nullptr, 16);
        } else {
            Fail(at, "expected a number, or hexadecimal text such as \"0x046D\"");
        }
        if (n > max) Fail(at, "expected a number from 0 to " + std::to_string(max));
        return n;
    }

    bool Boolean(const json& node, const char* key, const std::string& where, bool def) const {
        if (!node.contains(key) || node.at(key).is_null()) return def;
        if (!node.at(key).is_boolean()) Fail(where + "/" + key, "expected true or false");
        return node.at(key).get<bool>();
    }

    std::string Utf8(const json& v, const std::string& where) const {
        if (!v.is_string()) Fail(where, "expected a string");
        return v.get<std::string>();
    }

    std::string Ansi(const std::string& utf8) const { return cp_.FromUtf8(utf8); }

    // What a device keeps in UTF-16: every character of the text, also those the machine's
    // code page lacks.
    static std::u16string Wide(const std::string& utf8) {
        icu::UnicodeString u = icu::UnicodeString::fromUTF8(icu::StringPiece(utf8.data(), static_cast<std::int32_t>(utf8.size())));
        return std::u16string(reinterpret_cast<const char16_t*>(u.getBuffer()), static_cast<std::size_t>(u.length()));
    }

    const json& Array(const json& node, const char* key, const std::string& where) const {
        const json& v = node.at(key);
        if (!v.is_array()) Fail(where + "/" + key, "expected an array");
        return v;
    }

    // Bytes written as hexadecimal pairs, blanks and commas allowed between them.
    std::string HexBytes(const json& v, const std::string& where) const {
        std::string digits;
        for (char c : Utf8(v, where)) {
            if (c == ' ' || c == ',') continue;
            if (!std::isxdigit(static_cast<unsigned char>(c))) Fail(where, "expected bytes in hexadecimal pairs");
            digits += c;
        }
        if (digits.size() % 2 != 0) Fail(where, "expected bytes in hexadecimal pairs");
        std::string bytes;
        for (std::size_t i = 0; i < digits.size(); i += 2)
            bytes += static_cast<char>(std::stoi(digits.substr(i, 2), nullptr, 16));
        return bytes;
    }

    // "errors": request name to Win32 code; "lengths": request name to a reported length.
    UsbRequestFaults Faults(const json& node, const std::string& where, std::initializer_list<const char*> errorNames,
                            std::initializer_list<const char*> lengthNames) const {
        UsbRequestFaults f;
        if (node.contains("errors")) {
            const json& e = node.at("errors");
            std::string at = where + "/errors";
            OnlyKeys(e, at, errorNames);
            for (auto it = e.begin(); it != e.end(); ++it)
                f.errors[it.key()] = static_cast<DWORD>(Number(e, it.key().c_str(), at, 0, 0xFFFFFFFF));
        }
        if (node.contains("lengths")) {
            const json& l = node.at("lengths");
            std::string at = where + "/lengths";
            OnlyKeys(l, at, lengthNames);
            for (auto it = l.begin(); it != l.end(); ++it)
                f.reportedLengths[it.key()] = static_cast<std::uint32_t>(Number(l, it.key().c_str(), at, 0, 0xFFFFFFFF));
        }
        return f;
    }

private:
    std::string file_;
    const CodePageTable& cp_;
};

std::shared_ptr<const UsbHubConfig> ParseHub(const UsbReader& r, const json& node, const std::string& where);

UsbDeviceConfig ParseDevice(const UsbReader& r, const json& node, const std::string& where) {
    r.OnlyKeys(node, where,
               {"port", "status", "usb_version", "class", "subclass", "protocol", "max_packet_size", "vendor", "product",
                "device_version", "manufacturer_index", "product_index", "serial_index", "low_speed", "address",
                "open_pipes", "strings", "configuration", "driver_key", "is_hub", "hub", "hub_name", "raw_descriptors",
                "errors", "lengths", "description"});
    UsbDeviceConfig d;
    if (!node.contains("port")) r.Fail(where + "/port", "a device needs the number of its port, from 1");
    d.port = static_cast<std::uint32_t>(r.Number(node, "port", where, 1, 255));
    if (d.port == 0) r.Fail(where + "/port", "ports are numbered from 1");
    d.status = static_cast<std::uint32_t>(r.Number(node, "status", where, 1, 0xFFFFFFFF));
    d.bcdUsb = static_cast<std::uint16_t>(r.Number(node, "usb_version", where, 0x0110, 0xFFFF));
    d.deviceClass = static_cast<std::uint8_t>(r.Number(node, "class", where, 0, 0xFF));
    d.deviceSubClass = static_cast<std::uint8_t>(r.Number(node, "subclass", where, 0, 0xFF));
    d.deviceProtocol = static_cast<std::uint8_t>(r.Number(node, "protocol", where, 0, 0xFF));
    d.maxPacketSize = static_cast<std::uint8_t>(r.Number(node, "max_packet_size", where, 8, 0xFF));
    d.vendor = static_cast<std::uint16_t>(r.Number(node, "vendor", where, 0, 0xFFFF));
    d.product = static_cast<std::uint16_t>(r.Number(node, "product", where, 0, 0xFFFF));
    d.bcdDevice = static_cast<std::uint16_t>(r.Number(node, "device_version", where, 0x0100, 0xFFFF));
    d.lowSpeed = r.Boolean(node, "low_speed", where, false);
    d.address = static_cast<std::uint16_t>(r.Number(node, "address", where, 1, 127));
    d.openPipes = static_cast<std::uint32_t>(r.Number(node, "open_pipes", where, 1, 30));

    // The strings of each language by item; each item takes the index the device descriptor
    // gives it (by default 1, 2 and 3 for the items that some language has).
    struct Items {
        std::uint16_t language;
        std::map<std::string, std::u16string> texts;
    };
    std::vector<Items> tables;
    if (node.contains("strings")) {
        const json& strings = r.Array(node, "strings", where);
        if (strings.size() > kMaxDescriptorCharacters)
            r.Fail(where + "/strings", "a device offers at most 126 languages");
        for (std::size_t i = 0; i < strings.size(); ++i) {
            std::string at = where + "/strings/" + std::to_string(i);
            r.OnlyKeys(strings[i], at, {"language", "manufacturer", "product", "serial"});
            if (!strings[i].contains("language")) r.Fail(at + "/language", "a string table needs its language, such as \"0409\"");
            Items t{static_cast<std::uint16_t>(r.Number(strings[i], "language", at, 0, 0xFFFF)), {}};
            for (const char* item : {"manufacturer", "product", "serial"}) {
                if (!strings[i].contains(item)) continue;
                std::u16string text = UsbReader::Wide(r.Utf8(strings[i].at(item), at + "/" + item));
                if (text.size() > kMaxDescriptorCharacters)
                    r.Fail(at + "/" + item, "a string descriptor holds at most 126 characters");
                t.texts[item] = std::move(text);
            }
            tables.push_back(std::move(t));
        }
    }
    auto indexOf = [&](const char* key, const char* item, std::uint8_t def) {
        bool offered = std::any_of(tables.begin(), tables.end(), [&](const Items& t) { return t.texts.count(item) != 0; });
        return static_cast<std::uint8_t>(r.Number(node, key, where, offered ? def : 0, 0xFF));
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

    if (!node.contains("configuration")) {
        d.configuration = UsbConfiguration{};
    } else if (!node.at("configuration").is_null()) {
        const json& c = node.at("configuration");
        std::string at = where + "/configuration";
        r.OnlyKeys(c, at, {"attributes", "max_power", "value"});
        UsbConfiguration conf;
        conf.attributes = static_cast<std::uint8_t>(r.Number(c, "attributes", at, 0x80, 0xFF));
        conf.maxPower = static_cast<std::uint8_t>(r.Number(c, "max_power", at, 50, 0xFF));
        conf.value = static_cast<std::uint8_t>(r.Number(c, "value", at, 1, 0xFF));
        d.configuration = conf;
    }
    if (node.contains("driver_key")) d.driverKey = UsbReader::Wide(r.Utf8(node.at("driver_key"), where + "/driver_key"));
    if (node.contains("hub") && node.contains("hub_name"))
        r.Fail(where + "/hub_name", "a device is a hub of its own or names another, not both");
    if (node.contains("hub")) {
        d.hub = ParseHub(r, node.at("hub"), where + "/hub");
        d.hubName = d.hub->wideName;
    } else if (node.contains("hub_name")) {
        d.hubName = UsbReader::Wide(r.Utf8(node.at("hub_name"), where + "/hub_name"));
    }
    d.isHub = r.Boolean(node, "is_hub", where, d.hubName.has_value());
    if (node.contains("raw_descriptors")) {
        const json& raws = r.Array(node, "raw_descriptors", where);
        for (std::size_t i = 0; i < raws.size(); ++i) {
            std::string at = where + "/raw_descriptors/" + std::to_string(i);
            r.OnlyKeys(raws[i], at, {"type", "index", "language", "bytes"});
            UsbRawDescriptor raw;
            raw.type = static_cast<std::uint8_t>(r.Number(raws[i], "type", at, 0, 0xFF));
            raw.index = static_cast<std::uint8_t>(r.Number(raws[i], "index", at, 0, 0xFF));
            if (raws[i].contains("language")) raw.language = static_cast<std::uint16_t>(r.Number(raws[i], "language", at, 0, 0xFFFF));
            if (!raws[i].contains("bytes")) r.Fail(at + "/bytes", "give the descriptor's bytes");
            raw.bytes = r.HexBytes(raws[i].at("bytes"), at + "/bytes");
            d.rawDescriptors.push_back(std::move(raw));
        }
    }
    d.faults = r.Faults(node, where,
                        {"connection_information", "connection_name", "driverkey_name", "language_ids", "strings", "configuration"},
                        {"connection_name", "driverkey_name"});
    return d;
}

std::shared_ptr<const UsbHubConfig> ParseHub(const UsbReader& r, const json& node, const std::string& where) {
    r.OnlyKeys(node, where, {"name", "bus_powered", "ports", "devices", "errors", "description"});
    auto hub = std::make_shared<UsbHubConfig>();
    if (!node.contains("name")) r.Fail(where + "/name", "a hub needs its name");
    std::string name = r.Utf8(node.at("name"), where + "/name");
    if (name.empty()) r.Fail(where + "/name", "a hub needs its name");
    hub->name = r.Ansi(name);
    hub->wideName = UsbReader::Wide(name);
    hub->busPowered = r.Boolean(node, "bus_powered", where, false);
    std::uint32_t highestPort = 0;
    if (node.contains("devices")) {
        const json& devices = r.Array(node, "devices", where);
        for (std::size_t i = 0; i < devices.size(); ++i) {
            UsbDeviceConfig d = ParseDevice(r, devices[i], where + "/devices/" + std::to_string(i));
            for (const UsbDeviceConfig& other : hub->devices)
                if (other.port == d.port)
                    r.Fail(where + "/devices/" + std::to_string(i) + "/port", "port " + std::to_string(d.port) + " twice");
            highestPort = std::max(highestPort, d.port);
            hub->devices.push_back(std::move(d));
        }
    }
    hub->ports = static_cast<std::uint8_t>(r.Number(node, "ports", where, highestPort, 255));
    if (hub->ports < highestPort) r.Fail(where + "/ports", "a device stands on a port past the hub's last");
    hub->faults = r.Faults(node, where, {"node_information"}, {});
    return hub;
}

UsbConfig ParseTree(const UsbReader& r, const json& node, const std::string& where) {
    r.OnlyKeys(node, where, {"controllers", "description"});
    UsbConfig config;
    if (!node.contains("controllers")) return config;
    const json& controllers = r.Array(node, "controllers", where);
    for (std::size_t i = 0; i < controllers.size(); ++i) {
        std::string at = where + "/controllers/" + std::to_string(i);
        r.OnlyKeys(controllers[i], at, {"number", "root_hub", "errors", "lengths", "description"});
        if (!controllers[i].contains("number")) r.Fail(at + "/number", "a host controller needs its number");
        UsbControllerConfig c;
        c.number = static_cast<unsigned>(r.Number(controllers[i], "number", at, 0, 255));
        for (const UsbControllerConfig& other : config.controllers)
            if (other.number == c.number) r.Fail(at + "/number", "host controller " + std::to_string(c.number) + " twice");
        if (controllers[i].contains("root_hub")) c.rootHub = ParseHub(r, controllers[i].at("root_hub"), at + "/root_hub");
        c.faults = r.Faults(controllers[i], at, {"root_hub_name"}, {"root_hub_name"});
        config.controllers.push_back(std::move(c));
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
    if (!node.is_string()) return ParseTree(UsbReader(fileName, cp), node, "/usb");
    // The tree in a file of its own beside machine.json, which never names another folder.
    std::string name = node.get<std::string>();
    if (name.empty() || name.find_first_of("/\\:") != std::string::npos || name == "." || name == "..")
        UsbReader(fileName, cp).Fail("/usb", "expected the USB tree, or the name of a file beside the machine file");
    std::string path = machineFolder + "/" + name;
    std::optional<std::string> text = ReadHostFile(path);
    if (!text) UsbReader(fileName, cp).Fail("/usb", "cannot read " + path);
    json tree;
    try {
        tree = json::parse(*text);
    } catch (const json::parse_error& e) {
        throw MachineError(path + ": " + e.what());
    }
    return ParseTree(UsbReader(path, cp), tree, "");
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
