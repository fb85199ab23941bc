#include "collectors/network_info.h"

#include <cstdio>
#include <set>

#include "collectors/collector_guard.h"
#include "collectors/registry_values.h"
#include "collectors/windows_version.h"
#include "core/process_state.h"
#include "core/result_list.h"
#include "core/sections.h"
#include "core/trace_log.h"
#include "platform/platform.h"
#include "platform/registry_accessor.h"

namespace qm::collectors {

using namespace qm::platform;
using core::sections::kIpAddress, core::sections::kIpConfig, core::sections::kMacAddress,
    core::sections::kNetworkAdapter;

namespace {

void AddIpConfig(const char* key, const std::string& value) { core::AddQuotedResultLine(kIpConfig, key, value); }

const std::string kServices = "SYSTEM\\CURRENTCONTROLSET\\SERVICES\\";
const std::string kNetworkCards = "SOFTWARE\\MICROSOFT\\WINDOWS NT\\CURRENTVERSION\\NETWORKCARDS\\";

// A value as text, whatever its type; the strings of a multi-string (masks, gateways, name
// servers) joined by one blank, so that a list of two reads as two.
std::string ReadNetValue(const char* name, RegistryAccessor& reg) {
    if (reg.GetDataType(name) != REG_MULTI_SZ) return ReadRegValueAsString(name, reg);
    std::string joined;
    bool read = StopSilently([&] {
        long size = reg.GetDataSize(name);
        std::string bytes(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
        bytes.resize(reg.ReadBinaryData(name, bytes.data(), bytes.size()));
        // The list ends at its first empty string.
        for (std::size_t at = 0; at < bytes.size() && bytes[at] != '\0';) {
            std::size_t end = bytes.find('\0', at);
            if (end == std::string::npos) end = bytes.size();
            if (!joined.empty()) joined += ' ';
            joined.append(bytes, at, end - at);
            at = end + 1;
        }
    });
    return read ? joined : "<Binary value>";
}

void AddIfPresent(const char* key, const char* name, RegistryAccessor& reg) {
    if (reg.ValueExists(name)) AddIpConfig(key, ReadNetValue(name, reg));
}

// A binary value in dotted decimal; a text or a number there counts as absent.
void AddDottedIfPresent(const char* key, const char* name, RegistryAccessor& reg) {
    std::optional<DWORD> type = reg.GetDataType(name);
    if (!type) return;
    if (*type == REG_SZ || *type == REG_EXPAND_SZ || *type == REG_DWORD) {
        core::WriteLog("Invalid data type for '" + std::string(name) + "': counted as absent");
        return;
    }
    AddIpConfig(key, RegBinaryToDotted(name, reg));
}

// The WINS servers of a 2000 or XP interface: one list, split at its first blank.
void AddWinsList(const std::string& list) {
    std::size_t blank = list.find(' ');
    AddIpConfig("WINSPrimary", list.substr(0, blank));
    AddIpConfig("WINSSecondary", blank == std::string::npos ? std::string() : list.substr(blank + 1, 255));
}

// Each key has an accessor of its own, opened from the root.
void IpConfigNt(const std::string& s) {
    int dhcp = 0;
    {
        RegistryAccessor tcpip(HKEY_LOCAL_MACHINE);
        if (tcpip.OpenKeyReadOnly(kServices + s + "\\PARAMETERS\\TCPIP")) {
            if (std::optional<int> enabled = FindRegInteger("ENABLEDHCP", tcpip)) {
                dhcp = *enabled;
                AddIpConfig("DHCPActif", dhcp != 0 ? "YES" : "NO");
            }
            AddIfPresent("IPServerDHCP", "DHCPSERVER", tcpip);
            if (dhcp == 1) AddIfPresent("SubMask", "DHCPSUBNETMASK", tcpip);
            if (dhcp == 0) AddIfPresent("SubMask", "SubnetMask", tcpip);
            // A static adapter's gateway is its own setting, as its mask is; what a lease
            // once gave it is no longer in force.
            AddIfPresent("DefaultGateway", dhcp == 0 ? "DefaultGateway" : "DHCPDEFAULTGATEWAY", tcpip);
        }
    }
    {
        RegistryAccessor adapter(HKEY_LOCAL_MACHINE);
        RegistryAccessor interfaces(HKEY_LOCAL_MACHINE);
        if (adapter.OpenKeyReadOnly(kServices + "NETBT\\ADAPTERS\\" + s)) {
            AddIfPresent("WINSPrimary", dhcp != 0 ? "DHCPNAMESERVER" : "NAMESERVER", adapter);
            AddIfPresent("WINSSecondary", dhcp != 0 ? "DHCPNAMESERVERBACKUP" : "NAMESERVERBACKUP", adapter);
        } else if (interfaces.OpenKeyReadOnly(kServices + "NETBT\\PARAMETERS\\INTERFACES\\TCPIP_" + s)) {
            const char* name = dhcp != 0 ? "DHCPNAMESERVERLIST" : "NAMESERVERLIST";
            AddWinsList(interfaces.ValueExists(name) ? ReadNetValue(name, interfaces) : std::string());
        }
    }
    bool globalDns = true;
    {
        RegistryAccessor netbt(HKEY_LOCAL_MACHINE);
        if (netbt.OpenKeyReadOnly(kServices + "NETBT\\PARAMETERS")) {
            if (std::optional<int> dns = FindRegInteger("ENABLEDNS", netbt)) {
                AddIpConfig("DNSActif", *dns != 0 ? "YES" : "NO");
                globalDns = false;
            }
        }
    }
    {
        RegistryAccessor tcpipInterface(HKEY_LOCAL_MACHINE);
        if (tcpipInterface.OpenKeyReadOnly(kServices + "TCPIP\\PARAMETERS\\Interfaces\\" + s)) {
            if (dhcp == 0) globalDns = false;
            AddIfPresent("ServerDNS", dhcp == 0 ? "NAMESERVER" : "DHCPNAMESERVER", tcpipInterface);
        }
    }
    RegistryAccessor tcpip(HKEY_LOCAL_MACHINE);
    if (tcpip.OpenKeyReadOnly(kServices + "TCPIP\\PARAMETERS") && dhcp == 0 && globalDns)
        AddIfPresent("ServerDNS", "NAMESERVER", tcpip);
}

void IpConfig9x(const std::string& s) {
    {
        RegistryAccessor transport(HKEY_LOCAL_MACHINE);
        if (transport.OpenKeyReadOnly(kServices + "CLASS\\NETTRANS\\" + s)) {
            bool wins = transport.ValueExists("NAMESERVER1");
            AddIpConfig("DHCPActif", wins ? "YES" : "NO");
            if (wins) AddIpConfig("WINSPrimary", ReadNetValue("NAMESERVER1", transport));
            AddIfPresent("WINSSecondary", "NAMESERVER2", transport);
            AddIfPresent("DefaultGateway", "DEFAULTGATEWAY", transport);
        }
    }
    {
        RegistryAccessor mstcp(HKEY_LOCAL_MACHINE);
        if (mstcp.OpenKeyReadOnly(kServices + "VXD\\MSTCP")) {
            if (mstcp.ValueExists("ENABLEDNS")) AddIpConfig("DNSActif", ReadNetValue("ENABLEDNS", mstcp) == "0" ? "NO" : "YES");
            AddIfPresent("ServerDNS", "NAMESERVER", mstcp);
        }
    }
    RegistryAccessor lease(HKEY_LOCAL_MACHINE);
    if (lease.OpenKeyReadOnly(kServices + "VXD\\DHCP\\DHCPINFO00")) {
        AddDottedIfPresent("IPServerDHCP", "DHCPSERVER", lease);
        AddDottedIfPresent("SubMask", "DHCPSUBNETMASK", lease);
    }
}

void AddAdapter(int& counter, const std::string& description) {
    core::AddQuotedResultLine(kNetworkAdapter, std::to_string(counter), description);
    ++counter;
}

// Every start of the collector is released, and the next one starts Winsock again.
void ReleaseWinsock() {
    if (!core::State().winsockStarted) return;
    core::State().winsockStarted = false;
    Network().WSACleanup();
}

}  // namespace

bool StartWinsock() {
    if (core::State().winsockStarted) return true;
    WSADATA data;
    if (Network().WSAStartup(0x0101, data) != 0) return false;
    core::State().winsockStarted = true;
    return true;
}

std::string GetLocalHostName() {
    std::string name;
    StopSilently([&] {
        if (!core::State().winsockStarted) StartWinsock();
        if (Network().gethostname(name, 64) != 0) name.clear();
    });
    return name;
}

std::optional<HOSTENT> LookupHost(const std::string& name) {
    if (name.empty()) return std::nullopt;
    std::optional<HOSTENT> found;
    StopSilently([&] {
        if (!core::State().winsockStarted) StartWinsock();
        HOSTENT entry;
        if (Network().gethostbyname(name, entry)) found = std::move(entry);
    });
    return found;
}

void AddHostAddresses(const HOSTENT& entry, std::vector<std::string>& list) {
    // Only an entry of IPv4 addresses holds what the dotted form can show.
    if (entry.h_addrtype != AF_INET || entry.h_length != 4) return;
    StopSilently([&] {
        for (const IN_ADDR& address : entry.h_addr_list) list.push_back(inet_ntoa(address));
    });
}

std::vector<std::string>& GetLocalIPList(std::vector<std::string>& list) {
    list.clear();
    StopSilently([&] {
        std::optional<HOSTENT> entry = LookupHost(GetLocalHostName());
        if (entry) AddHostAddresses(*entry, list);
    });
    return list;
}

void IPInfo() {
    LogAndGoOn([] {
        try {
            std::vector<std::string> list;
            LogAndGoOn([&] { GetLocalIPList(list); });
            for (std::size_t i = 0; i < list.size(); ++i) core::AddQuotedResultLine(kIpAddress, std::to_string(i), list[i]);
        } catch (...) {
            ReleaseWinsock();
            throw;
        }
        ReleaseWinsock();
    });
}

void NetworkInfo() {
    LogAndGoOn([] {
        OsVersionInfo v = WindowsVersion();
        int counter = 0;
        std::string service;
        // One adapter that cannot be read costs the others nothing.
        if (v.dwPlatformId == VER_PLATFORM_WIN32_NT) {
            for (int i = 1; i <= 20; ++i)
                LogAndGoOn([&] {
                    RegistryAccessor card(HKEY_LOCAL_MACHINE);
                    if (!card.OpenKeyReadOnly(kNetworkCards + std::to_string(i))) return;
                    if (std::optional<std::string> description = FindRegText("DESCRIPTION", card))
                        AddAdapter(counter, *description);
                    if (service.empty()) service = FindRegText("SERVICENAME", card).value_or("");
                });
        } else if (v.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS) {
            for (int i = 0; i <= 19; ++i)
                LogAndGoOn([&] {
                    char number[8];
                    std::snprintf(number, sizeof number, "%04d", i);
                    RegistryAccessor card(HKEY_LOCAL_MACHINE);
                    if (!card.OpenKeyReadOnly(kServices + "CLASS\\NET\\" + number)) return;
                    if (std::optional<std::string> description = FindRegText("DRIVERDESC", card))
                        AddAdapter(counter, *description);
                    if (service.empty()) service = number;
                });
        }
        if (!service.empty()) IPConfigInfo(service);
    });
}

void IPConfigInfo(const std::string& adapter) {
    LogAndGoOn([&] {
        OsVersionInfo v = WindowsVersion();
        if (v.dwPlatformId == VER_PLATFORM_WIN32_NT) IpConfigNt(adapter);
        else if (v.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS) IpConfig9x(adapter);
    });
}

MacAddress GetAdapterMacAddress(int lana) {
    MacAddress address{};
    // A failure, logged, gives no address.
    LogAndGoOn([&] {
        NCB reset{};
        reset.ncb_command = NCBRESET;
        reset.ncb_lana_num = static_cast<UCHAR>(lana);
        if (Network().Netbios(reset) != NRC_GOODRET) return;
        NCB status{};
        status.ncb_command = NCBASTAT;
        status.ncb_lana_num = static_cast<UCHAR>(lana);
        // "*" and 14 blanks, then a zero byte: the adapter's own status.
        status.ncb_callname.fill(' ');
        status.ncb_callname[0] = '*';
        status.ncb_callname[NCBNAMSZ - 1] = 0;
        // The status and room for 31 names.
        std::array<UCHAR, 618> buffer{};
        status.ncb_buffer = buffer.data();
        status.ncb_length = static_cast<WORD>(buffer.size());
        if (Network().Netbios(status) != NRC_GOODRET) return;
        std::copy_n(buffer.begin(), address.size(), address.begin());
    });
    return address;
}

std::string FormatMacAddress(const MacAddress& a) {
    char text[16];
    std::snprintf(text, sizeof text, "%02X%02X:%02X%02X:%02X%02X", a[0], a[1], a[2], a[3], a[4], a[5]);
    return text;
}

void MacAddressInfo() {
    LogAndGoOn([] {
        // Upper-case digits in one fixed form: plain order is the order without regard to case.
        std::set<std::string> addresses;
        for (int lana = 0; lana <= 19; ++lana) {
            std::string text = FormatMacAddress(GetAdapterMacAddress(lana));
            if (text != "0000:0000:0000") addresses.insert(text);
        }
        int key = 0;
        for (const std::string& text : addresses) core::AddQuotedResultLine(kMacAddress, std::to_string(key++), text);
    });
}

}  // namespace qm::collectors
