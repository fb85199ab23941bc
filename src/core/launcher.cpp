#include "core/launcher.h"

#include <string>

#include "core/process_state.h"
#include "platform/platform.h"

namespace qm::core {

using namespace qm::platform;

int RunHidden(std::string_view commandLine, WORD showMode, DWORD creationFlags, unsigned timeoutSeconds) {
    // A command line that does not fit is refused: a cut one would start something else.
    if (commandLine.size() > kMaxCommandLine) return -1;
    // A monotonic clock: a change of the wall clock must neither end the wait early nor stretch it.
    std::uint64_t start = Clock().GetTickCount64();
    auto process = Processes().CreateProcess(commandLine, showMode, creationFlags | CREATE_NEW_CONSOLE);
    if (!process) return -1;
    DWORD result = STILL_ACTIVE;
    do {
        Clock().Sleep(250);
        process->GetExitCodeProcess(result);
    } while (Clock().GetTickCount64() - start <= static_cast<std::uint64_t>(timeoutSeconds) * 1000 && result == STILL_ACTIVE);
    return static_cast<int>(result);
}

std::string BiosHelperCommandLine(std::string_view shortResultPath) {
    // The program takes a slash directly followed by the path, unquoted.
    std::string direct = "\"" + AgentFolder() + "QMBios.exe\" /" + std::string(shortResultPath);
    // Inside the program's quotes only "%" (expanded whatever the quotes) and a quote (which
    // would end them) are special to the interpreter; the argument stands outside quotes, where
    // every operator is. Such lines go to the program directly.
    bool safeForInterpreter = AgentFolder().find_first_of("%\"") == std::string::npos &&
                              shortResultPath.find_first_of("%\"&|<>^()") == std::string_view::npos;
    std::string interpreter = safeForInterpreter ? ReadEnvironmentVariable(Environment(), "COMSPEC") : std::string();
    if (interpreter.empty()) return direct;
    // The outer pair of quotes is what the interpreter takes away, leaving the line as the
    // program expects it.
    return interpreter + " /C \"" + direct + "\"";
}

void LaunchBiosHelper() {
    std::string shortPath;
    if (Files().GetShortPathName(State().resultFiles.localHardware, shortPath) == 0) shortPath.clear();
    RunHidden(BiosHelperCommandLine(shortPath), SW_HIDE, HIGH_PRIORITY_CLASS, 6);
    Clock().Sleep(500);
}

}  // namespace qm::core
