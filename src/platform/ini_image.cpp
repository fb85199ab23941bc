#include "platform/ini_image.h"

#include <climits>

#include "platform/text.h"

namespace qm::platform {
namespace {

std::string KeyOf(const std::string& line) {
    std::size_t eq = line.find('=');
    return Trim(eq == std::string::npos ? line : line.substr(0, eq));
}

}  // namespace

IniImage IniImage::FromText(std::string_view text) {
    IniImage image;
    Section* current = nullptr;
    for (std::string& line : SplitLines(text)) {
        std::string t = Trim(line);
        if (t.empty() || line.front() == ';') continue;
        if (t.front() == '[' && t.back() == ']') {
            std::string name = Trim(t.substr(1, t.size() - 2));
            // A section written twice is one section, in the place of its first spelling.
            auto [it, added] = image.sectionIndex_.try_emplace(AsciiUpper(name), image.sections_.size());
            if (added) image.sections_.push_back({name, {}});
            current = &image.sections_[it->second];
            continue;
        }
        if (current != nullptr) current->lines.push_back(std::move(line));
    }
    return image;
}

IniImage IniImage::FromFile(FilesService& fs, std::string_view path) {
    std::string bytes;
    if (!ReadWholeFile(fs, path, bytes)) return IniImage();
    return FromText(bytes);
}

const IniImage::Section* IniImage::Find(std::string_view section) const {
    auto it = sectionIndex_.find(AsciiUpper(section));
    return it == sectionIndex_.end() ? nullptr : &sections_[it->second];
}

const std::string* IniImage::FindLine(std::string_view section, std::string_view key) const {
    const Section* s = Find(section);
    if (s == nullptr) return nullptr;
    for (const std::string& line : s->lines)
        if (line.find('=') != std::string::npos && EqualsNoCase(KeyOf(line), key)) return &line;
    return nullptr;
}

bool IniImage::SectionExists(std::string_view section) const { return Find(section) != nullptr; }

bool IniImage::ValueExists(std::string_view section, std::string_view key) const {
    return FindLine(section, key) != nullptr;
}

std::string IniImage::ReadString(std::string_view section, std::string_view key, std::string_view defaultValue) const {
    const std::string* line = FindLine(section, key);
    if (line == nullptr) return std::string(defaultValue);
    return line->substr(line->find('=') + 1);
}

int IniImage::ReadInteger(std::string_view section, std::string_view key, int defaultValue) const {
    const std::string* line = FindLine(section, key);
    if (line == nullptr) return defaultValue;
    int value = 0;
    return ParseWholeInteger(std::string_view(*line).substr(line->find('=') + 1), value) ? value : defaultValue;
}

std::vector<std::string> IniImage::SectionLines(std::string_view section) const {
    const Section* s = Find(section);
    return s == nullptr ? std::vector<std::string>() : s->lines;
}

std::vector<std::string> IniImage::KeyNames(std::string_view section) const {
    std::vector<std::string> names;
    if (const Section* s = Find(section))
        for (const std::string& line : s->lines) names.push_back(KeyOf(line));
    return names;
}

std::vector<std::string> IniImage::SectionNames() const {
    std::vector<std::string> names;
    for (const Section& s : sections_) names.push_back(s.name);
    return names;
}

std::string ProfileValueUnquoted(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    return std::string(value);
}

std::string_view TrimProfileBlanks(std::string_view s) {
    while (!s.empty() && IsProfileBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsProfileBlank(s.back())) s.remove_suffix(1);
    return s;
}

bool ProfileValueReadsBack(std::string_view value) {
    if (value.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos) return false;
    return ProfileValueUnquoted(TrimProfileBlanks(value)) == value;
}

bool ParseWholeInteger(std::string_view text, int& value) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    unsigned base = 10;
    if (i < text.size() && text[i] == '$') {
        base = 16;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i >= text.size()) return false;
    long long v = 0;
    for (; i < text.size(); ++i) {
        char c = text[i];
        int d = (c >= '0' && c <= '9') ? c - '0'
                : (base == 16 && c >= 'a' && c <= 'f') ? c - 'a' + 10
                : (base == 16 && c >= 'A' && c <= 'F') ? c - 'A' + 10
                                                       : -1;
        if (d < 0) return false;
        v = v * base + d;
        if (v > (base == 16 ? 0xFFFFFFFFll : static_cast<long long>(INT_MAX) + 1)) return false;
    }
    if (base == 16 && !negative) {
        value = static_cast<int>(static_cast<unsigned>(v));  // "$FFFFFFFF" is -1, as a 32-bit integer
        return true;
    }
    if (negative) v = -v;
    if (v > INT_MAX || v < INT_MIN) return false;
    value = static_cast<int>(v);
    return true;
}

}  // namespace qm::platform
