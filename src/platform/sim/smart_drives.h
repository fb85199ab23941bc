#pragma once
// The IDE drives behind the simulated machine's S.M.A.R.T. requests, as machine.json's "smart"
// describes them, and the driver's answers to those requests: the device map, ENABLE
// OPERATIONS, IDENTIFY (DEVICE or PACKET DEVICE) and the attribute and threshold sectors, each
// answered for the drive the request names by its number.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/types.h"

namespace qm::sim {

class MachineFileReader;

struct SmartAttributeConfig {
    std::uint8_t id = 0;
    std::uint16_t flags = 0;
    std::uint8_t value = 0;
    std::uint8_t worst = 0;
    std::uint64_t raw = 0;  // 48 bits
    std::uint8_t threshold = 0;
};

struct SmartDriveConfig {
    std::uint8_t number = 0;  // 0-3: primary master, primary slave, secondary master, secondary slave
    bool atapi = false;       // a packet device (a CD-ROM drive): no S.M.A.R.T. commands
    std::string model;        // at most 40 characters
    std::string serial;       // at most 20
    std::string firmware;     // at most 8
    std::vector<SmartAttributeConfig> attributes;  // the entries of the sector in order, at most 30
    // Not 0: the Win32 error that request fails with.
    platform::DWORD enableError = 0;
    platform::DWORD identifyError = 0;
    platform::DWORD attributesError = 0;
    platform::DWORD thresholdsError = 0;
};

struct SmartConfig {
    bool present = false;  // the machine file has "smart"
    std::string device;    // the device that answers: "\\.\PHYSICALDRIVE0" on NT, "\\.\SMARTVSD" on 9x
    platform::DWORD versionError = 0;
    std::vector<SmartDriveConfig> drives;
};

// The "smart" object; the device defaults by the platform identifier. Throws MachineError.
SmartConfig ParseSmartConfig(const MachineFileReader& r, platform::DWORD platformId);

// A S.M.A.R.T. request to the device: false with the last error when it fails; none when the
// control code is not one of them.
std::optional<bool> AnswerSmartRequest(const SmartConfig& smart, platform::DWORD code, const void* input,
                                       platform::DWORD inputSize, void* output, platform::DWORD outputSize,
                                       platform::DWORD& bytesReturned);

}  // namespace qm::sim
