#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "collectors/hardware_inventory.h"
#include "collectors/usb_devices.h"
#include "core/process_state.h"
#include "core/result_list.h"
#include "platform/platform.h"
#include "support/agent_state.h"
#include "support/reg_text.h"
#include "support/test_machine.h"

using namespace qm::collectors;
using nlohmann::json;
using qm::test::CollectRecords;
using qm::test::kTraceLog;
using qm::test::RegText;
using qm::test::StartAgentWithLog;
using qm::test::TestMachine;

namespace {

using Records = std::vector<std::string>;

std::string Rec(const std::string& section, const std::string& key, const std::string& item, const std::string& value) {
    return "\"" + section + "\",\"" + key + "\",\"" + item + "\",\"" + value + "\"";
}

std::string Usb(const std::string& key, const std::string& item, const std::string& value) { return Rec("USB", key, item, value); }

// The records of a hub: its name, power and ports.
Records Hub(const std::string& section, const std::string& key, const std::string& name, const char* selfPowered, int ports) {
    return {Rec(section, key, "WindowsName", "\\\\.\\" + name), Rec(section, key, "Self_Powered", selfPowered),
            Rec(section, key, "NumberPort", std::to_string(ports))};
}

Records operator+(Records a, const Records& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const std::string kHubDriver = "{36FC9E60-C465-11CF-8056-444553540000}\\0003";
const std::string kMouseDriver = "{745A17A0-74D3-11D0-B6FE-00A0C90F57DA}\\0000";
const std::string kStickDriver = "{36FC9E60-C465-11CF-8056-444553540000}\\0005";
const std::string kEnum = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\USB\\";

// Controllers 0 and 3. The root hub of 0 has a hub on port 1 with a mouse on its port 2, and a
// memory stick on port 2; that of 3 has two empty ports.
const json kExampleTree = json::parse(R"({"controllers": [
    {"number": 0, "root_hub": {"name": "ROOT_HUB#0", "ports": 2, "devices": [
        {"port": 1, "vendor": "0x7D10", "product": "0x0608", "usb_version": "0x0200", "class": 9,
         "configuration": {"attributes": "0xE0", "max_power": 50},
         "driver_key": "{36FC9E60-C465-11CF-8056-444553540000}\\0003",
         "hub": {"name": "HUB#1", "bus_powered": true, "ports": 4, "devices": [
             {"port": 2, "vendor": "0x1A2B", "product": "0x0001", "low_speed": true,
              "configuration": {"attributes": "0xA0", "max_power": 50},
              "strings": [{"language": "0409", "manufacturer": "Acme", "product": "Optical Mouse"}],
              "driver_key": "{745A17A0-74D3-11D0-B6FE-00A0C90F57DA}\\0000"}]}},
        {"port": 2, "vendor": "0x3C4D", "product": "0x1000", "usb_version": "0x0200", "class": 0,
         "configuration": {"attributes": "0x80", "max_power": 100},
         "strings": [{"language": "0409", "manufacturer": "Acme", "product": "Flash Disk", "serial": "0123456789AB"}],
         "driver_key": "{36FC9E60-C465-11CF-8056-444553540000}\\0005"}]}},
    {"number": 3, "root_hub": {"name": "ROOT_HUB#3", "ports": 2}}]})");

const std::string kExampleRegistry =
    RegText()
        .Key(kEnum + "ROOT_HUB\\4&1")
        .Value("Driver", kHubDriver)  // a root hub's instance is never looked at
        .Value("DeviceDesc", "USB Root Hub")
        .Key(kEnum + "Vid_7d10&Pid_0608\\5&2")
        .Value("Driver", kHubDriver)
        .Value("DeviceDesc", "Generic USB Hub")
        .Value("Mfg", "(Generic USB Hub)")
        .Key(kEnum + "Vid_1a2b&Pid_0001\\6&3")
        .Value("Driver", kMouseDriver)
        .Value("DeviceDesc", "USB Human Interface Device")
        .Key(kEnum + "Vid_3c4d&Pid_1000\\0123456789AB")
        .Value("Driver", kStickDriver)
        .Value("DeviceDesc", "USB Mass Storage Device")
        .Value("Mfg", "Acme, \"Storage\" Inc.")
        .Key(kEnum + "Vid_3c4d&Pid_1000\\OTHER")
        .Value("Driver", "{36fc9e60-c465-11cf-8056-444553540000}\\0005")  // differs only in case
        .Value("DeviceDesc", "Not this one")
        .Text();

