#include "collectors/usb_devices.h"

#include <algorithm>
#include <cstdio>
#include <optional>

#include "collectors/collector_guard.h"
#include "collectors/registry_values.h"
#include "core/process_state.h"
#include "core/result_list.h"
#include "core/sections.h"
#include "core/trace_log.h"
#include "platform/platform.h"
#include "platform/registry_accessor.h"
#include "platform/text.h"
#include "platform/usb.h"

namespace qm::collectors {

using namespace qm::platform;
using core::sections::kHcd, core::sections::kUsb;

namespace {

using Block = std::vector<std::uint8_t>;

// A driver that reports a reply longer than this is not believed: no name comes near it.
constexpr std::uint32_t kMaxNameReply = 64 * 1024;
// The sizes of the request blocks the drivers are sent.
constexpr std::size_t kConnectionInformationBlock = 366;
constexpr std::size_t kStringRequestBlock = 568;
constexpr std::uint16_t kStringRequestLength = 555;
constexpr std::size_t kConfigurationRequestBlock = 22;
const std::string kEnumUsb = "\\SYSTEM\\CurrentControlSet\\Enum\\USB\\";

void Put16(Block& b, std::size_t at, std::uint32_t v) {
    b[at] = static_cast<std::uint8_t>(v & 0xFF);
    b[at + 1] = static_cast<std::uint8_t>((v >> 8) & 0xFF);
}

void Put32(Block& b, std::size_t at, std::uint32_t v) {
    Put16(b, at, v & 0xFFFF);
    Put16(b, at + 2, v >> 16);
}

std::uint32_t Get16(const Block& b, std::size_t at) { return static_cast<std::uint32_t>(b[at] | (b[at + 1] << 8)); }

std::uint32_t Get32(const Block& b, std::size_t at) { return Get16(b, at) | (Get16(b, at + 2) << 16); }

// Sends the block as input and output; what the driver did not return reads as zero.
bool Send(Device& device, DWORD code, Block& block) {
    DWORD returned = 0;
    const DWORD size = static_cast<DWORD>(block.size());
    if (!device.DeviceIoControl(code, block.data(), size, block.data(), size, returned)) return false;
    std::fill(block.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(returned, block.size())), block.end(), 0);
    return true;
}

// UTF-16 text from the offset up to its first zero character or the end, in the ANSI code page.
std::string TextOf(const Block& block, std::size_t from, std::size_t end) {
    std::u16string wide;
    for (std::size_t at = from; at + 1 < end; at += 2) {
        char16_t c = static_cast<char16_t>(Get16(block, at));
        if (c == 0) break;
        wide += c;
    }
    return wide.empty() ? std::string() : CodePage().WideCharToMultiByte(wide);
}

// A name reply as the drivers give it: asked first with the fixed part only, to learn the
// length the whole reply needs (ActualLength), then with a buffer of that length. A reported
// length up to emptyUpTo holds no name, and one past kMaxNameReply is not believed; the name
// is read only within what the second reply returned.
std::string ReadName(Device& device, DWORD code, std::optional<std::uint32_t> port, std::size_t lengthAt,
                     std::size_t textAt, std::size_t emptyUpTo) {
    const std::size_t fixed = textAt + 2;
    auto ask = [&](Block& block, DWORD& returned) {
        returned = 0;
        const DWORD size = static_cast<DWORD>(block.size());
        if (!port) return device.DeviceIoControl(code, nullptr, 0, block.data(), size, returned);
        Put32(block, usb::kConnectionIndex, *port);
        return device.DeviceIoControl(code, block.data(), size, block.data(), size, returned);
    };
    Block first(fixed, 0);
    DWORD returned = 0;
    if (!ask(first, returned) || returned < lengthAt + 4) return {};
    const std::uint32_t actual = Get32(first, lengthAt);
    if (actual <= emptyUpTo || actual > kMaxNameReply) return {};
    Block reply(actual, 0);
    if (!ask(reply, returned)) return {};
    return TextOf(reply, textAt, std::min<std::size_t>(returned, reply.size()));
}

// The descriptor's bytes when the request came back with a whole one: at least its two head
// bytes, of the type asked for, its length byte the count of bytes that came back.
std::optional<Block> RequestDescriptor(Device& hub, std::uint32_t port, std::uint16_t value, std::uint16_t index,
                                       std::uint16_t length, std::size_t blockSize, std::uint8_t type) {
    Block block(blockSize, 0);
    Put32(block, usb::kConnectionIndex, port);
    Put16(block, usb::kSetupWValue, value);
    Put16(block, usb::kSetupWIndex, index);
    Put16(block, usb::kSetupWLength, length);
    DWORD returned = 0;
    const DWORD size = static_cast<DWORD>(block.size());
    if (!hub.DeviceIoControl(IOCTL_USB_GET_DESCRIPTOR_FROM_NODE_CONNECTION, block.data(), size, block.data(), size, returned))
        return std::nullopt;
    const std::size_t got = std::min<std::size_t>(returned, block.size());
    if (got < usb::kDescriptorData + 2) return std::nullopt;
    const std::size_t descriptorLength = got - usb::kDescriptorData;
    if (block[usb::kDescriptorData + 1] != type || block[usb::kDescriptorData] != descriptorLength) return std::nullopt;
    return Block(block.begin() + usb::kDescriptorData, block.begin() + static_cast<std::ptrdiff_t>(got));
}

std::string Hex4(std::uint32_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "%04X", value & 0xFFFF);
    return text;
}

