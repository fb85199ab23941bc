#pragma once
// Comparison of texts in a locale's collation order, after CompareString (ANSI form).

#include <string>
#include <string_view>
#include <vector>

#include "platform/system.h"
#include "platform/types.h"

namespace qm::platform {

inline constexpr DWORD NORM_IGNORECASE = 0x00000001;

inline constexpr int CSTR_LESS_THAN = 1;
inline constexpr int CSTR_EQUAL = 2;
inline constexpr int CSTR_GREATER_THAN = 3;

class CollationService {
public:
    virtual ~CollationService() = default;
    // CompareString of two texts in the ANSI code page, by the word sort of the locale
    // (LOCALE_USER_DEFAULT, LOCALE_SYSTEM_DEFAULT or a locale identifier): CSTR_LESS_THAN,
    // CSTR_EQUAL or CSTR_GREATER_THAN; 0 with the last error (87 for flags or a locale it
    // does not know).
    virtual int CompareString(LCID locale, DWORD flags, std::string_view first, std::string_view second) = 0;
};

// Sorts the texts ascending by the user's locale with letter case ignored; texts that compare
// equal keep their order.
void SortIgnoringCase(CollationService& collation, std::vector<std::string>& texts);

}  // namespace qm::platform