std::string WithUsb(const json& tree, const std::string& patch = "{}") {
    json j = json::parse(patch);
    j["usb"] = tree;
    return j.dump();
}

// One controller whose root hub has these devices.
json RootWith(const json& devices, int ports = 0) {
    json hub = {{"name", "R"}, {"devices", devices}};
    if (ports != 0) hub["ports"] = ports;
    return {{"controllers", {{{"number", 0}, {"root_hub", hub}}}}};
}

// The records of the device on root port 1, without its key's other records.
Records DeviceRecords(const Records& all, const std::string& key = "USB_0") {
    Records out;
    for (const std::string& r : all)
        if (r.rfind("\"USB\",\"" + key + "\",", 0) == 0) out.push_back(r);
    return out;
}

std::vector<std::string> LogLines(TestMachine& m) { return qm::test::LogTexts(m.ReadFile(kTraceLog)); }

bool Logged(TestMachine& m, const std::string& text) {
    Records lines = LogLines(m);
    return std::find(lines.begin(), lines.end(), text) != lines.end();
}

}  // namespace

TEST(UsbInventory, TheExampleTreeGivesEveryRecordInItsOrder) {
    TestMachine m(WithUsb(kExampleTree), kExampleRegistry);
    StartAgentWithLog();
    const Records expected =
        Hub("HCD", "HCD_0", "ROOT_HUB#0", "YES", 2) +
        Records{Usb("USB_0", "Port", "1"), Usb("USB_0", "Parent", "HCD_0"), Usb("USB_0", "idVendor", "7D10"),
                Usb("USB_0", "idProduct", "0608"), Usb("USB_0", "USBVersion", "0200"), Usb("USB_0", "ProductClass", "0009"),
                Usb("USB_0", "ProductSubClass", "0000"), Usb("USB_0", "RemoteWakeUp", "YES"),
                Usb("USB_0", "Self Powered", "YES"), Usb("USB_0", "Bus Powered", "YES"), Usb("USB_0", "MaxPower", "100"),
                Usb("USB_0", "LowSpeed", "NO"), Usb("USB_0", "DriverName", kHubDriver),
                "\"USB\",\"USB_0\",\"DeviceDesc\",Generic USB Hub", "\"USB\",\"USB_0\",\"Mfg\",(Generic USB Hub)",
                Usb("USB_0", "IS_HUB", "YES")} +
        Hub("USB", "USB_0", "HUB#1", "NO", 4) +
        Records{Usb("USB_1", "LanguageID", "0409"), Usb("USB_1", "SN", ""), Usb("USB_1", "Product", "Optical Mouse"),
                Usb("USB_1", "Manufacturer", "Acme"), Usb("USB_1", "Port", "2"), Usb("USB_1", "Parent", "USB_0"),
                Usb("USB_1", "idVendor", "1A2B"), Usb("USB_1", "idProduct", "0001"), Usb("USB_1", "USBVersion", "0110"),
                Usb("USB_1", "ProductClass", "0000"), Usb("USB_1", "ProductSubClass", "0000"),
                Usb("USB_1", "RemoteWakeUp", "YES"), Usb("USB_1", "Self Powered", "NO"), Usb("USB_1", "Bus Powered", "YES"),
                Usb("USB_1", "MaxPower", "100"), Usb("USB_1", "LowSpeed", "YES"), Usb("USB_1", "DriverName", kMouseDriver),
                "\"USB\",\"USB_1\",\"DeviceDesc\",USB Human Interface Device", Usb("USB_1", "IS_HUB", "NO")} +
        Records{Usb("USB_2", "LanguageID", "0409"), Usb("USB_2", "SN", "0123456789AB"), Usb("USB_2", "Product", "Flash Disk"),
                Usb("USB_2", "Manufacturer", "Acme"), Usb("USB_2", "Port", "2"), Usb("USB_2", "Parent", "HCD_0"),
                Usb("USB_2", "idVendor", "3C4D"), Usb("USB_2", "idProduct", "1000"), Usb("USB_2", "USBVersion", "0200"),
                Usb("USB_2", "ProductClass", "0000"), Usb("USB_2", "ProductSubClass", "0000"),
                Usb("USB_2", "RemoteWakeUp", "NO"), Usb("USB_2", "Self Powered", "NO"), Usb("USB_2", "Bus Powered", "YES"),
                Usb("USB_2", "MaxPower", "200"), Usb("USB_2", "LowSpeed", "NO"), Usb("USB_2", "DriverName", kStickDriver),
                // As read: the comma and the quotes stay.
                "\"USB\",\"USB_2\",\"DeviceDesc\",USB Mass Storage Device", "\"USB\",\"USB_2\",\"Mfg\",Acme, \"Storage\" Inc.",
                Usb("USB_2", "IS_HUB", "NO")} +
        Hub("HCD", "HCD_3", "ROOT_HUB#3", "YES", 2);
    const std::size_t logged = LogLines(m).size();
    EXPECT_EQ(CollectRecords(UsbInventory), expected);
    // Nothing in the trace log but the records it mirrors.
    Records lines = LogLines(m);
    for (std::size_t i = logged; i < lines.size(); ++i) EXPECT_EQ(lines[i].rfind("RES : ", 0), 0u) << lines[i];

    // A second pass numbers its devices from 0 again.
    Records again = CollectRecords(UsbInventory);
    EXPECT_EQ(again, expected);
}

