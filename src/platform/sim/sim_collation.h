#pragma once
// CompareString of the simulated machine: a collator of the locale asked for, after Windows'
// word sort (the hyphen and the apostrophe weigh nothing), case ignored on request.

#include <memory>
#include <mutex>

#include "platform/collation.h"

namespace qm::sim {

class MachineState;

class SimCollation final : public platform::CollationService {
public:
    explicit SimCollation(MachineState& state);
    ~SimCollation() override;
    int CompareString(platform::LCID locale, platform::DWORD flags, std::string_view first,
                      std::string_view second) override;

private:
    // The locale identifier a request means; 0 when the machine knows none.
    platform::LCID Resolve(platform::LCID locale) const;
    struct Collators;

    MachineState& state_;
    std::mutex mutex_;
    std::unique_ptr<Collators> collators_;  // one per locale, made at first use
};

}  // namespace qm::sim
