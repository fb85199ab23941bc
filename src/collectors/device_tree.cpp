#include "collectors/device_tree.h"

#include <algorithm>
#include <optional>

#include "collectors/collector_guard.h"
#include "collectors/registry_values.h"
#include "collectors/windows_version.h"
#include "core/result_list.h"
#include "core/sections.h"
#include "core/trace_log.h"
#include "platform/platform.h"
#include "platform/registry_accessor.h"
#include "platform/text.h"

namespace qm::collectors {

using namespace qm::platform;
using core::WriteLog;
using core::sections::kPeripheralsTree;

namespace {

// Runs the body between its "Enter" and "Quit" lines; the "Quit" line is written also when a
// failure passes through, as the only trace of where the walk stopped.
template <typename Body>
void Traced(const std::string& enter, const std::string& quit, Body&& body) {
    WriteLog(enter);
    try {
        body();
    } catch (...) {
        WriteLog(quit);
        throw;
    }
    WriteLog(quit);
}

// A text value; none when absent. A value of another type raises, which ends the entry.
std::optional<std::string> TextValue(RegistryAccessor& reg, std::string_view name) {
    if (!reg.ValueExists(name)) return std::nullopt;
    return reg.ReadString(name);
}

// The descent: the routine again for every subkey whose name is not blank.
template <typename Walk>
void Descend(const std::string& path, const std::vector<std::string>& subkeys, Walk&& walk) {
    if (!MayDescendBelow(path)) return;
    for (const std::string& name : subkeys)
        if (!Trim(name).empty()) walk(path + "\\" + name);
}

// The 9x problem code: the first four bytes of "PROBLEM", little-endian; a shorter value leaves
// the high bytes zero. Only binary data of at most four bytes is a problem code.
std::uint32_t ProblemCode(RegistryAccessor& reg) {
    if (reg.GetDataType("PROBLEM") != REG_BINARY) throw RegistryError("Invalid data type for 'PROBLEM'");
    std::uint8_t bytes[4] = {0, 0, 0, 0};
    reg.ReadBinaryData("PROBLEM", bytes, sizeof bytes);
    return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
           static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

bool HasSubkey(const std::vector<std::string>& subkeys, std::string_view name) {
    return std::any_of(subkeys.begin(), subkeys.end(), [&](const std::string& s) { return EqualsNoCase(s, name); });
}

// What the NT device key gives: the class and description of a present device, both empty
// when it is not present or has no class. A class that is left out keeps its texts for the
// trace log; the device is added only when listed is set.
struct DeviceTexts {
    std::string cls;
    std::string description;
    bool listed = false;
};

DeviceTexts PresentDevice(RegistryAccessor& reg, const std::vector<std::string>& subkeys) {
    int status = -1;
    if (reg.ValueExists("STATUSFLAGS"))
        status = reg.ReadInteger("STATUSFLAGS");
    else if (HasSubkey(subkeys, "CONTROL"))
        status = 8;
    if (status == 0)
        if (std::optional<std::string> base = TextValue(reg, "BASEDEVICEPATH"); base && base->compare(0, 5, "HTREE") != 0)
            status = 8;
    if (status != 8) return {};
    std::string cls;
    if (std::optional<std::string> c = TextValue(reg, "CLASS"))
        cls = *c;
    else if (std::optional<std::string> guid = TextValue(reg, "CLASSGUID"))
        cls = AnalyseGUID(*guid);
    if (cls.empty()) return {};
    std::optional<std::string> desc = TextValue(reg, "FRIENDLYNAME");
    if (!desc) desc = TextValue(reg, "DEVICEDESC");
    cls = AsciiUpper(cls);
    bool listed = cls != "LEGACYDRIVER" && cls != "UNKNOWN" && cls != "SYSTEM";
    return {cls, desc.value_or(""), listed};
}

}  // namespace

void WriteDeviceRecords(DeviceList& devices) {
    SortIgnoringCase(Collation(), devices);
    for (std::size_t i = 0; i < devices.size(); ++i)
        core::AddQuotedResultLine(kPeripheralsTree, std::to_string(i + 1), devices[i]);
}

void getHardwareKey(const std::string& path, HardwareKeyList& keys) {
    Traced("Enter getHardwareKey : " + path, "Quit getHardwareKey : " + path, [&] {
        std::vector<std::string> subkeys;
        {
            RegistryAccessor reg(HKEY_DYN_DATA);
            if (!reg.OpenKeyReadOnly(path)) return;
            subkeys = reg.GetKeyNames();
            // A node that cannot be read is left out; the nodes below and beside it are not.
            LogAndGoOn([&] {
                if (reg.ValueExists("HARDWAREKEY") && reg.ValueExists("PROBLEM")) {
                    std::uint32_t problem = ProblemCode(reg);
                    keys.emplace_back(reg.ReadString("HARDWAREKEY"), problem);
                }
            });
        }
        Descend(path, subkeys, [&](const std::string& sub) { getHardwareKey(sub, keys); });
    });
}

void getHardwareDevice(const std::string& path, std::uint32_t problem, DeviceList& devices) {
    Traced("Enter getHardwareDevice : " + path, "Quit getHardwareDevice : " + path, [&] {
        RegistryAccessor reg(HKEY_LOCAL_MACHINE);
        if (!reg.OpenKeyReadOnly(path)) return;
        LogAndGoOn([&] {
            std::optional<std::string> cls = TextValue(reg, "CLASS");
            std::optional<std::string> desc = TextValue(reg, "DEVICEDESC");
            if (!cls || !desc) return;
            std::string upper = AsciiUpper(*cls);
            if (upper == "SYSTEM") return;
            std::string text = upper + ";" + *desc;
            if (problem != 0) text += "###" + std::to_string(problem);
            devices.push_back(text);
        });
    });
}

void getArboSystem9x() {
    Traced("Enter getArboSystem9x", "Quit getArboSystem9x", [] {
        StopSilently([] {
            HardwareKeyList keys;
            getHardwareKey("CONFIG MANAGER\\ENUM", keys);
            DeviceList devices;
            for (const auto& [key, problem] : keys) getHardwareDevice("ENUM\\" + key, problem, devices);
            WriteDeviceRecords(devices);
        });
    });
}

std::string AnalyseGUID(const std::string& guid) {
    WriteLog("Begin Analyse GUID :" + guid);
    std::string result;
    auto end = [&] { WriteLog("End Analyse GUID :" + guid + " , " + result); };
    try {
        RegistryAccessor reg(HKEY_LOCAL_MACHINE);
        if (reg.OpenKeyReadOnly("SYSTEM\\CURRENTCONTROLSET\\CONTROL\\CLASS\\" + guid))
            result = TextValue(reg, "CLASS").value_or("");
    } catch (...) {
        end();
        throw;
    }
    end();
    return result;
}

void ParcoursDevices(const std::string& path, DeviceList& devices) {
    Traced("Enter ParcoursDevices :" + path, "Quit ParcoursDevices :" + path, [&] {
        std::vector<std::string> subkeys;
        {
            RegistryAccessor reg(HKEY_LOCAL_MACHINE);
            if (!reg.OpenKeyReadOnly(path)) return;
            subkeys = reg.GetKeyNames();
            DeviceTexts device;
            // A device entry that cannot be read is left out; the walk goes on below and beside it.
            LogAndGoOn([&] { device = PresentDevice(reg, subkeys); });
            if (device.listed) devices.push_back(device.cls + ";" + device.description);
            WriteLog("One peripheral was found : " + device.cls + " : " + device.description);
        }
        Descend(path, subkeys, [&](const std::string& sub) { ParcoursDevices(sub, devices); });
    });
}

void ScanScsiDeviceMap(const std::string& path, DeviceList& devices) {
    std::vector<std::string> subkeys;
    {
        RegistryAccessor reg(HKEY_LOCAL_MACHINE);
        if (!reg.OpenKeyReadOnly(path)) return;
        subkeys = reg.GetKeyNames();
        LogAndGoOn([&] {
            std::optional<std::string> type = TextValue(reg, "TYPE");
            if (!type) return;
            std::string upper = AsciiUpper(*type);
            const char* kind = upper == "DISKPERIPHERAL" ? "DISKDRIVE;" : upper == "CDROMPERIPHERAL" ? "CDROM;" : nullptr;
            if (kind == nullptr) return;
            if (std::optional<std::string> id = TextValue(reg, "IDENTIFIER")) devices.push_back(kind + *id);
        });
    }
    Descend(path, subkeys, [&](const std::string& sub) { ScanScsiDeviceMap(sub, devices); });
}

void ScanPortDeviceMap(const std::string& path, DeviceList& devices) {
    RegistryAccessor reg(HKEY_LOCAL_MACHINE);
    if (!reg.OpenKeyReadOnly(path)) return;
    for (const std::string& name : reg.GetValueNames())
        LogAndGoOn([&] { devices.push_back("PORTS;" + reg.ReadString(name)); });
}

void ScanNetworkCards(const std::string& path, DeviceList& devices) {
    for (int n = 1; n <= 10; ++n) {
        RegistryAccessor reg(HKEY_LOCAL_MACHINE);
        if (!reg.OpenKeyReadOnly(path + "\\" + std::to_string(n))) continue;
        // A card without a description is still a card.
        LogAndGoOn([&] { devices.push_back("NET;" + TextValue(reg, "DESCRIPTION").value_or("")); });
    }
}

void ArboSystemNT() {
    Traced("Enter ArboSystemNT", "Quit ArboSystemNT", [] {
        StopSilently([] {
            DeviceList devices;
            ParcoursDevices("SYSTEM\\CURRENTCONTROLSET\\ENUM", devices);
            if (WindowsVersion().dwMajorVersion != 5) {
                WriteLog("ArboSystemNT : SCSI");
                ScanScsiDeviceMap("HARDWARE\\DEVICEMAP\\SCSI", devices);
                WriteLog("ArboSystemNT : PORTS");
                ScanPortDeviceMap("HARDWARE\\DEVICEMAP\\PARALLEL PORTS", devices);
                WriteLog("ArboSystemNT : SERIALCOMM");
                ScanPortDeviceMap("HARDWARE\\DEVICEMAP\\SERIALCOMM", devices);
                WriteLog("ArboSystemNT : NETWORKCARD");
                ScanNetworkCards("SOFTWARE\\MICROSOFT\\WINDOWS NT\\CURRENTVERSION\\NETWORKCARDS", devices);
            }
            WriteDeviceRecords(devices);
        });
    });
}

void GetArboSystem() {
    LogAndGoOn([] {
        DWORD platform = WindowsVersion().dwPlatformId;
        if (platform == VER_PLATFORM_WIN32_WINDOWS)
            getArboSystem9x();
        else if (platform == VER_PLATFORM_WIN32_NT)
            ArboSystemNT();
    });
}

}  // namespace qm::collectors
