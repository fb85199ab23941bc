#include <gtest/gtest.h>

#include <cstring>

#include "platform/platform.h"
#include "support/test_machine.h"

using namespace qm::platform;
using qm::test::MachineErrorOf;
using qm::test::TestMachine;

namespace {

const char* const kNetwork = R"({"network": {"host_name": "ws01", "addresses": ["10.0.0.23", "169.254.12.7"],
    "lanas": [{"lana": 0, "mac": "00-0D-56-A1-7C-3E"}, {"lana": 2, "mac": "4a:1c:6d:2e:90:11", "reset_error": 34},
              {"lana": 3, "mac": "001122334455", "status_error": 5}]}})";

UCHAR Submit(UCHAR command, UCHAR lana, UCHAR* buffer = nullptr, WORD length = 0, char callname = '*') {
    NCB ncb{};
    ncb.ncb_command = command;
    ncb.ncb_lana_num = lana;
    ncb.ncb_callname.fill(' ');
    ncb.ncb_callname[0] = static_cast<UCHAR>(callname);
    ncb.ncb_buffer = buffer;
    ncb.ncb_length = length;
    UCHAR code = Network().Netbios(ncb);
    EXPECT_EQ(ncb.ncb_retcode, code);
    return code;
}

}  // namespace

TEST(SimNetwork, WinsockAnswersOnlyBetweenItsStartAndItsRelease) {
    TestMachine m(kNetwork);
    std::string name;
    HOSTENT entry;
    EXPECT_EQ(Network().gethostname(name, 64), SOCKET_ERROR);
    EXPECT_EQ(GetLastError(), WSANOTINITIALISED);
    EXPECT_FALSE(Network().gethostbyname("ws01", entry));
    EXPECT_EQ(GetLastError(), WSANOTINITIALISED);
    EXPECT_EQ(Network().WSACleanup(), SOCKET_ERROR);
    EXPECT_EQ(GetLastError(), WSANOTINITIALISED);

    WSADATA data;
    EXPECT_EQ(Network().WSAStartup(0x0000, data), static_cast<int>(WSAVERNOTSUPPORTED));
    ASSERT_EQ(Network().WSAStartup(0x0101, data), 0);
    EXPECT_EQ(data.wVersion, 0x0101);
    EXPECT_EQ(data.wHighVersion, 0x0202);
    ASSERT_EQ(Network().WSAStartup(0x0303, data), 0);  // two starts: two releases
    EXPECT_EQ(data.wVersion, 0x0202);

    // The name and its terminator must fit the buffer.
    EXPECT_EQ(Network().gethostname(name, 4), SOCKET_ERROR);
    EXPECT_EQ(GetLastError(), WSAEFAULT);
    ASSERT_EQ(Network().gethostname(name, 5), 0);
    EXPECT_EQ(name, "ws01");

    ASSERT_TRUE(Network().gethostbyname("WS01", entry));
    EXPECT_EQ(entry.h_name, "ws01");
    EXPECT_EQ(entry.h_addrtype, AF_INET);
    EXPECT_EQ(entry.h_length, 4);
    ASSERT_EQ(entry.h_addr_list.size(), 2u);
    EXPECT_EQ(inet_ntoa(entry.h_addr_list[0]), "10.0.0.23");
    EXPECT_EQ(inet_ntoa(entry.h_addr_list[1]), "169.254.12.7");
    ASSERT_TRUE(Network().gethostbyname("localhost", entry));
    EXPECT_EQ(inet_ntoa(entry.h_addr_list.at(0)), "127.0.0.1");
    EXPECT_FALSE(Network().gethostbyname("elsewhere", entry));
    EXPECT_EQ(GetLastError(), WSAHOST_NOT_FOUND);

    EXPECT_EQ(Network().WSACleanup(), 0);
    EXPECT_EQ(Network().gethostname(name, 64), 0);
    EXPECT_EQ(Network().WSACleanup(), 0);
    EXPECT_EQ(Network().gethostname(name, 64), SOCKET_ERROR);
    EXPECT_EQ(GetLastError(), WSANOTINITIALISED);
}

TEST(SimNetwork, TheHostNameIsTheComputerNameUnlessGivenAndMayHaveNoAddresses) {
    TestMachine m(R"({"faults": [{"op": "WSAStartup", "error": 10091, "times": 1}]})");
    WSADATA data;
    EXPECT_EQ(Network().WSAStartup(0x0101, data), static_cast<int>(WSASYSNOTREADY));
    ASSERT_EQ(Network().WSAStartup(0x0101, data), 0);
    std::string name;
    ASSERT_EQ(Network().gethostname(name, 64), 0);
    EXPECT_EQ(name, "QM-TEST-01");
    HOSTENT entry;
    EXPECT_FALSE(Network().gethostbyname(name, entry));
    EXPECT_EQ(GetLastError(), WSANO_DATA);
}

