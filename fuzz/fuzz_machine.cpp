#include "fuzz_machine.h"

#include <memory>

#include "platform/text.h"

namespace qm::fuzz {

std::string HexPairs(const std::uint8_t* data, std::size_t size) {
    static const char* digits = "0123456789ABCDEF";
    std::string hex;
    for (std::size_t i = 0; i < size; ++i) {
        if (i > 0) hex += ' ';
        hex += digits[data[i] >> 4];
        hex += digits[data[i] & 15];
    }
    return hex;
}

std::vector<std::string> SampleResultLines(const std::string& name) {
    std::optional<std::string> text = test::ReadHostFile(std::string(QM_SOURCE_DIR) + "/tests/fixtures/golden/" + name);
    return text ? platform::SplitLines(*text) : std::vector<std::string>();
}

test::TestMachine& Machine(const std::string& jsonPatch, const std::string& registryFile) {
    static std::unique_ptr<test::TestMachine> machine = std::make_unique<test::TestMachine>(jsonPatch, registryFile);
    return *machine;
}

}  // namespace qm::fuzz
