#include "collectors/video_monitor.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>
#include <vector>

#include "collectors/collector_guard.h"
#include "collectors/registry_values.h"
#include "collectors/windows_version.h"
#include "core/date_time.h"
#include "core/result_list.h"
#include "core/sections.h"
#include "core/trace_log.h"
#include "platform/platform.h"
#include "platform/registry_accessor.h"
#include "platform/text.h"

namespace qm::collectors {

using namespace qm::platform;
using core::sections::kMonitor, core::sections::kVideo;

namespace {

void AddMonitor(const std::string& key, const std::string& value) { core::AddQuotedResultLine(kMonitor, key, value); }

// The kernel's path of the video driver's key, from its "System" on, as a path below
// HKEY_LOCAL_MACHINE.
std::string DriverKeyPath(const std::string& kernelPath) {
    std::size_t at = kernelPath.find("System");
    return at == std::string::npos ? kernelPath : kernelPath.substr(at);
}

constexpr const char* kAbsentEdid = "Invalid data type for 'EDID': counted as absent";

// The stored EDID of the open key: its first 256 bytes, none when it is absent. Only binary
// data of at least a base block is an EDID; any other value counts as absent.
std::optional<std::vector<std::uint8_t>> ReadEdid(RegistryAccessor& reg) {
    std::optional<DWORD> type = reg.GetDataType("EDID");
    if (!type) return std::nullopt;
    if (*type != REG_BINARY) {
        core::WriteLog(kAbsentEdid);
        return std::nullopt;
    }
    long size = reg.GetDataSize("EDID");
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size > 0 ? size : 0));
    bytes.resize(reg.ReadBinaryData("EDID", bytes.data(), bytes.size()));
    // Less than a base block is no EDID: taken, it would replace a whole one of an earlier
    // monitor with zeros.
    if (bytes.size() < kEdidBaseBlockSize) {
        core::WriteLog(kAbsentEdid);
        return std::nullopt;
    }
    if (bytes.size() > kEdidSize) bytes.resize(kEdidSize);
    return bytes;
}

// One monitor found: it replaces what an earlier one gave unless that one had an EDID and this
// one has none.
void TakeMonitor(MonitorState& monitor, const std::optional<std::string>& name,
                 const std::optional<std::vector<std::uint8_t>>& edid) {
    if (edid) {
        monitor.name = name.value_or("");
        monitor.edid.fill(0);
        std::copy(edid->begin(), edid->end(), monitor.edid.begin());
        monitor.hasEdid = true;
    } else if (!monitor.hasEdid && name) {
        monitor.name = *name;
    }
}

// Bytes 5 to 17 of a descriptor as text: a shorter text ends at its line feed, and what pads
// the field after it (blanks, often a stray byte too) is none of it; a zero ends it as well.
// A control character left inside would reach the result file raw: it reads as a blank.
std::string DescriptorText(std::span<const std::uint8_t, kEdidDescriptorSize> block) {
    std::string text;
    for (std::size_t i = 5; i < block.size() && block[i] != 0 && block[i] != '\n'; ++i)
        text += block[i] < 0x20 ? ' ' : static_cast<char>(block[i]);
    return Trim(text);
}

// A rate of the range limits: its byte, plus 255 where the EDID 1.4 offset flag says so.
std::string RangeText(std::uint8_t minimum, bool minimumOffset, std::uint8_t maximum, bool maximumOffset,
                      const char* unit) {
    return std::to_string(minimum + (minimumOffset ? 255 : 0)) + "-" + std::to_string(maximum + (maximumOffset ? 255 : 0)) +
           unit;
}

std::string GammaText(std::uint8_t byte) {
    char text[16];
    std::snprintf(text, sizeof text, "%.2f", byte / 100.0 + 1.0);
    std::string out = text;
    for (char& c : out)
        if (c == '.') c = core::ProcessFormats().decimalSeparator;
    return out;
}

