#include "delivery/archives.h"

#include <zip.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <exception>
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

// A file listed for packing, with what its listing told of it.
struct Listed {
    std::string path;
    FILETIME lastWrite;
};

// One deflate stream for all the files of an archive, reset between them: libzip would take
// and free a state of its own (with a larger hash, slower to clear) for every file. Deflate at
// zlib's usual level: the strongest one costs three times the time for a few bytes less on
// result files.
class Deflater {
public:
    Deflater() : piece_(kPiece) { ready_ = deflateInit2(&stream_, 6, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) == Z_OK; }
    ~Deflater() {
        if (ready_) deflateEnd(&stream_);
    }
    Deflater(const Deflater&) = delete;
    Deflater& operator=(const Deflater&) = delete;

    // Compresses what the handle reads, in pieces, for `owner`; false with the last error when
    // a read fails.
    bool Pack(File& file, const void* owner) {
        owner_ = nullptr;
        packed_.clear();
        crc_ = crc32(0, nullptr, 0);
        size_ = 0;
        if (!ready_ || deflateReset(&stream_) != Z_OK) return Refuse();
        for (;;) {
            DWORD read = 0;
            if (!file.ReadFile(piece_.data(), static_cast<DWORD>(piece_.size()), read)) return false;
            read = std::min<DWORD>(read, static_cast<DWORD>(piece_.size()));
            if (read == 0) break;
            crc_ = crc32(crc_, reinterpret_cast<const Bytef*>(piece_.data()), read);
            size_ += read;
            stream_.next_in = reinterpret_cast<Bytef*>(piece_.data());
            stream_.avail_in = read;
            if (!Run(Z_NO_FLUSH)) return Refuse();
        }
        if (!Run(Z_FINISH)) return Refuse();
        owner_ = owner;
        return true;
    }

    const void* Owner() const { return owner_; }
    const std::string& Packed() const { return packed_; }
    std::uint32_t Crc() const { return static_cast<std::uint32_t>(crc_); }
    std::uint64_t Size() const { return size_; }

private:
    static constexpr std::size_t kPiece = 64 * 1024;

    bool Run(int flush) {
        char out[16 * 1024];
        int result = Z_OK;
        do {
            stream_.next_out = reinterpret_cast<Bytef*>(out);
            stream_.avail_out = sizeof out;
            result = deflate(&stream_, flush);
            if (result == Z_STREAM_ERROR) return false;
            packed_.append(out, sizeof out - stream_.avail_out);
        } while (stream_.avail_out == 0 || (flush == Z_FINISH && result != Z_STREAM_END));
        return true;
    }

    bool Refuse() {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }

    z_stream stream_{};
    bool ready_ = false;
    std::vector<char> piece_;
    std::string packed_;
    uLong crc_ = 0;
    std::uint64_t size_ = 0;
    const void* owner_ = nullptr;
};

// One source file as libzip takes it: read in pieces through the platform's file handle,
// which is open only while the file is read, so that an archive of thousands of files holds
// one open at a time, and handed to libzip already compressed (by the archive's one
// Deflater). What goes wrong is kept for the builder: the error code, or an exception, which
// must not cross libzip.
struct SourceReader {
    const std::string* path = nullptr;
    Deflater* deflater = nullptr;
    std::size_t at = 0;  // of the compressed bytes, the first libzip has not had
    bool failed = false;
    DWORD error = 0;
    std::exception_ptr raised;
    zip_error_t zipError;

    SourceReader() { zip_error_init(&zipError); }
    ~SourceReader() { zip_error_fini(&zipError); }
    SourceReader(const SourceReader&) = delete;
    SourceReader& operator=(const SourceReader&) = delete;

    zip_int64_t Fail(int code) {
        failed = true;
        error = GetLastError();
        zip_error_set(&zipError, code, 0);
        return -1;
    }

