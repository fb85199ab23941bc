#pragma once
// Minimal PE32 program files for tests: headers and one .rsrc section with resources laid out
// after the published PE/COFF formats: a version resource (RT_VERSION, id 1, after
// VS_VERSIONINFO) and message tables (RT_MESSAGETABLE, id 1, after MESSAGE_RESOURCE_DATA), so
// that the machine's version and message functions read them as they would a real program.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace qm::test {

// The numbers of VS_FIXEDFILEINFO: major, minor, build, revision, each 16 bits.
struct FixedVersion {
    std::array<std::uint16_t, 4> file{0, 0, 0, 0};
    std::array<std::uint16_t, 4> product{0, 0, 0, 0};
};

// Names and values of version strings, in UTF-8.
using VersionStrings = std::vector<std::pair<std::string, std::string>>;
// Language (low word) and code-page (high word) pairs.
using VersionTranslations = std::vector<std::pair<std::uint16_t, std::uint16_t>>;

// One StringTable: the key is the language and code page in eight hexadecimal digits
// ("040904E4"); names and values are stored in UTF-16.
struct VersionStringTable {
    std::string key;
    VersionStrings strings;
};

struct VersionResource {
    // Without it, VS_VERSIONINFO carries no fixed block (wValueLength 0).
    std::optional<FixedVersion> fixed;
    std::vector<VersionStringTable> tables;
    // The pairs of \VarFileInfo\Translation; without it the resource has no VarFileInfo at all.
    std::optional<VersionTranslations> translations;
    // The language of the resource directory's leaf.
    std::uint16_t resourceLanguage = 0x0409;
};

// A resource without a fixed block and with one string table, of US English in code page 1252
// unless the key says otherwise, and the translations given: by default the one that names a
// US-English 1252 table.
VersionResource StringVersion(VersionStrings strings, std::string key = "040904E4",
                              std::optional<VersionTranslations> translations = VersionTranslations{{0x0409, 0x04E4}});

// A PE32 file whose only section holds the version resource.
std::string BuildPeFile(const VersionResource& resource);
// A program whose version resource holds only its file description and product version.
std::string BuildDescribedProgram(const std::string& description, const std::string& version);
// A PE32 file with an empty .rsrc section: a program without a version resource.
std::string BuildPeFileWithoutResources();

// The bytes of a VS_VERSIONINFO block alone (what the version functions hand back).
std::string BuildVersionInfoBlock(const VersionResource& resource);

// One message of a message table: its full id and its text in UTF-8, stored in UTF-16 or in
// the ANSI code page 1252.
struct Message {
    std::uint32_t id = 0;
    std::string text;
    bool unicode = true;
};

// MESSAGE_RESOURCE_DATA as a message compiler lays it out: the messages by id, each run of
// consecutive ids one block, each entry's text with its terminator padded to 32 bits.
std::string BuildMessageTable(std::vector<Message> messages);

// One resource of any kind: type, id and language, and its bytes as they are.
struct PeResourceData {
    std::uint16_t type = 0;
    std::uint16_t id = 1;
    std::uint16_t language = 0x0409;
    std::string bytes;
};

// A PE32 file whose only section holds the resources.
std::string BuildPeFileWithResources(const std::vector<PeResourceData>& resources);
// A message file: one message table (id 1) per language, each with its messages.
std::string BuildMessageFile(const std::vector<std::pair<std::uint16_t, std::vector<Message>>>& tables);

}  // namespace qm::test
