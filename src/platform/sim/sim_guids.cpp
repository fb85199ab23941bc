#include "platform/sim/sim_guids.h"

namespace qm::sim {

using namespace qm::platform;

SimGuids::SimGuids(MachineState& state, const std::vector<std::string>& scripted)
    : state_(state), random_(std::random_device{}()) {
    for (const std::string& text : scripted) {
        Guid g;
        if (!GuidFromString(text, g)) throw MachineError("guids: \"" + text + "\" is not a GUID");
        scripted_.push_back(g);
    }
}

bool SimGuids::CoCreateGuid(Guid& guid) {
    if (state_.Fails("CoCreateGuid", "", false)) return false;
    std::lock_guard lock(mutex_);
    if (!scripted_.empty()) {
        guid = scripted_.front();
        scripted_.pop_front();
        return true;
    }
    std::uint64_t a = random_(), b = random_();
    guid.data1 = static_cast<std::uint32_t>(a >> 32);
    guid.data2 = static_cast<std::uint16_t>(a >> 16);
    guid.data3 = static_cast<std::uint16_t>((a & 0x0FFF) | 0x4000);  // version 4
    for (int i = 0; i < 8; ++i) guid.data4[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(b >> (8 * i));
    guid.data4[0] = static_cast<std::uint8_t>((guid.data4[0] & 0x3F) | 0x80);
    return true;
}

void SimGuids::Queue(const Guid& guid) {
    std::lock_guard lock(mutex_);
    scripted_.push_back(guid);
}

}  // namespace qm::sim
