#pragma once
// The print spooler's printer list, after EnumPrinters.

#include <string>
#include <vector>

#include "platform/types.h"

namespace qm::platform {

inline constexpr DWORD PRINTER_ENUM_LOCAL = 0x2;
inline constexpr DWORD PRINTER_ENUM_CONNECTIONS = 0x4;

// The fields of PRINTER_INFO_2; level 4 fills the printer and server names, level 5 the
// printer name and the port list (comma-separated).
struct PrinterInfo {
    std::string serverName;
    std::string printerName;
    std::string shareName;
    std::string portName;
    std::string driverName;
    std::string comment;
    std::string location;
    std::string printProcessor;
    std::string datatype;
    std::string parameters;
    DWORD attributes = 0;
};

class SpoolerService {
public:
    virtual ~SpoolerService() = default;
    // EnumPrinters at level 2, 4 or 5 with a buffer of bufferSize bytes: needed is set to the
    // bytes the list takes; when that exceeds the buffer, false with ERROR_INSUFFICIENT_BUFFER,
    // else the printers. A size query passes 0.
    virtual bool EnumPrinters(DWORD flags, DWORD level, DWORD bufferSize, DWORD& needed,
                              std::vector<PrinterInfo>& printers) = 0;
};

}  // namespace qm::platform
