#include "platform/sim/sim_network.h"

#include <algorithm>
#include <cstring>
#include <nlohmann/json.hpp>

#include "platform/platform.h"
#include "platform/sim/machine_state.h"
#include "platform/text.h"

namespace qm::sim {

using namespace qm::platform;
using nlohmann::json;

namespace {

// Names the file and the JSON pointer of what the machine file gets wrong.
class NetworkReader {
public:
    NetworkReader(const std::string& file, const CodePageTable& cp) : file_(file), cp_(cp) {}

    [[noreturn]] void Fail(const std::string& where, const std::string& what) const {
        throw MachineError(file_ + ": " + where + ": " + what);
    }

    void OnlyKeys(const json& node, const std::string& where, std::initializer_list<const char*> allowed) const {
        if (!node.is_object()) Fail(where, "expected an object");
        for (auto it = node.begin(); it != node.end(); ++it)
            if (std::none_of(allowed.begin(), allowed.end(), [&](const char* a) { return it.key() == a; }))
                Fail(where + "/" + it.key(), "unknown entry");
    }

    std::string Text(const json& v, const std::string& where) const {
        if (!v.is_string()) Fail(where, "expected a string");
        return cp_.FromUtf8(v.get<std::string>());
    }

    UCHAR Byte(const json& node, const char* key, const std::string& where, unsigned max) const {
        if (!node.contains(key)) return 0;
        const json& v = node.at(key);
        if (!v.is_number_unsigned() || v.get<std::uint64_t>() > max)
            Fail(where + "/" + key, "expected a number from 0 to " + std::to_string(max));
        return static_cast<UCHAR>(v.get<std::uint64_t>());
    }

