#pragma once
// Windows wildcard matching of file names, on names already upper-cased by the caller:
//  "*" matches any run of characters, but a "*" right before a "." stops at the name's last dot;
//  "?" matches one character other than ".", or nothing at the end of the name or before a ".";
//  "." matches a dot, or the end of a name that has no more characters when only wildcards
//  follow it (so "*.*" matches every name and "*." the names without an extension).

#include <string_view>

namespace qm::sim {

bool HasWildcards(std::string_view pattern);
bool MatchWildcard(std::string_view pattern, std::string_view name);

}  // namespace qm::sim
