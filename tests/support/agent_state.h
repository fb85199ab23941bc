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
// The machine identifier the tests that name result files give the agent.
inline constexpr const char* kTestMachineId = "0F8FAD5BD9CB469FA16570867728950E";

void StartAgent(const std::vector<std::string>& switches = {}, const std::string& program = kAgentPath);
// The same with the trace log open, as "/LOG" has it from the start-up.
void StartAgentWithLog(const std::vector<std::string>& switches = {});
// The agent's start-up as far as its result files: started (with the trace log open when
// asked), the work folder found, the machine identifier set and the result files named by it.
void StartWithResultNames(const std::vector<std::string>& switches = {}, bool log = false,
                          const std::string& machineId = kTestMachineId);

// The records a collector adds to a fresh result list.
std::vector<std::string> CollectRecords(void (*collector)());
// A result line of one value field, the fields already as the quoting leaves them.
std::string RecordLine(const std::string& section, const std::string& key, const std::string& value);

// The names of the files (not the folders) of a folder with a trailing backslash, in the
// platform's order.
std::vector<std::string> FileNamesIn(const std::string& folder);

// The texts of the error list's lines, without their date and asset.
std::vector<std::string> ErrorTexts();

// The texts of a trace log's lines, without their times.
std::vector<std::string> LogTexts(const std::string& log);
// Those of them that begin with the prefix, in order.
std::vector<std::string> LogTextsStartingWith(const std::string& log, const std::string& prefix);
// What the trace log says besides the records it mirrors (its "RES : " lines), in order.
std::vector<std::string> LogTextsBesideRecords(const std::string& log);

}  // namespace qm::test