TEST(UsbInventory, EachLanguageOfADeviceGivesItsGroupOfStrings) {
    TestMachine m(WithUsb(RootWith({{{"port", 1},
                                     {"strings", {{{"language", "0409"}, {"manufacturer", "Acme \u20AC\u03A9"}, {"product", "Stick"}, {"serial", "0001"}},
                                                  {{"language", "0407"}}}}},
                                    {{"port", 2}}})));
    StartAgentWithLog();
    Records records = CollectRecords(UsbInventory);
    Records first = DeviceRecords(records);
    ASSERT_GE(first.size(), 9u);
    // The second language has no strings: its items are empty.
    EXPECT_EQ(Records(first.begin(), first.begin() + 9),
              (Records{Usb("USB_0", "LanguageID", "0409"), Usb("USB_0", "SN", "0001"), Usb("USB_0", "Product", "Stick"),
                       // In the machine's code page; what it lacks becomes "?".
                       Usb("USB_0", "Manufacturer", "Acme \x80?"), Usb("USB_0", "LanguageID", "0407"), Usb("USB_0", "SN", ""),
                       Usb("USB_0", "Product", ""), Usb("USB_0", "Manufacturer", ""), Usb("USB_0", "Port", "1")}));
    // A device without string descriptors has no language at all.
    Records second = DeviceRecords(records, "USB_1");
    ASSERT_FALSE(second.empty());
    EXPECT_EQ(second.front(), Usb("USB_1", "Port", "2"));
}

TEST(UsbInventory, TheLanguageListHoldsEveryLanguageADescriptorCarries) {
    // 126 languages fill a descriptor of 254 bytes, the most its length byte allows.
    std::string list = "FE 03";
    char id[8];
    for (int i = 0; i < 126; ++i) {
        std::snprintf(id, sizeof id, " %02X 04", 0x01 + i);
        list += id;
    }
    TestMachine m(WithUsb(RootWith({{{"port", 1}, {"raw_descriptors", {{{"type", 3}, {"index", 0}, {"bytes", list}}}}}})));
    StartAgentWithLog();
    Records languages;
    for (const std::string& r : CollectRecords(UsbInventory))
        if (r.find("\"LanguageID\"") != std::string::npos) languages.push_back(r);
    ASSERT_EQ(languages.size(), 126u);
    EXPECT_EQ(languages.front(), Usb("USB_0", "LanguageID", "0401"));
    EXPECT_EQ(languages.back(), Usb("USB_0", "LanguageID", "047E"));
}

