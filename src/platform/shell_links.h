#pragma once
// Shell links (".lnk" shortcut files), after the shell-link object's ANSI interface
// (IShellLinkA with IPersistFile).

#include <memory>
#include <string>
#include <string_view>

#include "platform/types.h"

namespace qm::platform {

inline constexpr DWORD SLGP_SHORTPATH = 0x1;
inline constexpr DWORD SLGP_UNCPRIORITY = 0x2;
inline constexpr DWORD SLGP_RAWPATH = 0x4;

class ShellLink {
public:
    virtual ~ShellLink() = default;  // Release
    // IPersistFile::Load in read mode, of a path in UTF-16.
    virtual bool Load(std::u16string_view path) = 0;
    // IShellLinkA::GetPath into a buffer of bufferSize characters. SLGP_UNCPRIORITY gives the
    // network form (\\server\share\...) of a link that has one, else the local path;
    // SLGP_SHORTPATH the target's short (8.3) form.
    virtual bool GetPath(std::string& path, int bufferSize, DWORD flags) = 0;
    virtual bool GetDescription(std::string& text, int bufferSize) = 0;
    virtual bool GetArguments(std::string& text, int bufferSize) = 0;
    virtual bool GetWorkingDirectory(std::string& text, int bufferSize) = 0;
};

class ShellLinksService {
public:
    virtual ~ShellLinksService() = default;
    // CoCreateInstance of the shell-link object with IShellLinkA and IPersistFile: null when
    // it cannot be made.
    virtual std::unique_ptr<ShellLink> CreateShellLink() = 0;
};

}  // namespace qm::platform