const char* YesNo(bool yes) { return yes ? "YES" : "NO"; }

// Every record of these sections holds two value fields: the item and its value.
void AddItem(const char* section, const std::string& key, const char* item, const std::string& value) {
    core::AddResultLine(section, key, core::QuoteFields({item, value}));
}

// The registry's description and maker stand in the record as they are read, unquoted; only a
// line break, which would split the record, becomes a blank.
void AddRegistryItem(const std::string& key, const char* item, std::string value) {
    std::replace_if(value.begin(), value.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    core::AddResultLine(kUsb, key, core::QuoteField(item) + "," + value);
}

// A hub's name is the last part of a device path: one that is a path of its own, or carries
// control characters, names no hub.
bool IsHubName(const std::string& name) {
    return std::none_of(name.begin(), name.end(),
                        [](char c) { return c == '\\' || c == '/' || static_cast<unsigned char>(c) < 0x20; });
}

bool Named(const std::string& name, const std::vector<std::string>& hubs) {
    return std::any_of(hubs.begin(), hubs.end(), [&](const std::string& hub) { return EqualsNoCase(hub, name); });
}

// A hub named again on other ports would have its ports walked once for each: a few hubs of
// many ports naming one another would multiply the walk past any end.
bool Follows(const std::string& name, const std::vector<std::string>& hubs) {
    return hubs.size() < kMaxHubTiers && !Named(name, hubs) && !Named(name, core::State().usbHubsWalked);
}

}  // namespace

void UsbInventory() {
    LogAndGoOn([] { EnumerateHostControllers(); });
}

void EnumerateHostControllers() {
    core::State().usbDeviceCounter = 0;
    core::State().usbHubsWalked.clear();
    for (int i = 0; i <= 10; ++i) {
        // One controller that fails costs the others nothing.
        LogAndGoOn([i] {
            std::unique_ptr<Device> controller = Devices().CreateFile("\\\\.\\HCD" + std::to_string(i), GENERIC_WRITE,
                                                                      FILE_SHARE_WRITE, CreationDisposition::OpenExisting);
            if (!controller) return;
            std::string name = GetRootHubName(*controller);
            if (!name.empty()) UsbHubInfo(name, "HCD_" + std::to_string(i));
        });
    }
}

std::string GetRootHubName(Device& hostController) {
    return ReadName(hostController, IOCTL_USB_GET_ROOT_HUB_NAME, std::nullopt, usb::kRootHubNameActualLength,
                    usb::kRootHubNameText, usb::kRootHubNameText);
}

std::string GetExternalHubName(Device& hub, std::uint32_t port) {
    return ReadName(hub, IOCTL_USB_GET_NODE_CONNECTION_NAME, port, usb::kConnectionNameActualLength, usb::kConnectionNameText,
                    usb::kConnectionNameSize);
}

