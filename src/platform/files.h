#pragma once
// Files and folders, after the Win32 file functions. Failures set the thread's last error
// (GetLastError) to the Win32 code: 2 file not found, 3 path not found, 5 access denied,
// 80 file exists, 183 already exists, ...

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/types.h"

namespace qm::platform {

// WIN32_FIND_DATA.
struct FindData {
    DWORD dwFileAttributes = 0;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    std::uint64_t nFileSize = 0;
    std::string cFileName;
    std::string cAlternateFileName;  // the 8.3 name, empty when the name itself is one
};

// WIN32_FILE_ATTRIBUTE_DATA.
struct FileAttributeData {
    DWORD dwFileAttributes = 0;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    std::uint64_t nFileSize = 0;
};

inline constexpr DWORD GENERIC_READ = 0x80000000u;
inline constexpr DWORD GENERIC_WRITE = 0x40000000u;

inline constexpr DWORD MOVEFILE_REPLACE_EXISTING = 0x1;
inline constexpr DWORD MOVEFILE_COPY_ALLOWED = 0x2;

enum class CreationDisposition { CreateNew = 1, CreateAlways = 2, OpenExisting = 3, OpenAlways = 4, TruncateExisting = 5 };
enum class MoveMethod { Begin = 0, Current = 1, End = 2 };
// FINDEX_INFO_LEVELS: Basic leaves out the 8.3 names, which a folder would have to make.
enum class FindInfoLevel { Standard = 0, Basic = 1 };

// An open file handle; destroying it stands for CloseHandle.
class File {
public:
    virtual ~File() = default;
    // ReadFile: false with the last error on failure; read = 0 at the end of the file.
    virtual bool ReadFile(void* buffer, DWORD toRead, DWORD& read) = 0;
    // WriteFile.
    virtual bool WriteFile(const void* data, DWORD size, DWORD& written) = 0;
    // FlushFileBuffers.
    virtual bool FlushFileBuffers() = 0;
    // SetEndOfFile: the file ends at the file pointer.
    virtual bool SetEndOfFile() = 0;
    // SetFilePointerEx.
    virtual bool SetFilePointerEx(std::int64_t distance, MoveMethod method, std::uint64_t* newPosition) = 0;
    // GetFileSizeEx.
    virtual bool GetFileSizeEx(std::uint64_t& size) = 0;
    // SetFileTime, last-write time only (null leaves it).
    virtual bool SetFileTime(const FILETIME* lastWriteTime) = 0;
};

// A search started by FindFirstFile; destroying it stands for FindClose.
class FindHandle {
public:
    virtual ~FindHandle() = default;
    // FindNextFile: false with ERROR_NO_MORE_FILES after the last entry.
    virtual bool FindNextFile(FindData& data) = 0;
};

class FilesService {
public:
    virtual ~FilesService() = default;

