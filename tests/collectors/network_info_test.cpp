#include <gtest/gtest.h>

#include "collectors/network_info.h"
#include "core/process_state.h"
#include "platform/platform.h"
#include "support/agent_state.h"
#include "support/reg_text.h"
#include "support/test_machine.h"

using namespace qm::collectors;
using qm::platform::Network;
using namespace qm::test;

namespace {

using Records = std::vector<std::string>;

Records IpConfig(std::initializer_list<std::pair<std::string, std::string>> values) {
    Records out;
    for (const auto& [key, value] : values) out.push_back(RecordLine("IPConfig", key, value));
    return out;
}

// A key of HKEY_LOCAL_MACHINE, for its values to follow.
RegText Key(const std::string& path) { return RegText().Key("HKEY_LOCAL_MACHINE\\" + path); }
RegText Card(int number) { return Key(R"(SOFTWARE\Microsoft\Windows NT\CurrentVersion\NetworkCards\)" + std::to_string(number)); }
RegText Service(const std::string& path) { return Key(R"(SYSTEM\CurrentControlSet\Services\)" + path); }

const char* const kNine = R"({"version": {"platform_id": 1, "major": 4, "minor": 10, "build": 67766446}})";

std::string LogNow(TestMachine& m) { return m.ReadFile(kTraceLog); }

// What the trace log says besides the records it mirrors.
std::vector<std::string> Said(TestMachine& m) { return LogTextsBesideRecords(LogNow(m)); }

}  // namespace

TEST(NetworkAdapters, NtNumbersTheCardsItWritesAndTakesTheFirstServiceName) {
    TestMachine m("{}", (Card(2).Value("ServiceName", "{A}")  // the service, without a description
                         + Card(3).Value("Description", "Fast Ethernet").Value("ServiceName", "{B}")
                         + Card(4).Dword("Description", 7).Value("ServiceName", "{C}")
                         + Card(6).Value("Description", "1394 Net Adapter")
                         + Card(21).Value("Description", "past the last number")
                         + Service(R"({A}\Parameters\Tcpip)").Dword("EnableDHCP", 0)
                         + Service(R"({B}\Parameters\Tcpip)").Dword("EnableDHCP", 1))
                            .Text());
    StartAgentWithLog();
    EXPECT_EQ(CollectRecords(NetworkInfo),
              (Records{RecordLine("Network adapter", "0", "Fast Ethernet"), RecordLine("Network adapter", "1", "1394 Net Adapter"),
                       RecordLine("IPConfig", "DHCPActif", "NO")}));
    // A description of another type counts as absent, with a line that says so.
    EXPECT_NE(LogNow(m).find("|Invalid data type for 'DESCRIPTION': counted as absent\r\n"), std::string::npos);
}

TEST(NetworkAdapters, OneCardThatCannotBeReadCostsTheOthersNothing) {
    TestMachine m(R"({"faults": [{"op": "RegOpenKeyEx", "raise": true,
                      "path": "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\NetworkCards\\1"}]})",
                  (Card(1).Value("Description", "Unreadable").Value("ServiceName", "{A}")
                   + Card(2).Value("Description", "Fast Ethernet").Value("ServiceName", "{B}")
                   + Card(3).Value("Description", "Wireless") + Service(R"({B}\Parameters\Tcpip)").Dword("EnableDHCP", 1))
                      .Text());
    StartAgentWithLog();
    EXPECT_EQ(CollectRecords(NetworkInfo),
              (Records{RecordLine("Network adapter", "0", "Fast Ethernet"), RecordLine("Network adapter", "1", "Wireless"),
                       RecordLine("IPConfig", "DHCPActif", "YES")}));
    EXPECT_NE(LogNow(m).find("|RegOpenKeyEx failed on purpose: HKEY_LOCAL_MACHINE\\SOFTWARE\\MICROSOFT\\WINDOWS NT\\"
                             "CURRENTVERSION\\NETWORKCARDS\\1\r\n"),
              std::string::npos);
}

