#pragma once
// "SMART": for each of up to four IDE drives, its IDENTIFY texts and its S.M.A.R.T.
// attributes with their thresholds, read by device I/O control through one device (the first
// physical drive on NT, the S.M.A.R.T. driver on the 9x family), and then the drives'
// failure-prediction status from WMI.

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "platform/devices.h"

namespace qm::collectors {

// The one request block that every drive request sends (SENDCMDINPARAMS without its buffer).
using SmartRequestBlock = std::array<std::uint8_t, platform::kSendCmdInSize>;
// A reply of IDENTIFY or of a data sector: the SENDCMDOUTPARAMS header and the sector.
inline constexpr std::size_t kSmartReplySize = platform::kSendCmdOutHeader + 512;
using SmartReplyBuffer = std::array<std::uint8_t, kSmartReplySize>;
// The reply of ENABLE OPERATIONS: the header, and one byte more than is asked for.
using SmartEnableReply = std::array<std::uint8_t, platform::kSendCmdOutHeader + 1>;

// The device that answers the S.M.A.R.T. requests of all four drives; none when it cannot be
// opened.
std::unique_ptr<platform::Device> OpenSmartDevice();
// Each request starts from a zeroed request block and reply, so a short reply is never read
// from the bytes of the one before. True when the request succeeded.
bool SmartEnable(platform::Device& device, SmartRequestBlock& request, SmartEnableReply& reply, int drive);
bool SmartIdentify(platform::Device& device, SmartRequestBlock& request, SmartReplyBuffer& reply, int drive,
                   std::uint8_t command);
bool SmartReadAttributes(platform::Device& device, SmartRequestBlock& request, SmartReplyBuffer& reply, int drive);
bool SmartReadThresholds(platform::Device& device, SmartRequestBlock& request, SmartReplyBuffer& reply, int drive);
// Swaps byte 0 with 1, 2 with 3, ... within the length.
void SwapBytePairs(std::uint8_t* buffer, std::size_t length);
// The name of an attribute ID; a single blank for an ID without one.
std::string SmartAttributeName(std::uint8_t id);
// The names of the set flag bits 0 to 5, each followed by a blank.
std::string SmartAttributeFlags(std::uint16_t flags);
// The attribute records and log lines of one drive from its attribute and threshold sectors;
// an attribute's threshold is the entry at the same position.
void WriteSmartAttributes(std::span<const std::uint8_t, 512> attributes, std::span<const std::uint8_t, 512> thresholds,
                          int drive);
// The collector: the drives' records, then always SmartPredictFailure.
void SmartInventory();
// The failure-prediction records of the drives WMI reports.
void SmartPredictFailure();

}  // namespace qm::collectors
