// The handheld inventory database of a sync-manager user's backup: read into a .pdz of the
// work folder, or refused as damaged; whatever identifier it holds names a file of the work
// folder and nothing else.

#include "collectors/palm/palm.h"
#include "core/process_state.h"
#include "fuzz_machine.h"
#include "platform/platform.h"
#include "support/agent_state.h"

using namespace qm::platform;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto& machine = qm::fuzz::Machine();
    static bool started = (qm::test::StartWithResultNames(), machine.MakeFolder("C:\\Handheld\\Out"), true);
    (void)started;
    machine.WriteFile("C:\\Handheld\\Backup\\" + std::string(qm::collectors::kPalmDatabaseFile), qm::fuzz::Bytes(data, size));
    qm::collectors::ReadPalmUser("C:\\Handheld\\Backup\\", "C:\\Handheld\\Out\\");
    // At most the one result file, there, and no list left behind.
    std::vector<std::string> written = qm::test::FileNamesIn("C:\\Handheld\\Out\\");
    qm::fuzz::Require(written.size() <= 1 && !qm::core::State().resultList);
    std::vector<std::string> elsewhere = qm::test::FileNamesIn("C:\\Handheld\\");
    qm::fuzz::Require(elsewhere.empty());
    for (const std::string& name : written) Files().DeleteFile("C:\\Handheld\\Out\\" + name);
    return 0;
}
