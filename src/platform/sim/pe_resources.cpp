#include "platform/sim/pe_resources.h"

#include <algorithm>
#include <cstring>

namespace qm::sim {

using namespace qm::platform;

namespace {

// Beyond these a directory is taken as damaged: no real file comes near them.
constexpr std::uint32_t kMostEntriesPerDirectory = 4096;
constexpr std::size_t kMostResourcesPerType = 65536;
constexpr std::uint32_t kLargestResource = 16u << 20;
constexpr std::uint64_t kLargestDirectory = 64u << 20;

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
    if (at <= b.size() && sizeof(T) <= b.size() - at) std::memcpy(&v, b.data() + at, sizeof(T));
    return v;
}

struct DirectoryEntry {
    bool named;
    std::uint32_t id;
    bool isDirectory;
    std::uint32_t target;  // from the start of the resource directory
};

// The entries of a resource directory that lie within the bytes.
std::vector<DirectoryEntry> EntriesOf(const std::vector<std::uint8_t>& rsrc, std::uint32_t directory) {
    std::vector<DirectoryEntry> entries;
    if (directory > rsrc.size() || rsrc.size() - directory < 16) return entries;
    std::uint32_t count = static_cast<std::uint32_t>(Get<std::uint16_t>(rsrc, directory + 12)) +
                          Get<std::uint16_t>(rsrc, directory + 14);
    for (std::uint32_t i = 0; i < count && i < kMostEntriesPerDirectory; ++i) {
        std::size_t entry = directory + 16 + static_cast<std::size_t>(i) * 8;
        if (entry + 8 > rsrc.size()) break;
        std::uint32_t name = Get<std::uint32_t>(rsrc, entry);
        std::uint32_t offset = Get<std::uint32_t>(rsrc, entry + 4);
        entries.push_back({(name & 0x80000000u) != 0, name & 0x7FFFFFFFu, (offset & 0x80000000u) != 0, offset & 0x7FFFFFFFu});
    }
    return entries;
}

}  // namespace

bool PeResources::Load(File& file) {
    sections_.clear();
    directory_.clear();
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
    std::vector<std::uint8_t> table(static_cast<std::size_t>(sectionCount) * 40);
    if (!ReadAt(file, peOffset + 24 + optionalSize, table.data(), table.size())) return false;
    for (std::size_t i = 0; i < sectionCount; ++i) {
        std::size_t at = i * 40;
        sections_.push_back({Get<std::uint32_t>(table, at + 12), Get<std::uint32_t>(table, at + 8),
                             Get<std::uint32_t>(table, at + 20), Get<std::uint32_t>(table, at + 16)});
    }
    if (!file.GetFileSizeEx(fileSize_)) return false;
    // A program file without resources is still a program file.
    if (resourceRva == 0) return true;
    const Section* rsrcSection = nullptr;
    for (const Section& s : sections_)
        if (resourceRva >= s.virtualAddress &&
            resourceRva < static_cast<std::uint64_t>(s.virtualAddress) + std::max(s.virtualSize, s.rawSize))
            rsrcSection = &s;
    // The directory must lie in the section's bytes in the file, and those in the file.
    if (rsrcSection == nullptr) return true;
    std::uint32_t into = resourceRva - rsrcSection->virtualAddress;
    if (into >= rsrcSection->rawSize) return true;
    std::uint64_t rsrcOffset = static_cast<std::uint64_t>(rsrcSection->rawOffset) + into;
    if (rsrcOffset >= fileSize_) return true;
    std::uint64_t available = std::min<std::uint64_t>({rsrcSection->rawSize - into, fileSize_ - rsrcOffset, kLargestDirectory});
    directory_.resize(available);
    if (!ReadAt(file, rsrcOffset, directory_.data(), directory_.size())) directory_.clear();
    return true;
}

bool PeResources::FileOffsetOf(std::uint32_t rva, std::uint64_t& offset) const {
    for (const Section& s : sections_) {
        std::uint64_t extent = std::max(s.virtualSize, s.rawSize);
        if (rva >= s.virtualAddress && rva < static_cast<std::uint64_t>(s.virtualAddress) + extent) {
            offset = static_cast<std::uint64_t>(s.rawOffset) + (rva - s.virtualAddress);
            return true;
        }
    }
    return false;
}

std::vector<PeResource> PeResources::OfType(std::uint32_t type) const {
    std::vector<PeResource> found;
    for (const DirectoryEntry& t : EntriesOf(directory_, 0)) {
        if (t.named || t.id != type) continue;
        if (!t.isDirectory) return found;
        for (const DirectoryEntry& name : EntriesOf(directory_, t.target)) {
            if (!name.isDirectory) continue;
            for (const DirectoryEntry& language : EntriesOf(directory_, name.target)) {
                if (language.isDirectory || found.size() >= kMostResourcesPerType) continue;
                std::uint32_t dataRva = Get<std::uint32_t>(directory_, language.target);
                std::uint32_t dataSize = Get<std::uint32_t>(directory_, language.target + 4);
                std::uint64_t dataOffset = 0;
                if (static_cast<std::uint64_t>(language.target) + 16 > directory_.size() || dataSize == 0 ||
                    dataSize > kLargestResource || !FileOffsetOf(dataRva, dataOffset) || dataOffset >= fileSize_ ||
                    dataSize > fileSize_ - dataOffset)
                    continue;
                found.push_back({name.named, name.id, static_cast<std::uint16_t>(language.id), dataOffset, dataSize});
            }
        }
        return found;
    }
    return found;
}

bool PeResources::Read(File& file, const PeResource& resource, std::string& bytes) {
    bytes.assign(resource.size, '\0');
    return ReadAt(file, resource.fileOffset, bytes.data(), bytes.size());
}

}  // namespace qm::sim
