#include "support/agent_state.h"

#include "core/process_state.h"
#include "core/trace_log.h"
#include "platform/platform.h"

namespace qm::test {

void StartAgent(const std::vector<std::string>& switches, const std::string& program) {
    std::vector<std::string> parameters{program};
    parameters.insert(parameters.end(), switches.begin(), switches.end());
    core::ResetState(std::move(parameters));
}

void StartAgentWithLog(const std::vector<std::string>& switches) {
    std::vector<std::string> all = switches;
    all.push_back("/LOG");
    StartAgent(all);
    core::State().logOn = true;
    core::OpenLogFile();
}

std::vector<std::string> FileNamesIn(const std::string& folder) {
    std::vector<std::string> names;
    platform::FindData data;
    if (auto find = platform::Files().FindFirstFile(folder + "*", data)) {
        do {
            if ((data.dwFileAttributes & platform::FILE_ATTRIBUTE_DIRECTORY) == 0) names.push_back(data.cFileName);
        } while (find->FindNextFile(data));
    }
    return names;
}

}  // namespace qm::test
