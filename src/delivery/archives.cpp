#include "delivery/archives.h"

#include <zip.h>

#include <list>
#include <memory>
#include <stdexcept>

#include "core/date_time.h"
#include "core/result_list.h"
#include "core/settings.h"
#include "core/trace_log.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "platform/time.h"
#include "platform/winpath.h"

namespace qm::delivery {

using namespace qm::platform;
using core::WriteLog;

namespace {

class ArchiveError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

std::string ErrorText(std::string_view what, std::string_view path) {
    return std::string(what) + " " + std::string(path) + " (error " + std::to_string(GetLastError()) + ")";
}

// One archive built in memory from files read through the platform, and written through it
// at once: the archive on disk is either complete or absent.
class ZipBuilder {
public:
    ZipBuilder() {
        zip_error_t error;
        zip_error_init(&error);
        buffer_ = zip_source_buffer_create(nullptr, 0, 0, &error);
        if (buffer_ == nullptr) Fail(error);
        // The buffer must outlive zip_close, which would otherwise free it with the archive.
        zip_source_keep(buffer_);
        archive_ = zip_open_from_source(buffer_, ZIP_CREATE | ZIP_TRUNCATE, &error);
        if (archive_ == nullptr) {
            zip_source_free(buffer_);
            zip_source_free(buffer_);
            Fail(error);
        }
    }
    ~ZipBuilder() {
        if (archive_ != nullptr) zip_discard(archive_);
        zip_source_free(buffer_);
    }
    ZipBuilder(const ZipBuilder&) = delete;
    ZipBuilder& operator=(const ZipBuilder&) = delete;

    // Clears the file's attributes, so that it can be deleted once packed, and adds it under
    // its bare name. A file that cannot be read is left out and logged: the others still go.
    void Add(const std::string& path) {
        std::string name = FileNameOf(path);
        for (const std::string& source : sources_)
            if (EqualsNoCase(FileNameOf(source), name)) return;  // listed twice
        Files().SetFileAttributes(path, FILE_ATTRIBUTE_NORMAL);
        std::string bytes;
        if (!ReadWholeFile(Files(), path, bytes)) {
            WriteLog(ErrorText("not packed:", path));
            return;
        }
        FileAttributeData info;
        bool dated = Files().GetFileAttributesEx(path, info);
        const std::string& kept = contents_.emplace_back(std::move(bytes));
        zip_source_t* source = zip_source_buffer(archive_, kept.data(), kept.size(), 0);
        if (source == nullptr) FailArchive();
        // The name holds ANSI bytes: stored as they are, without the UTF-8 flag.
        zip_int64_t index = zip_file_add(archive_, name.c_str(), source, ZIP_FL_ENC_CP437);
        if (index < 0) {
            zip_source_free(source);
            FailArchive();
        }
        // Deflate at zlib's usual level: the strongest one costs three times the time for a few
        // bytes less on result files.
        if (zip_set_file_compression(archive_, static_cast<zip_uint64_t>(index), ZIP_CM_DEFLATE, 6) != 0) FailArchive();
        WORD dosDate = 0, dosTime = 0;
        if (dated && FileTimeToDosDateTime(Clock().FileTimeToLocalFileTime(info.ftLastWriteTime), dosDate, dosTime) &&
            zip_file_set_dostime(archive_, static_cast<zip_uint64_t>(index), dosTime, dosDate, 0) != 0)
            FailArchive();
        sources_.push_back(path);
    }

    bool Empty() const { return sources_.empty(); }
    // The files the archive holds, by the paths of their sources on disk.
    const std::vector<std::string>& Sources() const { return sources_; }

    // Writes the archive to a temporary name beside the path and renames it into place. An
    // archive without files is not written; the answer then is false.
    bool Save(const std::string& path) {
        if (Empty()) return false;
        if (zip_close(archive_) != 0) FailArchive();
        archive_ = nullptr;
        std::string bytes = ReadBuffer();
        if (!ReplaceFileSafely(Files(), path, bytes)) throw ArchiveError(ErrorText("cannot write", path));
        return true;
    }

private:
    [[noreturn]] static void Fail(zip_error_t& error) {
        std::string text = zip_error_strerror(&error);
        zip_error_fini(&error);
        throw ArchiveError("zip: " + text);
    }
    [[noreturn]] void FailArchive() { throw ArchiveError(std::string("zip: ") + zip_strerror(archive_)); }

