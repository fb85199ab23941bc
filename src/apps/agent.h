#pragma once
// The agent's run: one start of the program, from the single-instance check to the one exit
// path that closes the trace log and saves the error list.

#include <string>
#include <vector>

namespace qm::agent {

// False when another agent of the same program file name runs: this start then ends at once.
bool CheckPreviousInstance();
// One inventory run; false when the hardware result failed its check.
bool RunInventory();
void LogStartInfo();
void SaveAgentVersion();
void SetApplicationIcon(const std::string& iconFile);
// The whole start, parameter 0 being the program path; the exit code (0 on every orderly way out).
int AgentMain(const std::vector<std::string>& parameters);

inline constexpr const char* kSentText = "Your inventory report will reach you within a few minutes.";
inline constexpr const char* kSupportAddress = "inventory-support@quarmelin.example";
std::string NotSentText();

}  // namespace qm::agent
