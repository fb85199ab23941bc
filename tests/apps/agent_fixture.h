#pragma once
// What the tests of whole agent runs share: the machine they run on, the identification file
// of a machine with nothing due, and a count of the places a text holds another.

#include <string>

namespace qm::test {

// A machine whose processor measures 2800 MHz and whose BIOS program answers.
inline constexpr const char* kAgentMachine = R"({"processor": {"frequencies_mhz": [2800]},
  "bios_program": {"manufacturer": "Maker", "model": "M", "serial": "SN", "uuid": "U"}})";

// kAgentMachine where reading the settings file beside the agent raises.
inline std::string AgentMachineWithUnreadableSettings() {
    return std::string(kAgentMachine)
        .insert(1, R"("faults": [{"op": "GetPrivateProfileString", "path": "C:\\Program Files\\Quarmelin\\QMAgent.lic", "raise": true}], )");
}

// Chk_ID with an inventory stored today: nothing is due this month with the default period.
inline constexpr const char* kNotDueChkId =
    "[Identification]\r\nAsset#=QM-TEST-01\r\n[Inventory]\r\nDate=12/09/2026 06:00\r\n";

// How often what stands in the text, overlapping places counted.
inline int Count(const std::string& text, const std::string& what) {
    int n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

}  // namespace qm::test
