#include "platform/sim/sim_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>

#include "platform/platform.h"
#include "platform/sim/host_files.h"
#include "platform/sim/short_names.h"
#include "platform/sim/wildcard.h"
#include "platform/text.h"
#include "platform/winpath.h"

namespace qm::sim {

using namespace qm::platform;

namespace {

bool Fail(DWORD error) {
    SetLastError(error);
    return false;
}

bool IsReadOnly(MachineState& state, const ResolvedPath& p) {
    return (state.Attributes(p) & FILE_ATTRIBUTE_READONLY) != 0;
}

// What keeps an existing file from being written over: CopyFile refuses a read-only or hidden
// target; CreateFile, truncating without repeating the file's attributes, also a system one.
constexpr DWORD kCopyRefuses = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN;
constexpr DWORD kTruncateRefuses = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

// Whether the existing entry may be replaced by a call that refuses the given attributes.
bool MayReplace(MachineState& state, const ResolvedPath& p, DWORD refused) {
    return !p.isDirectory && (state.Attributes(p) & refused) == 0;
}

class SimFile final : public File {
public:
    SimFile(int fd, MachineState& state, std::string windowsPath, bool canRead, bool canWrite)
        : fd_(fd), state_(state), path_(std::move(windowsPath)), canRead_(canRead), canWrite_(canWrite) {}
    ~SimFile() override { ::close(fd_); }
    SimFile(const SimFile&) = delete;
    SimFile& operator=(const SimFile&) = delete;

    bool ReadFile(void* buffer, DWORD toRead, DWORD& read) override {
        read = 0;
        if (!canRead_) return Fail(ERROR_ACCESS_DENIED);
        if (state_.Fails("ReadFile", path_, false)) return false;
        ssize_t n;
        do n = ::read(fd_, buffer, toRead);
        while (n < 0 && errno == EINTR);
        if (n < 0) return Fail(Win32ErrorOf(errno));
        read = static_cast<DWORD>(n);
        return true;
    }

    bool WriteFile(const void* data, DWORD size, DWORD& written) override {
        written = 0;
        if (!canWrite_) return Fail(ERROR_ACCESS_DENIED);
        if (state_.Fails("WriteFile", path_, true)) return false;
        const char* p = static_cast<const char*>(data);
        while (written < size) {
            ssize_t n = ::write(fd_, p + written, size - written);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return Fail(Win32ErrorOf(errno));
            written += static_cast<DWORD>(n);
        }
        return true;
    }

    // Every write already went to the host file in full; a flush only has to be able to fail.
    bool FlushFileBuffers() override {
        if (!canWrite_) return Fail(ERROR_ACCESS_DENIED);
        return !state_.Fails("FlushFileBuffers", path_, true);
    }

    bool SetEndOfFile() override {
        if (!canWrite_) return Fail(ERROR_ACCESS_DENIED);
        if (state_.Fails("SetEndOfFile", path_, true)) return false;
        off_t at = ::lseek(fd_, 0, SEEK_CUR);
        if (at < 0 || ::ftruncate(fd_, at) != 0) return Fail(Win32ErrorOf(errno));
        return true;
    }

    bool SetFilePointerEx(std::int64_t distance, MoveMethod method, std::uint64_t* newPosition) override {
        int whence = method == MoveMethod::Begin ? SEEK_SET : method == MoveMethod::Current ? SEEK_CUR : SEEK_END;
        off_t r = ::lseek(fd_, static_cast<off_t>(distance), whence);
        if (r < 0) return Fail(ERROR_INVALID_PARAMETER);
        if (newPosition) *newPosition = static_cast<std::uint64_t>(r);
        return true;
    }

    bool GetFileSizeEx(std::uint64_t& size) override {
        struct stat st {};
        if (::fstat(fd_, &st) != 0) return Fail(Win32ErrorOf(errno));
        size = static_cast<std::uint64_t>(st.st_size);
        return true;
    }