TEST(UsbInventory, StringDescriptorsAreTakenOnlyWhenWholeAndWithinTheirLength) {
    struct Case {
        const char* name;
        const char* bytes;  // string descriptor 2 in language 0409
        const char* product;
    };
    const Case cases[] = {
        {"whole", "08 03 41 00 42 00 43 00", "ABC"},
        {"ends at its first zero character", "08 03 41 00 00 00 43 00", "A"},
        {"odd length", "05 03 41 00 42", ""},
        {"not a string", "06 04 41 00 42 00", ""},
        {"length byte past what came back", "0A 03 41 00 42 00", ""},
        {"length byte short of what came back", "04 03 41 00 42 00", ""},
        {"nothing but the head", "02 03", ""},
        {"a single byte", "08", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestMachine m(WithUsb(RootWith({{{"port", 1},
                                         {"strings", {{{"language", "0409"}, {"product", "unused"}}}},
                                         {"raw_descriptors", {{{"type", 3}, {"index", 2}, {"language", "0409"}, {"bytes", c.bytes}}}}}})));
        StartAgentWithLog();
        Records device = DeviceRecords(CollectRecords(UsbInventory));
        ASSERT_GE(device.size(), 3u);
        EXPECT_EQ(device[2], Usb("USB_0", "Product", c.product));
    }
}

TEST(UsbInventory, AConfigurationDescriptorIsReadOnlyWhenItsLengthHoldsTheAttributes) {
    struct Case {
        const char* name;
        json device;
        bool recorded;
    };
    auto raw = [](const char* bytes) {
        return json{{"port", 1}, {"raw_descriptors", {{{"type", 2}, {"index", 0}, {"bytes", bytes}}}}};
    };
    const Case cases[] = {
        {"nine bytes", raw("09 02 19 00 01 01 00 C0 32"), true},
        {"length byte of nine, eight bytes sent", raw("09 02 19 00 01 01 00 C0"), false},
        {"length byte of four, four bytes sent", raw("04 02 19 00"), false},
        {"not a configuration", raw("09 04 19 00 01 01 00 C0 32"), false},
        {"no configuration", {{"port", 1}, {"configuration", nullptr}}, false},
        {"the request fails", {{"port", 1}, {"errors", {{"configuration", 31}}}}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestMachine m(WithUsb(RootWith(json::array({c.device}))));
        StartAgentWithLog();
        Records device = DeviceRecords(CollectRecords(UsbInventory));
        bool found = std::find(device.begin(), device.end(), Usb("USB_0", "MaxPower", "100")) != device.end();
        EXPECT_EQ(found, c.recorded);
        EXPECT_EQ(std::count_if(device.begin(), device.end(), [](const std::string& r) { return r.find("Powered") != std::string::npos; }),
                  c.recorded ? 2 : 0);
        if (c.recorded) {
            EXPECT_NE(std::find(device.begin(), device.end(), Usb("USB_0", "Self Powered", "YES")), device.end());
        }
    }
}

TEST(UsbInventory, AFailingConnectionRequestEndsThatHubsPortsOnly) {
    json tree = RootWith({{{"port", 1}}, {{"port", 2}, {"errors", {{"connection_information", 31}}}}, {{"port", 3}}}, 3);
    tree["controllers"].push_back({{"number", 1}, {"root_hub", {{"name", "R1"}, {"devices", {{{"port", 1}}}}}}});
    TestMachine m(WithUsb(tree));
    StartAgentWithLog();
    Records records = CollectRecords(UsbInventory);
    Records ports;
    for (const std::string& r : records)
        if (r.find("\"Port\"") != std::string::npos || r.find("\"Parent\"") != std::string::npos) ports.push_back(r);
    // Port 3 is not looked at; the next controller's device takes the next number.
    EXPECT_EQ(ports, (Records{Usb("USB_0", "Port", "1"), Usb("USB_0", "Parent", "HCD_0"), Usb("USB_1", "Port", "1"),
                              Usb("USB_1", "Parent", "HCD_1")}));
}

TEST(UsbInventory, ReportedLengthsAreBelievedOnlyWithinWhatCameBack) {
    json tree = {{"controllers",
                  {{{"number", 0}, {"lengths", {{"root_hub_name", 2}}}, {"root_hub", {{"name", "R0"}}}},
                   {{"number", 1}, {"lengths", {{"root_hub_name", "0xFFFFFFFF"}}}, {"root_hub", {{"name", "R1"}}}},
                   {{"number", 2},
                    {"root_hub",
                     {{"name", "R2"},
                      {"devices",
                       {{{"port", 1}, {"driver_key", kStickDriver}, {"lengths", {{"driverkey_name", "0xFFFFFFFF"}}}},
                        {{"port", 2}, {"driver_key", kStickDriver}, {"lengths", {{"driverkey_name", 2}}}},
                        // Longer than the fixed part, shorter than the name: the second reply holds no name.
                        {{"port", 3}, {"driver_key", kStickDriver}, {"lengths", {{"driverkey_name", 12}}}},
                        {{"port", 4}, {"driver_key", kStickDriver}, {"lengths", {{"driverkey_name", 4000}}}},
                        {{"port", 5}, {"hub", {{"name", "H"}, {"ports", 1}}}, {"lengths", {{"connection_name", 0}}}}}}}}}}}};
    TestMachine m(WithUsb(tree), RegText().Key(kEnum + "Vid_0000&Pid_0000\\1").Value("Driver", kStickDriver).Value("DeviceDesc", "Stick").Text());
    StartAgentWithLog();
    Records records = CollectRecords(UsbInventory);
    EXPECT_EQ(records.front(), Rec("HCD", "HCD_2", "WindowsName", "\\\\.\\R2"));  // controllers 0 and 1 give nothing
    Records drivers;
    for (const std::string& r : records)
        if (r.find("\"DriverName\"") != std::string::npos || r.find("\"DeviceDesc\"") != std::string::npos) drivers.push_back(r);
    // A length past the name is no harm: the name ends where the reply does.
    EXPECT_EQ(drivers, (Records{Usb("USB_0", "DriverName", ""), Usb("USB_1", "DriverName", ""), Usb("USB_2", "DriverName", ""),
                                Usb("USB_3", "DriverName", kStickDriver), "\"USB\",\"USB_3\",\"DeviceDesc\",Stick",
                                Usb("USB_4", "DriverName", "")}));
    Records hub = DeviceRecords(records, "USB_4");
    EXPECT_EQ(hub.back(), Usb("USB_4", "IS_HUB", "YES"));  // and nothing of the hub
}

TEST(UsbInventory, HubsThatNameThemselvesOrAnAncestorAreNotWalkedAgain) {
    json tree = RootWith({{{"port", 1}, {"hub_name", "r"}},
                          {{"port", 2}, {"hub", {{"name", "H1"}, {"devices", {{{"port", 1}, {"hub_name", "H1"}}}}}}}});
    TestMachine m(WithUsb(tree));
    StartAgentWithLog();
    Records records = CollectRecords(UsbInventory);
    Records keys;
    for (const std::string& r : records)
        if (r.find("\"WindowsName\"") != std::string::npos || r.find("\"IS_HUB\"") != std::string::npos) keys.push_back(r);
    EXPECT_EQ(keys, (Records{Rec("HCD", "HCD_0", "WindowsName", "\\\\.\\R"), Usb("USB_0", "IS_HUB", "YES"),
                             Usb("USB_1", "IS_HUB", "YES"), Usb("USB_1", "WindowsName", "\\\\.\\H1"), Usb("USB_2", "IS_HUB", "YES")}));
    EXPECT_TRUE(Logged(m, "USB hub not followed: \\\\.\\r"));
    EXPECT_TRUE(Logged(m, "USB hub not followed: \\\\.\\H1"));
}

TEST(UsbInventory, AHubNamedOnSeveralPortsIsWalkedOnce) {
    // Hub B on port 2 of the root hub, and named again on both ports of hub A: walked each
    // time, a few such hubs of many ports would multiply the walk past any end.
    json tree = RootWith({{{"port", 1},
                           {"hub", {{"name", "A"}, {"devices", {{{"port", 1}, {"hub_name", "B"}}, {{"port", 2}, {"hub_name", "b"}}}}}}},
                          {{"port", 2}, {"hub", {{"name", "B"}, {"devices", {{{"port", 1}}}}}}}});
    TestMachine m(WithUsb(tree));
    StartAgentWithLog();
    Records names;
    for (const std::string& r : CollectRecords(UsbInventory))
        if (r.find("\"WindowsName\"") != std::string::npos) names.push_back(r);
    EXPECT_EQ(names, (Records{Rec("HCD", "HCD_0", "WindowsName", "\\\\.\\R"), Usb("USB_0", "WindowsName", "\\\\.\\A"),
                              Usb("USB_1", "WindowsName", "\\\\.\\B")}));
    EXPECT_TRUE(Logged(m, "USB hub not followed: \\\\.\\b"));
    EXPECT_EQ(qm::core::State().usbDeviceCounter, 5);  // A, both hubs on its ports, the device behind B, and B
}

TEST(UsbInventory, HubsAreFollowedAtMostSevenTiersDeep) {
    // A chain of eight hubs below the root hub, each on port 1 of the one above.
    json hub = {{"name", "H8"}, {"ports", 1}};
    for (int i = 7; i >= 1; --i) hub = {{"name", "H" + std::to_string(i)}, {"devices", {{{"port", 1}, {"hub", hub}}}}};
    TestMachine m(WithUsb(RootWith({{{"port", 1}, {"hub", hub}}})));
    StartAgentWithLog();
    Records names;
    for (const std::string& r : CollectRecords(UsbInventory))
        if (r.find("\"WindowsName\"") != std::string::npos) names.push_back(r);
    // The root hub and six tiers of hubs below it.
    ASSERT_EQ(names.size(), 7u);
    EXPECT_EQ(names.back(), Usb("USB_5", "WindowsName", "\\\\.\\H6"));
    EXPECT_TRUE(Logged(m, "USB hub not followed: \\\\.\\H7"));
}

TEST(UsbInventory, AHubNameThatIsAPathIsNotOpened) {
    TestMachine m(WithUsb(RootWith({{{"port", 1}, {"hub_name", "..\\C:\\boot.ini"}}})));
    StartAgentWithLog();
    Records device = DeviceRecords(CollectRecords(UsbInventory));
    EXPECT_EQ(Records(device.end() - 2, device.end()),
              (Records{Usb("USB_0", "IS_HUB", "YES"), Usb("USB_0", "WindowsName", "\\\\.\\..\\C:\\boot.ini")}));
    EXPECT_TRUE(Logged(m, "USB hub name refused: \\\\.\\..\\C:\\boot.ini"));
}

TEST(UsbInventory, HubsThatCannotBeOpenedOrDoNotAnswerGiveOnlyTheirName) {
    json tree = {{"controllers",
                  {{{"number", 0}, {"root_hub", {{"name", "R0"}, {"errors", {{"node_information", 31}}}}}},
                   {{"number", 1}, {"root_hub", {{"name", "R1"}, {"ports", 1}}}},
                   {{"number", 2}}}}};  // a controller without a root hub
    TestMachine m(WithUsb(tree));
    m.Machine().AddFault({"CreateFile", "\\\\.\\R1", 5, false, -1});
    StartAgentWithLog();
    EXPECT_EQ(CollectRecords(UsbInventory),
              (Records{Rec("HCD", "HCD_0", "WindowsName", "\\\\.\\R0"), Rec("HCD", "HCD_1", "WindowsName", "\\\\.\\R1")}));
}

TEST(UsbInventory, RegistryValuesOfEveryTypeStayOnTheRecordsLine) {
    const std::string driver = kStickDriver;
    TestMachine m(WithUsb(RootWith({{{"port", 1}, {"driver_key", driver}}})),
                  RegText()
                      .Key(kEnum + "Vid_0000&Pid_0000\\1")
                      .Value("Driver", driver)
                      // Bytes as characters, the zeros skipped; a line break becomes a blank.
                      .Binary("DeviceDesc", RegText::Bytes("55,53,42,0d,0a,00,53,74,69,63,6b"))
                      .Typed("Mfg", 1, RegText::Bytes("41,63,6d,65,0d,0a,49,6e,63,00"))
                      .Key(kEnum + "Vid_0000&Pid_0000\\2")
                      .Dword("Driver", 5)  // counts as absent
                      .Value("DeviceDesc", "never")
                      .Key(kEnum + "Vid_0000&Pid_0000\\3")
                      .Value("Driver", driver)
                      .Dword("DeviceDesc", 0xFFFFFFFFu)
                      // A text ends at its first zero byte.
                      .Key(kEnum + "Vid_0000&Pid_0000\\4")
                      .Value("Driver", driver)
                      .Typed("DeviceDesc", 1, RegText::Bytes("53,74,69,63,6b,00,6a,75,6e,6b,00"))
                      .Text());
    StartAgentWithLog();
    Records device = DeviceRecords(CollectRecords(UsbInventory));
    Records registry;
    for (const std::string& r : device)
        if (r.find("\"DeviceDesc\"") != std::string::npos || r.find("\"Mfg\"") != std::string::npos) registry.push_back(r);
    EXPECT_EQ(registry, (Records{"\"USB\",\"USB_0\",\"DeviceDesc\",USB  Stick", "\"USB\",\"USB_0\",\"Mfg\",Acme  Inc",
                                 "\"USB\",\"USB_0\",\"DeviceDesc\",-1", "\"USB\",\"USB_0\",\"DeviceDesc\",Stick"}));
}

TEST(UsbInventory, OnlyTheRootHubIdentifierAsSpeltIsPassedOver) {
    const std::pair<const char*, bool> cases[] = {
        {"ROOT_HUB", false},
        {"Root_Hub", true},
        {"root_hub", true},
        {"ROOT_HUB20", true},
    };
    for (const auto& [identifier, taken] : cases) {
        SCOPED_TRACE(identifier);
        TestMachine m(WithUsb(RootWith({{{"port", 1}, {"driver_key", kStickDriver}}})),
                      RegText().Key(kEnum + identifier + "\\1").Value("Driver", kStickDriver).Value("DeviceDesc", "Stick").Text());
        StartAgentWithLog();
        Records device = DeviceRecords(CollectRecords(UsbInventory));
        EXPECT_EQ(std::count(device.begin(), device.end(), "\"USB\",\"USB_0\",\"DeviceDesc\",Stick"), taken ? 1 : 0);
    }
}

TEST(UsbInventory, AFailureIsLoggedAndCostsOnlyWhatItTouched) {
    TestMachine m(WithUsb(kExampleTree), kExampleRegistry);
    // Controller 0's root hub throws; one registry instance cannot be opened.
    m.Machine().AddFault({"DeviceIoControl", "\\\\.\\HUB#1", 0, true, -1});
    m.Machine().AddFault({"RegOpenKeyEx", kEnum + "Vid_7d10&Pid_0608\\5&2", 0, true, -1});
    StartAgentWithLog();
    Records records = CollectRecords(UsbInventory);
    EXPECT_TRUE(Logged(m, "DeviceIoControl failed on purpose: \\\\.\\HUB#1"));
    Records lines = LogLines(m);
    EXPECT_NE(std::find_if(lines.begin(), lines.end(),
                           [](const std::string& l) { return l.rfind("RegOpenKeyEx failed on purpose: ", 0) == 0 && l.find("5&2") != std::string::npos; }),
              lines.end());
    // The hub device lost its description only; the walk of controller 0 ended in the hub,
    // and controller 3 still follows.
    Records hubDevice = DeviceRecords(records);
    EXPECT_EQ(std::count_if(hubDevice.begin(), hubDevice.end(), [](const std::string& r) { return r.find("DeviceDesc") != std::string::npos; }), 0);
    EXPECT_NE(std::find(records.begin(), records.end(), Usb("USB_0", "WindowsName", "\\\\.\\HUB#1")), records.end());
    EXPECT_TRUE(DeviceRecords(records, "USB_1").empty());
    EXPECT_EQ(records.back(), Rec("HCD", "HCD_3", "NumberPort", "2"));
}