// The diagonal of the image size in whole inches, rounded up.
std::string VisibleSizeText(std::uint8_t horizontalCm, std::uint8_t verticalCm) {
    double cm = std::sqrt(static_cast<double>(horizontalCm * horizontalCm + verticalCm * verticalCm));
    // The inch sign is blanked and trimmed by the field quoting, so the field holds the number.
    return std::to_string(static_cast<long>(std::ceil(cm / 2.54))) + "\"";
}

}  // namespace

void FindDisplayClassDevice(const std::string& path, std::string& adapter) {
    std::vector<std::string> subkeys;
    {
        RegistryAccessor reg(HKEY_LOCAL_MACHINE);
        if (!reg.OpenKeyReadOnly(path)) return;
        subkeys = reg.GetKeyNames();
        std::optional<std::string> cls = FindRegText("Class", reg);
        if (cls && AsciiUpper(*cls) == "DISPLAY")
            if (std::optional<std::string> desc = FindRegText("DeviceDesc", reg)) adapter = *desc;
    }
    if (!MayDescendBelow(path)) return;
    for (const std::string& name : subkeys) FindDisplayClassDevice(path + "\\" + name, adapter);
}

void VideoInfo() {
    LogAndGoOn([] {
        std::string adapter;
        DWORD platform = WindowsVersion().dwPlatformId;
        if (platform == VER_PLATFORM_WIN32_WINDOWS) {
            FindDisplayClassDevice("ENUM", adapter);
        } else if (platform == VER_PLATFORM_WIN32_NT) {
            std::string driver;
            bool mapped = false;
            {
                RegistryAccessor map(HKEY_LOCAL_MACHINE);
                if (map.OpenKeyReadOnly("HARDWARE\\DEVICEMAP\\VIDEO")) {
                    driver = DriverKeyPath(ReadRegValueAsString("\\Device\\Video0", map));
                    mapped = true;
                }
            }
            if (mapped) {
                RegistryAccessor key(HKEY_LOCAL_MACHINE);
                if (key.OpenKeyReadOnly(driver)) adapter = ReadRegValueAsString("Device Description", key);
            }
            if (adapter.empty()) FindDisplayClassDevice("SYSTEM\\CurrentControlSet\\Enum\\Root", adapter);
        }
        core::AddQuotedResultLine(kVideo, "Video adapter", adapter);
    });
}

void ReadMonitorEdid9x(MonitorState& monitor) {
    const std::string nodes = "CONFIG MANAGER\\ENUM";
    std::vector<std::string> subkeys;
    {
        RegistryAccessor reg(HKEY_DYN_DATA);
        if (!reg.OpenKeyReadOnly(nodes)) return;
        subkeys = reg.GetKeyNames();
    }
    std::optional<std::string> hardwareKey;
    for (const std::string& name : subkeys) {
        RegistryAccessor node(HKEY_DYN_DATA);
        if (!node.OpenKeyReadOnly(nodes + "\\" + name)) continue;
        std::optional<std::string> key = FindRegText("HARDWAREKEY", node);
        if (key && key->compare(0, 8, "MONITOR\\") == 0) {
            hardwareKey = key;
            break;
        }
    }
    if (!hardwareKey) return;
    RegistryAccessor device(HKEY_LOCAL_MACHINE);
    if (!device.OpenKeyReadOnly("ENUM\\" + *hardwareKey)) return;
    std::optional<std::string> name = FindRegText("DEVICEDESC", device);
    TakeMonitor(monitor, name, ReadEdid(device));
}

void ReadMonitorEdidNT(const std::string& path, MonitorState& monitor) {
    std::vector<std::string> subkeys;
    {
        RegistryAccessor reg(HKEY_LOCAL_MACHINE);
        if (!reg.OpenKeyReadOnly(path)) return;
        subkeys = reg.GetKeyNames();
        bool inUse = false;
        for (const std::string& name : subkeys) inUse = inUse || EqualsNoCase(name, "CONTROL");
        if (inUse) {
            // The system keeps "CONTROL" only for a device that is started: a monitor in use.
            std::optional<std::string> name = FindRegText("DEVICEDESC", reg);
            reg.CloseKey();
            std::optional<std::vector<std::uint8_t>> edid;
            RegistryAccessor parameters(HKEY_LOCAL_MACHINE);
            if (parameters.OpenKeyReadOnly(path + "\\DEVICE PARAMETERS")) edid = ReadEdid(parameters);
            TakeMonitor(monitor, name, edid);
            return;
        }
    }
    if (!MayDescendBelow(path)) return;
    for (const std::string& name : subkeys)
        if (!Trim(name).empty()) ReadMonitorEdidNT(path + "\\" + name, monitor);
}