    bool SetFileTime(const FILETIME* lastWriteTime) override {
        if (lastWriteTime == nullptr) return true;
        if (!canWrite_) return Fail(ERROR_ACCESS_DENIED);
        if (state_.Fails("SetFileTime", path_, true)) return false;
        struct timespec times[2];
        times[0].tv_sec = 0;
        times[0].tv_nsec = UTIME_OMIT;
        times[1] = TimespecOf(*lastWriteTime);
        if (::futimens(fd_, times) != 0) return Fail(Win32ErrorOf(errno));
        return true;
    }

private:
    int fd_;
    MachineState& state_;
    std::string path_;
    bool canRead_;
    bool canWrite_;
};

class SimFind final : public FindHandle {
public:
    explicit SimFind(std::vector<FindData> entries) : entries_(std::move(entries)) {}
    bool FindNextFile(FindData& data) override {
        if (next_ >= entries_.size()) return Fail(ERROR_NO_MORE_FILES);
        // Each entry goes out once.
        data = std::move(entries_[next_++]);
        return true;
    }

private:
    std::vector<FindData> entries_;
    std::size_t next_ = 1;  // the first entry went out with FindFirstFile
};

// The host information of a folder's entry from one call relative to the folder, which also
// tells a link; only a link takes a second call, to see what it leads to. Zero when the entry
// went meanwhile.
struct stat StatEntry(int folderFd, const char* name, bool& isLink) {
    struct stat st {};
    isLink = false;
    if (::fstatat(folderFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return {};
    isLink = S_ISLNK(st.st_mode);
    struct stat target {};
    if (isLink && ::fstatat(folderFd, name, &target, 0) == 0) st = target;
    return st;
}

FindData MakeFindData(MachineState& state, const std::string& host, const struct stat& st, bool isLink,
                      std::string name) {
    FindData d;
    bool isDir = S_ISDIR(st.st_mode);
    d.dwFileAttributes = state.Attributes(host, isDir, isLink);
    d.ftLastWriteTime = FileTimeOf(st.st_mtim);
    d.ftLastAccessTime = FileTimeOf(st.st_atim);
    d.ftCreationTime = d.ftLastWriteTime;
    d.nFileSize = isDir ? 0 : static_cast<std::uint64_t>(st.st_size);
    d.cFileName = std::move(name);
    return d;
}

// Upper-case order, as an NTFS folder lists its entries.
void SortByUpperName(std::vector<FindData>& entries, std::vector<std::string>& uppers) {
    std::vector<std::size_t> order(entries.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return uppers[a] < uppers[b]; });
    std::vector<FindData> sorted;
    sorted.reserve(entries.size());
    for (std::size_t i : order) sorted.push_back(std::move(entries[i]));
    entries = std::move(sorted);
}

// Copies a host file and gives the copy the source's last-write time, as CopyFile does.
bool CopyHostFile(const ResolvedPath& source, const std::string& target) {
    std::error_code ec;
    std::filesystem::copy_file(source.host, target, std::filesystem::copy_options::overwrite_existing, ec);
    if (ec) return Fail(Win32ErrorOf(ec.value()));
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1] = source.info.st_mtim;
    ::utimensat(AT_FDCWD, target.c_str(), times, 0);
    return true;
}

}  // namespace

bool SimFiles::Prepare(std::string_view op, std::string_view path, bool writes, ResolvedPath& p) {
    p = state_.Resolve(path);
    if (state_.Fails(op, p.windowsPath, writes)) return false;
    if (p.error != ERROR_SUCCESS) return Fail(p.error);
    return true;
}

DWORD SimFiles::GetFileAttributes(std::string_view path) {
    ResolvedPath p;
    if (!Prepare("GetFileAttributes", path, false, p)) return INVALID_FILE_ATTRIBUTES;
    if (!p.exists) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_FILE_ATTRIBUTES;
    }
    return state_.Attributes(p);
}

bool SimFiles::GetFileAttributesEx(std::string_view path, FileAttributeData& data) {
    ResolvedPath p;
    if (!Prepare("GetFileAttributesEx", path, false, p)) return false;
    if (!p.exists) return Fail(ERROR_FILE_NOT_FOUND);
    data.dwFileAttributes = state_.Attributes(p);
    data.ftLastWriteTime = FileTimeOf(p.info.st_mtim);
    data.ftLastAccessTime = FileTimeOf(p.info.st_atim);
    data.ftCreationTime = data.ftLastWriteTime;
    data.nFileSize = p.isDirectory ? 0 : static_cast<std::uint64_t>(p.info.st_size);
    return true;
}

bool SimFiles::SetFileAttributes(std::string_view path, DWORD attributes) {
    ResolvedPath p;
    if (!Prepare("SetFileAttributes", path, true, p)) return false;
    if (!p.exists) return Fail(ERROR_FILE_NOT_FOUND);
    DWORD kept = attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                               FILE_ATTRIBUTE_ARCHIVE);
    if (p.isDirectory) kept |= FILE_ATTRIBUTE_DIRECTORY;
    else if (kept == 0) kept = FILE_ATTRIBUTE_NORMAL;
    state_.SetAttributes(p.host, kept);
    return true;
}

