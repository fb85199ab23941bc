// Event records: the input is one record of the Application log as the event-log service
// hands it over, between two good ones; the collector writes or skips it, and never loses the
// good ones for it.

#include <nlohmann/json.hpp>

#include "collectors/event_logs.h"
#include "fuzz_machine.h"
#include "support/agent_state.h"

namespace {

const char* const kRegistry =
    "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Eventlog]\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Eventlog\\Application]\r\n\r\n";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // A record of no bytes is no record the service could hand over.
    if (size == 0) return 0;
    nlohmann::json good1 = {{"source", "Before"}, {"type", "error"}, {"event_id", 1}, {"strings", {"one"}}};
    nlohmann::json good2 = {{"source", "After"}, {"type", "error"}, {"event_id", 3}};
    nlohmann::json patch = {{"event_logs", {{"Application", nlohmann::json::array({good1, {{"raw", qm::fuzz::HexPairs(data, size)}}, good2})}}}};
    qm::test::TestMachine machine(patch.dump(), kRegistry);
    machine.WriteFile(qm::test::kAgentSettings, "");
    qm::test::StartAgent();
    std::vector<std::string> lines = qm::test::CollectRecords(qm::collectors::ReadWindowsLogs);
    bool before = false, after = false;
    for (const std::string& line : lines) {
        before = before || line.rfind("\"WindowsLog\",\"Application\",\"Before\",\"Error\",\"1\"", 0) == 0;
        after = after || line.rfind("\"WindowsLog\",\"Application\",\"After\",\"Error\",\"3\"", 0) == 0;
    }
    qm::fuzz::Require(before && after);
    return 0;
}