TEST(NetworkAdapters, The9xFamilyTakesTheFirstAdapterKeyThatOpensAsItsTransport) {
    TestMachine m(kNine, (Service(R"(Class\Net\0001)").Value("DeviceVxDs", "ndis.vxd")  // no description
                          + Service(R"(Class\Net\0002)").Value("DriverDesc", "Fast Ethernet PCI")
                          + Service(R"(Class\Net\0004)").Value("DriverDesc", "Dial-Up Adapter")
                          + Service(R"(Class\Net\0020)").Value("DriverDesc", "past the last number")
                          + Service(R"(Class\NetTrans\0001)").Value("DefaultGateway", "192.168.0.1")
                          + Service(R"(Class\NetTrans\0002)").Value("DefaultGateway", "10.0.0.1"))
                             .Text());
    StartAgent();
    EXPECT_EQ(CollectRecords(NetworkInfo),
              (Records{RecordLine("Network adapter", "0", "Fast Ethernet PCI"), RecordLine("Network adapter", "1", "Dial-Up Adapter"),
                       RecordLine("IPConfig", "DHCPActif", "NO"), RecordLine("IPConfig", "DefaultGateway", "192.168.0.1")}));
}

TEST(NetworkAdapters, NoAdapterKeyGivesNoRecordOnEitherFamily) {
    for (const char* json : {"{}", kNine}) {
        TestMachine m(json);
        StartAgent();
        EXPECT_EQ(CollectRecords(NetworkInfo), Records{}) << json;
    }
}