bool SimFiles::CreateDirectory(std::string_view path) {
    ResolvedPath p;
    if (!Prepare("CreateDirectory", path, true, p)) return false;
    if (p.exists) return Fail(ERROR_ALREADY_EXISTS);
    if (::mkdir(p.host.c_str(), 0755) != 0) return Fail(errno == ENOENT ? ERROR_PATH_NOT_FOUND : Win32ErrorOf(errno));
    state_.ForgetNames(p.host);
    state_.ForgetAttributes(p.host);
    return true;
}

bool SimFiles::RemoveDirectory(std::string_view path) {
    ResolvedPath p;
    if (!Prepare("RemoveDirectory", path, true, p)) return false;
    if (!p.exists) return Fail(ERROR_FILE_NOT_FOUND);
    if (!p.isDirectory) return Fail(ERROR_DIRECTORY);
    if (p.isRoot || IsReadOnly(state_, p)) return Fail(ERROR_ACCESS_DENIED);
    if (::rmdir(p.host.c_str()) != 0) return Fail(Win32ErrorOf(errno));
    state_.ForgetNames(p.host);
    state_.ForgetAttributes(p.host);
    return true;
}

bool SimFiles::DeleteFile(std::string_view path) {
    ResolvedPath p;
    if (!Prepare("DeleteFile", path, true, p)) return false;
    if (!p.exists) return Fail(ERROR_FILE_NOT_FOUND);
    if (p.isDirectory || IsReadOnly(state_, p)) return Fail(ERROR_ACCESS_DENIED);
    if (::unlink(p.host.c_str()) != 0) return Fail(Win32ErrorOf(errno));
    state_.ForgetNames(p.host);
    state_.ForgetAttributes(p.host);
    return true;
}

bool SimFiles::CopyFile(std::string_view existing, std::string_view newName, bool failIfExists) {
    ResolvedPath s, d;
    if (!Prepare("CopyFile", existing, false, s)) return false;
    if (!s.exists) return Fail(ERROR_FILE_NOT_FOUND);
    if (s.isDirectory) return Fail(ERROR_ACCESS_DENIED);
    if (!Prepare("CopyFile", newName, true, d)) return false;
    if (d.exists) {
        if (failIfExists) return Fail(ERROR_FILE_EXISTS);
        if (!MayReplace(state_, d, kCopyRefuses)) return Fail(ERROR_ACCESS_DENIED);
        if (d.host == s.host) return Fail(ERROR_SHARING_VIOLATION);
    }
    bool copied = CopyHostFile(s, d.host);
    state_.ForgetNames(d.host);
    if (!copied) return false;
    DWORD a = state_.Attributes(s) & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    if (a == 0) state_.ForgetAttributes(d.host);
    else state_.SetAttributes(d.host, a | FILE_ATTRIBUTE_ARCHIVE);
    return true;
}

bool SimFiles::MoveFileEx(std::string_view existing, std::string_view newName, DWORD flags) {
    ResolvedPath s, d;
    if (!Prepare("MoveFile", existing, true, s)) return false;
    if (!s.exists) return Fail(ERROR_FILE_NOT_FOUND);
    if (s.isRoot) return Fail(ERROR_ACCESS_DENIED);
    if (!Prepare("MoveFile", newName, true, d)) return false;
    if (s.drive != d.drive && (s.isDirectory || (flags & MOVEFILE_COPY_ALLOWED) == 0)) return Fail(ERROR_NOT_SAME_DEVICE);
    std::string target = d.host;
    if (d.exists && d.host == s.host) {
        // Only the case of the name changes.
        target = HostFolderOf(d.host) + "/" +
                 state_.CodePage().ToUtf8(FileNameOf(ExcludeTrailingBackslash(state_.FullPath(newName))));
    } else if (d.exists) {
        if ((flags & MOVEFILE_REPLACE_EXISTING) == 0) return Fail(ERROR_ALREADY_EXISTS);
        if (d.isDirectory || s.isDirectory || IsReadOnly(state_, d)) return Fail(ERROR_ACCESS_DENIED);
    }
    int renamed = 0;
    if (!d.exists && (flags & MOVEFILE_REPLACE_EXISTING) == 0) {
        // Nor is a file replaced that another process makes meanwhile: Windows renames in one step.
        renamed = ::renameat2(AT_FDCWD, s.host.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE);
        if (renamed != 0 && errno == EEXIST) return Fail(ERROR_ALREADY_EXISTS);
        if (renamed != 0 && errno == EINVAL) renamed = ::rename(s.host.c_str(), target.c_str());  // a host without it
    } else {
        renamed = ::rename(s.host.c_str(), target.c_str());
    }
    if (renamed != 0) {
        if (errno != EXDEV || s.isDirectory) return Fail(errno == EXDEV ? ERROR_NOT_SAME_DEVICE : Win32ErrorOf(errno));
        bool copied = CopyHostFile(s, target);
        state_.ForgetNames(target);
        if (!copied) return false;
        ::unlink(s.host.c_str());
    }
    state_.ForgetNames(s.host);
    state_.ForgetNames(target);
    state_.MoveAttributes(s.host, target);
    return true;
}