    // The file compressed, unless the deflater still holds it.
    bool Ready() {
        if (deflater->Owner() == this) return true;
        auto file = Files().CreateFile(*path, GENERIC_READ, CreationDisposition::OpenExisting);
        if (!file) return Fail(ZIP_ER_OPEN) == 0;
        if (!deflater->Pack(*file, this)) return Fail(ZIP_ER_READ) == 0;
        return true;
    }

    static zip_int64_t Call(void* state, void* data, zip_uint64_t length, zip_source_cmd_t command) {
        auto& self = *static_cast<SourceReader*>(state);
        try {
            switch (command) {
            case ZIP_SOURCE_OPEN:
                self.at = 0;
                return self.Ready() ? 0 : -1;
            case ZIP_SOURCE_READ: {
                if (!self.Ready()) return -1;
                const std::string& packed = self.deflater->Packed();
                std::size_t given = std::min<std::size_t>(static_cast<std::size_t>(length), packed.size() - self.at);
                std::copy_n(packed.data() + self.at, given, static_cast<char*>(data));
                self.at += given;
                return static_cast<zip_int64_t>(given);
            }
            case ZIP_SOURCE_CLOSE:
                return 0;
            case ZIP_SOURCE_STAT: {
                auto* st = ZIP_SOURCE_GET_ARGS(zip_stat_t, data, length, &self.zipError);
                if (st == nullptr || !self.Ready()) return -1;
                zip_stat_init(st);
                st->size = self.deflater->Size();
                st->comp_size = self.deflater->Packed().size();
                st->crc = self.deflater->Crc();
                st->comp_method = ZIP_CM_DEFLATE;
                st->encryption_method = ZIP_EM_NONE;
                st->valid |= ZIP_STAT_SIZE | ZIP_STAT_COMP_SIZE | ZIP_STAT_CRC | ZIP_STAT_COMP_METHOD |
                             ZIP_STAT_ENCRYPTION_METHOD;
                return sizeof(zip_stat_t);
            }
            case ZIP_SOURCE_ERROR:
                return zip_error_to_data(&self.zipError, data, length);
            case ZIP_SOURCE_FREE:
                return 0;  // owned by the builder
            case ZIP_SOURCE_SUPPORTS:
                return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT,
                                                      ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, -1);
            default:
                zip_error_set(&self.zipError, ZIP_ER_OPNOTSUPP, 0);
                return -1;
            }
        } catch (...) {
            self.raised = std::current_exception();
            zip_error_set(&self.zipError, ZIP_ER_INTERNAL, 0);
            return -1;
        }
    }
};

// The archive as libzip writes it: into the open temporary file, through the platform's
// handle, in pieces of a size worth a write. Only a new archive is ever written, so reading
// it back finds nothing.
class ArchiveWriter {
public:
    explicit ArchiveWriter(File& file) : file_(file) { zip_error_init(&zipError_); }
    ~ArchiveWriter() { zip_error_fini(&zipError_); }
    ArchiveWriter(const ArchiveWriter&) = delete;
    ArchiveWriter& operator=(const ArchiveWriter&) = delete;

    bool Failed() const { return failed_; }
    std::exception_ptr Raised() const { return raised_; }

    static zip_int64_t Call(void* state, void* data, zip_uint64_t length, zip_source_cmd_t command) {
        auto& self = *static_cast<ArchiveWriter*>(state);
        try {
            return self.Do(data, length, command);
        } catch (...) {
            self.raised_ = std::current_exception();
            self.failed_ = true;
            zip_error_set(&self.zipError_, ZIP_ER_INTERNAL, 0);
            return -1;
        }
    }

private:
    static constexpr std::size_t kPiece = 256 * 1024;

