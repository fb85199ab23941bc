#pragma once
// Winsock 1.1 (start and release, the host name and its addresses) and NetBIOS control blocks,
// after WSAStartup, WSACleanup, gethostname, gethostbyname and Netbios. The structures keep
// the published fields and, where a buffer carries them, the published byte layout.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/types.h"

namespace qm::platform {

using UCHAR = std::uint8_t;

inline constexpr int SOCKET_ERROR = -1;
inline constexpr short AF_INET = 2;

// Winsock error codes, as WSAStartup returns them and WSAGetLastError (the thread's last
// error) gives them.
enum WinsockError : DWORD {
    WSAEFAULT = 10014,
    WSASYSNOTREADY = 10091,
    WSAVERNOTSUPPORTED = 10092,
    WSANOTINITIALISED = 10093,
    WSAHOST_NOT_FOUND = 11001,
    WSANO_DATA = 11004,
};

// WSADATA, the fields a caller may read.
struct WSADATA {
    WORD wVersion = 0;
    WORD wHighVersion = 0;
    std::string szDescription;
    std::string szSystemStatus;
};

// An IPv4 address, its bytes in network order (in_addr's S_un_b).
struct IN_ADDR {
    std::array<std::uint8_t, 4> bytes{};
};

// HOSTENT: h_addr_list holds the addresses up to the list's terminating null pointer.
struct HOSTENT {
    std::string h_name;
    std::vector<std::string> h_aliases;
    short h_addrtype = AF_INET;
    short h_length = 4;
    std::vector<IN_ADDR> h_addr_list;
};

// inet_ntoa: the address in dotted decimal.
std::string inet_ntoa(IN_ADDR address);

// NetBIOS commands and return codes (nb30.h).
inline constexpr UCHAR NCBRESET = 0x32;
inline constexpr UCHAR NCBASTAT = 0x33;
inline constexpr UCHAR NRC_GOODRET = 0x00;
inline constexpr UCHAR NRC_BUFLEN = 0x01;  // the buffer cannot hold the smallest answer
inline constexpr UCHAR NRC_ILLCMD = 0x03;
inline constexpr UCHAR NRC_CMDTMO = 0x05;  // no answer from the name called
inline constexpr UCHAR NRC_INCOMP = 0x06;  // the answer was cut to the buffer
inline constexpr UCHAR NRC_BRIDGE = 0x23;  // no such LAN adapter
inline constexpr UCHAR NRC_ENVNOTDEF = 0x34;  // the adapter was not reset by this process
inline constexpr UCHAR NRC_SYSTEM = 0x40;
inline constexpr std::size_t NCBNAMSZ = 16;

// NCB, the network control block. ncb_buffer points to ncb_length bytes of the caller's.
struct NCB {
    UCHAR ncb_command = 0;
    UCHAR ncb_retcode = 0;
    UCHAR ncb_lsn = 0;
    UCHAR ncb_num = 0;
    UCHAR* ncb_buffer = nullptr;
    WORD ncb_length = 0;
    std::array<UCHAR, NCBNAMSZ> ncb_callname{};
    std::array<UCHAR, NCBNAMSZ> ncb_name{};
    UCHAR ncb_rto = 0;
    UCHAR ncb_sto = 0;
    void* ncb_post = nullptr;
    UCHAR ncb_lana_num = 0;
    UCHAR ncb_cmd_cplt = 0;
    std::array<UCHAR, 10> ncb_reserve{};
    void* ncb_event = nullptr;
};

// ADAPTER_STATUS as the adapter-status answer lays it out at the start of the buffer, followed
// by name_count NAME_BUFFER entries.
struct ADAPTER_STATUS {
    UCHAR adapter_address[6];
    UCHAR rev_major;
    UCHAR reserved0;
    UCHAR adapter_type;
    UCHAR rev_minor;
    WORD duration;
    WORD frmr_recv;
    WORD frmr_xmit;
    WORD iframe_recv_err;
    WORD xmit_aborts;
    DWORD xmit_success;
    DWORD recv_success;
    WORD iframe_xmit_err;
    WORD recv_buff_unavail;
    WORD t1_timeouts;
    WORD ti_timeouts;
    DWORD reserved1;
    WORD free_ncbs;
    WORD max_cfg_ncbs;
    WORD max_ncbs;
    WORD xmit_buf_unavail;
    WORD max_dgram_size;
    WORD pending_sess;
    WORD max_cfg_sess;
    WORD max_sess;
    WORD max_sess_pkt_size;
    WORD name_count;
};
static_assert(sizeof(ADAPTER_STATUS) == 60, "the published layout");

struct NAME_BUFFER {
    UCHAR name[NCBNAMSZ];
    UCHAR name_num;
    UCHAR name_flags;
};
static_assert(sizeof(NAME_BUFFER) == 18, "the published layout");

inline constexpr UCHAR REGISTERED = 0x04;

class NetworkService {
public:
    virtual ~NetworkService() = default;
    // WSAStartup: 0, or the error (WSAVERNOTSUPPORTED for a version below 1.0, WSASYSNOTREADY).
    virtual int WSAStartup(WORD versionRequested, WSADATA& data) = 0;
    // WSACleanup: 0, or SOCKET_ERROR with WSANOTINITIALISED when no start is left to release.
    virtual int WSACleanup() = 0;
    // gethostname into a buffer of nameLength bytes: 0, or SOCKET_ERROR with the last error:
    // WSAEFAULT when the name and its terminator do not fit, WSANOTINITIALISED before WSAStartup.
    virtual int gethostname(std::string& name, int nameLength) = 0;
    // gethostbyname (IPv4): false with the last error (WSAHOST_NOT_FOUND for an unknown name,
    // WSANO_DATA for a name without addresses, WSANOTINITIALISED before WSAStartup).
    virtual bool gethostbyname(std::string_view name, HOSTENT& entry) = 0;
    // Netbios: submits the control block and returns its ncb_retcode.
    virtual UCHAR Netbios(NCB& ncb) = 0;
};

}  // namespace qm::platform
