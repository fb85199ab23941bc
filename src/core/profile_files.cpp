#include "core/profile_files.h"

#include "platform/platform.h"
#include "platform/ini_image.h"
#include "platform/text.h"

namespace qm::core {

std::string ReadProfileString(std::string_view file, std::string_view section, std::string_view key,
                              std::string_view defaultValue) {
    return platform::Profile().GetPrivateProfileString(section, key, defaultValue, file);
}

int ReadProfileInteger(std::string_view file, std::string_view section, std::string_view key, int defaultValue) {
    std::string text = ReadProfileString(file, section, key, "");
    int value = 0;
    return !text.empty() && platform::ParseWholeInteger(text, value) ? value : defaultValue;
}

std::vector<std::string> ReadProfileSectionNames(std::string_view file) {
    return platform::Profile().GetPrivateProfileSectionNames(file);
}

std::vector<std::string> ReadProfileKeyNames(std::string_view file, std::string_view section) {
    return platform::Profile().GetPrivateProfileKeyNames(section, file);
}

bool ProfileValueExists(std::string_view file, std::string_view section, std::string_view key) {
    for (const std::string& name : ReadProfileKeyNames(file, section))
        if (platform::EqualsNoCase(name, key)) return true;
    return false;
}

std::vector<std::pair<std::string, std::string>> ReadProfileSection(std::string_view file, std::string_view section) {
    std::vector<std::pair<std::string, std::string>> entries;
    for (const std::string& line : platform::Profile().GetPrivateProfileSection(section, file)) {
        std::size_t equals = line.find('=');
        if (equals == std::string::npos)
            entries.emplace_back(line, std::string());
        else
            entries.emplace_back(line.substr(0, equals), platform::ProfileValueUnquoted(std::string_view(line).substr(equals + 1)));
    }
    return entries;
}

void WriteProfileString(std::string_view file, std::string_view section, std::string_view key, std::string_view value) {
    if (!platform::Profile().WritePrivateProfileString(section, key, value, file))
        throw ProfileWriteError("Unable to write to " + std::string(file) + " (error " +
                                std::to_string(platform::GetLastError()) + ")");
}

}  // namespace qm::core
