#pragma once
// Where the agent finds its settings file, its work folder and the folders beside it, and a
// few file-system helpers used across the agent.

#include <cstdint>
#include <string>
#include <string_view>

namespace qm::core {

// The program path of the agent's service entry ("ImagePath" of the QmagentSrv service, the
// path inside its first pair of quotes when quoted), else the agent program path.
std::string GetServiceImagePath();
// The folder of GetServiceImagePath, with a trailing backslash.
std::string GetServiceFolder();
// The folder that the service's INI file names ("SERVER"/"PATH"), else the service folder,
// else the agent folder; with a trailing backslash.
std::string GetServerPath();
// QMAgent.lic in the service folder when it exists there, else in the server path; the first
// answer is kept for the process. A service INI file that cannot be read counts as a missing
// one, with a trace-log line.
std::string FindSettingsFile();
// The settings file every reader opens: QMAgent.lic beside the agent, else FindSettingsFile.
std::string GetSettingsFileName();

// Sets the work folder (the Windows folder, else "C:\", whichever exists and takes a test
// file, else the temporary folder) and the path of Chk_ID in it.
void InitWorkFolder();
bool FolderExists(std::string_view path);
// Makes the folder and its missing parents; throws for an empty path.
bool ForceFolders(std::string_view path);
// Whether a test file can be written to the folder (and is deleted again).
bool IsFolderWritable(std::string_view folder);
// The system, Windows and temporary folders with a trailing backslash; empty on failure.
std::string GetSystemFolder();
std::string GetWindowsFolder();
std::string GetTempFolder();

// The folders beside the agent, each with a trailing backslash. Results\ and Trans\ are made
// when missing.
std::string GetResultsFolder();
std::string GetTransFolder();
std::string GetUsageFolder();
std::string GetSnmpFolder();
std::string GetPdaFolder();

// The size of the first file matching the path, its low 32 bits as a signed number; 0 when
// there is none.
std::int32_t GetFileSizeByName(std::string_view path);
// Every run of backslashes collapsed to one.
std::string RemoveDoubleBackslash(std::string_view path);
// Keeps the control-panel applet files in the system folder as the settings file asks.
void UpdateControlPanelApplet();

// Defaults that stand where the settings file says nothing.
inline constexpr const char* kDefaultProductName = "QMAgent Inventory";

}  // namespace qm::core
