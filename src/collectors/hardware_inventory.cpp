#include "collectors/hardware_inventory.h"

#include <vector>

#include "collectors/bios_memory_disks.h"
#include "collectors/collector_guard.h"
#include "collectors/cpu_inventory.h"
#include "collectors/device_tree.h"
#include "collectors/disk_usage.h"
#include "collectors/event_logs.h"
#include "collectors/installed_applications.h"
#include "collectors/internet_settings.h"
#include "collectors/network_info.h"
#include "collectors/printers.h"
#include "collectors/smart_disks.h"
#include "collectors/system_configuration.h"
#include "collectors/usb_devices.h"
#include "collectors/vendor_asset_tag.h"
#include "collectors/video_monitor.h"
#include "collectors/windows_settings.h"
#include "core/date_time.h"
#include "core/identification.h"
#include "core/process_state.h"
#include "core/profile_files.h"
#include "core/result_list.h"
#include "core/sections.h"
#include "core/settings.h"
#include "core/trace_log.h"

namespace qm::collectors {

using namespace qm::core;

namespace {

// The value of an "Ident" record as Chk_ID keeps it: every double quote removed, so that a
// record of several fields or a stray quote brings none, and at most 32 characters, a whole
// UUID.
std::string IdentValue(const char* key) {
    std::string value = ReadResultValue(sections::kIdent, key);
    std::erase(value, '"');
    if (value.size() > 32) value.resize(32);
    return value;
}

constexpr const char* kNoMarker = nullptr;

// "/DISK_USAGE", as a switch or a stored parameter.
bool DiskUsageInForce() { return State().flags.diskUsage; }

// The hardware inventory's steps, in the order of their sections in the file. Each collector
// keeps to its own rule for failures (collector_guard.h): most log and go on, some stop
// silently, and one that lets its exception escape ends the pass in HardwareInventory.
const std::vector<CollectorStep>& HardwareSteps() {
    static const std::vector<CollectorStep> steps = {
        // marker        calls                condition
        {kNoMarker,      {WriteStartOptions}},
        {"BiosInfo",     {BiosInfo}},
        {"MemoryInfo",   {MemoryInfo}},
        {"DiskInfo",     {DiskInfo}},
        {"IPInfo",       {IPInfo}},
        {"NetworkInfo",  {NetworkInfo, MacAddressInfo}},
        {"PrintersInfo", {PrintersInfo}},
        {"VideoInfo",    {VideoInfo, MonitorInfo}},
        {"ArboSystemInfo", {GetArboSystem}},
        {"WindowsInfo",  {WindowsInfo}},
        {"SoftwaresFromRegistryInfo", {SoftwaresFromRegistryInfo}},
        {"InternetInfo", {DefaultBrowserInfo, DefaultMailInfo, InternetExplorerInfo, CookiesInfo}},
        {"InstantMessengerInfo", {InstantMessengerInfo}},
        {"LotusNotesInfo", {LotusNotesInfo}},
        {"AntiVirusInfo", {AntiVirusInfo}},
        {"AutoLogonInfo", {AutoLogonInfo, ScreenSaverInfo}},
        {"RunInfo",      {RunInfo}},
        {"ServiceNTInfo", {ServiceNTInfo}},
        {"OfficeLicenceInfo", {OfficeProductIdInfo, BootIniInfo, SmtpSettingsInfo, HotFixInfo}},
        {"SmartAttribute", {SmartInventory}},
        {kNoMarker,      {ReadWindowsLogs}},
        // The Internet Explorer records once more: readers take the last copy.
        {kNoMarker,      {InternetExplorerInfo}},
        {kNoMarker,      {UsbInventory}},
        {kNoMarker,      {ScanDiskUsage},     DiskUsageInForce},
        {kNoMarker,      {GetDellAssetTag}},
    };
    return steps;
}

}  // namespace

void RunCollectorSteps(const std::vector<CollectorStep>& steps) {
    for (const CollectorStep& step : steps) {
        if (step.condition != nullptr && !step.condition()) continue;
        if (step.marker != nullptr) WriteLog(step.marker);
        for (CollectorStep::Call call : step.calls) call();
    }
}

void HardwareInventory() {
    const std::string& file = State().resultFiles.localHardware;
    CreateResultList();
    // A failure that reaches this far ends the pass; what was added so far is saved.
    LogAndGoOn([&] {
        AddFieldHeader(11);
        SaveResultList(file);
        WriteInventoryHeader();
        SaveResultList(file);
        CollectHardwareSections();
        SaveResultList(file);
        CpuInventory();
    });
    CloseResultList(file);
}

void CollectHardwareSections() { RunCollectorSteps(HardwareSteps()); }

void WriteStartOptions() {
    const RunFlags& f = State().flags;
    const std::pair<const char*, bool> options[] = {{"opt_S", f.s},       {"opt_AT", f.at},         {"opt_MAIL", f.mail},
                                                    {"opt_HMAIL", f.hmail}, {"opt_DLG", f.dlg},     {"opt_REMOTE", f.remote},
                                                    {"opt_LOG", f.log}};
    for (const auto& [key, inForce] : options)
        if (inForce) AddQuotedResultLine(sections::kStartOption, key, "YES");
}

void WriteInventoryHeader() {
    auto& s = State();
    if (s.headerWritten) return;
    AddQuotedResultLine(sections::kInventory, "QMAgent version", kAgentVersion);
    AddQuotedResultLine(sections::kInventory, "QMAgent lang", kAgentLanguage);
    AddQuotedResultLine(sections::kInventory, "Date", FormatDateTime("mm'/'dd'/'yyyy hh':'nn", Now()));
    AddQuotedResultLine(sections::kInventory, "Path", s.workFolder);
    AddQuotedResultLine(sections::kIdentification, "Asset#", s.resultFiles.serverBaseName);
    AddQuotedResultLine(sections::kIdentification, "ComputerName", GetLocalComputerName());
    AddQuotedResultLine(sections::kIdentification, "GUID", s.machineId);
    AddQuotedResultLine(sections::kIdentification, "AssetTag#", ReadProfileString(s.chkIdPath, "Identification", "AssetTag#", ""));
    std::string settings = GetSettingsFileName();
    AddQuotedResultLine(sections::kIdentification, "Client code", ReadProfileString(settings, "IDENTIFICATION", "CODE", ""));
    AddQuotedResultLine(sections::kIdentification, "Site", ReadProfileString(settings, "IDENTIFICATION", "SITE", ""));
    s.headerWritten = true;
}

void UpdateUuidAndSerial() {
    auto& s = State();
    if (!s.flags.at || !s.assetTagDeferred) return;
    const std::string& file = s.resultFiles.localHardware;
    LoadResultList(file);
    try {
        std::string uuid = IdentValue("UUID");
        std::string serial = IdentValue("SN");
        WriteProfileString(s.chkIdPath, "UUID", "UUID", uuid);
        WriteProfileString(s.chkIdPath, "UUID", "SN", serial);
        GetAssetTag();
        WriteInventoryHeader();
    } catch (...) {
        SaveResultList(file);
        throw;
    }
    SaveResultList(file);
}

}  // namespace qm::collectors
