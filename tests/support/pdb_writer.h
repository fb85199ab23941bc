#pragma once
// Handheld database files (.pdb, .prc) for test machines: the 78-byte header (numbers
// big-endian), the record list with each record's offset, the two-byte gap, then the records.

#include <cstdint>
#include <string>
#include <vector>

namespace qm::test {

struct PalmDatabase {
    std::string name = "PalmInfoDB";  // at most 31 characters
    std::string type = "DATA";        // four characters
    std::string creator = "QmIv";     // four characters
    std::uint16_t attributes = 0;     // 0x0001: a resource database (an application)
    std::vector<std::string> records;  // the bytes of each record
    // The record count the header gives; the number of records when not set.
    int recordCount = -1;
};

// The file's bytes.
std::string BuildPalmDatabase(const PalmDatabase& database);

// One record of the inventory database, 43 bytes: the category letter, the key padded with
// blanks to five characters, the length as given (two characters), the value, NULs to the end.
std::string InventoryRecord(char category, const std::string& key, const std::string& length, const std::string& value);
// The same with the value's length in two digits.
std::string InventoryRecord(char category, const std::string& key, const std::string& value);

}  // namespace qm::test