    zip_int64_t Do(void* data, zip_uint64_t length, zip_source_cmd_t command) {
        switch (command) {
        case ZIP_SOURCE_STAT:
            // No archive there yet: libzip starts a new one.
            zip_error_set(&zipError_, ZIP_ER_READ, ENOENT);
            return -1;
        case ZIP_SOURCE_OPEN:
        case ZIP_SOURCE_CLOSE:
        case ZIP_SOURCE_READ:
        case ZIP_SOURCE_BEGIN_WRITE:
        case ZIP_SOURCE_ROLLBACK_WRITE:  // the temporary file goes with the failure
        case ZIP_SOURCE_FREE:
            return 0;
        case ZIP_SOURCE_SEEK:
        case ZIP_SOURCE_TELL:
            return 0;
        case ZIP_SOURCE_WRITE:
            return Write(static_cast<const char*>(data), static_cast<std::size_t>(length));
        case ZIP_SOURCE_TELL_WRITE:
            return static_cast<zip_int64_t>(cursor_);
        case ZIP_SOURCE_SEEK_WRITE: {
            auto* seek = ZIP_SOURCE_GET_ARGS(zip_source_args_seek_t, data, length, &zipError_);
            if (seek == nullptr) return -1;
            return Seek(seek->offset, seek->whence);
        }
        case ZIP_SOURCE_COMMIT_WRITE:
            return Flush() ? 0 : -1;
        case ZIP_SOURCE_REMOVE:
            // An archive without files is never written.
            zip_error_set(&zipError_, ZIP_ER_INTERNAL, 0);
            return -1;
        case ZIP_SOURCE_ERROR:
            return zip_error_to_data(&zipError_, data, length);
        case ZIP_SOURCE_SUPPORTS:
            return ZIP_SOURCE_SUPPORTS_WRITABLE;
        default:
            zip_error_set(&zipError_, ZIP_ER_OPNOTSUPP, 0);
            return -1;
        }
    }

    // The bytes go to the cursor. libzip writes each file's header again once it knows the
    // sizes: a header still in the pending piece is mended there, without a seek and a write
    // of its own.
    zip_int64_t Write(const char* data, std::size_t length) {
        if ((cursor_ < start_ || cursor_ > start_ + pending_.size()) && !Flush()) return -1;
        std::size_t at = static_cast<std::size_t>(cursor_ - start_);
        std::size_t over = std::min(length, pending_.size() - at);
        std::copy(data, data + over, pending_.begin() + static_cast<std::ptrdiff_t>(at));
        pending_.append(data + over, length - over);
        cursor_ += length;
        if (pending_.size() >= kPiece && cursor_ == start_ + pending_.size() && !Flush()) return -1;
        return static_cast<zip_int64_t>(length);
    }

    zip_int64_t Seek(zip_int64_t offset, int whence) {
        std::uint64_t end = std::max(fileEnd_, start_ + pending_.size());
        zip_int64_t base = whence == SEEK_CUR ? static_cast<zip_int64_t>(cursor_)
                           : whence == SEEK_END ? static_cast<zip_int64_t>(end)
                                                : 0;
        if (offset < -base || (whence != SEEK_SET && whence != SEEK_CUR && whence != SEEK_END)) {
            zip_error_set(&zipError_, ZIP_ER_INVAL, 0);
            return -1;
        }
        cursor_ = static_cast<std::uint64_t>(base + offset);
        return 0;
    }

    // Writes the pending piece where it belongs; the file pointer then stands at its end.
    bool Flush() {
        if (pending_.empty()) {
            start_ = cursor_;
            return true;
        }
        if (!MoveFilePointer(start_)) return false;
        if (!WriteAll(file_, pending_)) return Fail(ZIP_ER_WRITE) == 0;
        filePointer_ = start_ + pending_.size();
        fileEnd_ = std::max(fileEnd_, filePointer_);
        pending_.clear();
        start_ = cursor_;
        return true;
    }

    bool MoveFilePointer(std::uint64_t to) {
        if (to == filePointer_) return true;
        if (!file_.SetFilePointerEx(static_cast<std::int64_t>(to), MoveMethod::Begin, nullptr)) return Fail(ZIP_ER_SEEK) == 0;
        filePointer_ = to;
        return true;
    }

