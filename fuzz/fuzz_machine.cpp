#include "fuzz_machine.h"

#include <memory>

namespace qm::fuzz {

test::TestMachine& Machine(const std::string& jsonPatch, const std::string& registryFile) {
    static std::unique_ptr<test::TestMachine> machine = std::make_unique<test::TestMachine>(jsonPatch, registryFile);
    return *machine;
}

}  // namespace qm::fuzz
