#include "platform/sim/sim_processor.h"

#include <algorithm>
#include <cstring>
#include <string>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <x86intrin.h>
#define QM_HOST_X86 1
#endif

namespace qm::sim {

using namespace qm::platform;

SimProcessor::SimProcessor(MachineState& state) : state_(state), config_(state.Config().processor) {
#ifndef QM_HOST_X86
    if (config_.host) throw MachineError("processor: the host processor is only available on x86 machines");
#endif
}

CpuidResult SimProcessor::Cpuid(std::uint32_t leaf) {
    if (state_.Fails("CPUID", "leaf" + std::to_string(leaf), false))
        throw PlatformFault("CPUID faulted for leaf " + std::to_string(leaf));
    CpuidResult r;
    if (config_.host) {
#ifdef QM_HOST_X86
        unsigned a = 0, b = 0, c = 0, d = 0;
        __cpuid_count(leaf, 0, a, b, c, d);
        return {a, b, c, d};
#endif
    }
    auto it = config_.leaves.find(leaf);
    if (it != config_.leaves.end()) return {it->second[0], it->second[1], it->second[2], it->second[3]};
    if (leaf == 0) {
        char v[12] = {};
        std::memcpy(v, config_.vendor.data(), config_.vendor.size());
        auto word = [&](int at) {
            std::uint32_t w = 0;
            std::memcpy(&w, v + at, 4);
            return w;
        };
        // The vendor text lies in EBX, EDX, ECX in that order.
        r.eax = 2;
        r.ebx = word(0);
        r.edx = word(4);
        r.ecx = word(8);
    }
    return r;
}

std::uint64_t SimProcessor::ReadTimeStampCounter() {
    if (state_.Fails("RDTSC", "", false)) throw PlatformFault("RDTSC faulted");
    if (config_.host) {
#ifdef QM_HOST_X86
        return __rdtsc();
#endif
    }
    // The two reads of each measurement lie one scripted frequency times 2.5 s apart.
    std::lock_guard lock(mutex_);
    std::size_t read = reads_++;
    if (read % 2 == 1) {
        std::size_t measurement = read / 2;
        const auto& f = config_.frequenciesMHz;
        std::uint32_t mhz = f[std::min(measurement, f.size() - 1)];
        counter_ += static_cast<std::uint64_t>(mhz) * 2'500'000u;
    } else {
        counter_ += 1'000'000;
    }
    return counter_;
}

}  // namespace qm::sim
