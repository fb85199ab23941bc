#pragma once
// Texts that differ only in letter case, for the lists the programs sort without regard to it.

#include <string>
#include <vector>

namespace qm::test {

// The first count spellings of an ASCII lower-case word, each in a case of its own: the letters
// whose bit is set in the spelling's number are in upper case. A word of n letters has 2^n.
inline std::vector<std::string> LetterCases(const std::string& word, unsigned count) {
    std::vector<std::string> spellings;
    for (unsigned n = 0; n < count; ++n) {
        std::string spelling = word;
        for (std::size_t i = 0; i < spelling.size() && i < 32; ++i)
            if (((n >> i) & 1) != 0 && spelling[i] >= 'a' && spelling[i] <= 'z') spelling[i] = static_cast<char>(spelling[i] - 'a' + 'A');
        spellings.push_back(spelling);
    }
    return spellings;
}

}  // namespace qm::test
