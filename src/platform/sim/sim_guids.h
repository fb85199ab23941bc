#pragma once
// GUIDs of the simulated machine: the machine file's in their order, then random ones.

#include <deque>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "platform/guids.h"
#include "platform/sim/machine_state.h"

namespace qm::sim {

class SimGuids final : public platform::GuidsService {
public:
    SimGuids(MachineState& state, const std::vector<std::string>& scripted);
    bool CoCreateGuid(platform::Guid& guid) override;
    void Queue(const platform::Guid& guid);

private:
    MachineState& state_;
    std::mutex mutex_;
    std::deque<platform::Guid> scripted_;
    std::mt19937_64 random_;
};

}  // namespace qm::sim
