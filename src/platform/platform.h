#pragma once
// The one platform object through which the programs reach the operating system. main()
// installs the machine it runs on; a test installs a fresh simulated machine of its own.

#include <memory>

#include "platform/clock.h"
#include "platform/codepage.h"
#include "platform/devices.h"
#include "platform/dialogs.h"
#include "platform/drives.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "platform/guid.h"
#include "platform/processes.h"
#include "platform/processor.h"
#include "platform/profile.h"
#include "platform/registry.h"
#include "platform/shell_links.h"
#include "platform/spooler.h"
#include "platform/system.h"
#include "platform/types.h"
#include "platform/version_info.h"

namespace qm::platform {

class Platform {
public:
    virtual ~Platform() = default;
    virtual FileSystem& Files() = 0;
    virtual Drives& Volumes() = 0;
    virtual Profile& Ini() = 0;
    virtual SystemInfo& System() = 0;
    virtual Environment& Env() = 0;
    virtual Clock& Time() = 0;
    virtual GuidService& Guids() = 0;
    virtual CodePage& Ansi() = 0;
    virtual Registry& Reg() = 0;
    virtual Dialogs& Windows() = 0;
    virtual Processor& Cpu() = 0;
    virtual Devices& DeviceIo() = 0;
    virtual Spooler& Printers() = 0;
    virtual Processes& Programs() = 0;
    virtual VersionInfo& Versions() = 0;
    virtual ShellLinks& Links() = 0;
};

// Installs the platform for the whole process (replacing the previous one).
void InstallPlatform(std::shared_ptr<Platform> platform);
// The installed platform; throws std::logic_error when none is.
Platform& CurrentPlatform();

inline FileSystem& Files() { return CurrentPlatform().Files(); }
inline Drives& Volumes() { return CurrentPlatform().Volumes(); }
inline Profile& Ini() { return CurrentPlatform().Ini(); }
inline SystemInfo& System() { return CurrentPlatform().System(); }
inline Environment& Env() { return CurrentPlatform().Env(); }
inline Clock& Time() { return CurrentPlatform().Time(); }
inline GuidService& Guids() { return CurrentPlatform().Guids(); }
inline CodePage& Ansi() { return CurrentPlatform().Ansi(); }
inline Registry& Reg() { return CurrentPlatform().Reg(); }
inline Dialogs& Windows() { return CurrentPlatform().Windows(); }
inline Processor& Cpu() { return CurrentPlatform().Cpu(); }
inline Devices& DeviceIo() { return CurrentPlatform().DeviceIo(); }
inline Spooler& Printers() { return CurrentPlatform().Printers(); }
inline Processes& Programs() { return CurrentPlatform().Programs(); }
inline VersionInfo& Versions() { return CurrentPlatform().Versions(); }
inline ShellLinks& Links() { return CurrentPlatform().Links(); }

// GetLastError and SetLastError: one value per thread.
DWORD GetLastError();
void SetLastError(DWORD error);

}  // namespace qm::platform