    zip_int64_t Fail(int code) {
        failed_ = true;
        zip_error_set(&zipError_, code, 0);
        return -1;
    }

    File& file_;
    std::string pending_;       // the bytes from start_ on, not written yet
    std::uint64_t start_ = 0;
    std::uint64_t cursor_ = 0;  // where libzip writes next
    std::uint64_t filePointer_ = 0;
    std::uint64_t fileEnd_ = 0;
    bool failed_ = false;
    std::exception_ptr raised_;
    zip_error_t zipError_;
};

// One archive: the files are noted as they are added; when it is saved, each is read through
// its handle and deflated in turn, straight into the archive's temporary file, which is then
// renamed into place: the archive on disk is either complete or absent.
class ZipBuilder {
public:
    // Clears the file's attributes, so that it can be deleted once packed, and notes it under
    // its bare name. A file the listing did not give is looked at here; one that is not there
    // is left out and logged.
    void Add(const std::string& path, const Listed* listed = nullptr) {
        std::string name = FileNameOf(path);
        for (const Entry& entry : entries_)
            if (EqualsNoCase(entry.name, name)) return;  // listed twice
        Files().SetFileAttributes(path, FILE_ATTRIBUTE_NORMAL);
        Entry entry{path, std::move(name), {}};
        if (listed != nullptr) {
            entry.lastWrite = listed->lastWrite;
        } else {
            FileAttributeData info;
            if (!Files().GetFileAttributesEx(path, info)) {
                WriteLog(ErrorText("not packed:", path));
                return;
            }
            if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
                SetLastError(ERROR_ACCESS_DENIED);
                WriteLog(ErrorText("not packed:", path));
                return;
            }
            entry.lastWrite = info.ftLastWriteTime;
        }
        entries_.push_back(std::move(entry));
    }

    bool Empty() const { return entries_.empty(); }
    // The files the archive holds, by the paths of their sources on disk.
    std::vector<std::string> Sources() const {
        std::vector<std::string> sources;
        for (const Entry& entry : entries_) sources.push_back(entry.path);
        return sources;
    }

    // Writes the archive to a temporary name beside the path and renames it into place. A
    // file that cannot be read is left out and logged, and the archive written again without
    // it: the others still go. An archive without files is not written; the answer then is
    // false.
    bool Save(const std::string& path) {
        while (!Empty()) {
            std::vector<SourceReader> readers(entries_.size());
            Deflater deflater;
            for (SourceReader& reader : readers) reader.deflater = &deflater;
            std::string zipError;
            std::exception_ptr raised;
            bool written = ReplaceFileSafely(Files(), path, [&](File& out) {
                return WriteArchive(out, readers, zipError, raised);
            });
            if (written) return true;
            if (raised) std::rethrow_exception(raised);
            std::size_t unreadable = 0;
            while (unreadable < readers.size() && !readers[unreadable].failed) ++unreadable;
            if (unreadable == readers.size()) {
                if (!zipError.empty()) throw ArchiveError("zip: " + zipError);
                throw ArchiveError(ErrorText("cannot write", path));
            }
            SetLastError(readers[unreadable].error);
            WriteLog(ErrorText("not packed:", entries_[unreadable].path));
            entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(unreadable));
        }
        return false;
    }

