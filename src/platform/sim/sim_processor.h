#pragma once
// A scripted processor, or the host's own: its CPUID and time-stamp counter.

#include <cstddef>
#include <cstdint>
#include <mutex>

#include "platform/processor.h"
#include "platform/sim/machine_state.h"

namespace qm::sim {

class SimProcessor final : public platform::ProcessorService {
public:
    explicit SimProcessor(MachineState& state);
    platform::CpuidResult Cpuid(std::uint32_t leaf) override;
    std::uint64_t ReadTimeStampCounter() override;

private:
    MachineState& state_;
    const ProcessorConfig& config_;
    std::mutex mutex_;
    std::uint64_t counter_ = 0x10000000;
    std::size_t reads_ = 0;
};

}  // namespace qm::sim
