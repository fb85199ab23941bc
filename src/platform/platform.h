#pragma once
// The one platform object through which the programs reach the operating system. main()
// installs the machine it runs on; a test installs a fresh simulated machine of its own.

#include <memory>

#include "platform/clock.h"
#include "platform/code_page.h"
#include "platform/collation.h"
#include "platform/devices.h"
#include "platform/dialogs.h"
#include "platform/drives.h"
#include "platform/environment.h"
#include "platform/event_log.h"
#include "platform/files.h"
#include "platform/libraries.h"
#include "platform/guids.h"
#include "platform/network.h"
#include "platform/process_list.h"
#include "platform/processes.h"
#include "platform/processor.h"
#include "platform/profile.h"
#include "platform/registry.h"
#include "platform/shell.h"
#include "platform/shell_links.h"
#include "platform/spooler.h"
#include "platform/system.h"
#include "platform/types.h"
#include "platform/versions.h"
#include "platform/wmi.h"

namespace qm::platform {

class Platform {
public:
    virtual ~Platform() = default;
    virtual FilesService& Files() = 0;
    virtual DrivesService& Drives() = 0;
    virtual ProfileService& Profile() = 0;
    virtual SystemService& System() = 0;
    virtual EnvironmentService& Environment() = 0;
    virtual ClockService& Clock() = 0;
    virtual GuidsService& Guids() = 0;
    virtual CodePageService& CodePage() = 0;
    virtual RegistryService& Registry() = 0;
    virtual DialogsService& Dialogs() = 0;
    virtual ProcessorService& Processor() = 0;
    virtual DevicesService& Devices() = 0;
    virtual SpoolerService& Spooler() = 0;
    virtual ProcessesService& Processes() = 0;
    virtual VersionsService& Versions() = 0;
    virtual ShellLinksService& ShellLinks() = 0;
    virtual CollationService& Collation() = 0;
    virtual ProcessListService& ProcessList() = 0;
    virtual ShellService& Shell() = 0;
    virtual EventLogService& EventLog() = 0;
    virtual NetworkService& Network() = 0;
    virtual LibrariesService& Libraries() = 0;
    virtual WmiService& Wmi() = 0;
};

// Installs the platform for the whole process (replacing the previous one).
void InstallPlatform(std::shared_ptr<Platform> platform);
// The installed platform; throws std::logic_error when none is.
Platform& CurrentPlatform();

inline FilesService& Files() { return CurrentPlatform().Files(); }
inline DrivesService& Drives() { return CurrentPlatform().Drives(); }
inline ProfileService& Profile() { return CurrentPlatform().Profile(); }
inline SystemService& System() { return CurrentPlatform().System(); }
inline EnvironmentService& Environment() { return CurrentPlatform().Environment(); }
inline ClockService& Clock() { return CurrentPlatform().Clock(); }
inline GuidsService& Guids() { return CurrentPlatform().Guids(); }
inline CodePageService& CodePage() { return CurrentPlatform().CodePage(); }
inline RegistryService& Registry() { return CurrentPlatform().Registry(); }
inline DialogsService& Dialogs() { return CurrentPlatform().Dialogs(); }
inline ProcessorService& Processor() { return CurrentPlatform().Processor(); }
inline DevicesService& Devices() { return CurrentPlatform().Devices(); }
inline SpoolerService& Spooler() { return CurrentPlatform().Spooler(); }
inline ProcessesService& Processes() { return CurrentPlatform().Processes(); }
inline VersionsService& Versions() { return CurrentPlatform().Versions(); }
inline ShellLinksService& ShellLinks() { return CurrentPlatform().ShellLinks(); }
inline CollationService& Collation() { return CurrentPlatform().Collation(); }
inline ProcessListService& ProcessList() { return CurrentPlatform().ProcessList(); }
inline ShellService& Shell() { return CurrentPlatform().Shell(); }
inline EventLogService& EventLog() { return CurrentPlatform().EventLog(); }
inline NetworkService& Network() { return CurrentPlatform().Network(); }
inline LibrariesService& Libraries() { return CurrentPlatform().Libraries(); }
inline WmiService& Wmi() { return CurrentPlatform().Wmi(); }

// GetLastError and SetLastError: one value per thread.
DWORD GetLastError();
void SetLastError(DWORD error);

}  // namespace qm::platform
