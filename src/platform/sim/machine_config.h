#pragma once
// What machine.json says about a simulated machine, parsed and checked. Texts are held in
// the machine's ANSI code page.

#include <nlohmann/json_fwd.hpp>

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/sim/event_log_config.h"
#include "platform/sim/sim_libraries.h"
#include "platform/sim/sim_network.h"
#include "platform/sim/sim_process_list.h"
#include "platform/sim/sim_usb.h"
#include "platform/sim/sim_wmi.h"
#include "platform/sim/smart_drives.h"
#include "platform/spooler.h"
#include "platform/system.h"
#include "platform/types.h"

namespace qm::sim {

// A machine file that cannot be used; the message names the file and the place in it.
class MachineError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct PrinterConfig {
    platform::PrinterInfo info;
    bool connection = false;  // a connection to a printer of another machine, not a local one
};

struct DriveConfig {
    char letter = 'C';
    unsigned type = platform::DRIVE_FIXED;
    std::string hostFolder;  // absolute host path; empty for a drive without files
    bool media = true;       // false: a removable or CD-ROM drive with nothing in it
    bool listed = true;      // reported by GetLogicalDrives
    bool isHostDrive = false;  // the host root: reaches files, but answers no drive query
    std::string label;
    std::string fileSystem = "NTFS";
    platform::DWORD serial = 0;
    platform::DWORD fileSystemFlags = 0;
    std::uint64_t totalBytes = 0;
    std::uint64_t freeBytes = 0;
    std::optional<std::uint64_t> freeToCaller;  // defaults to freeBytes
    std::string unc;                            // the share of a mapped network drive
    std::string user;                           // the user name of that connection
};

// A DST transition in TIME_ZONE_INFORMATION form: day is the week of the month (5 = last).
struct TransitionDate {
    platform::WORD month = 0;
    platform::WORD dayOfWeek = 0;
    platform::WORD day = 0;
    platform::WORD hour = 0;
    platform::WORD minute = 0;
};

struct TimeZoneConfig {
    int bias = 0;  // minutes, UTC = local + bias
    std::string standardName = "GMT Standard Time";
    int standardBias = 0;
    TransitionDate standardDate;
    std::string daylightName = "GMT Daylight Time";
    int daylightBias = -60;
    TransitionDate daylightDate;  // month 0: no daylight saving time
};

struct ClockConfig {
    bool isVirtual = false;
    platform::SYSTEMTIME start;      // local time at which a virtual clock starts
    bool startNow = false;           // a virtual clock that starts at the real time
    std::uint64_t uptimeMs = 3'600'000;  // tick count at start
};

struct FaultConfig {
    std::string op;    // Win32 operation name, "write" for any change to the file system, "*" for any
    std::string path;  // a file path, also relative (covering everything below it), a device, a
                       // registry key, a name of the operation's own, or empty for any
    platform::DWORD error = platform::ERROR_ACCESS_DENIED;
    bool raise = false;
    int times = -1;    // how many calls fail; -1 for all
    int after = 0;     // how many matching calls succeed before the fault strikes
};

struct MemoryConfig {
    std::uint64_t totalBytes = 512ull << 20;
    std::uint64_t availableBytes = 256ull << 20;
    bool extendedCall = true;  // KERNEL32 exports GlobalMemoryStatusEx
};

struct ProcessorConfig {
    bool host = false;  // the real CPUID and time-stamp counter of the machine the simulator runs on
    unsigned count = 1;
    // CPUID answers by leaf: EAX, EBX, ECX, EDX. Leaf 0 comes from the vendor when not given.
    std::map<std::uint32_t, std::array<std::uint32_t, 4>> leaves;
    std::string vendor = "GenuineIntel";
    // What each clock measurement finds: the time-stamp counter runs on by frequency x 2.5 s
    // between the two reads of a measurement. The last value repeats.
    std::vector<std::uint32_t> frequenciesMHz{1000};
};

struct DeviceControl {
    platform::DWORD code = 0;
    std::string inputPrefix;  // answers only requests whose input begins with these bytes
    std::string output;       // the answer's bytes
    platform::DWORD error = 0;  // not 0: the request fails with this code
};

struct DeviceConfig {
    std::string name;  // "\\.\PHYSICALDRIVE0"
    std::vector<DeviceControl> controls;
};

// What the outside BIOS program's stand-in reports of the machine's firmware.
struct BiosProgramConfig {
    std::string manufacturer;
    std::string model;
    std::string serial;
    std::string uuid;
    std::vector<std::pair<std::string, std::string>> memoryBanks;  // socket, size
    std::string dmiPresent;
    std::string dmiVersion;
    int exitCode = 0;
    unsigned delayMs = 0;  // how long it works before appending its records
    std::string commandLineFile;  // a Windows path where it writes the command line it got, unchanged
};

// What the user does with one showing of the connection dialog: types texts into edits, then
// presses a button (none: closes it with the close box).
struct ConnectionDialogAnswerConfig {
    std::vector<std::pair<std::string, std::string>> typed;  // edit, text
    std::string press;
};

struct DialogConfig {
    // Answers of the asset-tag dialog, in order: a text for OK, none for Cancel.
    std::vector<std::optional<std::string>> assetTagAnswers;
    // Answers of the connection dialog, in order; once they are used up the user closes it
    // with the close box.
    std::vector<ConnectionDialogAnswerConfig> connectionAnswers;
    // The user leaves the main form open until a test closes it.
    bool mainWindowStaysOpen = false;
};

struct MachineConfig {
    std::string folder;  // the machine folder on the host
    unsigned codePage = 1252;
    platform::OsVersionInfoEx version;
    bool versionExtended = true;  // GetVersionEx knows OSVERSIONINFOEX
    std::string computerName = "WORKSTATION";
    std::string userName = "user";
    std::string windowsFolder = "C:\\WINDOWS";
    std::string systemFolder = "C:\\WINDOWS\\system32";
    std::string tempFolder;  // empty: from TMP, TEMP or the Windows folder, as Windows does
    std::map<platform::LCTYPE, std::string> locale;        // the user's default locale
    std::map<platform::LCTYPE, std::string> systemLocale;  // the system's
    int screenWidth = 1024;
    int screenHeight = 768;
    std::string networkUser;  // the user name of the default network connection; empty: none
    std::vector<PrinterConfig> printers;
    // Programs that stand in for Windows programs of the machine: Windows path (upper case)
    // to a host program, a name beside the running program or an absolute host path.
    std::vector<std::pair<std::string, std::string>> programs;
    BiosProgramConfig biosProgram;
    TimeZoneConfig timeZone;
    ClockConfig clock;
    std::vector<DriveConfig> drives;
    std::optional<char> hostDrive = 'Z';
    std::string currentDirectory;  // empty: the host's current folder
    std::vector<std::pair<std::string, std::string>> environment;
    std::vector<std::string> guids;
    std::vector<std::string> directories;  // Windows folders made at load when missing
    std::vector<std::pair<std::string, platform::DWORD>> attributes;
    std::vector<FaultConfig> faults;
    DialogConfig dialogs;
    MemoryConfig memory;
    ProcessorConfig processor;
    std::vector<DeviceConfig> devices;
    std::vector<ProcessConfig> processes;  // the running processes, in the order they are listed
    EventLogsConfig eventLogs;
    NetworkConfig network;
    std::vector<LibraryConfig> libraries;  // library files bound to the simulator's modules
    WmiConfig wmi;      // none: WMI is not installed
    SmartConfig smart;  // none: no device answers S.M.A.R.T. requests
    UsbConfig usb;  // host controllers, hubs and the devices on their ports
};

// Parses the text of a JSON file of the machine; a malformed one throws MachineError naming
// the file and the place in it.
nlohmann::json ParseJsonText(const std::string& text, const std::string& fileName);

// Parses machine.json text; hostFolder is the machine folder that relative drive folders
// start from, fileName the name used in messages.
MachineConfig ParseMachineConfig(const std::string& jsonText, const std::string& hostFolder,
                                 const std::string& fileName);

// Locale values of the United States English locale, the default of every machine.
std::map<platform::LCTYPE, std::string> DefaultLocale();

// The language identifier of a locale's "language_id"; United States English when it has none.
platform::WORD LanguageOfLocale(const std::map<platform::LCTYPE, std::string>& locale);

}  // namespace qm::sim
