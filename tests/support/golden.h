#pragma once
// Golden files: what a run must write, kept in tests/fixtures/golden/.

#include <string>

namespace qm::test {

// The golden file's text; with QM_UPDATE_GOLDEN set in the environment, the actual text is
// written as the new golden file first, for review of the difference.
std::string Golden(const std::string& name, const std::string& actual);
// A fixture file of tests/fixtures/ (a path below it); throws when it cannot be read.
std::string Fixture(const std::string& path);

}  // namespace qm::test