private:
    struct Entry {
        std::string path;
        std::string name;
        FILETIME lastWrite;
    };

    // Fills the open temporary file with the archive; false when libzip, a source or the file
    // failed (an exception of a source or of the file is handed back in `raised`).
    bool WriteArchive(File& out, std::vector<SourceReader>& readers, std::string& zipError,
                      std::exception_ptr& raised) {
        ArchiveWriter writer(out);
        zip_error_t error;
        zip_error_init(&error);
        zip_source_t* target = zip_source_function_create(ArchiveWriter::Call, &writer, &error);
        zip_t* archive = target != nullptr ? zip_open_from_source(target, ZIP_CREATE | ZIP_TRUNCATE, &error) : nullptr;
        if (archive == nullptr) {
            zipError = zip_error_strerror(&error);
            zip_error_fini(&error);
            if (target != nullptr) zip_source_free(target);
            return false;
        }
        zip_error_fini(&error);
        auto failed = [&] {
            zipError = zip_strerror(archive);
            zip_discard(archive);
            return false;
        };
        for (std::size_t i = 0; i < entries_.size(); ++i) {
            const Entry& entry = entries_[i];
            readers[i].path = &entry.path;
            zip_source_t* source = zip_source_function(archive, SourceReader::Call, &readers[i]);
            if (source == nullptr) return failed();
            // The name holds ANSI bytes: stored as they are, without the UTF-8 flag. No
            // compression is set: the source's bytes come deflated, and libzip stores them so.
            zip_int64_t index = zip_file_add(archive, entry.name.c_str(), source, ZIP_FL_ENC_CP437);
            if (index < 0) {
                zip_source_free(source);
                return failed();
            }
            const auto at = static_cast<zip_uint64_t>(index);
            WORD dosDate = 0, dosTime = 0;
            if (FileTimeToDosDateTime(Clock().FileTimeToLocalFileTime(entry.lastWrite), dosDate, dosTime) &&
                zip_file_set_dostime(archive, at, dosTime, dosDate, 0) != 0)
                return failed();
        }
        if (zip_close(archive) != 0) {
            raised = writer.Raised();
            for (const SourceReader& reader : readers)
                if (!raised && reader.raised) raised = reader.raised;
            return failed();
        }
        return !writer.Failed();
    }

    std::vector<Entry> entries_;
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

// GetDirectoryFiles, keeping what the listing tells of each file: the packing needs no other
// look at a listed file before it opens it.
void ListFiles(std::string_view folder, std::string_view extension, std::vector<Listed>& list) {
    const std::string where = std::string(folder) + "," + std::string(extension) + ")";
    WriteLog("GetDirectoryFiles(" + where);
    FindData data;
    if (auto find = Files().FindFirstFile(std::string(folder) + "*" + std::string(extension), data)) {
        do {
            if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 || data.cFileName == "." ||
                data.cFileName == "..")
                continue;
            WriteLog("find FileName:" + std::string(folder) + data.cFileName);
            list.push_back({std::string(folder) + data.cFileName, data.ftLastWriteTime});
        } while (find->FindNextFile(data));
    }
    WriteLog("EndGetDirectoryFiles(" + where);
}

}  // namespace

void GetDirectoryFiles(std::string_view folder, std::string_view extension, std::vector<std::string>& list) {
    std::vector<Listed> files;
    ListFiles(folder, extension, files);
    for (Listed& file : files) list.push_back(std::move(file.path));
}

bool CreateOneZipFile(std::string_view archivePath, std::string_view sourceFolder,
                      const std::vector<std::string>& extensions, bool deleteSources) {
    WriteLog("CreateOneZipFile");
    const std::string path(archivePath);
    try {
        // Also keeps an archive that lies among its own sources from packing its predecessor.
        Files().DeleteFile(path);
        std::vector<Listed> files;
        for (const std::string& extension : extensions) ListFiles(sourceFolder, extension, files);
        if (files.empty()) return false;
        ZipBuilder zip;
        bool saved = false;
        try {
            ForceArchiveFolder(path);
            for (const Listed& file : files) zip.Add(file.path, &file);
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
        std::vector<Listed> files;
        ListFiles(sourceFolder, extensions.front(), files);
        if (files.empty()) return false;
        auto zip = std::make_unique<ZipBuilder>();
        try {
            ForceArchiveFolder(current);
            for (std::size_t i = 0; i < files.size(); ++i) {
                zip->Add(files[i].path, &files[i]);
                const std::string stem = StemOf(files[i].path, extensions.front());
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
