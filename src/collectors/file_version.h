#pragma once
// One item of a program file's version resource per call, with fixed fallbacks where the
// resource lacks the preferred entry. Never fails: anything missing gives an empty text.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qm::collectors {

// The kinds of information; the names are the ones the trace log shows.
enum VersionInfoKind : std::uint8_t {
    viVersion = 0,      // product version, else the fixed product version, else the file version
    viEditeur = 1,      // company name
    viNomProduit = 2,   // product name, else internal name
    viLangue = 3,       // the system's name of the resource's language
    viDescription = 4,  // file description
};

// The kind's name as the trace log shows it: empty for viDescription and unknown kinds.
std::string_view VersionInfoKindName(std::uint8_t kind);

// The version resource of one file, read once when the reader is made, for a caller that
// needs several kinds: on a network share every read goes over the wire.
class VersionInfoReader {
public:
    explicit VersionInfoReader(std::string_view path);
    // As getVersionInfo of the reader's file, trace-log line included, without reading again.
    void Get(std::uint8_t kind, std::string& output) const;

private:
    std::string path_;
    std::optional<std::string> block_;  // none when the file has no readable resource
};

// output := the item of the given kind of the file's version resource; empty when there is
// none. The text comes trimmed, with line breaks and backslashes turned into blanks.
void getVersionInfo(std::string_view path, std::uint8_t kind, std::string& output);

// A program as the configuration records name it: its file description (its path when it has
// none), a blank and its version; the blank stays when the version is empty.
std::string DescriptionOrPathAndVersion(std::string_view path);

// The number in decimal, with a leading "0" below 10.
void PadTwoDigits(std::uint16_t number, std::string& output);

}  // namespace qm::collectors
