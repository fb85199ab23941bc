#include "collectors/system_configuration.h"

#include <unordered_set>
#include <vector>

#include "collectors/collector_guard.h"
#include "collectors/file_version.h"
#include "collectors/registry_values.h"
#include "collectors/windows_version.h"
#include "core/profile_files.h"
#include "core/result_list.h"
#include "core/sections.h"
#include "core/settings.h"
#include "core/trace_log.h"
#include "platform/ini_image.h"
#include "platform/platform.h"
#include "platform/registry_accessor.h"

namespace qm::collectors {

using namespace qm::platform;
using core::AddQuotedResultLine;
using core::sections::kBoot;
using core::sections::kHotFix;
using core::sections::kOffice;
using core::sections::kRun;
using core::sections::kServices;
using core::sections::kSmtpConnection;

namespace {

constexpr const char* kOfficeKey = "\\Software\\Microsoft\\Office\\";
constexpr const char* kServicesKey = "\\SYSTEM\\currentControlSet\\Services\\";
constexpr const char* kRunKey = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr const char* kHotFixKey = "\\Software\\Microsoft\\Windows NT\\CurrentVersion\\HotFix";
constexpr const char* kBootIni = "c:\\boot.ini";
constexpr int kServiceAutomatic = 2;

std::string Upper(std::string_view text) { return CodePage().CharUpper(text); }

// The subkey names of a key; none when it does not open.
std::vector<std::string> SubkeyNames(HKEY root, const std::string& path) {
    RegistryAccessor reg(root);
    if (!reg.OpenKeyReadOnly(path)) return {};
    return reg.GetKeyNames();
}

// The services' records: one automatic service per record. A service whose start type is no
// number is logged and passed over.
void ServiceRecord(const std::string& name) {
    RegistryAccessor reg(HKEY_LOCAL_MACHINE);
    if (!reg.OpenKeyReadOnly(kServicesKey + name)) return;
    std::string display = Upper(ReadRegValueAsString("DisplayName", reg));
    std::string program = ExtractServiceExe(Upper(ReadRegValueAsString("ImagePath", reg)));
    if (display.empty()) return;
    std::string start = ReadRegValueAsString("Start", reg);
    int type = 0;
    if (!ParseWholeInteger(start, type)) {
        core::WriteLog("Service " + name + ": '" + start + "' is not a valid start type");
        return;
    }
    if (type == kServiceAutomatic) AddQuotedResultLine(kServices, display, program);
}

}  // namespace

void OfficeProductIdInfo() {
    LogAndGoOn([] {
        RegistryAccessor office(HKEY_LOCAL_MACHINE);
        if (!office.OpenKeyReadOnly("\\Software\\Microsoft\\Office")) return;
        std::vector<std::string> versions = office.GetKeyNames();
        office.CloseKey();
        for (const std::string& version : versions) {
            std::string registration = kOfficeKey + version + "\\Registration";
            RegistryAccessor reg(HKEY_LOCAL_MACHINE);
            if (reg.OpenKeyReadOnly(registration + "\\ProductID")) {
                AddQuotedResultLine(kOffice, "ProductId", ReadRegValueAsString("", reg));
                return;
            }
            if (!reg.OpenKeyReadOnly(registration)) continue;
            std::vector<std::string> groups = reg.GetKeyNames();
            reg.CloseKey();
            for (const std::string& group : groups) {
                if (!reg.OpenKeyReadOnly(registration + "\\" + group)) continue;
                AddQuotedResultLine(kOffice, "ProductId", ReadRegValueAsString("ProductID", reg));
                break;
            }
        }
    });
}

void ServiceNTInfo() {
    if (WindowsVersion().dwPlatformId != VER_PLATFORM_WIN32_NT) return;
    LogAndGoOn([] {
        for (const std::string& name : SubkeyNames(HKEY_LOCAL_MACHINE, kServicesKey)) ServiceRecord(name);
    });
}

std::string ExtractServiceExe(std::string_view command) {
    if (!command.empty() && command.front() == '"') {
        std::size_t close = command.find('"', 1);
        return close == std::string_view::npos ? std::string() : std::string(command.substr(1, close - 1));
    }
    for (std::string_view extension : {".EXE", ".COM", ".DLL", ".SYS"}) {
        std::size_t at = command.find(extension);
        if (at != std::string_view::npos) return std::string(command.substr(0, at + extension.size()));
    }
    return std::string(command);
}

void RunInfo() {
    LogAndGoOn([] {
        for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
            RegistryAccessor reg(root);
            if (!reg.OpenKeyReadOnly(kRunKey)) continue;
            for (const std::string& name : reg.GetValueNames()) {
                std::string program = ExtractServiceExe(Upper(ReadRegValueAsString(name, reg)));
                VersionInfoReader reader(program);
                std::string company, product;
                reader.Get(viEditeur, company);
                reader.Get(viNomProduit, product);
                AddQuotedResultLine(kRun, program, "[" + company + "] " + product);
            }
        }
    });
}

void BootIniInfo() {
    if (!FileExists(Files(), kBootIni)) return;
    StopSilently([] {
        int timeout = core::ReadProfileInteger(kBootIni, "boot loader", "timeout", -1);
        if (timeout == -1) return;
        AddQuotedResultLine(kBoot, "Timeout", std::to_string(timeout));
        AddQuotedResultLine(kBoot, "Default", core::ReadProfileString(kBootIni, "boot loader", "default", ""));
        // The menu in one read: a read per key would cost a long file's length once per entry.
        std::unordered_set<std::string> seen;
        int n = 1;
        for (const auto& [key, value] : core::ReadProfileSection(kBootIni, "operating systems")) {
            // A repeated key stands for its first value, as a read of that key gives it.
            if (!seen.insert(Upper(key)).second) continue;
            if (value.empty()) continue;
            AddQuotedResultLine(kBoot, "os" + std::to_string(n++), key + "=" + value);
        }
    });
}

void SmtpSettingsInfo() {
    StopSilently([] {
        std::string settings = core::GetSettingsFileName();
        if (core::ReadProfileString(settings, "SMTP Connection", "HOST", "").empty()) return;
        for (const char* key : {"HOST", "USERID", "PORT"})
            AddQuotedResultLine(kSmtpConnection, key, core::ReadProfileString(settings, "SMTP Connection", key, ""));
    });
}

void HotFixInfo() {
    LogAndGoOn([] {
        for (const std::string& name : SubkeyNames(HKEY_LOCAL_MACHINE, kHotFixKey)) {
            RegistryAccessor reg(HKEY_LOCAL_MACHINE);
            if (!reg.OpenKeyReadOnly(std::string(kHotFixKey) + "\\" + name)) continue;
            if (ReadRegValueAsString("Installed", reg) == "1")
                AddQuotedResultLine(kHotFix, name, ReadRegValueAsString("Fix Description", reg));
        }
    });
}

}  // namespace qm::collectors
