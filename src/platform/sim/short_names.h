#pragma once
// 8.3 short names of a folder's entries, made the way Windows makes them: a name that is
// itself a valid 8.3 name has none; any other gets the first six usable characters of its
// base, "~" and a number, and the first three of its extension, in upper case. Numbers are
// handed out in the order of the upper-cased long names, so the same folder always gives the
// same short names.

#include <string>
#include <string_view>
#include <vector>

#include "platform/sim/code_page_table.h"

namespace qm::sim {

bool IsValidShortName(std::string_view name);

// Short names for the given entry names (any order); an empty string where the name is
// itself a valid 8.3 name.
std::vector<std::string> AssignShortNames(const std::vector<std::string>& names, const CodePageTable& cp);

}  // namespace qm::sim
