#pragma once
// The running processes: the process-status calls of the NT family (EnumProcesses,
// OpenProcess, EnumProcessModules, GetModuleFileNameExA) and the toolhelp snapshot of the 9x
// family (and of Windows 2000 on).

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/types.h"

namespace qm::platform {

using HMODULE = std::uintptr_t;

inline constexpr DWORD PROCESS_VM_READ = 0x0010;
inline constexpr DWORD PROCESS_QUERY_INFORMATION = 0x0400;
inline constexpr DWORD TH32CS_SNAPPROCESS = 0x00000002;

// PROCESSENTRY32: dwSize tells the structure's size (296 bytes in the ANSI form).
struct PROCESSENTRY32 {
    DWORD dwSize = 296;
    DWORD th32ProcessID = 0;
    DWORD cntThreads = 0;
    DWORD th32ParentProcessID = 0;
    std::string szExeFile;  // at most 259 characters
};

// An open process (OpenProcess); destroying it stands for CloseHandle.
class ProcessHandle {
public:
    virtual ~ProcessHandle() = default;
    // EnumProcessModules: the module handles that fit the buffer's size in bytes (four each),
    // and the bytes all of them need.
    virtual bool EnumProcessModules(std::vector<HMODULE>& modules, DWORD bufferBytes, DWORD& bytesNeeded) = 0;
    // GetModuleFileNameExA: the module's path cut to size - 1 characters; its length, 0 with
    // the last error on failure.
    virtual DWORD GetModuleFileNameEx(HMODULE module, std::string& fileName, DWORD size) = 0;
};

// A toolhelp snapshot (CreateToolhelp32Snapshot); destroying it stands for CloseHandle.
class ToolhelpSnapshot {
public:
    virtual ~ToolhelpSnapshot() = default;
    // Process32First and Process32Next: false with ERROR_NO_MORE_FILES after the last entry,
    // with ERROR_BAD_LENGTH when the entry's size is not the structure's.
    virtual bool Process32First(PROCESSENTRY32& entry) = 0;
    virtual bool Process32Next(PROCESSENTRY32& entry) = 0;
};

class ProcessListService {
public:
    virtual ~ProcessListService() = default;
    // EnumProcesses: the identifiers that fit the buffer's size in bytes (four each) and the
    // bytes returned; a full buffer may mean that more were left out. False with
    // ERROR_CALL_NOT_IMPLEMENTED where the process-status library is missing (9x).
    virtual bool EnumProcesses(std::vector<DWORD>& processIds, DWORD bufferBytes, DWORD& bytesReturned) = 0;
    // OpenProcess: null with the last error (5 access denied, 87 no such process).
    virtual std::unique_ptr<ProcessHandle> OpenProcess(DWORD access, bool inheritHandle, DWORD processId) = 0;
    // CreateToolhelp32Snapshot: null with the last error where the toolhelp calls are missing
    // (NT 4).
    virtual std::unique_ptr<ToolhelpSnapshot> CreateToolhelp32Snapshot(DWORD flags, DWORD processId) = 0;
};

}  // namespace qm::platform
