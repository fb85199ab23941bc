#pragma once
// The agent's process state for a test: a fresh state whose command line is the agent's
// program path on the test machine followed by the given switches.

#include <string>
#include <vector>

namespace qm::test {

inline constexpr const char* kAgentPath = "C:\\Program Files\\Quarmelin\\QMAgent.exe";
inline const std::string kAgentFolder = "C:\\Program Files\\Quarmelin\\";
// The settings file beside the agent.
inline const std::string kAgentSettings = kAgentFolder + "QMAgent.lic";
// The trace log and the identification file in the work folder of the default test machine.
inline constexpr const char* kTraceLog = "C:\\WINDOWS\\Gantrovelminds.log";
inline constexpr const char* kChkId = "C:\\WINDOWS\\Chk_ID";

void StartAgent(const std::vector<std::string>& switches = {}, const std::string& program = kAgentPath);
// The same with the trace log open, as "/LOG" has it from the start-up.
void StartAgentWithLog(const std::vector<std::string>& switches = {});
// The names of the files (not the folders) of a folder with a trailing backslash, in the
// platform's order.
std::vector<std::string> FileNamesIn(const std::string& folder);

}  // namespace qm::test
