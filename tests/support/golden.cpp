#include "support/golden.h"

#include <cstdlib>
#include <fstream>
#include <stdexcept>

#include "support/test_machine.h"

namespace qm::test {

namespace {

std::string FixturePath(const std::string& path) { return std::string(QM_SOURCE_DIR) + "/tests/fixtures/" + path; }

}  // namespace

std::string Golden(const std::string& name, const std::string& actual) {
    std::string path = FixturePath("golden/" + name);
    if (std::getenv("QM_UPDATE_GOLDEN") != nullptr) std::ofstream(path, std::ios::binary) << actual;
    return ReadHostFile(path).value_or("");
}

std::string Fixture(const std::string& path) {
    std::optional<std::string> bytes = ReadHostFile(FixturePath(path));
    if (!bytes) throw std::runtime_error("cannot read the fixture " + path);
    return *bytes;
}

}  // namespace qm::test
