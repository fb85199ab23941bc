#pragma once
// The processor's identification and time-stamp counter (the CPUID and RDTSC instructions).

#include <cstdint>

namespace qm::platform {

struct CpuidResult {
    std::uint32_t eax = 0;
    std::uint32_t ebx = 0;
    std::uint32_t ecx = 0;
    std::uint32_t edx = 0;
};

class ProcessorService {
public:
    virtual ~ProcessorService() = default;
    // CPUID with the leaf in EAX; a faulting instruction raises PlatformFault.
    virtual CpuidResult Cpuid(std::uint32_t leaf) = 0;
    // RDTSC; a faulting instruction raises PlatformFault.
    virtual std::uint64_t ReadTimeStampCounter() = 0;
};

}  // namespace qm::platform
