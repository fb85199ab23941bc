#include "core/process_state.h"

#include "core/date_time.h"
#include "platform/winpath.h"

namespace qm::core {

ProcessState& State() {
    static ProcessState state;
    return state;
}

void ResetState(std::vector<std::string> parameters) {
    State() = ProcessState{};
    State().parameters = std::move(parameters);
    ResetProcessFormats();
}

const std::string& ParamStr(std::size_t index) {
    static const std::string empty;
    const auto& p = State().parameters;
    return index < p.size() ? p[index] : empty;
}

std::size_t ParamCount() { return State().parameters.empty() ? 0 : State().parameters.size() - 1; }

std::string AgentFolder() { return platform::FolderOf(ParamStr(0)); }

}  // namespace qm::core
