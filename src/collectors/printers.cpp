#include "collectors/printers.h"

#include <vector>

#include "collectors/collector_guard.h"
#include "collectors/registry_values.h"
#include "collectors/windows_version.h"
#include "core/result_list.h"
#include "core/sections.h"
#include "core/trace_log.h"
#include "platform/platform.h"
#include "platform/registry_accessor.h"

namespace qm::collectors {

using namespace qm::platform;
using core::AddResultLine;
using core::QuoteField;
using core::QuoteFields;
using core::sections::kPrinters;

namespace {

const char* const kPrintersKey = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\Printers\\";
const char* const kLanManServers =
    "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\Providers\\LanMan Print Services\\Servers";

}  // namespace

std::string NextPortToken(std::string_view& cursor) {
    while (!cursor.empty() && cursor.front() == ' ') cursor.remove_prefix(1);
    std::size_t comma = cursor.find(',');
    std::string item(cursor.substr(0, comma));
    cursor = comma == std::string_view::npos ? std::string_view() : cursor.substr(comma + 1);
    return item;
}

void PrintersInfo() {
    LogAndGoOn([] {
        bool nt = WindowsVersion().dwPlatformId == VER_PLATFORM_WIN32_NT;
        DWORD flags = nt ? PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS : PRINTER_ENUM_LOCAL;
        DWORD needed = 0;
        std::vector<PrinterInfo> printers;
        Spooler().EnumPrinters(flags, 2, 0, needed, printers);
        if (needed == 0) return;
        DWORD buffer = needed;
        DWORD level = 2;
        if (!Spooler().EnumPrinters(flags, level, buffer, needed, printers)) {
            level = nt ? 4 : 5;
            if (!Spooler().EnumPrinters(flags, level, buffer, needed, printers)) return;
        }
        core::WriteLog(std::to_string(printers.size()) + " found");
        core::WriteLog("Level = " + std::to_string(level));
        int n = 0;
        for (const PrinterInfo& p : printers) {
            std::string key = std::to_string(n);
            if (level == 2) {
                AddResultLine(kPrinters, key,
                              QuoteFields({p.serverName, p.printerName, p.shareName, p.portName, p.driverName,
                                           p.location, p.printProcessor, p.datatype, p.parameters}));
                core::WriteLog(QuoteFields({p.serverName, p.printerName, p.shareName, p.portName, p.driverName,
                                            p.location, p.printProcessor}));
            } else if (level == 4) {
                AddResultLine(kPrinters, key, QuoteFields({p.serverName, p.printerName}));
                core::WriteLog(QuoteFields({p.serverName, p.printerName}));
            } else {
                std::string_view cursor = p.portName;
                for (std::string port = NextPortToken(cursor); !port.empty(); port = NextPortToken(cursor)) {
                    AddResultLine(kPrinters, key, QuoteFields({port, p.printerName}));
                    core::WriteLog(QuoteFields({port, p.printerName}));
                }
            }
            ++n;
        }
        RegistryPrintersInfo(static_cast<int>(printers.size()));
    });
}

void RegistryPrintersInfo(int n) {
    std::vector<std::string> folders{kPrintersKey};
    {
        RegistryAccessor servers(HKEY_LOCAL_MACHINE);
        if (servers.OpenKeyReadOnly(kLanManServers))
            for (const std::string& server : servers.GetKeyNames()) {
                std::string folder = std::string(kLanManServers) + "\\" + server + "\\Printers\\";
                RegistryAccessor probe(HKEY_LOCAL_MACHINE);
                if (probe.OpenKeyReadOnly(folder)) folders.push_back(folder);
            }
    }
    for (const std::string& folder : folders) {
        // The spooler lists the local printers by their names; a print server's printer of the
        // same name is another printer.
        const bool local = folder == kPrintersKey;
        RegistryAccessor list(HKEY_LOCAL_MACHINE);
        if (!list.OpenKeyReadOnly(folder)) continue;
        for (const std::string& name : list.GetKeyNames()) {
            RegistryAccessor printer(HKEY_LOCAL_MACHINE);
            if (!printer.OpenKeyReadOnly(folder + name)) continue;
            std::string share = ReadRegText("Share Name", printer), port = ReadRegText("Port", printer),
                        location = ReadRegText("Location", printer), processor = ReadRegText("Print Processor", printer),
                        datatype = ReadRegText("Datatype", printer);
            printer.CloseKey();
            std::string server, unc, driver;
            RegistryAccessor ds(HKEY_LOCAL_MACHINE);
            if (ds.OpenKeyReadOnly(folder + name + "\\DsSpooler")) {
                server = ReadRegText("serverName", ds);
                unc = ReadRegText("uNCName", ds);
                driver = ReadRegText("driverName", ds);
            }
            bool listed = false;
            std::string quotedName = QuoteField(name);
            quotedName = quotedName.substr(1, quotedName.size() - 2);
            for (const std::string& line : core::LastResultLines(static_cast<std::size_t>(n) + 1)) {
                if (!unc.empty() && !driver.empty() &&
                    (line.find(unc) != std::string::npos || line.find(driver) != std::string::npos))
                    listed = true;
                // Whatever its directory data, a local printer is listed already when one of
                // these records names it in its second value field (a spooler record's printer
                // name).
                std::vector<std::string> fields = core::ResultFields(line);
                if (local && fields.size() >= 4 && fields[0] == kPrinters && fields[3] == quotedName) listed = true;
            }
            if (listed) continue;
            AddResultLine(kPrinters, std::to_string(n),
                          QuoteFields({server, unc, share, port, driver, location, processor, datatype, ""}));
            ++n;
        }
    }
}

}  // namespace qm::collectors