    // GetFileAttributes: INVALID_FILE_ATTRIBUTES on failure.
    virtual DWORD GetFileAttributes(std::string_view path) = 0;
    // GetFileAttributesEx (GetFileExInfoStandard).
    virtual bool GetFileAttributesEx(std::string_view path, FileAttributeData& data) = 0;
    // SetFileAttributes.
    virtual bool SetFileAttributes(std::string_view path, DWORD attributes) = 0;
    // CreateDirectory: 183 when it exists, 3 when the parent does not.
    virtual bool CreateDirectory(std::string_view path) = 0;
    // RemoveDirectory: 145 when not empty.
    virtual bool RemoveDirectory(std::string_view path) = 0;
    // DeleteFile: 5 for a read-only file or a folder.
    virtual bool DeleteFile(std::string_view path) = 0;
    // CopyFile: the copy keeps the source's last-write time; 80 when failIfExists and the
    // target exists, 5 when the target is read-only or hidden.
    virtual bool CopyFile(std::string_view existing, std::string_view newName, bool failIfExists) = 0;
    // MoveFileEx (also a rename): without MOVEFILE_REPLACE_EXISTING, 183 when the target
    // exists; with it, an existing file (not a folder) is replaced in one step. A file goes to
    // another drive only with MOVEFILE_COPY_ALLOWED (17 otherwise).
    virtual bool MoveFileEx(std::string_view existing, std::string_view newName, DWORD flags) = 0;
    // MoveFile: a file may go to another drive.
    bool MoveFile(std::string_view existing, std::string_view newName) {
        return MoveFileEx(existing, newName, MOVEFILE_COPY_ALLOWED);
    }
    // CreateFile for files (no devices): null with the last error on failure. CREATE_ALWAYS
    // and OPEN_ALWAYS on an existing file set the last error to 183 and succeed; CREATE_ALWAYS
    // and TRUNCATE_EXISTING refuse (5) an existing read-only, hidden or system file, and
    // write access a read-only one.
    virtual std::unique_ptr<File> CreateFile(std::string_view path, DWORD access, CreationDisposition disposition) = 0;
    // FindFirstFile with Windows wildcards in the last component, matched without regard to
    // case; entries come in a fixed order (by upper-cased name). Null with the last error
    // (2 when nothing matches, 3 when the folder does not exist).
    std::unique_ptr<FindHandle> FindFirstFile(std::string_view pattern, FindData& data) {
        return FindFirstFileEx(pattern, FindInfoLevel::Standard, data);
    }
    // FindFirstFileEx (FindExSearchNameMatch, no flags): as FindFirstFile; at the level Basic
    // cAlternateFileName stays empty.
    virtual std::unique_ptr<FindHandle> FindFirstFileEx(std::string_view pattern, FindInfoLevel level,
                                                        FindData& data) = 0;
    // GetCurrentDirectory (no trailing backslash except at a root).
    virtual std::string GetCurrentDirectory() = 0;
    // SetCurrentDirectory.
    virtual bool SetCurrentDirectory(std::string_view path) = 0;
    // GetShortPathName: 0 with the last error when the path does not exist.
    virtual DWORD GetShortPathName(std::string_view longPath, std::string& shortPath) = 0;
    // GetLongPathName.
    virtual DWORD GetLongPathName(std::string_view shortPath, std::string& longPath) = 0;
    // GetFullPathName: relative to the current folder, "." and ".." resolved; no existence test.
    virtual DWORD GetFullPathName(std::string_view path, std::string& fullPath) = 0;
};

// Helpers built on the service above.

// Fills an open file, piece by piece; false when a piece cannot be written or had.
using FileWriter = std::function<bool(File&)>;

// True when the path names an existing file (a folder does not count).
bool FileExists(FilesService& fs, std::string_view path);
// True when the path names an existing folder.
bool DirectoryExists(FilesService& fs, std::string_view path);
// Reads the whole file; false with the last error when it cannot be opened or read.
bool ReadWholeFile(FilesService& fs, std::string_view path, std::string& bytes);
// Reads the file's first limit bytes (all of a shorter file), so that a huge file costs no
// more memory than its reader can use; false as ReadWholeFile.
bool ReadFileStart(FilesService& fs, std::string_view path, std::size_t limit, std::string& bytes);
// Writes all the bytes at the file pointer, again after a write that took only part of them;
// false with the last error when a write fails or takes nothing.
bool WriteAll(File& file, std::string_view bytes);
// Creates or replaces the file with the bytes; false with the last error on failure.
bool WriteWholeFile(FilesService& fs, std::string_view path, std::string_view bytes);
// Appends the bytes at the end of the file, making it when it does not exist; false with the
// last error on failure.
bool AppendToFile(FilesService& fs, std::string_view path, std::string_view bytes);
// Writes the bytes to a temporary file beside the target and renames it into place, so the
// target is either the old or the new file, never a part.
bool ReplaceFileSafely(FilesService& fs, std::string_view path, std::string_view bytes);
// The same for a file written piece by piece: `write` fills the open temporary file, which is
// then flushed and renamed into place. False with the last error when a step fails (also when
// `write` answers false); the temporary file never outlives a failure.
bool ReplaceFileSafely(FilesService& fs, std::string_view path, const FileWriter& write);
// Writes several files (path, bytes) so that either every target holds its new bytes or every
// target keeps what it held: all are written under temporary names first, and only then are
// the old files set aside and the new ones renamed into place. False with the last error when
// any step fails; what was set aside then returns.
bool ReplaceFilesTogether(FilesService& fs, const std::vector<std::pair<std::string, std::string>>& files);
// The same for files written piece by piece: each writer fills its open temporary file.
bool ReplaceFilesTogether(FilesService& fs, const std::vector<std::pair<std::string, FileWriter>>& files);
// Copies the source to a temporary file beside the target and renames the copy into place, so
// the target folder never shows a part of the file under the target's name. An existing target
// is never replaced: false with 183 (already exists) then.
bool CopyFileSafely(FilesService& fs, std::string_view source, std::string_view target);

}  // namespace qm::platform
