#include "platform/sim/machine_state.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <limits.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <limits>

#include "platform/platform.h"
#include "platform/sim/host_files.h"
#include "platform/sim/registry_tree.h"
#include "platform/sim/short_names.h"
#include "platform/time.h"
#include "platform/text.h"
#include "platform/winpath.h"

namespace qm::sim {

using platform::DWORD;

platform::FILETIME FileTimeOf(const struct timespec& ts) {
    auto ticks = static_cast<std::int64_t>(platform::kUnixEpochTicks) + static_cast<std::int64_t>(ts.tv_sec) * 10'000'000 +
                 ts.tv_nsec / 100;
    return platform::FILETIME{ticks < 0 ? 0 : static_cast<std::uint64_t>(ticks)};
}

struct timespec TimespecOf(platform::FILETIME ft) {
    auto rel = static_cast<std::int64_t>(ft.ticks) - static_cast<std::int64_t>(platform::kUnixEpochTicks);
    std::int64_t sec = rel / 10'000'000;
    std::int64_t rest = rel % 10'000'000;
    if (rest < 0) {
        rest += 10'000'000;
        --sec;
    }
    struct timespec ts {};
    ts.tv_sec = static_cast<time_t>(sec);
    ts.tv_nsec = static_cast<long>(rest * 100);
    return ts;
}

DWORD Win32ErrorOf(int err) {
    switch (err) {
        case ENOENT: return platform::ERROR_FILE_NOT_FOUND;
        case ENOTDIR: return platform::ERROR_PATH_NOT_FOUND;
        case EEXIST: return platform::ERROR_ALREADY_EXISTS;
        case ENOTEMPTY: return platform::ERROR_DIR_NOT_EMPTY;
        case ENOSPC: return platform::ERROR_DISK_FULL;
        case EROFS: return platform::ERROR_WRITE_PROTECT;
        case ENAMETOOLONG: return platform::ERROR_INVALID_NAME;
        default: return platform::ERROR_ACCESS_DENIED;
    }
}

namespace {

bool IsInvalidNameChar(char c) {
    return static_cast<unsigned char>(c) < 32 || std::string_view("\\/:*?\"<>|").find(c) != std::string_view::npos;
}

std::string RealFolder(const std::string& host) {
    char buf[PATH_MAX];
    if (realpath(host.c_str(), buf) != nullptr) return buf;
    return host;
}

}  // namespace

MachineState::MachineState(MachineConfig config) : config_(std::move(config)), cp_(config_.codePage) {
    drives_ = config_.drives;
    if (config_.hostDrive) {
        DriveConfig host;
        host.letter = *config_.hostDrive;
        host.type = platform::DRIVE_FIXED;
        host.hostFolder = "/";
        host.listed = false;
        host.isHostDrive = true;
        host.label = "HOST";
        drives_.push_back(host);
    }
    for (DriveConfig& d : drives_) {
        if (d.hostFolder.empty() || !d.media) continue;
        std::error_code ec;
        std::filesystem::create_directories(d.hostFolder, ec);
        if (ec) throw MachineError(std::string("drive ") + d.letter + ": cannot make its folder " + d.hostFolder);
        d.hostFolder = RealFolder(d.hostFolder);
    }

    if (!config_.currentDirectory.empty()) {
        currentDirectory_ = config_.currentDirectory;
    } else {
        char cwd[PATH_MAX];
        currentDirectory_ = getcwd(cwd, sizeof cwd) != nullptr ? WindowsPathOfHost(cwd) : std::string();
        if (currentDirectory_.empty()) currentDirectory_ = "C:\\";
    }
    currentDirectory_ = FullPath(currentDirectory_);

    for (const std::string& folder : config_.directories) {
        ResolvedPath p = Resolve(folder);
        if (p.error == platform::ERROR_SUCCESS && p.exists) continue;
        // Make the folder with its missing parents.
        std::string partial = platform::DriveOf(FullPath(folder)) + "\\";
        for (const std::string& c : platform::PathComponents(FullPath(folder))) {
            partial = platform::JoinPath(partial, c);
            ResolvedPath q = Resolve(partial);
            if (q.error != platform::ERROR_SUCCESS || (q.exists && !q.isDirectory) ||
                (!q.exists && ::mkdir(q.host.c_str(), 0755) != 0))
                throw MachineError("directories: cannot make " + folder);
        }
    }
    for (const auto& [path, attributes] : config_.attributes) {
        ResolvedPath p = Resolve(path);
        if (p.error != platform::ERROR_SUCCESS || !p.exists)
            throw MachineError("attributes: " + path + " does not exist");
        attributes_[p.host] = attributes | (p.isDirectory ? platform::FILE_ATTRIBUTE_DIRECTORY : 0);
    }
    for (const FaultConfig& f : config_.faults) AddFault(f);
}

const DriveConfig* MachineState::DriveByLetter(char letter) const {
    char up = platform::AsciiUpper(letter);
    for (const DriveConfig& d : drives_)
        if (d.letter == up) return &d;
    return nullptr;
}

const DriveConfig* MachineState::DriveByUnc(std::string_view uncRoot) const {
    std::string want = platform::ExcludeTrailingBackslash(uncRoot);
    for (const DriveConfig& d : drives_)
        if (!d.unc.empty() && cp_.Upper(platform::ExcludeTrailingBackslash(d.unc)) == cp_.Upper(want)) return &d;
    return nullptr;
}

std::string MachineState::CurrentDirectory() const {
    std::lock_guard lock(mutex_);
    return currentDirectory_;
}

void MachineState::SetCurrentDirectoryUnchecked(std::string path) {
    std::lock_guard lock(mutex_);
    currentDirectory_ = std::move(path);
}

std::string MachineState::FullPath(std::string_view path) const {
    std::string p(path);
    for (char& c : p)
        if (c == '/') c = '\\';
    std::string cur;
    {
        std::lock_guard lock(mutex_);
        cur = currentDirectory_;
    }
    std::string full;
    if (p.size() >= 2 && p[0] == '\\' && p[1] == '\\') {
        full = p;
    } else if (p.size() >= 2 && p[1] == ':') {
        if (p.size() >= 3 && p[2] == '\\') full = p;
        else if (!cur.empty() && platform::AsciiUpper(cur[0]) == platform::AsciiUpper(p[0]))
            full = platform::JoinPath(cur, p.substr(2));
        else full = p.substr(0, 2) + "\\" + p.substr(2);
    } else if (!p.empty() && p[0] == '\\') {
        full = platform::DriveOf(cur) + p;
    } else {
        full = p.empty() ? cur : platform::JoinPath(cur, p);
    }
    bool trailing = !full.empty() && full.back() == '\\';
    std::vector<std::string> kept;
    for (std::string& c : platform::PathComponents(full)) {
        if (c == ".") continue;
        if (c == "..") {
            if (!kept.empty()) kept.pop_back();
            continue;
        }
        kept.push_back(std::move(c));
    }
    std::string result = platform::DriveOf(full) + "\\";
    for (std::size_t i = 0; i < kept.size(); ++i) {
        if (i > 0) result += '\\';
        result += kept[i];
    }
    if (trailing && !kept.empty()) result += '\\';
    return result;
}

ResolvedPath MachineState::Resolve(std::string_view path) const { return ResolveFull(FullPath(path)); }

std::vector<HostEntry> MachineState::ListHostFolder(const std::string& hostFolder) const {
    int fd = ::open(hostFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return {};
    std::vector<HostEntry> entries = ListOpenFolder(fd);
    ::close(fd);
    return entries;
}

std::vector<HostEntry> MachineState::ListOpenFolder(int folderFd) const {
    std::vector<HostEntry> entries;
    // Read straight from the descriptor: a directory stream would ask for the folder's
    // information once more.
    alignas(struct dirent64) char buffer[32 * 1024];
    for (;;) {
        ssize_t n = ::getdents64(folderFd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        for (ssize_t at = 0; at < n;) {
            const auto* e = reinterpret_cast<const struct dirent64*>(buffer + at);
            at += e->d_reclen;
            std::string_view host(e->d_name);
            if (host == "." || host == "..") continue;
            std::string name = cp_.FromUtf8(host);
            bool nameable = true;
            for (char c : name) nameable = nameable && (!IsInvalidNameChar(c) || c == '?');
            if (!nameable) continue;
            std::string upper = cp_.Upper(name);
            entries.push_back({std::string(host), std::move(name), std::move(upper)});
        }
    }
    return entries;
}

FolderNames::FolderNames(std::vector<HostEntry> entries, const struct stat& folder)
    : entries_(std::move(entries)), modified_(folder.st_mtim), device_(folder.st_dev), inode_(folder.st_ino) {
    byUpper_.reserve(entries_.size());
    for (std::size_t i = 0; i < entries_.size(); ++i) byUpper_.try_emplace(entries_[i].upper, i);
}

bool FolderNames::Matches(const struct stat& folder) const {
    return folder.st_mtim.tv_sec == modified_.tv_sec && folder.st_mtim.tv_nsec == modified_.tv_nsec &&
           folder.st_dev == device_ && folder.st_ino == inode_;
}

const HostEntry* FolderNames::ByUpper(const std::string& upper) const {
    auto it = byUpper_.find(upper);
    return it == byUpper_.end() ? nullptr : &entries_[it->second];
}

void FolderNames::MakeShortNames(const CodePageTable& cp) const {
    std::call_once(shortsMade_, [&] {
        std::vector<std::string> names;
        names.reserve(entries_.size());
        for (const HostEntry& e : entries_) names.push_back(e.name);
        shorts_ = AssignShortNames(names, cp);
        for (std::size_t i = 0; i < shorts_.size(); ++i)
            if (!shorts_[i].empty()) byShort_.try_emplace(shorts_[i], i);
    });
}

const HostEntry* FolderNames::ByShortName(const std::string& upperShort, const CodePageTable& cp) const {
    MakeShortNames(cp);
    auto it = byShort_.find(upperShort);
    return it == byShort_.end() ? nullptr : &entries_[it->second];
}

std::string FolderNames::ShortNameOf(const HostEntry& entry, const CodePageTable& cp) const {
    MakeShortNames(cp);
    std::size_t i = static_cast<std::size_t>(&entry - entries_.data());
    return i < shorts_.size() ? shorts_[i] : std::string();
}

namespace {

// Enough for the folders one run looks into by name; past it the names are listed afresh.
constexpr std::size_t kKeptFolderNames = 512;

bool Before(const struct timespec& a, const struct timespec& b) {
    return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

}  // namespace

std::shared_ptr<const FolderNames> MachineState::NamesOf(const std::string& hostFolder, const struct stat* known) const {
    if (known != nullptr) {
        std::lock_guard lock(namesMutex_);
        auto it = names_.find(hostFolder);
        if (it != names_.end() && it->second->Matches(*known)) return it->second;
    }
    // Read before the folder is: a change after this moment stamps the folder later than it.
    struct timespec listedAt {};
    clock_gettime(CLOCK_REALTIME_COARSE, &listedAt);
    struct stat folder {};
    if (::stat(hostFolder.c_str(), &folder) != 0 || !S_ISDIR(folder.st_mode))
        return std::make_shared<const FolderNames>(std::vector<HostEntry>{}, folder);
    {
        std::lock_guard lock(namesMutex_);
        auto it = names_.find(hostFolder);
        if (it != names_.end() && it->second->Matches(folder)) return it->second;
    }
    auto names = std::make_shared<const FolderNames>(ListHostFolder(hostFolder), folder);
    // A folder changed within the clock's last tick could change again under the same time
    // stamp: its names are not kept.
    if (Before(folder.st_mtim, listedAt)) {
        std::lock_guard lock(namesMutex_);
        if (names_.size() >= kKeptFolderNames) names_.clear();
        names_[hostFolder] = names;
    }
    return names;
}

void MachineState::ForgetNames(const std::string& host) {
    std::lock_guard lock(namesMutex_);
    if (names_.empty()) return;
    names_.erase(HostFolderOf(host));
    for (auto it = names_.begin(); it != names_.end();) {
        const std::string& key = it->first;
        bool under = key == host || (key.size() > host.size() && key.compare(0, host.size(), host) == 0 &&
                                     (key[host.size()] == '/' || host == "/"));
        it = under ? names_.erase(it) : std::next(it);
    }
}

bool MachineState::FindInFolder(const std::string& hostFolder, const struct stat* folder, std::string_view component,
                                HostEntry& found, struct stat& info) const {
    auto named = [&](const HostEntry& e) {
        if (::lstat((hostFolder + "/" + e.hostName).c_str(), &info) != 0) return false;
        found = e;
        return true;
    };
    // Names of the folder that are known and still hold answer in any case, without a question
    // to the host; elsewhere the name as given is tried first, as the programs mostly spell
    // what they listed.
    std::shared_ptr<const FolderNames> names;
    if (folder != nullptr) {
        std::lock_guard lock(namesMutex_);
        auto it = names_.find(hostFolder);
        if (it != names_.end() && it->second->Matches(*folder)) names = it->second;
    }
    if (!names) {
        std::string exact = cp_.ToUtf8(component);
        if (::lstat((hostFolder + "/" + exact).c_str(), &info) == 0) {
            found = {exact, std::string(component), cp_.Upper(component)};
            return true;
        }
        names = NamesOf(hostFolder, folder);
    }
    std::string upper = cp_.Upper(component);
    if (const HostEntry* e = names->ByUpper(upper)) return named(*e);
    if (component.find('~') == std::string_view::npos) return false;
    if (const HostEntry* e = names->ByShortName(upper, cp_)) return named(*e);
    return false;
}

ResolvedPath MachineState::ResolveFull(const std::string& full) const {
    ResolvedPath r;
    r.windowsPath = full;
    std::string driveText = platform::DriveOf(full);
    if (driveText.size() == 2) {
        r.drive = DriveByLetter(driveText[0]);
        if (r.drive == nullptr) {
            r.error = platform::ERROR_PATH_NOT_FOUND;
            return r;
        }
    } else {
        r.drive = DriveByUnc(driveText);
        if (r.drive == nullptr) {
            r.error = platform::ERROR_BAD_NETPATH;
            return r;
        }
    }
    if (!r.drive->media) {
        r.error = platform::ERROR_NOT_READY;
        return r;
    }
    if (r.drive->hostFolder.empty()) {
        r.error = platform::ERROR_PATH_NOT_FOUND;
        return r;
    }
    std::string host = r.drive->hostFolder == "/" ? std::string() : r.drive->hostFolder;
    std::string win = driveText + "\\";
    std::vector<std::string> components = platform::PathComponents(full);
    bool exists = true;
    bool isLink = false;
    struct stat info {};  // of the last component found, its link followed
    bool inFolder = false;  // whether info is that of the folder the next component lies in
    for (std::size_t i = 0; i < components.size(); ++i) {
        std::string c = platform::WithoutTrailingDotsAndBlanks(components[i]);
        bool last = i + 1 == components.size();
        bool invalid = c.empty();
        for (char ch : c) invalid = invalid || IsInvalidNameChar(ch);
        if (invalid) {
            r.error = platform::ERROR_INVALID_NAME;
            return r;
        }
        HostEntry e;
        struct stat folder = info;
        if (last && inFolder) {
            r.parentKnown = true;
            r.parentIsLink = isLink;
            r.parentInfo = folder;
        }
        if (FindInFolder(host.empty() ? "/" : host, inFolder ? &folder : nullptr, c, e, info)) {
            inFolder = true;
            host += "/" + e.hostName;
            win += e.name;
            isLink = S_ISLNK(info.st_mode);
            // A dangling host link names nothing Windows could open.
            bool reached = !isLink || ::stat(host.c_str(), &info) == 0;
            if (!last && (!reached || !S_ISDIR(info.st_mode))) {
                r.error = platform::ERROR_PATH_NOT_FOUND;
                return r;
            }
            if (!reached) exists = false;
        } else if (last) {
            host += "/" + cp_.ToUtf8(c);
            win += c;
            exists = false;
        } else {
            r.error = platform::ERROR_PATH_NOT_FOUND;
            return r;
        }
        if (!last) win += '\\';
    }
    r.isRoot = components.empty();
    r.host = host.empty() ? "/" : host;
    r.windowsPath = win;
    if (r.isRoot) exists = ::stat(r.host.c_str(), &info) == 0;
    if (exists) {
        r.exists = true;
        r.info = info;
        r.isDirectory = S_ISDIR(info.st_mode);
        r.isLink = isLink;
    }
    if (r.exists && !r.isDirectory && full.size() > 3 && full.back() == '\\') r.error = platform::ERROR_INVALID_NAME;
    return r;
}

std::string MachineState::WindowsPathOfHost(const std::string& hostPath) const {
    std::string real = hostPath;
    {
        char buf[PATH_MAX];
        if (realpath(hostPath.c_str(), buf) != nullptr) real = buf;
    }
    const DriveConfig* best = nullptr;
    for (const DriveConfig& d : drives_) {
        if (d.hostFolder.empty() || !d.media) continue;
        const std::string& f = d.hostFolder;
        bool under = f == "/" || real == f || (real.size() > f.size() && real.compare(0, f.size(), f) == 0 &&
                                               real[f.size()] == '/');
        if (under && (best == nullptr || f.size() > best->hostFolder.size())) best = &d;
    }
    if (best == nullptr) return std::string();
    std::string rest = best->hostFolder == "/" ? real : real.substr(best->hostFolder.size());
    std::string win = std::string(1, best->letter) + ":";
    for (char c : cp_.FromUtf8(rest)) win += c == '/' ? '\\' : c;
    if (win.size() == 2) win += '\\';
    return win;
}

DWORD MachineState::Attributes(const std::string& host, bool isDirectory, bool isLink) const {
    DWORD base = isDirectory ? platform::FILE_ATTRIBUTE_DIRECTORY : platform::FILE_ATTRIBUTE_ARCHIVE;
    {
        std::lock_guard lock(mutex_);
        auto it = attributes_.find(host);
        if (it != attributes_.end()) base = it->second;
    }
    if (isLink) base |= platform::FILE_ATTRIBUTE_REPARSE_POINT;
    return base;
}

void MachineState::SetAttributes(const std::string& host, DWORD attributes) {
    std::lock_guard lock(mutex_);
    attributes_[host] = attributes;
}

void MachineState::ForgetAttributes(const std::string& host) {
    std::lock_guard lock(mutex_);
    attributes_.erase(host);
}

void MachineState::MoveAttributes(const std::string& from, const std::string& to) {
    std::lock_guard lock(mutex_);
    attributes_.erase(to);
    std::vector<std::pair<std::string, DWORD>> moved;
    for (auto it = attributes_.begin(); it != attributes_.end();) {
        const std::string& key = it->first;
        bool under = key == from || (key.size() > from.size() && key.compare(0, from.size(), from) == 0 &&
                                     key[from.size()] == '/');
        if (!under) {
            ++it;
            continue;
        }
        moved.emplace_back(to + key.substr(from.size()), it->second);
        it = attributes_.erase(it);
    }
    for (auto& [key, a] : moved) attributes_[key] = a;
}

void MachineState::AddFault(FaultConfig fault) {
    std::string upper;
    if (platform::StartsWithNoCase(fault.path, "HKEY_")) {
        // A registry key, named as the registry names the keys it reports.
        upper = cp_.Upper(RegistryTree::WithoutClassesView(cp_.Upper(fault.path)));
        while (!upper.empty() && upper.back() == '\\') upper.pop_back();
    } else if (fault.path.find_first_of("\\/:") != std::string::npos) {
        // A file path, also a relative one, or a device.
        ResolvedPath p = Resolve(fault.path);
        upper = cp_.Upper(p.error == platform::ERROR_SUCCESS ? p.windowsPath : FullPath(fault.path));
        if (upper.size() > 3 && upper.back() == '\\') upper.pop_back();
    } else {
        // A name of the operation's own (a CPUID leaf, a COM class, ...), or none.
        upper = cp_.Upper(fault.path);
    }
    std::lock_guard lock(mutex_);
    faults_.push_back({std::move(fault), std::move(upper)});
}

void MachineState::ClearFaults() {
    std::lock_guard lock(mutex_);
    faults_.clear();
}

bool MachineState::HasFaults() const {
    std::lock_guard lock(mutex_);
    return !faults_.empty();
}

bool MachineState::Fails(std::string_view op, std::string_view windowsPath, bool writes) {
    FaultConfig hit;
    {
        std::lock_guard lock(mutex_);
        if (faults_.empty()) return false;
        std::string upper = cp_.Upper(windowsPath);
        if (upper.size() > 3 && upper.back() == '\\') upper.pop_back();
        ActiveFault* match = nullptr;
        for (ActiveFault& f : faults_) {
            bool opMatches = f.config.op == "*" || platform::EqualsNoCase(f.config.op, op) ||
                             (writes && platform::EqualsNoCase(f.config.op, "write"));
            if (!opMatches || f.config.times == 0) continue;
            const std::string& fp = f.upperPath;
            bool pathMatches = fp.empty() || upper == fp ||
                               (upper.size() > fp.size() && upper.compare(0, fp.size(), fp) == 0 &&
                                (upper[fp.size()] == '\\' || fp.back() == '\\'));
            if (!pathMatches) continue;
            match = &f;
            break;
        }
        if (match == nullptr) return false;
        if (match->config.after > 0) {
            --match->config.after;
            return false;
        }
        if (match->config.times > 0) --match->config.times;
        hit = match->config;
    }
    if (hit.raise) throw platform::PlatformFault(std::string(op) + " failed on purpose: " + std::string(windowsPath));
    platform::SetLastError(hit.error);
    return true;
}

}  // namespace qm::sim

namespace qm::sim {

MachineState::~MachineState() {
    for (auto& [pid, child] : children_)
        if (child.pidFd >= 0) ::close(child.pidFd);
}

void MachineState::AddChild(int pid) {
    // A descriptor that becomes readable when the child ends, so that a wait wakes at once.
    int fd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    std::lock_guard lock(childrenMutex_);
    Child& child = children_[pid];
    if (child.pidFd >= 0) ::close(child.pidFd);
    child = Child{};
    child.pidFd = fd;
    child.started = child.ended = std::chrono::steady_clock::now();
}

bool MachineState::Reap(int pid, Child& child) {
    if (child.status) return true;
    int status = 0;
    pid_t reaped = ::waitpid(pid, &status, WNOHANG);
    if (reaped == 0 || (reaped < 0 && errno == EINTR)) return false;
    // One that is no child of ours any more was reaped elsewhere: it ended, how is not known,
    // and a wait on it must not go on until its limit.
    if (reaped != pid) status = SIGKILL;
    child.status = status;
    child.ended = std::chrono::steady_clock::now();
    // Its descriptor stays open with the machine: another thread may be waiting on it.
    return true;
}

std::optional<int> MachineState::ChildExitStatus(int pid) {
    std::lock_guard lock(childrenMutex_);
    auto it = children_.find(pid);
    if (it == children_.end()) return std::nullopt;
    Reap(pid, it->second);
    return it->second.status;
}

bool MachineState::AnyChildRunning() {
    std::lock_guard lock(childrenMutex_);
    bool running = false;
    for (auto& [pid, child] : children_) running = !Reap(pid, child) || running;
    return running;
}

bool MachineState::WaitForChildren(int pid, std::chrono::milliseconds limit) {
    const auto until = std::chrono::steady_clock::now() + limit;
    for (;;) {
        std::vector<pollfd> ends;
        bool running = false, blind = false;
        {
            std::lock_guard lock(childrenMutex_);
            for (auto& [p, child] : children_) {
                if ((pid != -1 && p != pid) || Reap(p, child)) continue;
                running = true;
                if (child.pidFd >= 0) ends.push_back({child.pidFd, POLLIN, 0});
                else blind = true;
            }
        }
        if (!running) return true;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        // A child the host cannot watch is looked at every millisecond.
        int wait = static_cast<int>(std::min<std::int64_t>(left.count(), blind ? 1 : std::numeric_limits<int>::max()));
        if (::poll(ends.data(), ends.size(), wait) < 0 && errno != EINTR) return false;
    }
}

std::chrono::nanoseconds MachineState::TimeChildrenRan() {
    std::vector<std::pair<std::chrono::steady_clock::time_point, std::chrono::steady_clock::time_point>> runs;
    {
        std::lock_guard lock(childrenMutex_);
        for (auto& [pid, child] : children_)
            runs.emplace_back(child.started, Reap(pid, child) ? child.ended : std::chrono::steady_clock::now());
    }
    std::sort(runs.begin(), runs.end());
    std::chrono::nanoseconds total{0};
    auto covered = std::chrono::steady_clock::time_point::min();
    for (const auto& [start, end] : runs) {
        auto from = std::max(start, covered);
        if (end > from) total += end - from;
        covered = std::max(covered, end);
    }
    return total;
}

}  // namespace qm::sim