std::string GetDriverKeyName(Device& hub, std::uint32_t port) {
    return ReadName(hub, IOCTL_USB_GET_NODE_CONNECTION_DRIVERKEY_NAME, port, usb::kConnectionNameActualLength,
                    usb::kConnectionNameText, usb::kConnectionNameSize);
}

void UsbHubInfo(const std::string& hubName, const std::string& hubKey, const std::vector<std::string>& ancestors) {
    const char* section = hubKey.find("HCD") != std::string::npos ? kHcd : kUsb;
    const std::string path = "\\\\.\\" + hubName;
    AddItem(section, hubKey, "WindowsName", path);
    if (!IsHubName(hubName)) {
        core::WriteLog("USB hub name refused: " + path);
        return;
    }
    core::State().usbHubsWalked.push_back(hubName);
    std::unique_ptr<Device> hub = Devices().CreateFile(path, GENERIC_WRITE, FILE_SHARE_WRITE, CreationDisposition::OpenExisting);
    if (!hub) return;
    Block node(usb::kNodeInformationSize, 0);
    if (!Send(*hub, IOCTL_USB_GET_NODE_INFORMATION, node)) return;
    const unsigned ports = node[usb::kHubNumberOfPorts];
    AddItem(section, hubKey, "Self_Powered", YesNo(node[usb::kHubIsBusPowered] == 0));
    AddItem(section, hubKey, "NumberPort", std::to_string(ports));
    std::vector<std::string> hubs = ancestors;
    hubs.push_back(hubName);
    UsbPortsInfo(*hub, ports, hubKey, hubs);
}

void UsbPortsInfo(Device& hub, unsigned ports, const std::string& parentKey, const std::vector<std::string>& hubs) {
    for (std::uint32_t port = 1; port <= ports; ++port) {
        Block info(kConnectionInformationBlock, 0);
        Put32(info, usb::kConnectionIndex, port);
        // A hub that no longer answers has nothing more to tell of its other ports.
        if (!Send(hub, IOCTL_USB_GET_NODE_CONNECTION_INFORMATION, info)) return;
        if (Get32(info, usb::kConnectionStatus) != usb::DeviceConnected) continue;
        const std::string key = "USB_" + std::to_string(core::State().usbDeviceCounter++);

        LanguageIds ids{};
        const std::size_t count = GetLanguageIds(hub, port, ids);
        auto text = [&](std::size_t at, std::uint32_t language) {
            const std::uint8_t index = info[at];
            return index == 0 ? std::string() : GetStringDescriptor(hub, port, index, static_cast<std::uint16_t>(language));
        };
        for (std::size_t i = 0; i < count; ++i) {
            AddItem(kUsb, key, "LanguageID", Hex4(ids[i]));
            AddItem(kUsb, key, "SN", text(usb::kISerialNumber, ids[i]));
            AddItem(kUsb, key, "Product", text(usb::kIProduct, ids[i]));
            AddItem(kUsb, key, "Manufacturer", text(usb::kIManufacturer, ids[i]));
        }
        AddItem(kUsb, key, "Port", std::to_string(port));
        AddItem(kUsb, key, "Parent", parentKey);
        AddItem(kUsb, key, "idVendor", Hex4(Get16(info, usb::kIdVendor)));
        AddItem(kUsb, key, "idProduct", Hex4(Get16(info, usb::kIdProduct)));
        AddItem(kUsb, key, "USBVersion", Hex4(Get16(info, usb::kBcdUsb)));
        AddItem(kUsb, key, "ProductClass", Hex4(info[usb::kDeviceClass]));
        AddItem(kUsb, key, "ProductSubClass", Hex4(info[usb::kDeviceSubClass]));
        UsbConfigInfo(hub, port, key);
        AddItem(kUsb, key, "LowSpeed", YesNo(info[usb::kLowSpeed] != 0));
        const std::string driver = GetDriverKeyName(hub, port);
        AddItem(kUsb, key, "DriverName", driver);
        if (!driver.empty()) UsbDriverInfo(driver, key);
        if (info[usb::kDeviceIsHub] == 0) {
            AddItem(kUsb, key, "IS_HUB", "NO");
            continue;
        }
        AddItem(kUsb, key, "IS_HUB", "YES");
        const std::string name = GetExternalHubName(hub, port);
        if (name.empty()) continue;
        // A driver that names a hub above this one or one already walked, or hubs past the
        // last tier, would have the walk go round for ever.
        if (!Follows(name, hubs)) {
            core::WriteLog("USB hub not followed: \\\\.\\" + name);
            continue;
        }
        UsbHubInfo(name, key, hubs);
    }
}