TEST(SimNetwork, NetbiosAnswersTheResetAndTheAdapterStatusOfEachLana) {
    TestMachine m(kNetwork);
    UCHAR buffer[618] = {};
    // Status before the reset, a LANA the machine lacks, and the errors a LANA is given.
    EXPECT_EQ(Submit(NCBASTAT, 0, buffer, sizeof buffer), NRC_ENVNOTDEF);
    EXPECT_EQ(Submit(NCBRESET, 1), NRC_BRIDGE);
    EXPECT_EQ(Submit(NCBASTAT, 1, buffer, sizeof buffer), NRC_BRIDGE);
    EXPECT_EQ(Submit(NCBRESET, 2), 34);
    EXPECT_EQ(Submit(NCBASTAT, 2, buffer, sizeof buffer), NRC_ENVNOTDEF);
    EXPECT_EQ(Submit(NCBRESET, 3), NRC_GOODRET);
    EXPECT_EQ(Submit(NCBASTAT, 3, buffer, sizeof buffer), 5);
    EXPECT_EQ(Submit(0x37, 0), NRC_ILLCMD);

    ASSERT_EQ(Submit(NCBRESET, 0), NRC_GOODRET);
    EXPECT_EQ(Submit(NCBASTAT, 0, buffer, 59), NRC_BUFLEN);
    EXPECT_EQ(Submit(NCBASTAT, 0, buffer, sizeof buffer, 'W'), NRC_CMDTMO);  // another machine's name
    ASSERT_EQ(Submit(NCBASTAT, 0, buffer, sizeof buffer), NRC_GOODRET);
    const UCHAR mac[6] = {0x00, 0x0D, 0x56, 0xA1, 0x7C, 0x3E};
    EXPECT_EQ(std::memcmp(buffer, mac, 6), 0);
    ADAPTER_STATUS status;
    std::memcpy(&status, buffer, sizeof status);
    EXPECT_EQ(status.name_count, 1);
    NAME_BUFFER name;
    std::memcpy(&name, buffer + sizeof status, sizeof name);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(name.name), 16), std::string("QM-TEST-01     ") + '\0');
    EXPECT_EQ(name.name_flags, REGISTERED);

    // A buffer with room for the status but not its name: the answer is cut.
    NCB cut{};
    cut.ncb_command = NCBASTAT;
    cut.ncb_callname[0] = '*';
    UCHAR small[64] = {};
    cut.ncb_buffer = small;
    cut.ncb_length = sizeof small;
    EXPECT_EQ(Network().Netbios(cut), NRC_INCOMP);
    EXPECT_EQ(cut.ncb_length, 64);
    EXPECT_EQ(std::memcmp(small, mac, 6), 0);
}

TEST(SimNetwork, TheMachineFileRefusesWhatNoNetworkHas) {
    const std::pair<const char*, const char*> cases[] = {
        {R"({"network": {"hostname": "x"}})", "machine.json: /network/hostname: unknown entry"},
        {R"({"network": {"host_name": ""}})",
         "machine.json: /network/host_name: a host name cannot be empty (leave it out for the computer name)"},
        {R"({"network": {"addresses": "10.0.0.1"}})", "machine.json: /network/addresses: expected an array"},
        {R"({"network": {"addresses": ["10.0.0.256"]}})",
         "machine.json: /network/addresses/0: expected an IPv4 address such as \"10.0.0.23\""},
        {R"({"network": {"addresses": ["10.0.0"]}})",
         "machine.json: /network/addresses/0: expected an IPv4 address such as \"10.0.0.23\""},
        {R"({"network": {"lanas": [{"mac": "00-0D-56-A1-7C-3E"}]}})", "machine.json: /network/lanas/0/lana: a LAN adapter needs its number"},
        {R"({"network": {"lanas": [{"lana": 255}]}})", "machine.json: /network/lanas/0/lana: expected a number from 0 to 254"},
        {R"({"network": {"lanas": [{"lana": 0, "mac": "00-0D-56-A1-7C"}]}})",
         "machine.json: /network/lanas/0/mac: expected six hexadecimal pairs such as \"00-0D-56-A1-7C-3E\""},
        {R"({"network": {"lanas": [{"lana": 0, "reset_error": 256}]}})",
         "machine.json: /network/lanas/0/reset_error: expected a number from 0 to 255"},
        {R"({"network": {"lanas": [{"lana": 4}, {"lana": 4}]}})", "machine.json: /network/lanas/1/lana: LAN adapter 4 twice"},
        {R"({"network": {"lanas": [{"lana": 0, "speed": 100}]}})", "machine.json: /network/lanas/0/speed: unknown entry"},
    };
    for (const auto& [json, message] : cases) EXPECT_EQ(MachineErrorOf(json), message) << json;
    EXPECT_EQ(MachineErrorOf(kNetwork), "no error");
}
