#include "platform/sim/sim_versions.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/platform.h"
#include "platform/text.h"

namespace qm::sim {

using namespace qm::platform;

namespace {

constexpr std::uint32_t kResourceVersion = 16;

bool ReadAt(File& file, std::uint64_t offset, void* out, std::size_t size) {
    if (!file.SetFilePointerEx(static_cast<std::int64_t>(offset), MoveMethod::Begin, nullptr)) return false;
    auto* p = static_cast<char*>(out);
    std::size_t done = 0;
    while (done < size) {
        DWORD read = 0;
        if (!file.ReadFile(p + done, static_cast<DWORD>(size - done), read) || read == 0) return false;
        done += read;
    }
    return true;
}

template <typename T>
T Get(const std::vector<std::uint8_t>& b, std::size_t at) {
    T v{};
    if (at + sizeof(T) <= b.size()) std::memcpy(&v, b.data() + at, sizeof(T));
    return v;
}

struct Section {
    std::uint32_t virtualAddress, virtualSize, rawOffset, rawSize;
};

// The offset in the file of a relative virtual address.
bool FileOffsetOf(const std::vector<Section>& sections, std::uint32_t rva, std::uint64_t& offset) {
    for (const Section& s : sections) {
        std::uint64_t extent = std::max(s.virtualSize, s.rawSize);
        if (rva >= s.virtualAddress && rva < static_cast<std::uint64_t>(s.virtualAddress) + extent) {
            offset = static_cast<std::uint64_t>(s.rawOffset) + (rva - s.virtualAddress);
            return true;
        }
    }
    return false;
}

// The offset (within the resource section) of the first entry of a resource directory that
// matches the id, or the first entry of any kind when id is 0.
bool DirectoryEntry(const std::vector<std::uint8_t>& rsrc, std::uint32_t directory, std::uint32_t id,
                    std::uint32_t& target, bool& isDirectory) {
    if (directory + 16 > rsrc.size()) return false;
    std::uint16_t named = Get<std::uint16_t>(rsrc, directory + 12);
    std::uint16_t ids = Get<std::uint16_t>(rsrc, directory + 14);
    std::uint32_t count = static_cast<std::uint32_t>(named) + ids;
    for (std::uint32_t i = 0; i < count && i < 4096; ++i) {
        std::size_t entry = directory + 16 + static_cast<std::size_t>(i) * 8;
        std::uint32_t name = Get<std::uint32_t>(rsrc, entry);
        std::uint32_t offset = Get<std::uint32_t>(rsrc, entry + 4);
        bool byName = (name & 0x80000000u) != 0;
        if (id != 0 && (byName || name != id)) continue;
        isDirectory = (offset & 0x80000000u) != 0;
        target = offset & 0x7FFFFFFFu;
        return true;
    }
    return false;
}

// One node of a VS_VERSIONINFO tree.
struct Node {
    std::size_t start = 0, end = 0;  // the node's bytes
    std::u16string key;
    std::size_t valueStart = 0, valueLength = 0;  // in bytes
    bool text = false;
    std::size_t childrenStart = 0;
};

std::size_t Align4(std::size_t n) { return (n + 3) & ~static_cast<std::size_t>(3); }

bool ParseNode(std::string_view b, std::size_t at, std::size_t limit, Node& node) {
    if (at + 6 > limit) return false;
    auto word = [&](std::size_t p) {
        return static_cast<std::uint16_t>(static_cast<unsigned char>(b[p]) | static_cast<unsigned char>(b[p + 1]) << 8);
    };
    std::size_t length = word(at);
    if (length < 6 || at + length > limit) return false;
    std::size_t valueLength = word(at + 2);
    node.text = word(at + 4) == 1;
    node.start = at;
    node.end = at + length;
    std::size_t p = at + 6;
    node.key.clear();
    while (p + 1 < node.end) {
        char16_t c = static_cast<char16_t>(word(p));
        p += 2;
        if (c == 0) break;
        node.key += c;
    }
    p = Align4(p);
    node.valueStart = p;
    // A text value's length counts characters, a binary one's bytes.
    node.valueLength = std::min(node.text ? valueLength * 2 : valueLength, node.end > p ? node.end - p : 0);
    node.childrenStart = Align4(p + node.valueLength);
    return true;
}

bool SameKey(const std::u16string& key, std::string_view name) {
    if (key.size() != name.size()) return false;
    for (std::size_t i = 0; i < key.size(); ++i) {
        char16_t a = key[i], c = static_cast<unsigned char>(name[i]);
        if (a < 128) a = static_cast<char16_t>(AsciiUpper(static_cast<char>(a)));
        if (c < 128) c = static_cast<char16_t>(AsciiUpper(static_cast<char>(c)));
        if (a != c) return false;
    }
    return true;
}

}  // namespace

bool FindVersionResource(File& file, std::string& block) {
    std::uint8_t dos[64];
    if (!ReadAt(file, 0, dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z') return false;
    std::uint32_t peOffset = 0;
    std::memcpy(&peOffset, dos + 0x3C, 4);
    std::vector<std::uint8_t> header(24);
    if (!ReadAt(file, peOffset, header.data(), header.size()) || std::memcmp(header.data(), "PE\0\0", 4) != 0) return false;
    std::uint16_t sectionCount = Get<std::uint16_t>(header, 6);
    std::uint16_t optionalSize = Get<std::uint16_t>(header, 20);
    std::vector<std::uint8_t> optional(optionalSize);
    if (optionalSize < 2 || !ReadAt(file, peOffset + 24, optional.data(), optional.size())) return false;
    std::uint16_t magic = Get<std::uint16_t>(optional, 0);
    std::size_t directories = magic == 0x20B ? 112 : 96;  // PE32+ or PE32
    std::uint32_t resourceRva = Get<std::uint32_t>(optional, directories + 2 * 8);
    if (resourceRva == 0) return false;
    std::vector<Section> sections;
    std::vector<std::uint8_t> table(static_cast<std::size_t>(sectionCount) * 40);
    if (!ReadAt(file, peOffset + 24 + optionalSize, table.data(), table.size())) return false;
    for (std::size_t i = 0; i < sectionCount; ++i) {
        std::size_t at = i * 40;
        sections.push_back({Get<std::uint32_t>(table, at + 12), Get<std::uint32_t>(table, at + 8),
                            Get<std::uint32_t>(table, at + 20), Get<std::uint32_t>(table, at + 16)});
    }
    const Section* rsrcSection = nullptr;
    for (const Section& s : sections)
        if (resourceRva >= s.virtualAddress &&
            resourceRva < static_cast<std::uint64_t>(s.virtualAddress) + std::max(s.virtualSize, s.rawSize))
            rsrcSection = &s;
    // The directory must lie in the section's bytes in the file, and those in the file.
    std::uint64_t fileSize = 0;
    if (rsrcSection == nullptr || !file.GetFileSizeEx(fileSize)) return false;
    std::uint32_t into = resourceRva - rsrcSection->virtualAddress;
    if (into >= rsrcSection->rawSize) return false;
    std::uint64_t rsrcOffset = static_cast<std::uint64_t>(rsrcSection->rawOffset) + into;
    std::uint64_t available = rsrcSection->rawSize - into;
    if (rsrcOffset >= fileSize) return false;
    available = std::min<std::uint64_t>({available, fileSize - rsrcOffset, 64u << 20});
    std::vector<std::uint8_t> rsrc(available);
    if (!ReadAt(file, rsrcOffset, rsrc.data(), rsrc.size())) return false;
    // Type RT_VERSION, then the first name and the first language under it.
    std::uint32_t at = 0;
    bool isDirectory = false;
    if (!DirectoryEntry(rsrc, 0, kResourceVersion, at, isDirectory) || !isDirectory) return false;
    if (!DirectoryEntry(rsrc, at, 0, at, isDirectory) || !isDirectory) return false;
    if (!DirectoryEntry(rsrc, at, 0, at, isDirectory) || isDirectory) return false;
    std::uint32_t dataRva = Get<std::uint32_t>(rsrc, at);
    std::uint32_t dataSize = Get<std::uint32_t>(rsrc, at + 4);
    std::uint64_t dataOffset = 0;
    if (dataSize == 0 || dataSize > (16u << 20) || !FileOffsetOf(sections, dataRva, dataOffset) ||
        dataOffset >= fileSize || dataSize > fileSize - dataOffset)
        return false;
    block.assign(dataSize, '\0');
    return ReadAt(file, dataOffset, block.data(), block.size());
}

bool SimVersions::Resource(std::string_view path, std::string& block) {
    FileAttributeData attributes;
    if (state_.Fails("GetFileVersionInfo", state_.FullPath(path), false) || !files_.GetFileAttributesEx(path, attributes) ||
        (attributes.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return false;
    }
    std::string full = state_.FullPath(path);
    std::lock_guard lock(mutex_);
    if (full == cachedPath_ && attributes.ftLastWriteTime == cachedTime_ && attributes.nFileSize == cachedSize_) {
        block = cachedBlock_;
        return cachedFound_;
    }
    auto file = files_.CreateFile(path, GENERIC_READ, CreationDisposition::OpenExisting);
    std::string found;
    bool ok = file && FindVersionResource(*file, found);
    cachedPath_ = full;
    cachedTime_ = attributes.ftLastWriteTime;
    cachedSize_ = attributes.nFileSize;
    cachedBlock_ = ok ? found : std::string();
    cachedFound_ = ok;
    block = cachedBlock_;
    return ok;
}

DWORD SimVersions::GetFileVersionInfoSize(std::string_view path) {
    std::string block;
    if (path.empty() || !Resource(path, block)) {
        SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
        return 0;
    }
    return static_cast<DWORD>(block.size());
}

bool SimVersions::GetFileVersionInfo(std::string_view path, DWORD size, std::string& block) {
    std::string found;
    if (!Resource(path, found)) {
        SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
        return false;
    }
    block = found.substr(0, std::min<std::size_t>(size, found.size()));
    return true;
}

bool SimVersions::VerQueryValue(std::string_view block, std::string_view subBlock, std::string& value) {
    value.clear();
    Node node;
    if (!ParseNode(block, 0, block.size(), node)) return false;
    std::vector<std::string> path;
    std::string_view rest = subBlock;
    while (!rest.empty()) {
        while (!rest.empty() && rest.front() == '\\') rest.remove_prefix(1);
        std::size_t sep = rest.find('\\');
        std::string_view part = rest.substr(0, sep);
        if (!part.empty()) path.emplace_back(part);
        rest = sep == std::string_view::npos ? std::string_view() : rest.substr(sep);
    }
    for (const std::string& part : path) {
        bool found = false;
        for (std::size_t at = node.childrenStart; at + 6 <= node.end;) {
            Node child;
            if (!ParseNode(block, at, node.end, child)) break;
            if (SameKey(child.key, part)) {
                node = child;
                found = true;
                break;
            }
            at = Align4(child.end);
        }
        if (!found) return false;
    }
    if (node.valueLength == 0 && !node.text && path.empty()) return false;
    std::string raw(block.substr(node.valueStart, node.valueLength));
    if (!node.text) {
        value = raw;
        return true;
    }
    // The text ends at its first zero character.
    value = state_.CodePage().FromUtf16LeBytes(raw);
    value.resize(std::min(value.find('\0'), value.size()));
    value += '\0';
    return true;
}

std::string SimVersions::VerLanguageName(DWORD language) {
    static const std::pair<DWORD, const char*> kNames[] = {
        {0x0000, "Language Neutral"},        {0x0401, "Arabic (Saudi Arabia)"}, {0x0404, "Chinese (Taiwan)"},
        {0x0405, "Czech"},                   {0x0406, "Danish"},                {0x0407, "German (Germany)"},
        {0x0408, "Greek"},                   {0x0409, "English (United States)"}, {0x040A, "Spanish (Traditional Sort)"},
        {0x040B, "Finnish"},                 {0x040C, "French (France)"},       {0x040D, "Hebrew"},
        {0x040E, "Hungarian"},               {0x0410, "Italian (Italy)"},       {0x0411, "Japanese"},
        {0x0412, "Korean"},                  {0x0413, "Dutch (Netherlands)"},   {0x0414, "Norwegian (Bokmal)"},
        {0x0415, "Polish"},                  {0x0416, "Portuguese (Brazil)"},   {0x0419, "Russian"},
        {0x041D, "Swedish"},                 {0x041F, "Turkish"},               {0x0804, "Chinese (PRC)"},
        {0x0807, "German (Switzerland)"},    {0x0809, "English (United Kingdom)"}, {0x080C, "French (Belgium)"},
        {0x0816, "Portuguese (Portugal)"},   {0x0C0A, "Spanish (International Sort)"}, {0x0C0C, "French (Canada)"},
        {0x1009, "English (Canada)"},        {0x100C, "French (Switzerland)"}};
    for (const auto& [id, name] : kNames)
        if (id == (language & 0xFFFF)) return name;
    return std::string();
}

}  // namespace qm::sim