std::size_t GetLanguageIds(Device& hub, std::uint32_t port, LanguageIds& ids) {
    std::optional<Block> d = RequestDescriptor(hub, port, usb::USB_STRING_DESCRIPTOR_TYPE << 8, 0, kStringRequestLength,
                                               kStringRequestBlock, usb::USB_STRING_DESCRIPTOR_TYPE);
    if (!d || d->size() % 2 != 0) return 0;
    const std::size_t count = std::min((d->size() - 2) / 2, ids.size());
    for (std::size_t i = 0; i < count; ++i) ids[i] = Get16(*d, 2 + 2 * i);
    return count;
}

std::string GetStringDescriptor(Device& hub, std::uint32_t port, std::uint8_t index, std::uint16_t language) {
    std::optional<Block> d =
        RequestDescriptor(hub, port, static_cast<std::uint16_t>((usb::USB_STRING_DESCRIPTOR_TYPE << 8) + index), language,
                          kStringRequestLength, kStringRequestBlock, usb::USB_STRING_DESCRIPTOR_TYPE);
    if (!d || d->size() % 2 != 0) return {};
    return TextOf(*d, 2, d->size());
}

void UsbConfigInfo(Device& hub, std::uint32_t port, const std::string& deviceKey) {
    std::optional<Block> d = RequestDescriptor(hub, port, usb::USB_CONFIGURATION_DESCRIPTOR_TYPE << 8, 0,
                                               usb::kConfigurationDescriptorSize, kConfigurationRequestBlock,
                                               usb::USB_CONFIGURATION_DESCRIPTOR_TYPE);
    // The attributes and the power stand in the last two of its nine bytes; a shorter one
    // holds neither.
    if (!d || d->size() < usb::kConfigurationDescriptorSize) return;
    const std::uint8_t attributes = (*d)[usb::kConfigurationAttributes];
    AddItem(kUsb, deviceKey, "RemoteWakeUp", YesNo((attributes & 0x20) != 0));
    AddItem(kUsb, deviceKey, "Self Powered", YesNo((attributes & 0x40) != 0));
    AddItem(kUsb, deviceKey, "Bus Powered", YesNo((attributes & 0x80) != 0));
    AddItem(kUsb, deviceKey, "MaxPower", std::to_string((*d)[usb::kConfigurationMaxPower] * 2));
}

void UsbDriverInfo(const std::string& driverKeyName, const std::string& deviceKey) {
    RegistryAccessor usbKey(HKEY_LOCAL_MACHINE);
    if (!usbKey.OpenKeyReadOnly(kEnumUsb)) return;
    for (const std::string& device : usbKey.GetKeyNames()) {
        if (device == "ROOT_HUB") continue;
        std::vector<std::string> instances;
        // One instance that cannot be read costs the others nothing.
        LogAndGoOn([&] {
            RegistryAccessor deviceKeyOfEnum(HKEY_LOCAL_MACHINE);
            if (deviceKeyOfEnum.OpenKeyReadOnly(kEnumUsb + device)) instances = deviceKeyOfEnum.GetKeyNames();
        });
        for (const std::string& instance : instances) {
            LogAndGoOn([&] {
                RegistryAccessor reg(HKEY_LOCAL_MACHINE);
                if (!reg.OpenKeyReadOnly(kEnumUsb + device + "\\" + instance)) return;
                if (FindRegText("Driver", reg) != driverKeyName) return;
                if (reg.ValueExists("DeviceDesc")) AddRegistryItem(deviceKey, "DeviceDesc", ReadRegValueAsString("DeviceDesc", reg));
                if (reg.ValueExists("Mfg")) AddRegistryItem(deviceKey, "Mfg", ReadRegValueAsString("Mfg", reg));
            });
        }
    }
}

}  // namespace qm::collectors
