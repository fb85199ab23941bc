#pragma once
// An INI file read once into memory. Unlike the private-profile functions, a value is
// everything after the first equals sign, unchanged (not trimmed, quotes kept); lines that
// begin with ";" are ignored; sections and keys are found without regard to case.

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/files.h"

namespace qm::platform {

class IniImage {
public:
    IniImage() = default;
    static IniImage FromText(std::string_view text);
    // A missing or unreadable file gives an empty image.
    static IniImage FromFile(FilesService& fs, std::string_view path);

    bool SectionExists(std::string_view section) const;
    bool ValueExists(std::string_view section, std::string_view key) const;
    // The value of the first line of the section whose name (the text before "=", trimmed)
    // equals the key, else the default.
    std::string ReadString(std::string_view section, std::string_view key, std::string_view defaultValue) const;
    // The value as a whole decimal number (leading blanks and a sign allowed) or a hexadecimal
    // one after "$" or "0x"; the default for anything else.
    int ReadInteger(std::string_view section, std::string_view key, int defaultValue) const;
    // The section's lines as written (untrimmed), without empty lines and lines that begin
    // with ";", in file order.
    std::vector<std::string> SectionLines(std::string_view section) const;
    // The key names of the section's lines, in file order.
    std::vector<std::string> KeyNames(std::string_view section) const;
    std::vector<std::string> SectionNames() const;

private:
    struct Section {
        std::string name;
        std::vector<std::string> lines;
    };
    const Section* Find(std::string_view section) const;
    const std::string* FindLine(std::string_view section, std::string_view key) const;
    std::vector<Section> sections_;
    std::unordered_map<std::string, std::size_t> sectionIndex_;  // upper-cased name to its place
};

// Parses a whole decimal or hexadecimal integer as described for IniImage::ReadInteger.
bool ParseWholeInteger(std::string_view text, int& value);

// A value of the private-profile functions as the read of one key gives it: one pair of
// matching quotes (double or single) around the whole value removed.
std::string ProfileValueUnquoted(std::string_view value);
// The blanks that the private-profile functions trim around names and values.
inline bool IsProfileBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\x1a'; }
std::string_view TrimProfileBlanks(std::string_view s);
// Whether a value written with the private-profile functions reads back exactly: a line break
// or a zero would cut it, blanks at its ends are trimmed and quotes around it removed.
bool ProfileValueReadsBack(std::string_view value);

}  // namespace qm::platform