    std::string ReadBuffer() {
        if (zip_source_open(buffer_) != 0)
            throw ArchiveError(std::string("zip: ") + zip_error_strerror(zip_source_error(buffer_)));
        std::string bytes;
        char chunk[64 * 1024];
        zip_int64_t n;
        while ((n = zip_source_read(buffer_, chunk, sizeof chunk)) > 0) bytes.append(chunk, static_cast<std::size_t>(n));
        zip_source_close(buffer_);
        if (n < 0) throw ArchiveError(std::string("zip: ") + zip_error_strerror(zip_source_error(buffer_)));
        return bytes;
    }

    zip_source_t* buffer_ = nullptr;
    zip_t* archive_ = nullptr;
    std::list<std::string> contents_;  // read by zip_close; a list never moves its elements
    std::vector<std::string> sources_;
};

void ForceArchiveFolder(std::string_view archivePath) {
    std::string folder = FolderOf(archivePath);
    if (!folder.empty() && !core::ForceFolders(folder)) throw ArchiveError(ErrorText("cannot create", folder));
}

// Never raises: the archive is already on disk, and a source left behind is only packed again.
void DeleteSources(const std::vector<std::string>& sources) {
    for (const std::string& path : sources) {
        try {
            if (!Files().DeleteFile(path)) WriteLog(ErrorText("not deleted:", path));
        } catch (const std::exception& e) {
            WriteLog(e.what());
        }
    }
}

// The file name of an entry's first file without that extension: the name the entry's other
// files share.
std::string StemOf(const std::string& path, std::string_view firstExtension) {
    std::string name = FileNameOf(path);
    if (EndsWithNoCase(name, firstExtension)) return name.substr(0, name.size() - firstExtension.size());
    return name.substr(0, name.size() - ExtensionOf(name).size());
}

}  // namespace

void GetDirectoryFiles(std::string_view folder, std::string_view extension, std::vector<std::string>& list) {
    const std::string where = std::string(folder) + "," + std::string(extension) + ")";
    WriteLog("GetDirectoryFiles(" + where);
    FindData data;
    if (auto find = Files().FindFirstFile(std::string(folder) + "*" + std::string(extension), data)) {
        do {
            if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 || data.cFileName == "." ||
                data.cFileName == "..")
                continue;
            WriteLog("find FileName:" + std::string(folder) + data.cFileName);
            list.push_back(std::string(folder) + data.cFileName);
        } while (find->FindNextFile(data));
    }
    WriteLog("EndGetDirectoryFiles(" + where);
}

bool CreateOneZipFile(std::string_view archivePath, std::string_view sourceFolder,
                      const std::vector<std::string>& extensions, bool deleteSources) {
    WriteLog("CreateOneZipFile");
    const std::string path(archivePath);
    try {
        // Also keeps an archive that lies among its own sources from packing its predecessor.
        Files().DeleteFile(path);
        std::vector<std::string> files;
        for (const std::string& extension : extensions) GetDirectoryFiles(sourceFolder, extension, files);
        if (files.empty()) return false;
        ZipBuilder zip;
        bool saved = false;
        try {
            ForceArchiveFolder(path);
            for (const std::string& file : files) zip.Add(file);
            saved = zip.Save(path);
        } catch (const std::exception& e) {
            WriteLog(e.what());
            Files().DeleteFile(path);
            return false;
        }
        if (saved && deleteSources) DeleteSources(zip.Sources());
        return saved;
    } catch (const std::exception& e) {
        WriteLog(e.what());
        return false;
    }
}

