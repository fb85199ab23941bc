#pragma once
// How the workstation is configured: the Office product identifier ("Office"), the services
// that start automatically ("Services"), the programs started at logon ("Run"), the boot menu
// ("Boot"), the agent's own SMTP settings ("SMTP Connection") and the hotfixes ("HotFix").

#include <string>
#include <string_view>

namespace qm::collectors {

// "Office"/"ProductId": one per Office version, or the first version's "ProductID" key alone.
void OfficeProductIdInfo();
// "Services": the automatic services by display name and program, on the NT family only.
void ServiceNTInfo();
// The program of an upper-case command: the quoted text when it begins with a quote, else the
// text up to and including its first ".EXE", else ".COM", ".DLL" or ".SYS", else all of it.
std::string ExtractServiceExe(std::string_view command);
// "Run": the programs of both hives' Run keys with their company and product name.
void RunInfo();
// "Boot": the time-out, default entry and menu entries of c:\boot.ini.
void BootIniInfo();
// "SMTP Connection": the host, user and port of the settings file, when it names a host.
void SmtpSettingsInfo();
// "HotFix": the installed hotfixes with their descriptions.
void HotFixInfo();

}  // namespace qm::collectors
