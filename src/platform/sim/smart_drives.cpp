#include "platform/sim/smart_drives.h"

#include <algorithm>
#include <cstring>

#include "platform/devices.h"
#include "platform/platform.h"
#include "platform/sim/machine_file_reader.h"

namespace qm::sim {

using namespace qm::platform;
using nlohmann::json;

namespace {

constexpr std::uint8_t kAbortedCommand = 0x04;  // the ABRT bit of the drive's error register
constexpr std::uint16_t kSectorRevision = 0x0010;

std::uint8_t Byte(const MachineFileReader& r, const char* key, std::uint8_t def = 0) {
    return static_cast<std::uint8_t>(r.Integer(key, def, 0, 255));
}

DWORD Error(const MachineFileReader& r, const char* key) {
    return r.Has(key) ? ParseWord(r, key, r.Raw(key)) : 0;
}

std::string FieldText(const MachineFileReader& r, const char* key, std::size_t length) {
    std::string text = r.String(key);
    if (text.size() > length) r.Fail(key, "at most " + std::to_string(length) + " characters fit the field");
    return text;
}

SmartDriveConfig ParseDrive(const MachineFileReader& r) {
    r.OnlyKeys({"number", "atapi", "model", "serial", "firmware", "attributes", "errors"});
    SmartDriveConfig d;
    if (!r.Has("number")) r.Fail("number", "a drive needs its number, 0 to 3");
    d.number = static_cast<std::uint8_t>(r.Integer("number", 0, 0, 3));
    d.atapi = r.Boolean("atapi", false);
    d.model = FieldText(r, "model", 40);
    d.serial = FieldText(r, "serial", 20);
    d.firmware = FieldText(r, "firmware", 8);
    if (r.Has("attributes")) {
        const json& list = r.Array("attributes");
        if (list.size() > 30) r.Fail("attributes", "a sector holds at most 30 attributes");
        for (std::size_t i = 0; i < list.size(); ++i) {
            MachineFileReader a(list[i], r.File(), r.Pointer("attributes") + "/" + std::to_string(i), r.CodePage());
            a.OnlyKeys({"id", "flags", "value", "worst", "raw", "threshold"});
            SmartAttributeConfig attribute;
            attribute.id = Byte(a, "id");
            std::uint32_t flags = a.Has("flags") ? ParseWord(a, "flags", a.Raw("flags")) : 0;
            if (flags > 0xFFFF) a.Fail("flags", "the flags are 16 bits");
            attribute.flags = static_cast<std::uint16_t>(flags);
            attribute.value = Byte(a, "value", 100);
            attribute.worst = Byte(a, "worst", attribute.value);
            attribute.raw = static_cast<std::uint64_t>(a.Integer("raw", 0, 0, 0xFFFFFFFFFFFFll));
            attribute.threshold = Byte(a, "threshold");
            d.attributes.push_back(attribute);
        }
    }
    if (r.Has("errors")) {
        MachineFileReader e = r.Object("errors");
        e.OnlyKeys({"enable", "identify", "attributes", "thresholds"});
        d.enableError = Error(e, "enable");
        d.identifyError = Error(e, "identify");
        d.attributesError = Error(e, "attributes");
        d.thresholdsError = Error(e, "thresholds");
    }
    return d;
}

void Put16(std::uint8_t* at, std::uint16_t value) {
    at[0] = static_cast<std::uint8_t>(value & 0xFF);
    at[1] = static_cast<std::uint8_t>(value >> 8);
}

// An ATA text field: two characters a word, the first in the word's high byte, padded with
// blanks to the field's length.
void PutAtaText(std::uint8_t* sector, std::size_t offset, std::size_t length, const std::string& text) {
    std::string padded = text;
    padded.resize(length, ' ');
    for (std::size_t i = 0; i + 1 < length; i += 2) {
        sector[offset + i] = static_cast<std::uint8_t>(padded[i + 1]);
        sector[offset + i + 1] = static_cast<std::uint8_t>(padded[i]);
    }
}

void PutChecksum(std::uint8_t* sector) {
    unsigned sum = 0;
    for (int i = 0; i < 511; ++i) sum += sector[i];
    sector[511] = static_cast<std::uint8_t>((256 - (sum & 0xFF)) & 0xFF);
}

void IdentifySector(const SmartDriveConfig& d, std::uint8_t* sector) {
    Put16(sector + 0, d.atapi ? 0x85C0 : 0x0040);  // a removable CD-ROM packet device, or a fixed disk
    PutAtaText(sector, 20, 20, d.serial);
    PutAtaText(sector, 46, 8, d.firmware);
    PutAtaText(sector, 54, 40, d.model);
    Put16(sector + 2 * 49, 0x0300);  // DMA and LBA
    if (!d.atapi) {
        Put16(sector + 2 * 82, 0x0001);  // S.M.A.R.T. supported
        Put16(sector + 2 * 85, 0x0001);  // and enabled
    }
}

void AttributeSector(const SmartDriveConfig& d, std::uint8_t* sector) {
    Put16(sector, kSectorRevision);
    for (std::size_t k = 0; k < d.attributes.size(); ++k) {
        const SmartAttributeConfig& a = d.attributes[k];
        std::uint8_t* entry = sector + 2 + 12 * k;
        entry[0] = a.id;
        Put16(entry + 1, a.flags);
        entry[3] = a.value;
        entry[4] = a.worst;
        for (int b = 0; b < 6; ++b) entry[5 + b] = static_cast<std::uint8_t>(a.raw >> (8 * b));
    }
    PutChecksum(sector);
}

void ThresholdSector(const SmartDriveConfig& d, std::uint8_t* sector) {
    Put16(sector, kSectorRevision);
    for (std::size_t k = 0; k < d.attributes.size(); ++k) {
        sector[2 + 12 * k] = d.attributes[k].id;
        sector[2 + 12 * k + 1] = d.attributes[k].threshold;
    }
    PutChecksum(sector);
}

bool Fail(DWORD error) {
    SetLastError(error);
    return false;
}

// The drive aborted the command: the driver says so in the reply's status and fails.
bool Refuse(void* output, DWORD outputSize) {
    if (outputSize >= kSendCmdOutHeader) {
        auto* out = static_cast<std::uint8_t*>(output);
        out[4] = SMART_IDE_ERROR;
        out[5] = kAbortedCommand;
    }
    return Fail(ERROR_IO_DEVICE);
}

bool SmartMagic(const IDEREGS& regs) {
    return regs.bCommandReg == SMART_CMD && regs.bCylLowReg == SMART_CYL_LOW && regs.bCylHighReg == SMART_CYL_HI;
}

}  // namespace

SmartConfig ParseSmartConfig(const MachineFileReader& r, DWORD platformId) {
    r.OnlyKeys({"device", "version_error", "drives"});
    SmartConfig c;
    c.present = true;
    c.device = r.String("device", platformId == VER_PLATFORM_WIN32_WINDOWS ? "\\\\.\\SMARTVSD" : "\\\\.\\PHYSICALDRIVE0");
    c.versionError = Error(r, "version_error");
    if (r.Has("drives")) {
        const json& drives = r.Array("drives");
        for (std::size_t i = 0; i < drives.size(); ++i) {
            MachineFileReader d(drives[i], r.File(), r.Pointer("drives") + "/" + std::to_string(i), r.CodePage());
            SmartDriveConfig drive = ParseDrive(d);
            for (const SmartDriveConfig& other : c.drives)
                if (other.number == drive.number) d.Fail("number", "drive " + std::to_string(drive.number) + " twice");
            c.drives.push_back(std::move(drive));
        }
    }
    return c;
}

std::optional<bool> AnswerSmartRequest(const SmartConfig& smart, DWORD code, const void* input, DWORD inputSize,
                                       void* output, DWORD outputSize, DWORD& bytesReturned) {
    bytesReturned = 0;
    if (code == SMART_GET_VERSION) {
        if (smart.versionError != 0) return Fail(smart.versionError);
        if (output == nullptr || outputSize < sizeof(GETVERSIONINPARAMS)) return Fail(ERROR_INSUFFICIENT_BUFFER);
        GETVERSIONINPARAMS v{};
        v.bVersion = 1;
        v.bRevision = 1;
        for (const SmartDriveConfig& d : smart.drives)
            v.bIDEDeviceMap = static_cast<std::uint8_t>(v.bIDEDeviceMap | (1u << d.number) | (d.atapi ? 0x10u << d.number : 0u));
        v.fCapabilities = CAP_ATA_ID_CMD | CAP_ATAPI_ID_CMD | CAP_SMART_CMD;
        std::memcpy(output, &v, sizeof v);
        bytesReturned = sizeof v;
        return true;
    }
    if (code != SMART_SEND_DRIVE_COMMAND && code != SMART_RCV_DRIVE_DATA) return std::nullopt;

    if (input == nullptr || inputSize < kSendCmdInSize || output == nullptr) return Fail(ERROR_INVALID_PARAMETER);
    SENDCMDINPARAMS in{};
    std::memcpy(&in, input, kSendCmdInSize);
    const IDEREGS& regs = in.irDriveRegs;
    auto drive = std::find_if(smart.drives.begin(), smart.drives.end(),
                              [&](const SmartDriveConfig& d) { return d.number == in.bDriveNumber; });
    // The drive/head register must select the same drive of its channel as the number.
    std::uint8_t head = static_cast<std::uint8_t>(0xA0 | ((in.bDriveNumber & 1) << 4));
    if (drive == smart.drives.end() || regs.bDriveHeadReg != head) return Fail(ERROR_INVALID_PARAMETER);
    if (outputSize < kSendCmdOutHeader) return Fail(ERROR_INSUFFICIENT_BUFFER);
    auto* out = static_cast<std::uint8_t*>(output);

    if (code == SMART_SEND_DRIVE_COMMAND) {
        if (!SmartMagic(regs) || regs.bFeaturesReg != ENABLE_SMART || drive->atapi) return Refuse(output, outputSize);
        if (drive->enableError != 0) return Fail(drive->enableError);
        std::memset(out, 0, kSendCmdOutHeader);
        bytesReturned = kSendCmdOutHeader;
        return true;
    }

    if (in.cBufferSize < IDENTIFY_BUFFER_SIZE || outputSize < kSendCmdOutHeader + IDENTIFY_BUFFER_SIZE)
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    std::uint8_t sector[512] = {};
    if (regs.bCommandReg == ID_CMD || regs.bCommandReg == ATAPI_ID_CMD) {
        // A packet device aborts IDENTIFY DEVICE, and a disk IDENTIFY PACKET DEVICE.
        if ((regs.bCommandReg == ATAPI_ID_CMD) != drive->atapi) return Refuse(output, outputSize);
        if (drive->identifyError != 0) return Fail(drive->identifyError);
        IdentifySector(*drive, sector);
    } else if (SmartMagic(regs) && regs.bFeaturesReg == READ_ATTRIBUTES && !drive->atapi) {
        if (drive->attributesError != 0) return Fail(drive->attributesError);
        AttributeSector(*drive, sector);
    } else if (SmartMagic(regs) && regs.bFeaturesReg == READ_THRESHOLDS && !drive->atapi) {
        if (drive->thresholdsError != 0) return Fail(drive->thresholdsError);
        ThresholdSector(*drive, sector);
    } else {
        return Refuse(output, outputSize);
    }
    std::memset(out, 0, kSendCmdOutHeader);
    Put16(out, static_cast<std::uint16_t>(IDENTIFY_BUFFER_SIZE));
    std::memcpy(out + kSendCmdOutHeader, sector, sizeof sector);
    bytesReturned = kSendCmdOutHeader + IDENTIFY_BUFFER_SIZE;
    return true;
}

}  // namespace qm::sim
