#pragma once
// The shell's handling of files: ShellExecute opens a file with the program that its file
// type is associated with.

#include <cstdint>
#include <string_view>

#include "platform/types.h"

namespace qm::platform {

using HINSTANCE = std::uintptr_t;

// ShellExecute's answers of 32 and below.
inline constexpr HINSTANCE SE_ERR_FNF = 2;
inline constexpr HINSTANCE SE_ERR_PNF = 3;
inline constexpr HINSTANCE SE_ERR_ACCESSDENIED = 5;
inline constexpr HINSTANCE SE_ERR_NOASSOC = 31;

class ShellService {
public:
    virtual ~ShellService() = default;
    // ShellExecute with the application's window as the owner: the verb ("open") applied to
    // the file by the command that HKEY_CLASSES_ROOT associates with its extension, shown as
    // the show mode says (SW_SHOWMAXIMIZED, ...). More than 32 when the program was started;
    // else SE_ERR_FNF, SE_ERR_PNF, SE_ERR_ACCESSDENIED or SE_ERR_NOASSOC.
    virtual HINSTANCE ShellExecute(std::string_view verb, std::string_view file, std::string_view parameters,
                                   std::string_view directory, int showCommand) = 0;
};

}  // namespace qm::platform
