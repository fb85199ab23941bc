#pragma once
// Starting an outside program hidden and waiting for it, and the call of the BIOS program
// that appends identification records to the hardware result file.

#include <string_view>

#include "platform/types.h"

namespace qm::core {

inline constexpr std::size_t kMaxCommandLine = 512;

// The program's exit code; 259 when the time-out ended the wait (the program goes on); -1
// when it was not started, a command line longer than 512 characters included.
int RunHidden(std::string_view commandLine, platform::WORD showMode, platform::DWORD creationFlags,
              unsigned timeoutSeconds);
// Runs QMBios.exe from the agent folder on the local hardware result file.
void LaunchBiosHelper();
// The command line LaunchBiosHelper starts, for the result file's short path.
std::string BiosHelperCommandLine(std::string_view shortResultPath);

}  // namespace qm::core
