#pragma once
// The resources of a real PE file (PE32 or PE32+): the resource directory of its resource
// section, walked type, name and language, and the bytes of each resource. Everything is
// bounded by the bytes of the file: a damaged file gives fewer resources or none.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/files.h"

namespace qm::sim {

inline constexpr std::uint32_t kResourceMessageTable = 11;
inline constexpr std::uint32_t kResourceVersion = 16;

// One resource of a type, where its bytes lie in the file.
struct PeResource {
    bool named = false;    // named by a string rather than an id
    std::uint32_t id = 0;  // the id when not named
    std::uint16_t language = 0;
    std::uint64_t fileOffset = 0;
    std::uint32_t size = 0;
};

class PeResources {
public:
    // Reads the headers and the resource directory; false when the file is no PE file.
    bool Load(platform::File& file);
    // The resources of the type, in the directory's order of names and then of languages.
    std::vector<PeResource> OfType(std::uint32_t type) const;
    // The bytes of one resource.
    static bool Read(platform::File& file, const PeResource& resource, std::string& bytes);

private:
    struct Section {
        std::uint32_t virtualAddress, virtualSize, rawOffset, rawSize;
    };
    bool FileOffsetOf(std::uint32_t rva, std::uint64_t& offset) const;
    std::vector<Section> sections_;
    std::vector<std::uint8_t> directory_;  // the resource section's bytes from the directory on
    std::uint64_t fileSize_ = 0;
};

}  // namespace qm::sim