void ParseEdidDescriptor(std::span<const std::uint8_t, kEdidDescriptorSize> block, bool& serialFound) {
    if (block[0] != 0 || block[1] != 0 || block[2] != 0) return;
    switch (block[3]) {
        case 0xFC: AddMonitor("ModelDescr", DescriptorText(block)); break;
        case 0xFD: {
            // Byte 4 holds two flag pairs, vertical in bits 0-1 and horizontal in bits 2-3: the
            // higher bit offsets the maximum, the lower one the minimum, which only counts
            // together with the maximum's (alone it is reserved).
            const unsigned flags = block[4];
            const bool maxVertical = (flags & 0x02) != 0, maxHorizontal = (flags & 0x08) != 0;
            AddMonitor("VerticalFreq", RangeText(block[5], maxVertical && (flags & 0x01) != 0, block[6], maxVertical, " Hz"));
            AddMonitor("HorizontalFreq",
                       RangeText(block[7], maxHorizontal && (flags & 0x04) != 0, block[8], maxHorizontal, " kHz"));
            break;
        }
        case 0xFE: AddMonitor("VendorDescr", DescriptorText(block)); break;
        case 0xFF:
            AddMonitor("SerialNumber", DescriptorText(block));
            serialFound = true;
            break;
        default: break;
    }
}

void MonitorInfo() {
    // An unreadable monitor costs its own section only, never the later ones of the pass.
    LogAndGoOn([] {
        MonitorState monitor;
        DWORD platform = WindowsVersion().dwPlatformId;
        if (platform == VER_PLATFORM_WIN32_WINDOWS)
            ReadMonitorEdid9x(monitor);
        else if (platform == VER_PLATFORM_WIN32_NT)
            ReadMonitorEdidNT("SYSTEM\\CURRENTCONTROLSET\\ENUM\\DISPLAY", monitor);
        const auto& e = monitor.edid;
        AddMonitor("Name", monitor.name);
        bool serialFound = false;
        for (std::size_t at : {54u, 72u, 90u, 108u})
            ParseEdidDescriptor(std::span<const std::uint8_t, kEdidDescriptorSize>(e.data() + at, kEdidDescriptorSize),
                                serialFound);
        if (!serialFound) {
            std::uint32_t serial = static_cast<std::uint32_t>(e[12]) | static_cast<std::uint32_t>(e[13]) << 8 |
                                   static_cast<std::uint32_t>(e[14]) << 16 | static_cast<std::uint32_t>(e[15]) << 24;
            AddMonitor("SerialNumber", std::to_string(static_cast<std::int32_t>(serial)));
        }
        unsigned w = static_cast<unsigned>(e[8]) << 8 | e[9];
        std::string vendor;
        for (unsigned shift : {10u, 5u, 0u}) vendor += static_cast<char>(((w >> shift) & 31u) + 64u);
        AddMonitor("VendorID", vendor);
        char model[8];
        std::snprintf(model, sizeof model, "%04X", static_cast<unsigned>(e[10] | e[11] << 8));
        AddMonitor("ModelID", model);
        AddMonitor("ManufactureDate", std::to_string(e[16] * 7 / 30) + "/" + std::to_string(e[17] + 1990));
        AddMonitor("MaxHorizontalSize", std::to_string(e[21] * 10) + " mm");
        AddMonitor("MaxVerticalSize", std::to_string(e[22] * 10) + " mm");
        AddMonitor("VisibleSize", VisibleSizeText(e[21], e[22]));
        AddMonitor("GammaFactor", GammaText(e[23]));
    });
}

}  // namespace qm::collectors
