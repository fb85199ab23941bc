#include "platform/files.h"

#include <atomic>
#include <limits>

#include "platform/platform.h"
#include "platform/winpath.h"

namespace qm::platform {

bool FileExists(FileSystem& fs, std::string_view path) {
    DWORD a = fs.GetFileAttributes(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool DirectoryExists(FileSystem& fs, std::string_view path) {
    DWORD a = fs.GetFileAttributes(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool ReadWholeFile(FileSystem& fs, std::string_view path, std::string& bytes) {
    bytes.clear();
    auto file = fs.CreateFile(path, GENERIC_READ, CreationDisposition::OpenExisting);
    if (!file) return false;
    std::uint64_t size = 0;
    if (file->GetFileSizeEx(size) && size < std::numeric_limits<DWORD>::max()) bytes.reserve(size);
    char buffer[64 * 1024];
    for (;;) {
        DWORD read = 0;
        if (!file->ReadFile(buffer, sizeof buffer, read)) return false;
        if (read == 0) return true;
        bytes.append(buffer, read);
    }
}

namespace {

bool WriteAll(File& file, std::string_view bytes) {
    while (!bytes.empty()) {
        DWORD chunk = bytes.size() > (1u << 30) ? (1u << 30) : static_cast<DWORD>(bytes.size());
        DWORD written = 0;
        if (!file.WriteFile(bytes.data(), chunk, written)) return false;
        bytes.remove_prefix(written);
    }
    return true;
}

}  // namespace

bool WriteWholeFile(FileSystem& fs, std::string_view path, std::string_view bytes) {
    auto file = fs.CreateFile(path, GENERIC_WRITE, CreationDisposition::CreateAlways);
    if (!file) return false;
    return WriteAll(*file, bytes) && file->FlushFileBuffers();
}

namespace {

// Makes the temporary file beside the target with `make` and renames it into place; the
// temporary file never outlives a failure, and the failure's last error is kept.
template <typename Make>
bool PlaceThroughTemporary(FileSystem& fs, std::string_view path, Make make) {
    static std::atomic<unsigned> counter{0};
    std::string temp = std::string(path) + ".~" + std::to_string(counter.fetch_add(1)) + ".tmp";
    auto dropTemp = [&] {
        DWORD error = GetLastError();
        try {
            fs.DeleteFile(temp);
        } catch (...) {
        }
        SetLastError(error);
    };
    try {
        if (!make(temp) || !fs.MoveFileEx(temp, path, MOVEFILE_REPLACE_EXISTING)) {
            dropTemp();
            return false;
        }
    } catch (...) {
        dropTemp();
        throw;
    }
    return true;
}

}  // namespace

bool ReplaceFileSafely(FileSystem& fs, std::string_view path, std::string_view bytes) {
    return PlaceThroughTemporary(fs, path, [&](const std::string& temp) { return WriteWholeFile(fs, temp, bytes); });
}

bool CopyFileSafely(FileSystem& fs, std::string_view source, std::string_view target) {
    return PlaceThroughTemporary(fs, target, [&](const std::string& temp) { return fs.CopyFile(source, temp, false); });
}

}  // namespace qm::platform
