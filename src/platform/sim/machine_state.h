#pragma once
// The state that the simulated machine's services share: the configuration, the drive map,
// Windows-path resolution onto host folders, file attributes, the current folder and the
// failures asked for on purpose.

#include <sys/stat.h>

#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/sim/code_page_table.h"
#include "platform/sim/machine_config.h"
#include "platform/types.h"

namespace qm::sim {

// One entry of a host folder, as Windows sees it.
struct HostEntry {
    std::string hostName;  // as on the host (UTF-8)
    std::string name;      // in the ANSI code page
    std::string upper;     // name in upper case, for comparisons
};

// The names of one host folder, found without regard to case: listed once and kept while the
// folder stays as it was (its modification time), so that a path in any case resolves without
// listing the folder again.
class FolderNames {
public:
    FolderNames(std::vector<HostEntry> entries, const struct stat& folder);
    FolderNames(const FolderNames&) = delete;
    FolderNames& operator=(const FolderNames&) = delete;
    // Whether the folder still is what was listed.
    bool Matches(const struct stat& folder) const;
    const std::vector<HostEntry>& Entries() const { return entries_; }
    // The first entry whose upper-case name is the given one.
    const HostEntry* ByUpper(const std::string& upper) const;
    // The entry whose 8.3 name (upper case) is the given one; the short names of the folder
    // are made at the first question.
    const HostEntry* ByShortName(const std::string& upperShort, const CodePageTable& cp) const;
    // The 8.3 name of an entry, empty when its name is one itself.
    std::string ShortNameOf(const HostEntry& entry, const CodePageTable& cp) const;

private:
    void MakeShortNames(const CodePageTable& cp) const;
    std::vector<HostEntry> entries_;
    struct timespec modified_ {};
    dev_t device_ = 0;
    ino_t inode_ = 0;
    std::unordered_map<std::string, std::size_t> byUpper_;
    mutable std::once_flag shortsMade_;
    mutable std::vector<std::string> shorts_;
    mutable std::unordered_map<std::string, std::size_t> byShort_;
};

struct ResolvedPath {
    platform::DWORD error = platform::ERROR_SUCCESS;  // not 0: the path cannot be used
    std::string windowsPath;  // full path; long names for what exists, the rest as given
    std::string host;         // host path of the entry (existing or to be made)
    bool exists = false;
    bool isDirectory = false;
    bool isRoot = false;
    bool isLink = false;  // a host link (a reparse point to Windows)
    const DriveConfig* drive = nullptr;
    struct stat info {};
    // The folder that holds the entry, when the resolution met it (not for a drive root or
    // an entry of one).
    bool parentKnown = false;
    bool parentIsLink = false;
    struct stat parentInfo {};
};

class MachineState {
public:
    explicit MachineState(MachineConfig config);
    ~MachineState();
    MachineState(const MachineState&) = delete;
    MachineState& operator=(const MachineState&) = delete;

    const MachineConfig& Config() const { return config_; }
    const CodePageTable& CodePage() const { return cp_; }
    // The NT family, rather than 9x, which lacks some of the calls.
    bool IsNtFamily() const { return Config().version.dwPlatformId == platform::VER_PLATFORM_WIN32_NT; }
    const std::vector<DriveConfig>& DriveList() const { return drives_; }
    const DriveConfig* DriveByLetter(char letter) const;
    const DriveConfig* DriveByUnc(std::string_view uncRoot) const;

