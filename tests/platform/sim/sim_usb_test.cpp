#include <gtest/gtest.h>

#include <fstream>

#include "platform/platform.h"
#include "platform/usb.h"
#include "support/le_bytes.h"
#include "support/test_machine.h"

using namespace qm::platform;
using qm::test::MachineErrorOf;
using qm::test::TestMachine;

namespace {

// A root hub of two ports: a hub on port 1 with a mouse on its port 3, nothing on port 2.
const char* const kTree = R"({"usb": {"controllers": [
    {"number": 0, "root_hub": {"name": "ROOT_HUB#0", "ports": 2, "devices": [
        {"port": 1, "vendor": "0x7D10", "product": "0x0608", "usb_version": "0x0200", "class": 9, "address": 2,
         "driver_key": "{36FC9E60-C465-11CF-8056-444553540000}\\0003",
         "hub": {"name": "HUB#1", "bus_powered": true, "ports": 4, "devices": [
             {"port": 3, "vendor": "0x1A2B", "product": "0x0001", "low_speed": true, "open_pipes": 2,
              "configuration": {"attributes": "0xA0", "max_power": 50},
              "strings": [{"language": "0409", "manufacturer": "Acme", "product": "Mouse"}, {"language": "0407"}]},
             {"port": 4, "status": 2}]}}]}},
    {"number": 3, "errors": {"root_hub_name": 31}}]}})";

std::unique_ptr<Device> Open(const std::string& name) {
    return Devices().CreateFile(name, GENERIC_WRITE, FILE_SHARE_WRITE, CreationDisposition::OpenExisting);
}

std::string In(std::uint32_t port, std::size_t size) {
    std::string block(size, '\0');
    qm::test::Set32(block, 0, port);
    return block;
}

// Sends the block as input and output; the reply, or none with the last error.
std::optional<std::string> Ask(Device& d, DWORD code, std::string block, DWORD outputSize = 0) {
    if (outputSize == 0) outputSize = static_cast<DWORD>(block.size());
    block.resize(std::max<std::size_t>(block.size(), outputSize));
    DWORD returned = 0;
    if (!d.DeviceIoControl(code, block.data(), static_cast<DWORD>(block.size()), block.data(), outputSize, returned))
        return std::nullopt;
    return block.substr(0, returned);
}

std::string DescriptorRequest(std::uint32_t port, std::uint8_t type, std::uint8_t index, std::uint16_t language,
                              std::uint16_t length, std::size_t size = 568) {
    std::string block = In(port, size);
    qm::test::Set16(block, usb::kSetupWValue, static_cast<std::uint16_t>(type << 8 | index));
    qm::test::Set16(block, usb::kSetupWIndex, language);
    qm::test::Set16(block, usb::kSetupWLength, length);
    return block;
}

std::string Wide(const std::string& ascii) {
    std::string out;
    for (char c : ascii) out += std::string{c, '\0'};
    return out + std::string(2, '\0');
}

std::uint32_t Le32(const std::string& s, std::size_t at) {
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < 4; ++i) v |= static_cast<std::uint32_t>(static_cast<unsigned char>(s[at + i])) << (8 * i);
    return v;
}

}  // namespace

