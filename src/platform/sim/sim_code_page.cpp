#include "platform/sim/sim_code_page.h"

namespace qm::sim {

std::string SimCodePage::CharLower(std::string_view text) {
    std::string r(text);
    for (char& c : r) c = table_.Lower(c);
    return r;
}

}  // namespace qm::sim
