#pragma once
// The catalogue of result sections: every section name the agent writes into its result files
// or reads back from them, spelt once. Writers, the result check and the front-end's report
// tables take the names from here. Which keys and value fields a section holds is its writer's.

namespace qm::core::sections {

// Hardware file (.hrz): the header block and the start options.
inline constexpr const char* kInventory = "Inventory";
inline constexpr const char* kIdentification = "Identification";
inline constexpr const char* kStartOption = "Start Option";
// BIOS, memory and disks.
inline constexpr const char* kBios = "Bios";
inline constexpr const char* kMemory = "Memory";  // also a section of the handheld files
inline constexpr const char* kDiskSizes = "Disk sizes";
inline constexpr const char* kCdrom = "CDROM";
inline constexpr const char* kDisks = "Disks";
// Network.
inline constexpr const char* kIpAddress = "IP address";
inline constexpr const char* kIpConfig = "IPConfig";
inline constexpr const char* kNetworkAdapter = "Network adapter";
inline constexpr const char* kMacAddress = "MAC address";
// Printers and Windows settings.
inline constexpr const char* kPrinters = "Printers";
inline constexpr const char* kWindows = "Windows";
// Video adapter and monitor.
inline constexpr const char* kVideo = "Video";
inline constexpr const char* kMonitor = "MONITOR";
// Device tree.
inline constexpr const char* kPeripheralsTree = "Peripherals tree";
// Installed applications and security products.
inline constexpr const char* kInstalledSoft = "Installed soft";
inline constexpr const char* kAutoLogon = "AutoLogon";
inline constexpr const char* kScreenSaver = "Screen Saver";
inline constexpr const char* kAntivirus = "Antivirus";
inline constexpr const char* kLotusNotes = "LotusNotes";
inline constexpr const char* kInstantMessenger = "Instant Messenger";
// Internet settings and system configuration.
inline constexpr const char* kInternetExplorer = "InternetExplorer";
inline constexpr const char* kInternet = "Internet";
inline constexpr const char* kOffice = "Office";
inline constexpr const char* kServices = "Services";
inline constexpr const char* kRun = "Run";
inline constexpr const char* kBoot = "Boot";
inline constexpr const char* kSmtpConnection = "SMTP Connection";
inline constexpr const char* kHotFix = "HotFix";
// Processor.
inline constexpr const char* kCpu = "CPU";
// S.M.A.R.T. and the vendor asset tag.
inline constexpr const char* kSmart = "SMART";
inline constexpr const char* kDell = "DELL";
// USB devices: root hubs and devices.
inline constexpr const char* kHcd = "HCD";
inline constexpr const char* kUsb = "USB";
// Event logs.
inline constexpr const char* kWindowsLog = "WindowsLog";
// Disk usage, only with "/DISK_USAGE".
inline constexpr const char* kDiskUsage = "DiskUsage";
// What the outside BIOS program appends to the hardware file; the agent reads "Ident" and
// writes none of them.
inline constexpr const char* kIdent = "Ident";
inline constexpr const char* kMemBank = "MemBank";
inline constexpr const char* kDmi = "DMI";

// Software file (.sfz).
inline constexpr const char* kSoftware = "Software";

// Handheld files (.pdz), besides kMemory.
inline constexpr const char* kApplication = "Application";
inline constexpr const char* kBattery = "Battery";
inline constexpr const char* kGeneral = "General";
inline constexpr const char* kNetwork = "Network";
inline constexpr const char* kOthers = "Others";
inline constexpr const char* kHost = "Host";

}  // namespace qm::core::sections
