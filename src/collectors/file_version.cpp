#include "collectors/file_version.h"

#include <cstdio>
#include <cstring>
#include <type_traits>

#include "collectors/collector_guard.h"
#include "core/trace_log.h"
#include "platform/platform.h"
#include "platform/text.h"

namespace qm::collectors {

using namespace qm::platform;

namespace {

// US English in the Western code page: where resources without a translation table, and
// many with a wrong one, keep their strings.
constexpr WORD kDefaultLanguage = 0x0409;
constexpr WORD kDefaultCodePage = 0x04E4;

struct Translation {
    WORD language = kDefaultLanguage;
    WORD codePage = kDefaultCodePage;
};

WORD Word(const std::string& bytes, std::size_t at) {
    return static_cast<WORD>(static_cast<unsigned char>(bytes[at]) | (static_cast<unsigned char>(bytes[at + 1]) << 8));
}

Translation FirstTranslation(const std::string& block) {
    Translation t;
    std::string table;
    if (Versions().VerQueryValue(block, "\\VarFileInfo\\Translation", table) && table.size() >= 4) {
        t.language = Word(table, 0);
        t.codePage = Word(table, 2);
    }
    return t;
}

std::string StringPath(const Translation& t, std::string_view entry) {
    char key[9];
    std::snprintf(key, sizeof key, "%04X%04X", static_cast<unsigned>(t.language), static_cast<unsigned>(t.codePage));
    return std::string("\\StringFileInfo\\") + key + std::string(entry);
}

// A string entry counts as found when the system hands it back, even empty.
bool QueryString(const std::string& block, const Translation& t, std::string_view entry, std::string& output) {
    std::string value;
    if (!Versions().VerQueryValue(block, StringPath(t, entry), value)) return false;
    std::size_t zero = value.find('\0');
    output = zero == std::string::npos ? value : value.substr(0, zero);
    return true;
}

// The entry with the file's translation, then with the US-English block.
bool QueryWithFallback(const std::string& block, const Translation& t, std::string_view entry, std::string& output) {
    return QueryString(block, t, entry, output) || QueryString(block, Translation{}, entry, output);
}

// The product version numbers of VS_FIXEDFILEINFO, the last three padded to two digits.
bool FixedProductVersion(const std::string& block, std::string& output) {
    std::string bytes;
    FixedFileInfo fixed;
    static_assert(std::is_trivially_copyable_v<FixedFileInfo> && sizeof(FixedFileInfo) == 52);
    if (!Versions().VerQueryValue(block, "\\", bytes) || bytes.size() < sizeof fixed) return false;
    std::memcpy(&fixed, bytes.data(), sizeof fixed);
    DWORD ms = fixed.dwProductVersionMS;
    DWORD ls = fixed.dwProductVersionLS;
    std::string minor, build, revision;
    PadTwoDigits(static_cast<std::uint16_t>(ms & 0xFFFF), minor);
    PadTwoDigits(static_cast<std::uint16_t>(ls >> 16), build);
    PadTwoDigits(static_cast<std::uint16_t>(ls & 0xFFFF), revision);
    output = std::to_string(ms >> 16) + "." + minor + "." + build + "." + revision;
    return true;
}

void Lookup(const std::string& block, std::uint8_t kind, std::string& output) {
    Translation t = FirstTranslation(block);
    switch (kind) {
        case viVersion:
            if (QueryWithFallback(block, t, "\\ProductVersion", output)) return;
            if (FixedProductVersion(block, output)) return;
            QueryWithFallback(block, t, "\\FileVersion", output);
            return;
        case viEditeur:
            QueryWithFallback(block, t, "\\CompanyName", output);
            return;
        case viNomProduit:
            if (QueryWithFallback(block, t, "\\ProductName", output)) return;
            QueryWithFallback(block, t, "\\InternalName", output);
            return;
        case viLangue:
            output = Versions().VerLanguageName(t.language);
            return;
        case viDescription:
            QueryWithFallback(block, t, "\\FileDescription", output);
            return;
        default:
            return;
    }
}

// Readers of the result files split on backslashes and lines; neither may come from a resource.
void Clean(std::string& output) {
    output = Trim(output);
    for (char& c : output)
        if (c == '\n' || c == '\r' || c == '\\') c = ' ';
}

}  // namespace

std::string_view VersionInfoKindName(std::uint8_t kind) {
    switch (kind) {
        case viVersion:
            return "viVersion";
        case viEditeur:
            return "viEditeur";
        case viNomProduit:
            return "viNomProduit";
        case viLangue:
            return "viLangue";
        default:
            return "";
    }
}

VersionInfoReader::VersionInfoReader(std::string_view path) : path_(path) {
    // A resource that cannot be read answers every kind with an empty text.
    StopSilently([&] {
        DWORD size = Versions().GetFileVersionInfoSize(path);
        std::string block;
        if (size != 0 && Versions().GetFileVersionInfo(path, size, block)) block_ = std::move(block);
    });
}

void VersionInfoReader::Get(std::uint8_t kind, std::string& output) const {
    output.clear();
    core::WriteLog("getVersionInfo(" + path_ + "," + std::string(VersionInfoKindName(kind)) + ")");
    if (!block_) return;
    // Whatever the resource holds, the caller gets a text, possibly empty.
    StopSilently([&] { Lookup(*block_, kind, output); });
    Clean(output);
}

void getVersionInfo(std::string_view path, std::uint8_t kind, std::string& output) {
    VersionInfoReader(path).Get(kind, output);
}

std::string DescriptionOrPathAndVersion(std::string_view path) {
    VersionInfoReader reader(path);
    std::string description, version;
    reader.Get(viDescription, description);
    description = Trim(description);
    if (description.empty()) description = std::string(path);
    reader.Get(viVersion, version);
    return description + " " + version;
}

void PadTwoDigits(std::uint16_t number, std::string& output) {
    char text[8];
    std::snprintf(text, sizeof text, "%02u", static_cast<unsigned>(number));
    output = text;
}

}  // namespace qm::collectors
