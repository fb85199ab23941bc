#include "platform/collation.h"

#include <algorithm>

namespace qm::platform {

void SortIgnoringCase(CollationService& collation, std::vector<std::string>& texts) {
    std::stable_sort(texts.begin(), texts.end(), [&](const std::string& a, const std::string& b) {
        return collation.CompareString(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a, b) == CSTR_LESS_THAN;
    });
}

}  // namespace qm::platform