std::unique_ptr<File> SimFiles::CreateFile(std::string_view path, DWORD access, CreationDisposition disposition) {
    bool wantRead = (access & GENERIC_READ) != 0;
    bool wantWrite = (access & GENERIC_WRITE) != 0;
    bool changes = wantWrite || disposition != CreationDisposition::OpenExisting;
    ResolvedPath p;
    if (!Prepare("CreateFile", path, changes, p)) return nullptr;
    if (p.isDirectory) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    int flags = O_CLOEXEC;
    flags |= wantRead && wantWrite ? O_RDWR : wantWrite ? O_WRONLY : O_RDONLY;
    switch (disposition) {
        case CreationDisposition::CreateNew:
            if (p.exists) {
                SetLastError(ERROR_FILE_EXISTS);
                return nullptr;
            }
            flags |= O_CREAT | O_EXCL;
            break;
        case CreationDisposition::CreateAlways:
            flags |= O_CREAT | O_TRUNC;
            break;
        case CreationDisposition::OpenExisting:
            break;
        case CreationDisposition::OpenAlways:
            flags |= O_CREAT;
            break;
        case CreationDisposition::TruncateExisting:
            flags |= O_TRUNC;
            break;
    }
    bool mustExist = disposition == CreationDisposition::OpenExisting ||
                     disposition == CreationDisposition::TruncateExisting;
    if (!p.exists && mustExist) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    bool truncates = disposition == CreationDisposition::CreateAlways ||
                     disposition == CreationDisposition::TruncateExisting;
    DWORD refused = truncates ? kTruncateRefuses : wantWrite ? FILE_ATTRIBUTE_READONLY : 0;
    if (p.exists && !MayReplace(state_, p, refused)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    if ((flags & O_ACCMODE) == O_RDONLY && (flags & O_TRUNC)) flags = (flags & ~O_ACCMODE) | O_RDWR;
    int fd = ::open(p.host.c_str(), flags, 0644);
    if (fd < 0) {
        SetLastError(errno == EEXIST ? ERROR_FILE_EXISTS : errno == ENOENT ? ERROR_PATH_NOT_FOUND : Win32ErrorOf(errno));
        return nullptr;
    }
    if (!p.exists) {
        state_.ForgetNames(p.host);
        state_.ForgetAttributes(p.host);
    }
    bool reportsExisting = p.exists && (disposition == CreationDisposition::CreateAlways ||
                                        disposition == CreationDisposition::OpenAlways);
    SetLastError(reportsExisting ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return std::make_unique<SimFile>(fd, state_, p.windowsPath, wantRead, wantWrite);
}

std::unique_ptr<FindHandle> SimFiles::FindFirstFileEx(std::string_view pattern, FindInfoLevel level, FindData& data) {
    std::string full = state_.FullPath(pattern);
    std::string mask = FileNameOf(full);
    ResolvedPath folder;
    if (!Prepare("FindFirstFile", FolderOf(full), false, folder)) return nullptr;
    if (!folder.exists || !folder.isDirectory) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return nullptr;
    }
    if (mask.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    const CodePageTable& cp = state_.CodePage();
    const bool wantShortNames = level == FindInfoLevel::Standard;
    std::string maskUpper = cp.Upper(mask);
    bool wild = HasWildcards(mask);
    auto hostOf = [&](const std::string& name) { return folder.host == "/" ? "/" + name : folder.host + "/" + name; };

    std::vector<FindData> found;
    std::vector<std::string> uppers;
    std::vector<FindData> dots;
    if (wild) {
        int fd = ::open(folder.host.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        std::vector<HostEntry> listing;
        if (fd >= 0) listing = state_.ListOpenFolder(fd);
        if (!folder.isRoot) {
            if (MatchWildcard(maskUpper, ".")) dots.push_back(MakeFindData(state_, folder.host, folder.info, folder.isLink, "."));
            if (MatchWildcard(maskUpper, "..")) {
                std::string parent = HostFolderOf(folder.host);
                bool isLink = folder.parentIsLink;
                struct stat st = folder.parentKnown ? folder.parentInfo : StatEntry(AT_FDCWD, parent.c_str(), isLink);
                dots.push_back(MakeFindData(state_, parent, st, isLink, ".."));
            }
        }
        std::vector<std::size_t> listingIndex;
        bool anyLong = false;
        for (std::size_t i = 0; i < listing.size(); ++i) {
            HostEntry& e = listing[i];
            if (!MatchWildcard(maskUpper, e.upper)) continue;
            bool isLink = false;
            struct stat st = StatEntry(fd, e.hostName.c_str(), isLink);
            anyLong = anyLong || (wantShortNames && !IsValidShortName(e.name));
            found.push_back(MakeFindData(state_, hostOf(e.hostName), st, isLink, e.name));
            uppers.push_back(e.upper);
            listingIndex.push_back(i);
        }
        if (fd >= 0) ::close(fd);
        if (anyLong) {
            std::vector<std::string> names;
            names.reserve(listing.size());
            for (HostEntry& e : listing) names.push_back(std::move(e.name));
            std::vector<std::string> shorts = AssignShortNames(names, cp);
            for (std::size_t k = 0; k < found.size(); ++k) found[k].cAlternateFileName = shorts[listingIndex[k]];
        }
    } else {
        ResolvedPath one = state_.Resolve(full);
        if (one.error == ERROR_SUCCESS && one.exists) {
            std::string name = FileNameOf(one.windowsPath);
            found.push_back(MakeFindData(state_, one.host, one.info, one.isLink, name));
            uppers.push_back(cp.Upper(name));
            if (wantShortNames && !IsValidShortName(name)) {
                std::shared_ptr<const FolderNames> names = state_.NamesOf(folder.host);
                if (const HostEntry* e = names->ByUpper(uppers.back())) found.back().cAlternateFileName = names->ShortNameOf(*e, cp);
            }
        }
    }
    if (found.empty() && dots.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    SortByUpperName(found, uppers);
    dots.insert(dots.end(), std::make_move_iterator(found.begin()), std::make_move_iterator(found.end()));
    data = std::move(dots.front());
    SetLastError(ERROR_SUCCESS);
    return std::make_unique<SimFind>(std::move(dots));
}

std::string SimFiles::GetCurrentDirectory() { return state_.CurrentDirectory(); }

bool SimFiles::SetCurrentDirectory(std::string_view path) {
    ResolvedPath p;
    if (!Prepare("SetCurrentDirectory", path, false, p)) return false;
    if (!p.exists) return Fail(ERROR_FILE_NOT_FOUND);
    if (!p.isDirectory) return Fail(ERROR_DIRECTORY);
    state_.SetCurrentDirectoryUnchecked(p.isRoot ? p.windowsPath : ExcludeTrailingBackslash(p.windowsPath));
    return true;
}

DWORD SimFiles::GetShortPathName(std::string_view longPath, std::string& shortPath) {
    ResolvedPath p;
    if (!Prepare("GetShortPathName", longPath, false, p)) return 0;
    if (!p.exists) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return 0;
    }
    const CodePageTable& cp = state_.CodePage();
    std::string result = DriveOf(p.windowsPath) + "\\";
    std::string host = p.drive->hostFolder;
    std::vector<std::string> components = PathComponents(p.windowsPath);
    for (std::size_t i = 0; i < components.size(); ++i) {
        const std::string& c = components[i];
        std::string part = c;
        if (!IsValidShortName(c)) {
            std::shared_ptr<const FolderNames> names = state_.NamesOf(host);
            const HostEntry* e = names->ByUpper(cp.Upper(c));
            if (e == nullptr || e->name != c) {
                e = nullptr;
                for (const HostEntry& other : names->Entries())
                    if (other.name == c) e = &other;
            }
            std::string shortName = e != nullptr ? names->ShortNameOf(*e, cp) : std::string();
            if (!shortName.empty()) part = shortName;
        }
        if (i > 0) result += '\\';
        result += part;
        host = (host == "/" ? "" : host) + "/" + cp.ToUtf8(c);
    }
    if (components.size() > 0 && !longPath.empty() && IsPathDelimiter(longPath.back())) result += '\\';
    shortPath = result;
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(result.size());
}

DWORD SimFiles::GetLongPathName(std::string_view shortPath, std::string& longPath) {
    ResolvedPath p;
    if (!Prepare("GetLongPathName", shortPath, false, p)) return 0;
    if (!p.exists) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return 0;
    }
    longPath = p.windowsPath;
    return static_cast<DWORD>(longPath.size());
}

DWORD SimFiles::GetFullPathName(std::string_view path, std::string& fullPath) {
    if (path.empty()) {
        SetLastError(ERROR_INVALID_NAME);
        return 0;
    }
    fullPath = state_.FullPath(path);
    return static_cast<DWORD>(fullPath.size());
}

}  // namespace qm::sim
