#include "support/pdb_writer.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

namespace qm::test {

namespace {

constexpr std::size_t kHeaderSize = 78;
constexpr std::size_t kRecordEntrySize = 8;
constexpr std::size_t kGapSize = 2;
constexpr std::size_t kRecordSize = 43;
// Seconds from 1904-01-01, where the handheld's clock starts, to 2026-12-01.
constexpr std::uint32_t kSampleTime = 3878928000u;

void Put16(std::string& out, std::size_t at, std::uint16_t v) {
    out[at] = static_cast<char>(v >> 8);
    out[at + 1] = static_cast<char>(v & 0xFF);
}

void Put32(std::string& out, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out[at + static_cast<std::size_t>(i)] = static_cast<char>(v >> (24 - 8 * i));
}

void PutText(std::string& out, std::size_t at, const std::string& text, std::size_t room) {
    if (text.size() > room) throw std::invalid_argument("\"" + text + "\" does not fit its field");
    out.replace(at, text.size(), text);
}

}  // namespace

std::string BuildPalmDatabase(const PalmDatabase& database) {
    std::size_t count = database.records.size();
    std::string out(kHeaderSize + kRecordEntrySize * count + kGapSize, '\0');
    PutText(out, 0, database.name, 31);
    Put16(out, 32, database.attributes);
    Put16(out, 34, 1);  // version
    Put32(out, 36, kSampleTime);  // created
    Put32(out, 40, kSampleTime);  // modified
    Put32(out, 44, kSampleTime);  // backed up
    PutText(out, 60, database.type, 4);
    PutText(out, 64, database.creator, 4);
    Put32(out, 68, static_cast<std::uint32_t>(count));  // seed of the records' unique ids
    Put16(out, 76, static_cast<std::uint16_t>(database.recordCount >= 0 ? database.recordCount : static_cast<int>(count)));
    std::uint32_t offset = static_cast<std::uint32_t>(out.size());
    for (std::size_t i = 0; i < count; ++i) {
        std::size_t entry = kHeaderSize + kRecordEntrySize * i;
        Put32(out, entry, offset);
        // Attributes 0, unique id i + 1 in three bytes.
        out[entry + 5] = static_cast<char>((i + 1) >> 16);
        out[entry + 6] = static_cast<char>((i + 1) >> 8);
        out[entry + 7] = static_cast<char>(i + 1);
        offset += static_cast<std::uint32_t>(database.records[i].size());
    }
    for (const std::string& record : database.records) out += record;
    return out;
}

std::string InventoryRecord(char category, const std::string& key, const std::string& length, const std::string& value) {
    std::string record(kRecordSize, '\0');
    record[0] = category;
    std::string padded = key;
    padded.resize(std::max<std::size_t>(padded.size(), 5), ' ');
    PutText(record, 1, padded, 5);
    PutText(record, 6, length, 2);
    PutText(record, 8, value, kRecordSize - 8);
    return record;
}

std::string InventoryRecord(char category, const std::string& key, const std::string& value) {
    char length[3];
    std::snprintf(length, sizeof length, "%02zu", value.size() % 100);
    return InventoryRecord(category, key, length, value);
}

}  // namespace qm::test
