#pragma once
// The "Printers" section: the spooler's printers and those only the NT printer registry knows.

#include <string>
#include <string_view>

namespace qm::collectors {

void PrintersInfo();
// The printers of the NT printer registry that the list does not hold yet, numbered on from n.
void RegistryPrintersInfo(int n);
// The next item of a comma-separated list, leading blanks skipped; the cursor moves past it.
std::string NextPortToken(std::string_view& cursor);

}  // namespace qm::collectors
