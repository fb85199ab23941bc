#include "platform/files.h"

#include <algorithm>
#include <atomic>
#include <limits>

#include "platform/platform.h"
#include "platform/winpath.h"

namespace qm::platform {

bool FileExists(FilesService& fs, std::string_view path) {
    DWORD a = fs.GetFileAttributes(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool DirectoryExists(FilesService& fs, std::string_view path) {
    DWORD a = fs.GetFileAttributes(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool ReadWholeFile(FilesService& fs, std::string_view path, std::string& bytes) {
    return ReadFileStart(fs, path, std::numeric_limits<std::size_t>::max(), bytes);
}

bool ReadFileStart(FilesService& fs, std::string_view path, std::size_t limit, std::string& bytes) {
    bytes.clear();
    auto file = fs.CreateFile(path, GENERIC_READ, CreationDisposition::OpenExisting);
    if (!file) return false;
    char buffer[64 * 1024];
    for (bool first = true; bytes.size() < limit; first = false) {
        DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(sizeof buffer, limit - bytes.size()));
        DWORD read = 0;
        if (!file->ReadFile(buffer, wanted, read)) return false;
        if (read == 0) return true;
        // Most files fit the first read; only a larger one is worth asking the size of.
        std::uint64_t size = 0;
        if (first && read == sizeof buffer && file->GetFileSizeEx(size) && size < std::numeric_limits<DWORD>::max())
            bytes.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(size, limit)));
        bytes.append(buffer, read);
    }
    return true;
}

bool WriteAll(File& file, std::string_view bytes) {
    while (!bytes.empty()) {
        DWORD chunk = bytes.size() > (1u << 30) ? (1u << 30) : static_cast<DWORD>(bytes.size());
        DWORD written = 0;
        if (!file.WriteFile(bytes.data(), chunk, written)) return false;
        // A write that takes nothing would be asked again for ever.
        if (written == 0 || written > chunk) {
            SetLastError(ERROR_WRITE_FAULT);
            return false;
        }
        bytes.remove_prefix(written);
    }
    return true;
}

namespace {

// Creates or replaces the file, fills it with `write` and flushes it.
bool WriteNewFile(FilesService& fs, std::string_view path, const FileWriter& write) {
    auto file = fs.CreateFile(path, GENERIC_WRITE, CreationDisposition::CreateAlways);
    return file && write(*file) && file->FlushFileBuffers();
}

}  // namespace

bool WriteWholeFile(FilesService& fs, std::string_view path, std::string_view bytes) {
    return WriteNewFile(fs, path, [&](File& file) { return WriteAll(file, bytes); });
}

bool AppendToFile(FilesService& fs, std::string_view path, std::string_view bytes) {
    auto file = fs.CreateFile(path, GENERIC_WRITE, CreationDisposition::OpenAlways);
    if (!file) return false;
    return file->SetFilePointerEx(0, MoveMethod::End, nullptr) && WriteAll(*file, bytes) && file->FlushFileBuffers();
}

namespace {

// A name beside the path that no other file of this process takes.
std::string TemporaryBeside(std::string_view path) {
    static std::atomic<unsigned> counter{0};
    return std::string(path) + ".~" + std::to_string(counter.fetch_add(1)) + ".tmp";
}

// Deletes what a failed step left behind; the failure's last error is kept.
void DeleteQuietly(FilesService& fs, const std::string& path) {
    DWORD error = GetLastError();
    try {
        fs.DeleteFile(path);
    } catch (...) {
    }
    SetLastError(error);
}

// Makes the temporary file beside the target with `make` and renames it into place with the
// given MoveFileEx flags; the temporary file never outlives a failure, and the failure's last
// error is kept.
template <typename Make>
bool PlaceThroughTemporary(FilesService& fs, std::string_view path, DWORD moveFlags, Make make) {
    std::string temp = TemporaryBeside(path);
    try {
        if (!make(temp) || !fs.MoveFileEx(temp, path, moveFlags)) {
            DeleteQuietly(fs, temp);
            return false;
        }
    } catch (...) {
        DeleteQuietly(fs, temp);
        throw;
    }
    return true;
}

}  // namespace

bool ReplaceFilesTogether(FilesService& fs, const std::vector<std::pair<std::string, std::string>>& files) {
    std::vector<std::pair<std::string, FileWriter>> writers;
    for (const auto& [path, bytes] : files)
        writers.emplace_back(path, [&bytes = bytes](File& file) { return WriteAll(file, bytes); });
    return ReplaceFilesTogether(fs, writers);
}

bool ReplaceFilesTogether(FilesService& fs, const std::vector<std::pair<std::string, FileWriter>>& files) {
    const std::size_t n = files.size();
    std::vector<std::string> temp(n), aside(n);
    std::vector<bool> placed(n, false);
    // Every target gets back what it held: the new file goes, the file set aside returns.
    auto rollBack = [&] {
        DWORD error = GetLastError();
        for (std::size_t i = 0; i < n; ++i) {
            try {
                if (placed[i] && aside[i].empty()) fs.DeleteFile(files[i].first);
                if (!aside[i].empty()) fs.MoveFileEx(aside[i], files[i].first, MOVEFILE_REPLACE_EXISTING);
            } catch (...) {
            }
            if (!temp[i].empty() && !placed[i]) DeleteQuietly(fs, temp[i]);
        }
        SetLastError(error);
    };
    auto failed = [&] {
        rollBack();
        return false;
    };
    try {
        for (std::size_t i = 0; i < n; ++i) {
            temp[i] = TemporaryBeside(files[i].first);
            if (!WriteNewFile(fs, temp[i], files[i].second)) return failed();
        }
        for (std::size_t i = 0; i < n; ++i) {
            if (!FileExists(fs, files[i].first)) continue;
            std::string name = TemporaryBeside(files[i].first);
            if (!fs.MoveFileEx(files[i].first, name, 0)) return failed();
            aside[i] = std::move(name);
        }
        for (std::size_t i = 0; i < n; ++i) {
            if (!fs.MoveFileEx(temp[i], files[i].first, MOVEFILE_REPLACE_EXISTING)) return failed();
            placed[i] = true;
        }
    } catch (...) {
        rollBack();
        throw;
    }
    for (const std::string& name : aside)
        if (!name.empty()) DeleteQuietly(fs, name);
    return true;
}

bool ReplaceFileSafely(FilesService& fs, std::string_view path, std::string_view bytes) {
    return ReplaceFileSafely(fs, path, [&](File& file) { return WriteAll(file, bytes); });
}

bool ReplaceFileSafely(FilesService& fs, std::string_view path, const FileWriter& write) {
    return PlaceThroughTemporary(fs, path, MOVEFILE_REPLACE_EXISTING,
                                 [&](const std::string& temp) { return WriteNewFile(fs, temp, write); });
}

bool CopyFileSafely(FilesService& fs, std::string_view source, std::string_view target) {
    return PlaceThroughTemporary(fs, target, 0, [&](const std::string& temp) { return fs.CopyFile(source, temp, false); });
}

}  // namespace qm::platform
