#pragma once
// Private-profile (INI) files through the Windows functions' rules: sections and keys without
// regard to case, the first of duplicate keys wins, values trimmed with one pair of surrounding
// quotes removed, the file created on the first write, bytes passed through unchanged.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/types.h"

namespace qm::platform {

class ProfileService {
public:
    virtual ~ProfileService() = default;
    // GetPrivateProfileString for one key: the value, or the default (trailing blanks removed)
    // when the file, section or key is missing.
    virtual std::string GetPrivateProfileString(std::string_view section, std::string_view key,
                                                std::string_view defaultValue, std::string_view fileName) = 0;
    // GetPrivateProfileInt: the default when the key is missing or empty; otherwise the
    // leading integer of the value (decimal, or hexadecimal after "0x"), 0 when there is none.
    virtual int GetPrivateProfileInt(std::string_view section, std::string_view key, int defaultValue,
                                     std::string_view fileName) = 0;
    // WritePrivateProfileString: a missing value deletes the key, a missing key the section.
    // False with the last error when the file cannot be written.
    virtual bool WritePrivateProfileString(std::string_view section, std::optional<std::string_view> key,
                                           std::optional<std::string_view> value, std::string_view fileName) = 0;
    // GetPrivateProfileSectionNames: the names of the file's sections in file order; none when
    // the file cannot be read.
    virtual std::vector<std::string> GetPrivateProfileSectionNames(std::string_view fileName) = 0;
    // GetPrivateProfileString with no key name: the names of the section's keys in file order,
    // a repeated key as often as it stands there; none when the file or section is missing.
    virtual std::vector<std::string> GetPrivateProfileKeyNames(std::string_view section, std::string_view fileName) = 0;
    // GetPrivateProfileSection: the section's entries in file order, each "key=value" with key
    // and value trimmed and the value's quotes kept (a line without "=" as it stands); none
    // when the file or section is missing.
    virtual std::vector<std::string> GetPrivateProfileSection(std::string_view section, std::string_view fileName) = 0;
    // GetProfileString: the same read on win.ini in the Windows folder.
    virtual std::string GetProfileString(std::string_view section, std::string_view key,
                                         std::string_view defaultValue) = 0;
};

}  // namespace qm::platform
