#pragma once
// Pictures of the programs' windows, decoded from JPEG files.

#include <cstdint>
#include <string_view>
#include <vector>

namespace qm::core {

struct Picture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;  // rows of red, green and blue bytes
};

// False (and no picture) for anything that is not a JPEG picture it can read.
bool DecodeJpeg(std::string_view bytes, Picture& picture);

}  // namespace qm::core