TEST(SimUsb, AHostControllerNamesItsRootHubInTwoStepsAsTheDriverDoes) {
    TestMachine m(kTree);
    auto hcd = Open("\\\\.\\hcd0");
    ASSERT_NE(hcd, nullptr);
    const std::uint32_t needed = 4 + 2 * 11;  // "ROOT_HUB#0" and its zero
    std::string reply(64, '\x55');
    DWORD returned = 0;
    // Too short for the name: the fixed part, with the length the whole reply needs.
    ASSERT_TRUE(hcd->DeviceIoControl(IOCTL_USB_GET_ROOT_HUB_NAME, nullptr, 0, reply.data(), 6, returned));
    EXPECT_EQ(returned, 6u);
    EXPECT_EQ(Le32(reply, 0), needed);
    EXPECT_EQ(reply.substr(4, 2), std::string(2, '\0'));
    ASSERT_TRUE(hcd->DeviceIoControl(IOCTL_USB_GET_ROOT_HUB_NAME, nullptr, 0, reply.data(), needed, returned));
    EXPECT_EQ(returned, needed);
    EXPECT_EQ(reply.substr(4, needed - 4), Wide("ROOT_HUB#0"));
    EXPECT_FALSE(hcd->DeviceIoControl(IOCTL_USB_GET_ROOT_HUB_NAME, nullptr, 0, reply.data(), 5, returned));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_FALSE(hcd->DeviceIoControl(IOCTL_USB_GET_NODE_CONNECTION_INFORMATION, nullptr, 0, reply.data(), 64, returned));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_FUNCTION);

    // Controller 3 fails its request as the machine says; 1 and 2 are not there.
    auto third = Open("\\\\.\\HCD3");
    ASSERT_NE(third, nullptr);
    EXPECT_FALSE(third->DeviceIoControl(IOCTL_USB_GET_ROOT_HUB_NAME, nullptr, 0, reply.data(), 6, returned));
    EXPECT_EQ(GetLastError(), ERROR_GEN_FAILURE);
    EXPECT_EQ(Open("\\\\.\\HCD1"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST(SimUsb, HubsAnswerNodeAndConnectionRequestsInThePublishedLayout) {
    TestMachine m(kTree);
    auto root = Open("\\\\.\\ROOT_HUB#0");
    auto hub = Open("\\\\.\\hub#1");  // hubs open by name, also when nested
    ASSERT_NE(root, nullptr);
    ASSERT_NE(hub, nullptr);

    std::optional<std::string> node = Ask(*hub, IOCTL_USB_GET_NODE_INFORMATION, std::string(76, '\0'));
    ASSERT_TRUE(node);
    ASSERT_EQ(node->size(), 76u);
    EXPECT_EQ(node->at(usb::kHubDescriptorType), 0x29);
    EXPECT_EQ(node->at(usb::kHubNumberOfPorts), 4);
    EXPECT_EQ(node->at(usb::kHubIsBusPowered), 1);
    EXPECT_FALSE(Ask(*hub, IOCTL_USB_GET_NODE_INFORMATION, std::string(75, '\0')));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);

    std::optional<std::string> mouse = Ask(*hub, IOCTL_USB_GET_NODE_CONNECTION_INFORMATION, In(3, 366));
    ASSERT_TRUE(mouse);
    ASSERT_EQ(mouse->size(), usb::kPipeList + 2 * usb::kPipeInfoSize);
    EXPECT_EQ(Le32(*mouse, usb::kConnectionIndex), 3u);
    EXPECT_EQ(mouse->at(usb::kDeviceDescriptor), 18);
    EXPECT_EQ(mouse->substr(usb::kIdVendor, 4), std::string("\x2B\x1A\x01\x00", 4));
    EXPECT_EQ(mouse->substr(usb::kIManufacturer, 3), std::string("\x01\x02\x00", 3));  // strings 1 and 2, no serial
    EXPECT_EQ(mouse->at(usb::kLowSpeed), 1);
    EXPECT_EQ(mouse->at(usb::kDeviceIsHub), 0);
    EXPECT_EQ(Le32(*mouse, usb::kNumberOfOpenPipes), 2u);
    EXPECT_EQ(Le32(*mouse, usb::kConnectionStatus), usb::DeviceConnected);
    std::optional<std::string> hubDevice = Ask(*root, IOCTL_USB_GET_NODE_CONNECTION_INFORMATION, In(1, 366));
    ASSERT_TRUE(hubDevice);
    EXPECT_EQ(hubDevice->at(usb::kDeviceIsHub), 1);
    EXPECT_EQ(hubDevice->at(usb::kDeviceClass), 9);
    // An empty port and one whose device failed: only their status.
    for (std::uint32_t port : {1u, 4u}) {
        std::optional<std::string> other = Ask(*hub, IOCTL_USB_GET_NODE_CONNECTION_INFORMATION, In(port, 366));
        ASSERT_TRUE(other);
        EXPECT_EQ(Le32(*other, usb::kConnectionStatus), port == 1 ? usb::NoDeviceConnected : 2u);
        EXPECT_EQ(other->substr(usb::kDeviceDescriptor, 18), std::string(18, '\0'));
    }
    for (std::uint32_t port : {0u, 5u}) {
        EXPECT_FALSE(Ask(*hub, IOCTL_USB_GET_NODE_CONNECTION_INFORMATION, In(port, 366)));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    }

    // The connection names: the hub on root port 1, nothing on a port without a hub; the
    // driver key only of a device that is there.
    std::optional<std::string> shortName = Ask(*root, IOCTL_USB_GET_NODE_CONNECTION_NAME, In(1, 10));
    ASSERT_TRUE(shortName);
    EXPECT_EQ(shortName->size(), 10u);
    EXPECT_EQ(Le32(*shortName, 4), 8u + 2 * 6);
    std::optional<std::string> name = Ask(*root, IOCTL_USB_GET_NODE_CONNECTION_NAME, In(1, 20));
    ASSERT_TRUE(name);
    EXPECT_EQ(name->substr(8), Wide("HUB#1"));
    std::optional<std::string> none = Ask(*hub, IOCTL_USB_GET_NODE_CONNECTION_NAME, In(3, 10));
    ASSERT_TRUE(none);
    EXPECT_EQ(Le32(*none, 4), 10u);
    std::optional<std::string> key = Ask(*root, IOCTL_USB_GET_NODE_CONNECTION_DRIVERKEY_NAME, In(1, 200));
    ASSERT_TRUE(key);
    EXPECT_EQ(key->substr(8), Wide("{36FC9E60-C465-11CF-8056-444553540000}\\0003"));
    EXPECT_FALSE(Ask(*hub, IOCTL_USB_GET_NODE_CONNECTION_DRIVERKEY_NAME, In(3, 200)));  // the mouse has none
    EXPECT_FALSE(Ask(*hub, IOCTL_USB_GET_NODE_CONNECTION_DRIVERKEY_NAME, In(1, 200)));  // nobody there
}

TEST(SimUsb, DevicesSendTheirDescriptorsAsAskedAndStallOnWhatTheyLack) {
    TestMachine m(kTree);
    auto hub = Open("\\\\.\\HUB#1");
    ASSERT_NE(hub, nullptr);
    std::optional<std::string> languages = Ask(*hub, IOCTL_USB_GET_DESCRIPTOR_FROM_NODE_CONNECTION, DescriptorRequest(3, 3, 0, 0, 555));
    ASSERT_TRUE(languages);
    EXPECT_EQ(languages->substr(12), std::string("\x06\x03\x09\x04\x07\x04", 6));
    EXPECT_EQ(Le32(*languages, 0), 3u);  // the request's head comes back before the descriptor

    std::optional<std::string> product = Ask(*hub, IOCTL_USB_GET_DESCRIPTOR_FROM_NODE_CONNECTION, DescriptorRequest(3, 3, 2, 0x0409, 555));
    ASSERT_TRUE(product);
    EXPECT_EQ(product->substr(12), std::string("\x0C\x03", 2) + Wide("Mouse").substr(0, 10));
    // The second language has no strings, and the device no serial number.
    EXPECT_FALSE(Ask(*hub, IOCTL_USB_GET_DESCRIPTOR_FROM_NODE_CONNECTION, DescriptorRequest(3, 3, 2, 0x0407, 555)));
    EXPECT_EQ(GetLastError(), ERROR_GEN_FAILURE);
    EXPECT_FALSE(Ask(*hub, IOCTL_USB_GET_DESCRIPTOR_FROM_NODE_CONNECTION, DescriptorRequest(3, 3, 3, 0x0409, 555)));

    // The configuration: no more than asked for, nor than the buffer holds.
    std::optional<std::string> head = Ask(*hub, IOCTL_USB_GET_DESCRIPTOR_FROM_NODE_CONNECTION, DescriptorRequest(3, 2, 0, 0, 9, 22));
    ASSERT_TRUE(head);
    ASSERT_EQ(head->size(), 21u);
    EXPECT_EQ(head->substr(12, 2), std::string("\x09\x02", 2));
    EXPECT_EQ(static_cast<unsigned char>(head->at(12 + 7)), 0xA0);
    EXPECT_EQ(head->at(12 + 8), 50);
    std::optional<std::string> whole = Ask(*hub, IOCTL_USB_GET_DESCRIPTOR_FROM_NODE_CONNECTION, DescriptorRequest(3, 2, 0, 0, 255, 300));
    ASSERT_TRUE(whole);
    EXPECT_EQ(whole->size(), 12u + 9 + 9 + 2 * 7);  // configuration, interface, two endpoints
    EXPECT_EQ(whole->at(12 + 2), 9 + 9 + 14);
    std::optional<std::string> cut = Ask(*hub, IOCTL_USB_GET_DESCRIPTOR_FROM_NODE_CONNECTION, DescriptorRequest(3, 2, 0, 0, 255, 16));
    ASSERT_TRUE(cut);
    EXPECT_EQ(cut->size(), 16u);

    EXPECT_FALSE(Ask(*hub, IOCTL_USB_GET_DESCRIPTOR_FROM_NODE_CONNECTION, DescriptorRequest(1, 3, 0, 0, 555)));  // empty port
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(Ask(*hub, IOCTL_USB_GET_DESCRIPTOR_FROM_NODE_CONNECTION, std::string(8, '\0')));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(SimUsb, TheMachineFileMakesRequestsFailReportWrongLengthsAndHandBackItsOwnBytes) {
    TestMachine m(R"({"usb": {"controllers": [{"number": 0, "lengths": {"root_hub_name": 2},
        "root_hub": {"name": "R", "ports": 3, "errors": {"node_information": 5}, "devices": [
            {"port": 1, "driver_key": "K", "lengths": {"driverkey_name": "0xFFFFFFFF"},
             "errors": {"connection_name": 50, "strings": 31},
             "strings": [{"language": "0409", "product": "P"}],
             "raw_descriptors": [{"type": 2, "index": 0, "bytes": "09 02 12 00 01 01 00 80"},
                                 {"type": 3, "index": 0, "language": "0", "bytes": "04 03 09"}]},
            {"port": 2, "errors": {"connection_information": 31}}]}}]}})");
    auto hcd = Open("\\\\.\\HCD0");
    ASSERT_NE(hcd, nullptr);
    std::string reply(64, '\0');
    DWORD returned = 0;
    ASSERT_TRUE(hcd->DeviceIoControl(IOCTL_USB_GET_ROOT_HUB_NAME, nullptr, 0, reply.data(), 6, returned));
    EXPECT_EQ(Le32(reply, 0), 2u);
    auto root = Open("\\\\.\\R");
    ASSERT_NE(root, nullptr);
    EXPECT_FALSE(Ask(*root, IOCTL_USB_GET_NODE_INFORMATION, std::string(76, '\0')));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    std::optional<std::string> key = Ask(*root, IOCTL_USB_GET_NODE_CONNECTION_DRIVERKEY_NAME, In(1, 10));
    ASSERT_TRUE(key);
    EXPECT_EQ(Le32(*key, 4), 0xFFFFFFFFu);
    EXPECT_FALSE(Ask(*root, IOCTL_USB_GET_NODE_CONNECTION_NAME, In(1, 10)));
    EXPECT_EQ(GetLastError(), ERROR_NOT_SUPPORTED);
    EXPECT_FALSE(Ask(*root, IOCTL_USB_GET_DESCRIPTOR_FROM_NODE_CONNECTION, DescriptorRequest(1, 3, 2, 0x0409, 555)));
    EXPECT_EQ(GetLastError(), ERROR_GEN_FAILURE);
    std::optional<std::string> config = Ask(*root, IOCTL_USB_GET_DESCRIPTOR_FROM_NODE_CONNECTION, DescriptorRequest(1, 2, 0, 0, 9, 22));
    ASSERT_TRUE(config);
    EXPECT_EQ(config->substr(12), std::string("\x09\x02\x12\x00\x01\x01\x00\x80", 8));
    std::optional<std::string> odd = Ask(*root, IOCTL_USB_GET_DESCRIPTOR_FROM_NODE_CONNECTION, DescriptorRequest(1, 3, 0, 0, 555));
    ASSERT_TRUE(odd);
    EXPECT_EQ(odd->substr(12), std::string("\x04\x03\x09", 3));
    EXPECT_FALSE(Ask(*root, IOCTL_USB_GET_NODE_CONNECTION_INFORMATION, In(2, 366)));
    EXPECT_EQ(GetLastError(), ERROR_GEN_FAILURE);
    ASSERT_TRUE(Ask(*root, IOCTL_USB_GET_NODE_CONNECTION_INFORMATION, In(3, 366)));

    // The machine's own faults reach the hubs by their device names.
    m.Machine().AddFault({"DeviceIoControl", "\\\\.\\R", 1167, false, -1});
    EXPECT_FALSE(Ask(*root, IOCTL_USB_GET_NODE_CONNECTION_INFORMATION, In(3, 366)));
    EXPECT_EQ(GetLastError(), 1167u);
}

