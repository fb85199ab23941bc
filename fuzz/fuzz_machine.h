#pragma once
// What the targets share: the input as bytes, and one simulated machine per fuzzing process
// for the parsers that read through the platform (files, registry, profile), with the agent
// started on it.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/test_machine.h"

namespace qm::fuzz {

inline std::string Bytes(const std::uint8_t* data, std::size_t size) {
    return std::string(reinterpret_cast<const char*>(data), size);
}

// A property that does not hold is a finding as much as a crash.
inline void Require(bool holds) {
    if (!holds) std::abort();
}

// The bytes as hexadecimal pairs with blanks between, as the machine file writes bytes.
std::string HexPairs(const std::uint8_t* data, std::size_t size);

// The lines of one of the sample machines' golden result files ("xp-workstation.hrz").
std::vector<std::string> SampleResultLines(const std::string& name);

// The default test machine, made at the first call and kept for the process.
test::TestMachine& Machine(const std::string& jsonPatch = "{}", const std::string& registryFile = "");

}  // namespace qm::fuzz