bool CreateMultipleZipFiles(std::string_view archivePath, std::string_view sourceFolder,
                            const std::vector<std::string>& extensions, int maximum, bool deleteSources) {
    WriteLog("CreateMultipleZipFiles(" + std::to_string(maximum) + ")");
    if (extensions.empty()) return false;
    const std::string extension = ExtensionOf(archivePath);
    // The extension at the end, not an earlier occurrence of its text in a code or a folder:
    // a cut there would name archives outside the series or even outside the folder.
    const std::string base(archivePath.substr(0, archivePath.size() - extension.size()));
    std::string current(archivePath);
    try {
        Files().DeleteFile(current);
        std::vector<std::string> files;
        GetDirectoryFiles(sourceFolder, extensions.front(), files);
        if (files.empty()) return false;
        auto zip = std::make_unique<ZipBuilder>();
        try {
            ForceArchiveFolder(current);
            for (std::size_t i = 0; i < files.size(); ++i) {
                zip->Add(files[i]);
                const std::string stem = StemOf(files[i], extensions.front());
                for (std::size_t e = 1; e < extensions.size(); ++e)
                    zip->Add(std::string(sourceFolder) + stem + extensions[e]);
                if (maximum > 0 && i > 0 && i % static_cast<std::size_t>(maximum) == 0) {
                    if (zip->Save(current) && deleteSources) DeleteSources(zip->Sources());
                    current = base + std::to_string(i) + extension;
                    Files().DeleteFile(current);
                    zip = std::make_unique<ZipBuilder>();
                }
            }
            if (zip->Save(current) && deleteSources) DeleteSources(zip->Sources());
        } catch (const std::exception& e) {
            WriteLog(e.what());
            Files().DeleteFile(current);
            return false;
        }
        return true;
    } catch (const std::exception& e) {
        WriteLog(e.what());
        return false;
    }
}

std::string GetFileTimeStamp() { return core::FormatDateTime("yyMMddhhnnsszzz", core::Now()); }

std::string ArchiveName(std::string_view folder, std::string_view customerCode, std::string_view siteCode,
                        std::string_view stamp, std::string_view extension) {
    return std::string(folder) + "#" + core::FileNamePart(customerCode) + "#" + core::FileNamePart(siteCode) + "#" +
           std::string(stamp) + std::string(extension);
}

std::string NewArchiveName(std::string_view folder, std::string_view customerCode, std::string_view siteCode,
                           std::string_view extension) {
    // The clock moves on by a millisecond per attempt; a clock set back (or a second agent
    // sharing the folder) is the only way to meet a taken stamp.
    constexpr int kAttempts = 1000;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        std::string name = ArchiveName(folder, customerCode, siteCode, GetFileTimeStamp(), extension);
        // The series of that stamp too: its later names put digits between stamp and extension.
        std::string series = name.substr(0, name.size() - extension.size()) + "*" + std::string(extension);
        FindData data;
        // A folder that cannot be searched holds nothing known: writing the archive will tell.
        if (Files().FindFirstFile(series, data) == nullptr) return name;
        Clock().Sleep(1);
    }
    WriteLog("no free archive name in " + std::string(folder));
    return std::string();
}

void PackResults(const DeliveryFolders& folders, std::string_view customerCode, std::string_view siteCode,
                 int maxFiles, bool gtv) {
    if (folders.results.empty()) return;
    struct Row {
        const std::string& folder;
        std::vector<std::string> sources;
        const char* extension;
    };
    const Row rows[] = {
        {folders.trans, {".hrz", ".sfz"}, gtv ? ".RTV" : ".GTV"},
        {folders.usage, {".usz"}, ".NTV"},
        {folders.snmp, {".snz"}, ".DTV"},
        {folders.pda, {".pdz"}, ".BTV"},
    };
    for (const Row& row : rows) {
        if (row.folder.empty()) continue;
        try {
            std::string name = NewArchiveName(row.folder, customerCode, siteCode, row.extension);
            if (name.empty()) continue;
            if (maxFiles >= 10)
                CreateMultipleZipFiles(name, folders.results, row.sources, maxFiles, true);
            else
                CreateOneZipFile(name, folders.results, row.sources, true);
        } catch (const std::exception& e) {
            WriteLog(e.what());
        }
    }
}

}  // namespace qm::delivery
