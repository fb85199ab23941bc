#pragma once
// The command interpreter's stand-in: what "/C" makes of the rest of its command line.

#include <string>
#include <string_view>
#include <vector>

namespace qm::apps {

// The commands that "/C" runs, as the interpreter reads them: when the text after "/C"
// begins with a double quote, that quote and the last one go; then "&", "&&", "||" and "|"
// outside double quotes separate commands. Empty when there is no "/C".
std::vector<std::string> InterpreterCommands(std::string_view commandLine);

}  // namespace qm::apps
