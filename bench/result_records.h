#pragma once
// Text shaped like result records, so that the compressors of the benchmarks have realistic work.

#include <cstddef>
#include <string>

namespace qm::bench {

inline std::string Records(std::size_t bytes, int seed) {
    std::string text;
    for (int i = 0; text.size() < bytes; ++i)
        text += "\"Software\",\"" + std::to_string(i) + "\",\"0\",\"C:\\PROGRAM FILES\\APP " + std::to_string((i * 7 + seed) % 97) +
                "\\\",\"app.exe\",\"" + std::to_string(1000 + i % 5000) + "\",\"Maker\",\"Product\",\"1.0\",\"English\",\"\"\r\n";
    text.resize(bytes);
    return text;
}

}  // namespace qm::bench
