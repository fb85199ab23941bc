#pragma once
// Program libraries loaded at run time and called through their exports, after LoadLibrary
// (ANSI form), GetProcAddress and FreeLibrary.

#include <memory>
#include <string_view>

#include "platform/types.h"

namespace qm::platform {

// An exported function as GetProcAddress hands it back; the caller casts it to the function's
// own type (GetProc below) before calling it.
using FARPROC = void (*)();

// A loaded library; destroying it frees it, as FreeLibrary does, when that was not called.
// Its functions must not be called once it is freed.
class LibraryModule {
public:
    virtual ~LibraryModule() = default;
    // GetProcAddress by name (exact case): null with ERROR_PROC_NOT_FOUND (127) when the
    // library exports no function of that name.
    virtual FARPROC GetProcAddress(std::string_view name) = 0;
    // FreeLibrary.
    virtual bool FreeLibrary() = 0;
};

class LibrariesService {
public:
    virtual ~LibrariesService() = default;
    // LoadLibrary of a library file: null with the last error: ERROR_MOD_NOT_FOUND (126) when
    // the file or its folder does not exist, ERROR_ACCESS_DENIED (5) for a folder,
    // ERROR_BAD_EXE_FORMAT (193) for a file that is no library this machine can run.
    virtual std::unique_ptr<LibraryModule> LoadLibrary(std::string_view path) = 0;
};

// GetProcAddress with the export's type; null as GetProcAddress gives it.
template <typename Function>
Function* GetProc(LibraryModule& module, std::string_view name) {
    return reinterpret_cast<Function*>(module.GetProcAddress(name));
}

}  // namespace qm::platform
