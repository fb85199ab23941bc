#include "platform/sim/sim_spooler.h"

#include "platform/platform.h"
#include "platform/text.h"

namespace qm::sim {

using namespace qm::platform;

namespace {

// The bytes a printer takes in the list: the fixed structure and its strings.
DWORD SizeAtLevel(const PrinterInfo& p, DWORD level) {
    auto text = [](const std::string& s) { return static_cast<DWORD>(s.size() + 1); };
    switch (level) {
        case 2:
            return 84 + text(p.serverName) + text(p.printerName) + text(p.shareName) + text(p.portName) +
                   text(p.driverName) + text(p.comment) + text(p.location) + text(p.printProcessor) +
                   text(p.datatype) + text(p.parameters);
        case 4: return 12 + text(p.printerName) + text(p.serverName);
        default: return 20 + text(p.printerName) + text(p.portName);
    }
}

PrinterInfo AtLevel(const PrinterInfo& p, DWORD level) {
    if (level == 2) return p;
    PrinterInfo r;
    r.printerName = p.printerName;
    r.attributes = p.attributes;
    if (level == 4) r.serverName = p.serverName;
    else r.portName = p.portName;
    return r;
}

}  // namespace

bool SimSpooler::EnumPrinters(DWORD flags, DWORD level, DWORD bufferSize, DWORD& needed,
                              std::vector<PrinterInfo>& printers) {
    printers.clear();
    needed = 0;
    if (state_.Fails("EnumPrinters", "level" + std::to_string(level), false)) return false;
    if (level != 2 && level != 4 && level != 5) {
        SetLastError(ERROR_INVALID_LEVEL);
        return false;
    }
    std::vector<PrinterInfo> listed;
    for (const PrinterConfig& p : state_.Config().printers) {
        bool wanted = p.connection ? (flags & PRINTER_ENUM_CONNECTIONS) != 0 : (flags & PRINTER_ENUM_LOCAL) != 0;
        if (!wanted) continue;
        needed += SizeAtLevel(p.info, level);
        listed.push_back(AtLevel(p.info, level));
    }
    if (needed > bufferSize) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return false;
    }
    printers = std::move(listed);
    return true;
}

}  // namespace qm::sim