TEST(SimUsb, TheTreeMayLieInAFileOfItsOwn) {
    qm::test::TempFolder folder;
    std::ofstream(folder.Path() + "/usb.json") << R"({"controllers": [{"number": 2, "root_hub": {"name": "R2", "ports": 1}}]})";
    EXPECT_EQ(MachineErrorOf(R"({"usb": "usb.json"})", folder.Path()), "no error");
    EXPECT_NE(MachineErrorOf(R"({"usb": "../usb.json"})", folder.Path()).find("/usb: expected the USB tree"), std::string::npos);
    std::ofstream(folder.Path() + "/bad.json") << R"({"controllers": [{"number": 2, "root_hub": {"name": "R", "port": 1}}]})";
    EXPECT_NE(MachineErrorOf(R"({"usb": "bad.json"})", folder.Path()).find("bad.json: /controllers/0/root_hub/port: unknown entry"),
              std::string::npos);
}

TEST(SimUsb, AMachineFileThatDescribesNoSoundTreeIsRefusedWithThePlace) {
    struct Case {
        const char* json;
        const char* message;
    };
    const Case cases[] = {
        {R"({"usb": {"controllers": [{"number": 1}, {"number": 1}]}})", "/usb/controllers/1/number: host controller 1 twice"},
        {R"({"usb": {"controllers": [{"root_hub": {"name": "R"}}]}})", "/usb/controllers/0/number: a host controller needs its number"},
        {R"({"usb": {"controllers": [{"number": 0, "root_hub": {"name": ""}}]}})", "/usb/controllers/0/root_hub/name: a hub needs its name"},
        {R"({"usb": {"controllers": [{"number": 0, "root_hub": {"name": "R", "devices": [{"port": 1}, {"port": 1}]}}]}})",
         "/usb/controllers/0/root_hub/devices/1/port: port 1 twice"},
        {R"({"usb": {"controllers": [{"number": 0, "root_hub": {"name": "R", "ports": 1, "devices": [{"port": 2}]}}]}})",
         "/usb/controllers/0/root_hub/ports: a device stands on a port past the hub's last"},
        {R"({"usb": {"controllers": [{"number": 0, "root_hub": {"name": "R", "devices": [{"port": 1, "vendor": "0x12345"}]}}]}})",
         "/usb/controllers/0/root_hub/devices/0/vendor: expected a number from 0 to 65535"},
        {R"({"usb": {"controllers": [{"number": 0, "root_hub": {"name": "R", "devices": [{"port": 1, "errors": {"open": 5}}]}}]}})",
         "/usb/controllers/0/root_hub/devices/0/errors/open: unknown entry"},
        {R"({"usb": {"controllers": [{"number": 0, "root_hub": {"name": "R", "devices": [{"port": 1, "strings": [{"product": "P"}]}]}}]}})",
         "/usb/controllers/0/root_hub/devices/0/strings/0/language: a string table needs its language"},
    };
    for (const Case& c : cases) EXPECT_NE(MachineErrorOf(c.json).find(c.message), std::string::npos) << MachineErrorOf(c.json);
    std::string longText(127, 'x');
    EXPECT_NE(MachineErrorOf(R"({"usb": {"controllers": [{"number": 0, "root_hub": {"name": "R", "devices": [{"port": 1,
                 "strings": [{"language": "0409", "product": ")" + longText + R"("}]}]}}]}})")
                  .find("a string descriptor holds at most 126 characters"),
              std::string::npos);
}
