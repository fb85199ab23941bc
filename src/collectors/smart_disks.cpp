#include "collectors/smart_disks.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "collectors/collector_guard.h"
#include "collectors/windows_version.h"
#include "collectors/wmi_query.h"
#include "core/result_list.h"
#include "core/sections.h"
#include "core/trace_log.h"
#include "platform/files.h"
#include "platform/platform.h"

namespace qm::collectors {

using namespace qm::platform;
using core::sections::kSmart;

namespace {

// Where the IDENTIFY texts stand once the words are swapped, and how long each is.
constexpr std::size_t kSerialOffset = 20, kSerialLength = 20;
constexpr std::size_t kFirmwareOffset = 46, kFirmwareLength = 8;
constexpr std::size_t kModelOffset = 54, kModelLength = 40;
constexpr int kAttributeEntries = 30;
constexpr std::size_t kEntrySize = 12;

std::string DiskKey(int drive) { return "DISK_" + std::to_string(drive); }

// A text field up to its first zero byte, never past its own length.
std::string FieldText(const std::uint8_t* data, std::size_t offset, std::size_t length) {
    const char* begin = reinterpret_cast<const char*>(data + offset);
    return std::string(begin, strnlen(begin, length));
}

// The drive registers of every request: the drive by its number, master or slave of its
// channel by the drive/head register.
void Address(SmartRequestBlock& request, int drive, DWORD bufferSize, std::uint8_t features, std::uint8_t cylLow,
             std::uint8_t cylHigh, std::uint8_t command) {
    request.fill(0);
    SENDCMDINPARAMS in{};
    in.cBufferSize = bufferSize;
    in.irDriveRegs.bFeaturesReg = features;
    in.irDriveRegs.bSectorCountReg = 1;
    in.irDriveRegs.bSectorNumberReg = 1;
    in.irDriveRegs.bCylLowReg = cylLow;
    in.irDriveRegs.bCylHighReg = cylHigh;
    in.irDriveRegs.bDriveHeadReg = static_cast<std::uint8_t>((drive & 1) != 0 ? 0xB0 : 0xA0);
    in.irDriveRegs.bCommandReg = command;
    in.bDriveNumber = static_cast<std::uint8_t>(drive);
    std::memcpy(request.data(), &in, request.size());
}

bool Send(Device& device, DWORD code, const SmartRequestBlock& request, std::uint8_t* reply, std::size_t replySize,
          DWORD requested) {
    std::memset(reply, 0, replySize);
    DWORD returned = 0;
    return device.DeviceIoControl(code, request.data(), static_cast<DWORD>(request.size()), reply, requested, returned);
}

bool ReadSmartSector(Device& device, SmartRequestBlock& request, SmartReplyBuffer& reply, int drive, std::uint8_t feature) {
    Address(request, drive, READ_ATTRIBUTE_BUFFER_SIZE, feature, SMART_CYL_LOW, SMART_CYL_HI, SMART_CMD);
    return Send(device, SMART_RCV_DRIVE_DATA, request, reply.data(), reply.size(), static_cast<DWORD>(reply.size()));
}

void AddSmartRecord(const std::string& key, std::initializer_list<std::string> fields) {
    core::AddResultLine(kSmart, key, core::QuoteFields(fields));
}

void IdentifyRecords(const SmartReplyBuffer& reply, int drive) {
    const std::uint8_t* data = reply.data() + kSendCmdOutHeader;
    std::string model = FieldText(data, kModelOffset, kModelLength);
    std::string serial = FieldText(data, kSerialOffset, kSerialLength);
    std::string firmware = FieldText(data, kFirmwareOffset, kFirmwareLength);
    AddSmartRecord(DiskKey(drive), {"Vendor", model});
    AddSmartRecord(DiskKey(drive), {"SerialNumber", serial});
    AddSmartRecord(DiskKey(drive), {"firmware", firmware});
    std::string number = std::to_string(drive + 1);
    core::WriteLog("Vendor " + number + " :  " + model);
    core::WriteLog("Serial number " + number + " :  " + serial);
    core::WriteLog("firmware " + number + " :  " + firmware);
}

}  // namespace

std::unique_ptr<Device> OpenSmartDevice() {
    if (WindowsVersion().dwPlatformId == VER_PLATFORM_WIN32_WINDOWS)
        return Devices().CreateFile("\\\\.\\SMARTVSD", 0, 0, CreationDisposition::CreateNew);
    return Devices().CreateFile("\\\\.\\PhysicalDrive0", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                CreationDisposition::OpenExisting);
}

bool SmartEnable(Device& device, SmartRequestBlock& request, SmartEnableReply& reply, int drive) {
    Address(request, drive, 0, ENABLE_SMART, SMART_CYL_LOW, SMART_CYL_HI, SMART_CMD);
    return Send(device, SMART_SEND_DRIVE_COMMAND, request, reply.data(), reply.size(), kSendCmdOutHeader);
}

bool SmartIdentify(Device& device, SmartRequestBlock& request, SmartReplyBuffer& reply, int drive, std::uint8_t command) {
    Address(request, drive, IDENTIFY_BUFFER_SIZE, 0, 0, 0, command);
    return Send(device, SMART_RCV_DRIVE_DATA, request, reply.data(), reply.size(), static_cast<DWORD>(reply.size()));
}

bool SmartReadAttributes(Device& device, SmartRequestBlock& request, SmartReplyBuffer& reply, int drive) {
    return ReadSmartSector(device, request, reply, drive, READ_ATTRIBUTES);
}

bool SmartReadThresholds(Device& device, SmartRequestBlock& request, SmartReplyBuffer& reply, int drive) {
    return ReadSmartSector(device, request, reply, drive, READ_THRESHOLDS);
}

void SwapBytePairs(std::uint8_t* buffer, std::size_t length) {
    for (std::size_t i = 0; i + 1 < length; i += 2) std::swap(buffer[i], buffer[i + 1]);
}

std::string SmartAttributeName(std::uint8_t id) {
    switch (id) {
        case 0: return "No Attribute Here";
        case 1: return "Raw Read Error Rate";
        case 2: return "Throughput Performance";
        case 3: return "Spin Up Time";
        case 4: return "Start/Stop Count";
        case 5: return "Reallocated Sector Count";
        case 6: return "Read Channel Margin";
        case 7: return "Seek Error Rate";
        case 8: return "Seek Time Performance";
        case 9: return "Power On Hours Count";
        case 10: return "Spin Retry Count";
        case 11: return "Calibration Retry Count";
        case 12: return "Power Cycle Count";
        case 194: return "Temperature";
        case 196: return "Calibration Retry Count";
        case 197: return "Current Pending Sector Count";
        case 198: return "Off-line Scan Uncorrect";
        case 199: return "Ultra ATA CRC Error Count";
        case 200: return "Write Error Count";
        default: return " ";
    }
}

std::string SmartAttributeFlags(std::uint16_t flags) {
    static const char* const kNames[] = {"PRE_FAILURE_WARRANTY",  "ON_LINE_COLLECTION",    "PERFORMANCE_ATTRIBUTE",
                                         "ERROR_RATE_ATTRIBUTE",  "EVENT_COUNT_ATTRIBUTE", "SELF_PRESERVING_ATTRIBUTE"};
    std::string text;
    for (int bit = 0; bit < 6; ++bit)
        if ((flags & (1u << bit)) != 0) text += std::string(kNames[bit]) + " ";
    return text;
}

void WriteSmartAttributes(std::span<const std::uint8_t, 512> attributes, std::span<const std::uint8_t, 512> thresholds,
                          int drive) {
    core::WriteLog("Data for Drive Number : " + std::to_string(drive));
    core::WriteLog("   -Attribute Name-         -Attribute Value-     -Threshold Value-");
    for (int k = 0; k < kAttributeEntries; ++k) {
        std::size_t at = 2 + kEntrySize * static_cast<std::size_t>(k);
        std::uint8_t id = attributes[at];
        if (id == 0) continue;
        auto flags = static_cast<std::uint16_t>(attributes[at + 1] | (attributes[at + 2] << 8));
        int current = attributes[at + 3];
        int worst = attributes[at + 4];
        int threshold = thresholds[at + 1];
        char hex[8];
        std::snprintf(hex, sizeof hex, "%X", id);
        AddSmartRecord(DiskKey(drive), {hex, SmartAttributeName(id), std::to_string(threshold), std::to_string(current),
                                        SmartAttributeFlags(flags), std::to_string(worst)});
        char left[8], right[40];
        std::snprintf(left, sizeof left, "%-3x", id);
        std::snprintf(right, sizeof right, "  %-18d   %-5d", current, threshold);
        core::WriteLog(left + SmartAttributeName(id) + right);
    }
}

void SmartInventory() {
    LogAndGoOn([] {
        SmartEnableReply enableReply{};
        unsigned enabled = 0;
        std::unique_ptr<Device> device = OpenSmartDevice();
        if (!device) return;
        GETVERSIONINPARAMS version{};
        DWORD returned = 0;
        if (!device->DeviceIoControl(SMART_GET_VERSION, nullptr, 0, &version, sizeof version, returned)) return;
        SmartRequestBlock request{};
        // Two replies: the identify reply is reused for the attributes, the thresholds have their own.
        auto reply = std::make_unique<SmartReplyBuffer>();
        auto thresholds = std::make_unique<SmartReplyBuffer>();
        for (int d = 0; d < 4; ++d) {
            if ((version.bIDEDeviceMap & (1u << d)) == 0) continue;
            bool atapi = (version.bIDEDeviceMap & (0x10u << d)) != 0;
            if (!atapi && SmartEnable(*device, request, enableReply, d)) enabled |= 1u << d;
            if (SmartIdentify(*device, request, *reply, d, atapi ? ATAPI_ID_CMD : ID_CMD)) {
                SwapBytePairs(reply->data() + kSendCmdOutHeader, IDENTIFY_BUFFER_SIZE);
                IdentifyRecords(*reply, d);
            }
        }
        for (int d = 0; d < 4; ++d) {
            if ((enabled & (1u << d)) == 0) continue;
            if (SmartReadAttributes(*device, request, *reply, d) && SmartReadThresholds(*device, request, *thresholds, d))
                WriteSmartAttributes(std::span<const std::uint8_t, 512>(reply->data() + kSendCmdOutHeader, 512),
                                     std::span<const std::uint8_t, 512>(thresholds->data() + kSendCmdOutHeader, 512), d);
        }
    });
    SmartPredictFailure();
}

void SmartPredictFailure() {
    StopSilently([] {
        MyWmi wmi;
        wmi.Connect("root\\WMI");
        std::vector<std::string> items =
            wmi.Query("SELECT Active,PredictFailure, Reason FROM MSStorageDriver_FailurePredictStatus");
        // Four items an instance: Active, InstanceName, PredictFailure, Reason. A missing item
        // raises, which ends the records there.
        for (std::size_t p = 0; p < items.size(); p += 4) {
            std::string key = std::to_string(p);
            AddSmartRecord(key, {"DiskPredictFailureAtive", items.at(p)});
            AddSmartRecord(key, {"DiskPredictFailure", items.at(p + 2)});
            AddSmartRecord(key, {"DiskPredictFailureReason", items.at(p + 3)});
        }
        wmi.Disconnect();
    });
}

}  // namespace qm::collectors
