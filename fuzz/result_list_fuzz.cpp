// Result files: the list loaded from a file, its readers, the check of the hardware file, and
// a saved list that reloads the same.

#include "core/process_state.h"
#include "core/result_list.h"
#include "delivery/result_check.h"
#include "fuzz_machine.h"
#include "support/agent_state.h"

using namespace qm::core;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto& machine = qm::fuzz::Machine();
    static bool started = (qm::test::StartWithResultNames(), true);
    (void)started;
    std::string bytes = qm::fuzz::Bytes(data, size);
    const std::string hardware = State().resultFiles.localHardware;
    machine.WriteFile(hardware, bytes);
    (void)qm::delivery::CheckHardwareResult();
    LoadResultList(hardware);
    std::vector<std::string> lines = LastResultLines(SIZE_MAX);
    for (const std::string& line : lines) {
        std::vector<std::string> fields = ResultFields(line);
        if (fields.size() >= 2) {
            (void)ReadResultValue(fields[0], fields[1]);
            (void)FindValue(lines, RecordPrefix(fields[0], fields[1]));
        }
        (void)FindResultLine(line.substr(0, line.size() / 2));
    }
    SaveResultList("C:\\TEMP\\saved.hrz");
    LoadResultList("C:\\TEMP\\saved.hrz");
    qm::fuzz::Require(LastResultLines(SIZE_MAX) == lines);
    return 0;
}
