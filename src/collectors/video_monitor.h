#pragma once
// The "Video" section (the display adapter's name) and the "MONITOR" section (one monitor found
// in the registry, decoded from its stored EDID base block).

#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace qm::collectors {

inline constexpr std::size_t kEdidSize = 256;
inline constexpr std::size_t kEdidBaseBlockSize = 128;
inline constexpr std::size_t kEdidDescriptorSize = 18;

// What MonitorInfo learns of the monitor it reports, for one call.
struct MonitorState {
    std::string name;
    std::array<std::uint8_t, kEdidSize> edid{};
    // Name and EDID belong to one monitor: once a monitor with an EDID was taken, a later one
    // without replaces neither.
    bool hasEdid = false;
};

void VideoInfo();
// Walks the key below HKEY_LOCAL_MACHINE and every key below it, parents before children; the
// last key of class "DISPLAY" with a "DeviceDesc" gives the adapter text.
void FindDisplayClassDevice(const std::string& path, std::string& adapter);

void MonitorInfo();
// The first device node of the 9x Configuration Manager whose hardware key names a monitor.
void ReadMonitorEdid9x(MonitorState& monitor);
// The monitors in use below the key of HKEY_LOCAL_MACHINE (those with a "CONTROL" subkey): the
// last one in walk order that has an EDID, or the last name when none has.
void ReadMonitorEdidNT(const std::string& path, MonitorState& monitor);
// The records of one 18-byte descriptor block of an EDID; sets serialFound when it writes a
// serial number.
void ParseEdidDescriptor(std::span<const std::uint8_t, kEdidDescriptorSize> block, bool& serialFound);

}  // namespace qm::collectors
