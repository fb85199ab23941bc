// USB descriptors as a hub hands them over: the first byte chooses which descriptor of a
// device the rest stands for (its configuration, its list of string languages, or its first
// string), and the collector walks the tree with it.

#include <nlohmann/json.hpp>

#include "collectors/usb_devices.h"
#include "fuzz_machine.h"
#include "support/agent_state.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    nlohmann::json raw = {{"bytes", qm::fuzz::HexPairs(data + 1, size - 1)}};
    switch (data[0] % 3) {
        case 0: raw.update({{"type", 2}, {"index", 0}}); break;
        case 1: raw.update({{"type", 3}, {"index", 0}, {"language", "0"}}); break;
        default: raw.update({{"type", 3}, {"index", 1}, {"language", "0409"}}); break;
    }
    nlohmann::json device = {{"port", 1},
                             {"vendor", "0x4B21"},
                             {"product", "0xC016"},
                             {"usb_version", "0x0110"},
                             {"configuration", {{"attributes", "0xA0"}, {"max_power", 50}}},
                             {"strings", {{{"language", "0409"}, {"manufacturer", "Maker"}, {"product", "Mouse"}}}},
                             {"driver_key", "{745A17A0-74D3-11D0-B6FE-00A0C90F57DA}\\0000"},
                             {"raw_descriptors", {raw}}};
    nlohmann::json patch = {
        {"usb", {{"controllers", {{{"number", 0}, {"root_hub", {{"name", "ROOT"}, {"ports", 2}, {"devices", {device}}}}}}}}}};
    std::optional<qm::test::TestMachine> machine;
    try {
        machine.emplace(patch.dump());
    } catch (const qm::sim::MachineError&) {
        return 0;
    }
    qm::test::StartAgent();
    for (const std::string& line : qm::test::CollectRecords(qm::collectors::UsbInventory))
        qm::fuzz::Require(line.find_first_of("\r\n") == std::string::npos);
    return 0;
}