// An XP adapter with every value both ways: ENABLEDHCP chooses between them.
TEST(IPConfig, EnableDhcpChoosesTheSourceOfEachValue) {
    const RegText values = RegText()
                               .Value("DhcpServer", "10.0.0.2")
                               .Value("DhcpSubnetMask", "255.255.255.0")
                               .MultiString("SubnetMask", {"255.255.0.0"})
                               .MultiString("DefaultGateway", {"10.1.0.1"})
                               .MultiString("DhcpDefaultGateway", {"10.0.0.1"});
    const RegText others = Service(R"(NetBT\Parameters\Interfaces\Tcpip_{A})")
                               .MultiString("NameServerList", {"10.1.0.8", "10.1.0.9"})
                               .MultiString("DhcpNameServerList", {"10.0.0.3", "10.0.0.4"})
                           + Service(R"(Tcpip\Parameters\Interfaces\{A})")
                                 .Value("NameServer", "10.1.0.5")
                                 .Value("DhcpNameServer", "10.0.0.5 10.0.0.6")
                           + Service(R"(Tcpip\Parameters)").Value("NameServer", "10.9.9.9");
    const Records dhcp = IpConfig({{"WINSPrimary", "10.0.0.3"}, {"WINSSecondary", "10.0.0.4"}, {"ServerDNS", "10.0.0.5 10.0.0.6"}});
    const Records fixed = IpConfig({{"IPServerDHCP", "10.0.0.2"}, {"SubMask", "255.255.0.0"}, {"DefaultGateway", "10.1.0.1"},
                                    {"WINSPrimary", "10.1.0.8"}, {"WINSSecondary", "10.1.0.9"}, {"ServerDNS", "10.1.0.5"}});
    auto with = [](Records head, const Records& tail) {
        head.insert(head.end(), tail.begin(), tail.end());
        return head;
    };
    struct Case {
        const char* name;
        RegText enableDhcp;
        bool logged;  // a value of another type is said in the log
        Records records;
    };
    const Case cases[] = {
        {"absent", RegText(), false, fixed},  // the adapter counts as static, and says nothing of DHCP
        {"0", RegText().Dword("EnableDHCP", 0), false, with(IpConfig({{"DHCPActif", "NO"}}), fixed)},
        {"1", RegText().Dword("EnableDHCP", 1), false,
         with(IpConfig({{"DHCPActif", "YES"}, {"IPServerDHCP", "10.0.0.2"}, {"SubMask", "255.255.255.0"}, {"DefaultGateway", "10.0.0.1"}}),
              dhcp)},
        {"2, neither mask", RegText().Dword("EnableDHCP", 2), false,
         with(IpConfig({{"DHCPActif", "YES"}, {"IPServerDHCP", "10.0.0.2"}, {"DefaultGateway", "10.0.0.1"}}), dhcp)},
        {"a text counts as absent", RegText().Value("EnableDHCP", "1"), true, fixed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestMachine m("{}", (Service(R"({A}\Parameters\Tcpip)") + values + c.enableDhcp + others).Text());
        StartAgentWithLog();
        EXPECT_EQ(CollectRecords([] { IPConfigInfo("{A}"); }), c.records);
        EXPECT_EQ(LogNow(m).find("|Invalid data type for 'ENABLEDHCP': counted as absent\r\n") != std::string::npos, c.logged);
    }
}

TEST(IPConfig, NtFourAdaptersAgainstTheInterfaceListsOfLaterSystems) {
    struct Case {
        const char* name;
        RegText registry;
        Records records;
    };
    const RegText tcpip = Service(R"(El90x1\Parameters\Tcpip)");
    const RegText adapters = Service(R"(NetBT\Adapters\El90x1)");
    const RegText interfaces = Service(R"(NetBT\Parameters\Interfaces\Tcpip_El90x1)");
    const RegText global = Service(R"(Tcpip\Parameters)");
    const RegText netbt = Service(R"(NetBT\Parameters)");
    const Case cases[] = {
        {"NT 4: NetBT's adapter key wins over an interface list; EnableDNS keeps the global servers out",
         RegText(tcpip).Dword("EnableDHCP", 0).MultiString("SubnetMask", {"255.255.255.0"}).MultiString("DefaultGateway", {"192.168.1.1"})
             + RegText(adapters).Value("NameServer", "192.168.1.8").Value("NameServerBackup", "192.168.1.9").Value("DhcpNameServer", "x")
             + RegText(interfaces).MultiString("NameServerList", {"10.0.0.1", "10.0.0.2"})
             + RegText(netbt).Dword("EnableDNS", 1) + RegText(global).Value("NameServer", "192.168.1.10 192.168.1.11"),
         IpConfig({{"DHCPActif", "NO"}, {"SubMask", "255.255.255.0"}, {"DefaultGateway", "192.168.1.1"},
                   {"WINSPrimary", "192.168.1.8"}, {"WINSSecondary", "192.168.1.9"}, {"DNSActif", "YES"}})},
        {"NT 4 by DHCP: the DHCP names, the servers of the global key never",
         RegText(tcpip).Dword("EnableDHCP", 1).Value("DhcpSubnetMask", "255.255.0.0")
             + RegText(adapters).Value("NameServer", "x").Value("DhcpNameServer", "10.0.0.8")
             + RegText(netbt).Dword("EnableDNS", 0) + RegText(global).Value("NameServer", "192.168.1.10"),
         IpConfig({{"DHCPActif", "YES"}, {"SubMask", "255.255.0.0"}, {"WINSPrimary", "10.0.0.8"}, {"DNSActif", "NO"}})},
        {"without EnableDNS or an interface key, a static adapter takes the global servers",
         RegText(tcpip).Dword("EnableDHCP", 0) + adapters + netbt + RegText(global).Value("NameServer", "192.168.1.10"),
         IpConfig({{"DHCPActif", "NO"}, {"ServerDNS", "192.168.1.10"}})},
        {"XP: a list of two WINS servers in a multi-string", RegText(interfaces).MultiString("NameServerList", {"10.0.0.1", "10.0.0.2"}),
         IpConfig({{"WINSPrimary", "10.0.0.1"}, {"WINSSecondary", "10.0.0.2"}})},
        {"XP: one server", RegText(interfaces).MultiString("NameServerList", {"10.0.0.1"}),
         IpConfig({{"WINSPrimary", "10.0.0.1"}, {"WINSSecondary", ""}})},
        {"XP: a text list is split at its first blank", RegText(interfaces).Value("NameServerList", "10.0.0.1 10.0.0.2 10.0.0.3"),
         IpConfig({{"WINSPrimary", "10.0.0.1"}, {"WINSSecondary", "10.0.0.2 10.0.0.3"}})},
        {"XP: no list, both records empty", interfaces, IpConfig({{"WINSPrimary", ""}, {"WINSSecondary", ""}})},
        {"XP: the second server is cut to 255 characters", RegText(interfaces).Value("NameServerList", "a " + std::string(300, 'b')),
         IpConfig({{"WINSPrimary", "a"}, {"WINSSecondary", std::string(255, 'b')}})},
        {"a static adapter with only a lease's gateway has none",
         RegText(tcpip).Dword("EnableDHCP", 0).MultiString("DhcpDefaultGateway", {"10.0.0.1"}), IpConfig({{"DHCPActif", "NO"}})},
        {"a multi-string gateway of two routers", RegText(tcpip).MultiString("DefaultGateway", {"10.0.0.1", "10.0.0.254"}),
         IpConfig({{"DefaultGateway", "10.0.0.1 10.0.0.254"}})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestMachine m("{}", c.registry.Text());
        StartAgent();
        EXPECT_EQ(CollectRecords([] { IPConfigInfo("El90x1"); }), c.records);
    }
}

TEST(IPConfig, The9xFamilyReadsTheTransportTheTcpStackAndTheLease) {
    const RegText transport = Service(R"(Class\NetTrans\0003)");
    const RegText mstcp = Service(R"(VxD\MSTCP)");
    const RegText lease = Service(R"(VxD\DHCP\DhcpInfo00)");
    {
        TestMachine m(kNine, (RegText(transport)
                                  .Value("NameServer1", "192.168.0.8")
                                  .Value("NameServer2", "192.168.0.9")
                                  .Value("DefaultGateway", "192.168.0.1")
                              + RegText(mstcp).Value("EnableDNS", "1").Value("NameServer", "192.168.0.5,192.168.0.6")
                              + RegText(lease)
                                    .Binary("DhcpServer", RegText::Bytes("c0,a8,00,02"))
                                    .Binary("DhcpSubnetMask", RegText::Bytes("ff,ff,ff,00")))
                                 .Text());
        StartAgent();
        EXPECT_EQ(CollectRecords([] { IPConfigInfo("0003"); }),
                  IpConfig({{"DHCPActif", "YES"}, {"WINSPrimary", "192.168.0.8"}, {"WINSSecondary", "192.168.0.9"},
                            {"DefaultGateway", "192.168.0.1"}, {"DNSActif", "YES"}, {"ServerDNS", "192.168.0.5 192.168.0.6"},
                            {"IPServerDHCP", "192.168.0.2"}, {"SubMask", "255.255.255.0"}}));
    }
    {
        // A lease value of text counts as absent; "0" switches DNS off, whatever its type.
        TestMachine m(kNine, (RegText(transport).Value("NameServer2", "192.168.0.9") + RegText(mstcp).Dword("EnableDNS", 0)
                              + RegText(lease).Value("DhcpServer", "192.168.0.2").Binary("DhcpSubnetMask", RegText::Bytes("ff,ff,00,00")))
                                 .Text());
        StartAgentWithLog();
        EXPECT_EQ(CollectRecords([] { IPConfigInfo("0003"); }),
                  IpConfig({{"DHCPActif", "NO"}, {"WINSSecondary", "192.168.0.9"}, {"DNSActif", "NO"}, {"SubMask", "255.255.0.0"}}));
        EXPECT_NE(LogNow(m).find("|Invalid data type for 'DHCPSERVER': counted as absent\r\n"), std::string::npos);
    }
}

TEST(IPConfig, The9xFamilySwitchesDnsOffOnlyWithZero) {
    const RegText mstcp = Service(R"(VxD\MSTCP)");
    const std::pair<RegText, const char*> cases[] = {
        {RegText(mstcp).Value("EnableDNS", "0"), "NO"},
        {RegText(mstcp).Dword("EnableDNS", 0), "NO"},
        {RegText(mstcp).Value("EnableDNS", "1"), "YES"},
        {RegText(mstcp).Value("EnableDNS", "2"), "YES"},
        {RegText(mstcp).Dword("EnableDNS", 5), "YES"},
        {RegText(mstcp).Value("EnableDNS", ""), "YES"},
    };
    for (const auto& [registry, dns] : cases) {
        TestMachine m(kNine, registry.Text());
        StartAgent();
        EXPECT_EQ(CollectRecords([] { IPConfigInfo("0003"); }), IpConfig({{"DNSActif", dns}})) << registry.Text();
    }
}

TEST(IPConfig, AnExceptionEndsTheAdaptersRecordsOnlyWithALogLine) {
    TestMachine m(R"({"faults": [{"op": "RegOpenKeyEx", "raise": true,
                      "path": "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\NetBT"}]})",
                  (Card(1).Value("Description", "Fast Ethernet").Value("ServiceName", "{A}")
                   + Service(R"({A}\Parameters\Tcpip)").Dword("EnableDHCP", 1)
                   + Service(R"(Tcpip\Parameters\Interfaces\{A})").Value("DhcpNameServer", "10.0.0.5"))
                      .Text());
    StartAgentWithLog();
    EXPECT_EQ(CollectRecords(NetworkInfo),
              (Records{RecordLine("Network adapter", "0", "Fast Ethernet"), RecordLine("IPConfig", "DHCPActif", "YES")}));
    EXPECT_NE(LogNow(m).find("|RegOpenKeyEx failed on purpose: HKEY_LOCAL_MACHINE\\SYSTEM\\CURRENTCONTROLSET\\SERVICES\\NETBT\\"),
              std::string::npos);
}

