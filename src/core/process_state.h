#pragma once
// What the agent keeps for the life of its process: the command line, the switch flags, the
// result list and file names, the trace log and error list, the folders, the identification,
// the machine identifier, the memory of the software and disk-usage scans and the wait-dialog
// thread. Nothing else of the agent outlives a call: one run of a program starts from a fresh
// state, and so does every test.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "core/wait_dialog.h"
#include "platform/dialogs.h"
#include "platform/files.h"
#include "platform/libraries.h"
#include "platform/processes.h"
#include "platform/shell_links.h"
#include "platform/sync_manager.h"

namespace qm::core {

inline constexpr const char* kAgentVersion = "2.02.06";

// The switches, read once at start; true when in force.
struct RunFlags {
    bool s = false;         // "/S": deliver at the end of the run
    bool at = false;        // "/AT": asset-tag step (switch or stored parameter)
    bool dlg = false;       // "/DLG": interactive run with the end message box
    bool mail = false;      // "/MAIL": interactive run without it
    bool hmail = false;     // "/HMAIL": hidden run with delivery
    bool remote = false;    // "/REMOTE": as "/HMAIL" when due
    bool log = false;       // "/LOG": trace log (switch or stored parameter)
    bool smtp = false;      // "/SMTP" or "/CONFIG": connection-settings mode
    bool verbose = false;   // "/VERBOSE": wait dialog
    bool hide = false;      // "/HIDE": no end message box, no connection dialog
    bool gtv = false;       // "/GTV": inventory archives take RTV, nothing is sent
    bool sendDebug = false;  // "/SENDDEBUG"
    bool diskUsage = false;  // "/DISK_USAGE" (switch or stored parameter)
    bool online = false;     // "/ONLINE" (switch or stored parameter)
    bool ftpOff = false;     // delivery flags
    bool smtpOff = false;
    bool resultsByIdentifier = true;  // server result files named by the machine identifier
};

struct ResultFileNames {
    std::string localHardware;
    std::string localSoftware;
    std::string serverBaseName;
    std::string serverHardware;
    std::string serverSoftware;
};

struct ErrorListState {
    std::vector<std::string> lines;
    std::size_t loadedLines = 0;  // how many of them came from the file
    bool loadedWhole = true;      // false when reading the file failed part-way
};

// The shell-link object of the software scan, made at its first use and kept until released.
struct ShortcutReaderState {
    std::unique_ptr<platform::ShellLink> link;  // none when it could not be made
    bool made = false;
};

// The disk-usage scan's extension table and buckets, from its settings and first counted file
// until the scan frees them.
struct DiskUsageCount {
    std::size_t category = 0;  // its place in DiskUsageState::categories
    std::uint64_t bytes = 0;
    std::uint64_t files = 0;
};

struct DiskUsageBucket {
    std::string folder;                   // as the scan built it
    std::vector<DiskUsageCount> counts;   // in the order of their first file
};

struct DiskUsageState {
    bool tableLoaded = false;
    // Category names as the settings first spell them; names that differ only in case are one.
    std::vector<std::string> categories;
    // Upper-case extension with its dot to its categories, in the order of the settings, each once.
    std::unordered_map<std::string, std::vector<std::size_t>> categoriesOf;
    std::vector<DiskUsageBucket> buckets;
    // Upper-cased folder to its bucket's place, so that a file costs no search through the buckets.
    std::unordered_map<std::string, std::size_t> bucketIndex;
    // The bucket of the file before: the files of one folder come one after another.
    std::string lastFolder;
    std::size_t lastBucket = 0;
    bool hasLast = false;
};

// The handheld sync manager's libraries while the handheld collector holds them, with the
// exports it calls; the collector frees both before it returns.
struct SyncManagerLibraries {
    std::unique_ptr<platform::LibraryModule> condMgr;
    platform::sync_manager::NmRegisterFunction* nmRegister = nullptr;
    platform::sync_manager::NmUnregisterFunction* nmUnregister = nullptr;
    std::unique_ptr<platform::LibraryModule> userData;
    platform::sync_manager::UmGetUserCountFunction* umGetUserCount = nullptr;
    platform::sync_manager::UmGetUserIDFunction* umGetUserId = nullptr;
    platform::sync_manager::UmGetUserDirectoryFunction* umGetUserDirectory = nullptr;
};

struct ProcessState {
    std::vector<std::string> parameters;  // parameter 0 is the program path
    RunFlags flags;
    // The single-instance mutex, held from the start to the end of the run.
    std::unique_ptr<platform::MutexHandle> instanceMutex;

    std::optional<std::vector<std::string>> resultList;
    ResultFileNames resultFiles;

    bool logOn = false;
    bool logWindowOn = false;
    std::vector<std::string> earlyLogLines;  // said before the trace log opened
    std::string traceLogPath;
    std::unique_ptr<platform::File> traceLog;
    platform::LogWindow* logWindow = nullptr;
    std::optional<ErrorListState> errorList;

    std::string workFolder;
    std::string chkIdPath;
    std::optional<std::string> settingsFileCache;

    std::optional<std::string> assetId;
    bool assetTagDeferred = false;
    bool headerWritten = false;

    std::string machineId;
    std::string machineIdDate;

    // The key of the last "Software" record: numbers go on across scans of one process.
    int softwareRecordCounter = 0;
    // The path forms of the programs the current software scan recorded.
    std::unordered_set<std::string> softwareSeen;
    ShortcutReaderState shortcutReader;

    DiskUsageState diskUsage;

    // The wait-dialog thread, and whether it had to be left running when the run ended. A
    // fresh state stops and joins it; the thread touches nothing else of the state.
    std::unique_ptr<TDLGThread> waitThread;
    bool waitThreadLeftRunning = false;

    // Winsock started by the network collector and not released yet.
    bool winsockStarted = false;

    SyncManagerLibraries syncManager;

    // The number of the next USB device key ("USB_0", ...), from 0 at each USB pass.
    int usbDeviceCounter = 0;
    // The hubs this USB pass has walked: a hub stands at one place of the tree only.
    std::vector<std::string> usbHubsWalked;

    // The mail recipient the SMTP delivery decoded (empty until then, or when it was refused);
    // the connection dialog shows it.
    std::string smtpRecipient;
    // How many mails the process built: part of each one's identifier.
    int mailsBuilt = 0;
};

ProcessState& State();
// A fresh state with the given command line (and the date formats of the installed platform).
void ResetState(std::vector<std::string> parameters = {});

// The command line: ParamStr(0) is the program path; ParamCount the number of parameters.
const std::string& ParamStr(std::size_t index);
std::size_t ParamCount();
// The folder of the program file, with a trailing backslash.
std::string AgentFolder();

}  // namespace qm::core
