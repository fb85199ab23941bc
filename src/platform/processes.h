#pragma once
// Processes, the running program's own path and command line, and named mutexes.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/types.h"

namespace qm::platform {

inline constexpr DWORD STILL_ACTIVE = 259;
inline constexpr DWORD CREATE_NEW_CONSOLE = 0x10;
inline constexpr DWORD NORMAL_PRIORITY_CLASS = 0x20;
inline constexpr DWORD HIGH_PRIORITY_CLASS = 0x80;
inline constexpr WORD SW_HIDE = 0;
inline constexpr WORD SW_SHOWMAXIMIZED = 3;
inline constexpr DWORD WAIT_OBJECT_0 = 0;
inline constexpr DWORD WAIT_TIMEOUT = 258;
inline constexpr DWORD INFINITE = 0xFFFFFFFFu;

// A started process; destroying it closes its process and thread handles (the process goes on).
class Process {
public:
    virtual ~Process() = default;
    // GetExitCodeProcess: STILL_ACTIVE while it runs.
    virtual bool GetExitCodeProcess(DWORD& exitCode) = 0;
    // WaitForSingleObject on the process: WAIT_OBJECT_0 when it ended, WAIT_TIMEOUT otherwise.
    virtual DWORD WaitForSingleObject(DWORD milliseconds) = 0;
};

// A named mutex; destroying it stands for CloseHandle.
class MutexHandle {
public:
    virtual ~MutexHandle() = default;
};

class ProcessesService {
public:
    virtual ~ProcessesService() = default;
    // CreateProcess with no separate application name: the program is the command line's
    // first item; the caller's environment and current folder. Null with the last error when
    // it cannot start.
    virtual std::unique_ptr<Process> CreateProcess(std::string_view commandLine, WORD showWindow,
                                                   DWORD creationFlags) = 0;
    // GetModuleFileName of the running program.
    virtual std::string GetModuleFileName() = 0;
    // GetCommandLine of the running program.
    virtual std::string GetCommandLine() = 0;
    // CreateMutex owned by the caller: a handle, with the last error ERROR_ALREADY_EXISTS when
    // a mutex of that name exists already (in any process); null when it cannot be made.
    virtual std::unique_ptr<MutexHandle> CreateMutex(std::string_view name) = 0;
};

// A program's parameters as the programs split their command line: blanks separate, double
// quotes group (and are dropped). Parameter 0 is the program.
std::vector<std::string> SplitCommandLine(std::string_view commandLine);

}  // namespace qm::platform
