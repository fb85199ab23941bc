#include "support/agent_state.h"

#include "core/process_state.h"

namespace qm::test {

void StartAgent(const std::vector<std::string>& switches, const std::string& program) {
    std::vector<std::string> parameters{program};
    parameters.insert(parameters.end(), switches.begin(), switches.end());
    core::ResetState(std::move(parameters));
}

}  // namespace qm::test