    const json& Array(const json& node, const char* key, const std::string& where) const {
        const json& v = node.at(key);
        if (!v.is_array()) Fail(where + "/" + key, "expected an array");
        return v;
    }

private:
    const std::string& file_;
    const CodePageTable& cp_;
};

// Dotted decimal, four numbers from 0 to 255.
bool ParseIpv4(std::string_view text, IN_ADDR& address) {
    for (std::size_t i = 0; i < 4; ++i) {
        std::size_t digits = 0;
        unsigned value = 0;
        while (digits < text.size() && digits < 4 && text[digits] >= '0' && text[digits] <= '9')
            value = value * 10 + static_cast<unsigned>(text[digits++] - '0');
        if (digits == 0 || digits > 3 || value > 255) return false;
        address.bytes[i] = static_cast<std::uint8_t>(value);
        text.remove_prefix(digits);
        if (i < 3) {
            if (text.empty() || text.front() != '.') return false;
            text.remove_prefix(1);
        }
    }
    return text.empty();
}

// Six hexadecimal pairs, each pair apart from the next by "-", ":" or nothing.
bool ParseHardwareAddress(std::string_view text, std::array<UCHAR, 6>& address) {
    auto nibble = [](char c) {
        if (c >= '0' && c <= '9') return c - '0';
        c = AsciiUpper(c);
        return c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
    };
    for (std::size_t i = 0; i < 6; ++i) {
        if (i > 0 && !text.empty() && (text.front() == '-' || text.front() == ':')) text.remove_prefix(1);
        if (text.size() < 2 || nibble(text[0]) < 0 || nibble(text[1]) < 0) return false;
        address[i] = static_cast<UCHAR>(nibble(text[0]) * 16 + nibble(text[1]));
        text.remove_prefix(2);
    }
    return text.empty();
}

}  // namespace

NetworkConfig ParseNetworkConfig(const json& node, const std::string& fileName, const std::string& pointer,
                                 const CodePageTable& cp) {
    NetworkReader r(fileName, cp);
    r.OnlyKeys(node, pointer, {"host_name", "addresses", "lanas"});
    NetworkConfig c;
    if (node.contains("host_name")) {
        c.hostName = r.Text(node.at("host_name"), pointer + "/host_name");
        if (c.hostName.empty()) r.Fail(pointer + "/host_name", "a host name cannot be empty (leave it out for the computer name)");
    }
    if (node.contains("addresses")) {
        const json& addresses = r.Array(node, "addresses", pointer);
        for (std::size_t i = 0; i < addresses.size(); ++i) {
            std::string where = pointer + "/addresses/" + std::to_string(i);
            IN_ADDR address;
            if (!ParseIpv4(r.Text(addresses[i], where), address)) r.Fail(where, "expected an IPv4 address such as \"10.0.0.23\"");
            c.addresses.push_back(address);
        }
    }
    if (node.contains("lanas")) {
        const json& lanas = r.Array(node, "lanas", pointer);
        for (std::size_t i = 0; i < lanas.size(); ++i) {
            std::string where = pointer + "/lanas/" + std::to_string(i);
            r.OnlyKeys(lanas[i], where, {"lana", "mac", "reset_error", "status_error"});
            if (!lanas[i].contains("lana")) r.Fail(where + "/lana", "a LAN adapter needs its number");
            LanaConfig lana;
            lana.number = r.Byte(lanas[i], "lana", where, 254);
            if (lanas[i].contains("mac") && !ParseHardwareAddress(r.Text(lanas[i].at("mac"), where + "/mac"), lana.address))
                r.Fail(where + "/mac", "expected six hexadecimal pairs such as \"00-0D-56-A1-7C-3E\"");
            lana.resetError = r.Byte(lanas[i], "reset_error", where, 255);
            lana.statusError = r.Byte(lanas[i], "status_error", where, 255);
            for (const LanaConfig& other : c.lanas)
                if (other.number == lana.number) r.Fail(where + "/lana", "LAN adapter " + std::to_string(lana.number) + " twice");
            c.lanas.push_back(lana);
        }
    }
    return c;
}

SimNetwork::SimNetwork(MachineState& state) : state_(state) {
    const NetworkConfig& c = state.Config().network;
    hostName_ = c.hostName.empty() ? state.Config().computerName : c.hostName;
}

int SimNetwork::WSAStartup(WORD versionRequested, WSADATA& data) {
    if (state_.Fails("WSAStartup", "", false)) return static_cast<int>(GetLastError());
    // The library speaks 1.0 to 2.2: it answers the version asked for, or its highest.
    constexpr WORD highest = 0x0202;
    if ((versionRequested & 0xFF) == 0) return static_cast<int>(WSAVERNOTSUPPORTED);
    data = WSADATA{};
    bool above = (versionRequested & 0xFF) > 2 || ((versionRequested & 0xFF) == 2 && (versionRequested >> 8) > 2);
    data.wVersion = above ? highest : versionRequested;
    data.wHighVersion = highest;
    data.szDescription = "WinSock 2.0";
    data.szSystemStatus = "Running";
    std::lock_guard lock(mutex_);
    ++starts_;
    return 0;
}

int SimNetwork::WSACleanup() {
    if (state_.Fails("WSACleanup", "", false)) return SOCKET_ERROR;
    std::lock_guard lock(mutex_);
    if (starts_ == 0) {
        SetLastError(WSANOTINITIALISED);
        return SOCKET_ERROR;
    }
    --starts_;
    return 0;
}

bool SimNetwork::Started() {
    std::lock_guard lock(mutex_);
    if (starts_ > 0) return true;
    SetLastError(WSANOTINITIALISED);
    return false;
}

int SimNetwork::gethostname(std::string& name, int nameLength) {
    if (!Started() || state_.Fails("gethostname", "", false)) return SOCKET_ERROR;
    if (nameLength < 0 || hostName_.size() + 1 > static_cast<std::size_t>(nameLength)) {
        SetLastError(WSAEFAULT);
        return SOCKET_ERROR;
    }
    name = hostName_;
    return 0;
}

bool SimNetwork::gethostbyname(std::string_view name, HOSTENT& entry) {
    if (!Started() || state_.Fails("gethostbyname", "", false)) return false;
    entry = HOSTENT{};
    if (EqualsNoCase(name, hostName_)) {
        if (state_.Config().network.addresses.empty()) {
            SetLastError(WSANO_DATA);
            return false;
        }
        entry.h_name = hostName_;
        entry.h_addr_list = state_.Config().network.addresses;
        return true;
    }
    if (EqualsNoCase(name, "localhost")) {
        entry.h_name = "localhost";
        entry.h_addr_list = {IN_ADDR{{127, 0, 0, 1}}};
        return true;
    }
    SetLastError(WSAHOST_NOT_FOUND);
    return false;
}

UCHAR SimNetwork::Netbios(NCB& ncb) {
    auto answer = [&ncb](UCHAR code) {
        ncb.ncb_retcode = ncb.ncb_cmd_cplt = code;
        return code;
    };
    if (state_.Fails("Netbios", "lana" + std::to_string(ncb.ncb_lana_num), false)) return answer(NRC_SYSTEM);
    const std::vector<LanaConfig>& lanas = state_.Config().network.lanas;
    auto lana = std::find_if(lanas.begin(), lanas.end(), [&](const LanaConfig& l) { return l.number == ncb.ncb_lana_num; });
    if (ncb.ncb_command != NCBRESET && ncb.ncb_command != NCBASTAT) return answer(NRC_ILLCMD);
    if (lana == lanas.end()) return answer(NRC_BRIDGE);
    if (ncb.ncb_command == NCBRESET) {
        if (lana->resetError != 0) return answer(lana->resetError);
        std::lock_guard lock(mutex_);
        resetLanas_.insert(lana->number);
        return answer(NRC_GOODRET);
    }
    {
        std::lock_guard lock(mutex_);
        if (resetLanas_.count(lana->number) == 0) return answer(NRC_ENVNOTDEF);
    }
    if (lana->statusError != 0) return answer(lana->statusError);
    return answer(AdapterStatus(ncb, *lana));
}

// The local adapter's status: its address and counters, then the one name it has registered,
// the computer name; cut to the caller's buffer.
UCHAR SimNetwork::AdapterStatus(NCB& ncb, const LanaConfig& lana) {
    if (ncb.ncb_callname[0] != '*') return NRC_CMDTMO;
    if (ncb.ncb_buffer == nullptr || ncb.ncb_length < sizeof(ADAPTER_STATUS)) return NRC_BUFLEN;
    ADAPTER_STATUS status{};
    std::memcpy(status.adapter_address, lana.address.data(), 6);
    status.rev_major = 3;
    status.adapter_type = 0xFE;  // Ethernet
    status.free_ncbs = status.max_cfg_ncbs = status.max_ncbs = 255;
    status.max_dgram_size = 1464;
    status.max_cfg_sess = status.max_sess = 255;
    status.max_sess_pkt_size = 1470;
    status.name_count = 1;
    NAME_BUFFER name{};
    std::string computer = state_.CodePage().Upper(state_.Config().computerName).substr(0, NCBNAMSZ - 1);
    std::memset(name.name, ' ', NCBNAMSZ - 1);
    std::memcpy(name.name, computer.data(), computer.size());
    name.name[NCBNAMSZ - 1] = 0x00;
    name.name_num = 1;
    name.name_flags = REGISTERED;
    std::uint8_t bytes[sizeof status + sizeof name];
    std::memcpy(bytes, &status, sizeof status);
    std::memcpy(bytes + sizeof status, &name, sizeof name);
    std::size_t copied = std::min<std::size_t>(ncb.ncb_length, sizeof bytes);
    std::memcpy(ncb.ncb_buffer, bytes, copied);
    ncb.ncb_length = static_cast<WORD>(copied);
    return copied < sizeof bytes ? NRC_INCOMP : NRC_GOODRET;
}

}  // namespace qm::sim
