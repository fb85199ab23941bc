// The S.M.A.R.T. attribute and threshold sectors of a drive (512 bytes each, the input
// filled with zeros to 1024) as the collector turns them into records.

#include <array>
#include <cstring>

#include "collectors/smart_disks.h"
#include "core/result_list.h"
#include "fuzz_machine.h"
#include "support/agent_state.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    qm::fuzz::Machine();
    static bool started = (qm::test::StartAgent(), true);
    (void)started;
    std::array<std::uint8_t, 1024> sectors{};
    std::memcpy(sectors.data(), data, std::min(size, sectors.size()));
    qm::core::CreateResultList();
    qm::collectors::WriteSmartAttributes(std::span<const std::uint8_t, 512>(sectors.data(), 512),
                                         std::span<const std::uint8_t, 512>(sectors.data() + 512, 512), static_cast<int>(size % 4));
    for (const std::string& line : qm::core::LastResultLines(SIZE_MAX))
        qm::fuzz::Require(line.find_first_of("\r\n") == std::string::npos);
    std::uint8_t identify[512];
    std::memcpy(identify, sectors.data(), sizeof identify);
    qm::collectors::SwapBytePairs(identify, sizeof identify);
    return 0;
}