TEST(IPAddresses, TheLocalHostsAddressesInTheResolversOrder) {
    struct Case {
        const char* name;
        std::string json;
        Records records;
    };
    const Records both = {RecordLine("IP address", "0", "10.0.0.23"), RecordLine("IP address", "1", "169.254.12.7")};
    const std::string addresses = R"("addresses": ["10.0.0.23", "169.254.12.7"])";
    const Case cases[] = {
        {"two addresses", R"({"network": {)" + addresses + "}}", both},
        {"Winsock does not start", R"({"network": {)" + addresses + R"(}, "faults": [{"op": "WSAStartup", "error": 10091}]})", {}},
        {"a host name of 63 characters fits the buffer",
         R"({"network": {"host_name": ")" + std::string(63, 'h') + R"(", )" + addresses + "}}", both},
        {"one of 64 does not", R"({"network": {"host_name": ")" + std::string(64, 'h') + R"(", )" + addresses + "}}", {}},
        {"a host without addresses", "{}", {}},
        {"the host name cannot be read", R"({"network": {)" + addresses + R"(}, "faults": [{"op": "gethostname", "raise": true}]})", {}},
        {"the lookup raises", R"({"network": {)" + addresses + R"(}, "faults": [{"op": "gethostbyname", "raise": true}]})", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestMachine m(c.json);
        StartAgentWithLog();
        std::vector<std::string> before = Said(m);
        EXPECT_EQ(CollectRecords(IPInfo), c.records);
        EXPECT_EQ(Said(m), before);  // nothing to say
        // Whatever happened, Winsock is released.
        EXPECT_FALSE(qm::core::State().winsockStarted);
        std::string name;
        EXPECT_EQ(Network().gethostname(name, 256), qm::platform::SOCKET_ERROR);
        EXPECT_EQ(qm::platform::GetLastError(), qm::platform::WSANOTINITIALISED);
    }
}

TEST(IPAddresses, ASecondRunInOneProcessStartsWinsockAgain) {
    TestMachine m(R"({"network": {"addresses": ["10.0.0.23"]}})");
    StartAgent();
    const Records one = {RecordLine("IP address", "0", "10.0.0.23")};
    EXPECT_EQ(CollectRecords(IPInfo), one);
    EXPECT_EQ(CollectRecords(IPInfo), one);
    // Each start was released: the library is not started any more.
    EXPECT_EQ(Network().WSACleanup(), qm::platform::SOCKET_ERROR);
}

TEST(IPAddresses, TheHelpersStartWinsockOnlyForANameAndShowOnlyIpv4) {
    TestMachine m(R"({"network": {"addresses": ["10.0.0.23"]}})");
    StartAgent();
    EXPECT_FALSE(LookupHost(""));
    EXPECT_FALSE(qm::core::State().winsockStarted);
    EXPECT_EQ(GetLocalHostName(), "QM-TEST-01");
    EXPECT_TRUE(qm::core::State().winsockStarted);
    std::vector<std::string> list = {"stale"};
    EXPECT_EQ(GetLocalIPList(list), std::vector<std::string>{"10.0.0.23"});
    EXPECT_FALSE(LookupHost("elsewhere"));
    qm::platform::HOSTENT other;
    other.h_addrtype = 23;  // another family's entry
    other.h_length = 16;
    other.h_addr_list.resize(1);
    AddHostAddresses(other, list);
    EXPECT_EQ(list, std::vector<std::string>{"10.0.0.23"});
    EXPECT_TRUE(StartWinsock());
    EXPECT_EQ(Network().WSACleanup(), 0);  // one start for all of them
    EXPECT_EQ(Network().WSACleanup(), qm::platform::SOCKET_ERROR);
}

TEST(MacAddresses, SortedEachOnceWithoutTheAdaptersThatHaveNone) {
    TestMachine m(R"({"network": {"lanas": [
        {"lana": 0, "mac": "00-0D-56-A1-7C-3E"}, {"lana": 1, "mac": "00-00-00-00-00-00"},
        {"lana": 2, "mac": "00-0d-56-a1-7c-3e"}, {"lana": 3, "mac": "00-0A-95-9D-68-16"},
        {"lana": 4, "mac": "02-00-4C-4F-4F-50", "reset_error": 35}, {"lana": 5, "mac": "02-00-4C-4F-4F-51", "status_error": 5},
        {"lana": 7, "mac": "4A-1C-6D-2E-90-11"}, {"lana": 20, "mac": "00-00-00-00-00-01"}]},
        "faults": [{"op": "Netbios", "path": "lana7", "raise": true}]})");
    StartAgentWithLog();
    EXPECT_EQ(CollectRecords(MacAddressInfo),
              (Records{RecordLine("MAC address", "0", "000A:959D:6816"), RecordLine("MAC address", "1", "000D:56A1:7C3E")}));
    EXPECT_NE(LogNow(m).find("|Netbios failed on purpose: lana7\r\n"), std::string::npos);
}

TEST(MacAddresses, TheAdapterAddressAndItsForm) {
    TestMachine m(R"({"network": {"lanas": [{"lana": 6, "mac": "4A-1C-6D-2E-90-11"}, {"lana": 8, "reset_error": 35}]}})");
    StartAgent();
    EXPECT_EQ(FormatMacAddress(GetAdapterMacAddress(6)), "4A1C:6D2E:9011");
    EXPECT_EQ(GetAdapterMacAddress(8), MacAddress{});
    EXPECT_EQ(GetAdapterMacAddress(9), MacAddress{});  // no such adapter
    EXPECT_EQ(FormatMacAddress({0x00, 0x50, 0x56, 0xC0, 0x00, 0x01}), "0050:56C0:0001");
}
