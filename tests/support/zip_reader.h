#pragma once
// Reads back a zip archive from its bytes, for tests that check what an archive holds.

#include <zip.h>

#include <ctime>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace qm::test {

struct ZipEntry {
    std::string name;  // as stored, bytes unchanged
    std::string bytes;
    std::time_t mtime = 0;
};

// The entries in their stored order; throws when the bytes are no zip archive.
inline std::vector<ZipEntry> ReadZip(const std::string& archive) {
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(archive.data(), archive.size(), 0, &error);
    if (source == nullptr) throw std::runtime_error("no zip source");
    // The archive, once open, owns the source; it is let go however the reading ends.
    std::unique_ptr<zip_t, void (*)(zip_t*)> za(zip_open_from_source(source, ZIP_RDONLY | ZIP_CHECKCONS, &error),
                                                zip_discard);
    if (za == nullptr) {
        zip_source_free(source);
        std::string text = zip_error_strerror(&error);
        zip_error_fini(&error);
        throw std::runtime_error("not a zip archive: " + text);
    }
    std::vector<ZipEntry> entries;
    zip_int64_t count = zip_get_num_entries(za.get(), 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_uint64_t index = static_cast<zip_uint64_t>(i);
        zip_stat_t st;
        zip_stat_init(&st);
        if (zip_stat_index(za.get(), index, ZIP_FL_ENC_RAW, &st) != 0) throw std::runtime_error("bad entry");
        ZipEntry entry;
        entry.name = st.name;
        entry.mtime = st.mtime;
        entry.bytes.resize(static_cast<std::size_t>(st.size));
        zip_file_t* file = zip_fopen_index(za.get(), index, 0);
        if (file == nullptr) throw std::runtime_error("entry does not open");
        zip_int64_t read = zip_fread(file, entry.bytes.data(), st.size);
        zip_fclose(file);
        if (read != static_cast<zip_int64_t>(st.size)) throw std::runtime_error("entry does not read");
        entries.push_back(std::move(entry));
    }
    return entries;
}

inline std::vector<std::string> ZipNames(const std::string& archive) {
    std::vector<std::string> names;
    for (const ZipEntry& e : ReadZip(archive)) names.push_back(e.name);
    return names;
}

}  // namespace qm::test
