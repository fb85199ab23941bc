#pragma once
// Reads and writes of INI files through the private-profile functions, as the agent makes
// them: a read never fails (the default stands in), a refused write raises.

#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qm::core {

class ProfileWriteError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

std::string ReadProfileString(std::string_view file, std::string_view section, std::string_view key,
                              std::string_view defaultValue = "");
// A whole number in the value, or the default when the value is missing or not a number.
int ReadProfileInteger(std::string_view file, std::string_view section, std::string_view key, int defaultValue);
// The names of the file's sections, and of one section's keys, in file order; none when the
// file or the section cannot be read.
std::vector<std::string> ReadProfileSectionNames(std::string_view file);
std::vector<std::string> ReadProfileKeyNames(std::string_view file, std::string_view section);
// Whether the section holds the key, whatever its value.
bool ProfileValueExists(std::string_view file, std::string_view section, std::string_view key);
// A section's entries in file order as key and value, each value as the read of its key alone
// would give it (a repeated key stands as often as the file repeats it); none when the file or
// the section cannot be read. One read of the file, however long the section.
std::vector<std::pair<std::string, std::string>> ReadProfileSection(std::string_view file, std::string_view section);
// Raises ProfileWriteError naming the file when the system refuses the write.
void WriteProfileString(std::string_view file, std::string_view section, std::string_view key, std::string_view value);

}  // namespace qm::core