    // GetFullPathName's rules: relative to the current folder, "/" as "\", "." and ".."
    // resolved without climbing above the root.
    std::string FullPath(std::string_view path) const;
    // Full path resolved onto the host, case-insensitively and through 8.3 names.
    ResolvedPath Resolve(std::string_view path) const;
    // The entries of a host folder that Windows can name, in no particular order.
    std::vector<HostEntry> ListHostFolder(const std::string& hostFolder) const;
    // The entries of a host folder open for reading (from its start), as ListHostFolder gives
    // them.
    std::vector<HostEntry> ListOpenFolder(int folderFd) const;
    // The names of a host folder, kept while it stays unchanged; empty when it cannot be read.
    // The folder's host information, when the caller has it at hand, spares asking again.
    std::shared_ptr<const FolderNames> NamesOf(const std::string& hostFolder, const struct stat* folder = nullptr) const;
    // The machine itself changed the entry: the names of its folder, and its own when it is a
    // folder, are listed afresh at the next question.
    void ForgetNames(const std::string& host);
    // The host path under which a Windows path of the host drive or a drive folder lies,
    // and back.
    std::string WindowsPathOfHost(const std::string& hostPath) const;

    std::string CurrentDirectory() const;
    void SetCurrentDirectoryUnchecked(std::string path);

    // Attributes of an existing entry: the stored ones, else directory or archive.
    platform::DWORD Attributes(const ResolvedPath& p) const { return Attributes(p.host, p.isDirectory, p.isLink); }
    platform::DWORD Attributes(const std::string& host, bool isDirectory, bool isLink) const;
    void SetAttributes(const std::string& host, platform::DWORD attributes);
    void ForgetAttributes(const std::string& host);
    void MoveAttributes(const std::string& from, const std::string& to);

    // When a fault matches the operation on the path: throws PlatformFault for a raising
    // fault, else sets the last error and returns true, and the caller fails. The path is
    // a full Windows path (or a drive root, or empty for operations on no path).
    bool Fails(std::string_view op, std::string_view windowsPath, bool writes);
    // Whether any fault is active, so that callers need not spell a path for Fails.
    bool HasFaults() const;

    // Host processes the machine started: whether one still runs (real time passes while
    // one does, also on a virtual clock), and the exit status of one that ended.
    void AddChild(int pid);
    std::optional<int> ChildExitStatus(int pid);
    bool AnyChildRunning();
    // Waits in real time until the child ends (every child, for pid -1), at most for the
    // given time, and wakes as it ends; true when none of them runs any more.
    bool WaitForChildren(int pid, std::chrono::milliseconds limit);
    // The real time during which at least one child ran, from each start to the moment the
    // machine saw it end (up to now for one that still runs).
    std::chrono::nanoseconds TimeChildrenRan();
    void AddFault(FaultConfig fault);
    void ClearFaults();

private:
    ResolvedPath ResolveFull(const std::string& full) const;
    // The entry of the folder named by the component, with its host information (not
    // following a link).
    bool FindInFolder(const std::string& hostFolder, const struct stat* folder, std::string_view component,
                      HostEntry& found, struct stat& info) const;

    MachineConfig config_;
    CodePageTable cp_;
    std::vector<DriveConfig> drives_;  // the configured drives, then the host drive
    mutable std::mutex mutex_;
    std::string currentDirectory_;
    std::unordered_map<std::string, platform::DWORD> attributes_;
    struct ActiveFault {
        FaultConfig config;
        std::string upperPath;
    };
    std::vector<ActiveFault> faults_;
    mutable std::mutex namesMutex_;
    mutable std::unordered_map<std::string, std::shared_ptr<const FolderNames>> names_;
    struct Child {
        int pidFd = -1;  // readable once the child ended; -1 where the host cannot say so
        std::optional<int> status;  // its wait status once it ended
        std::chrono::steady_clock::time_point started;
        std::chrono::steady_clock::time_point ended;
    };
    // Reaps the child when it ended; true when it did.
    bool Reap(int pid, Child& child);
    std::mutex childrenMutex_;
    std::map<int, Child> children_;
};

platform::FILETIME FileTimeOf(const struct timespec& ts);
struct timespec TimespecOf(platform::FILETIME ft);
// The Win32 code for an errno value of a failed host call.
platform::DWORD Win32ErrorOf(int err);

}  // namespace qm::sim
