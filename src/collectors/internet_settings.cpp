#include "collectors/internet_settings.h"

#include <cstdint>
#include <optional>
#include <stdexcept>

#include "collectors/collector_guard.h"
#include "collectors/file_version.h"
#include "collectors/registry_values.h"
#include "core/result_list.h"
#include "core/sections.h"
#include "core/trace_log.h"
#include "platform/ini_image.h"
#include "platform/platform.h"
#include "platform/text.h"

namespace qm::collectors {

using namespace qm::platform;
using core::sections::kInternet;
using core::sections::kInternetExplorer;

namespace {

constexpr const char* kExtensionsKey = "\\SOFTWARE\\MICROSOFT\\INTERNET EXPLORER\\EXTENSIONS";
constexpr const char* kSettingsKey = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
constexpr const char* kInternetZoneKey = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Zones\\3";

void AddExplorer(const std::string& key, const std::string& value) {
    core::AddQuotedResultLine(kInternetExplorer, key, value);
}

// A number read from text as the registry's text values hold one; raises for anything else.
int TextToInteger(const std::string& text, std::string_view name) {
    int value = 0;
    if (!ParseWholeInteger(text, value))
        throw std::runtime_error("'" + text + "' of '" + std::string(name) + "' is not a valid integer value");
    return value;
}

// The text of an action value: 0, 1 and 3 as the table names them; none for another number.
const char* ActionText(int number, const char* zero, const char* one, const char* three) {
    switch (number) {
        case 0: return zero;
        case 1: return one;
        case 3: return three;
        default: return nullptr;
    }
}

// A number that is missing, or of another type (logged), gives no record and costs no other.
void AddAction(const char* key, std::optional<int> number, const char* zero, const char* one, const char* three) {
    if (!number) return;
    if (const char* text = ActionText(*number, zero, one, three)) AddExplorer(key, text);
}

std::string JavaPermissions(int number) {
    switch (number) {
        case 0: return "disable";
        case 0x100:
        case 0x10000: return "HighSecurity";
        case 0x200:
        case 0x20000: return "MiddleSecurity";
        case 0x300:
        case 0x30000: return "LowSecurity";
        case 0x80000: return "custom";
        default: return "unknown : " + std::to_string(number);
    }
}

const char* LevelTemplate(int level) {
    switch (level) {
        case 0x10000: return "Low";
        case 0x10500: return "MiddleLow";
        case 0x11000: return "Middle";
        case 0x12000: return "High";
        default: return nullptr;
    }
}

// The program a file association opens, by its description and version; empty when none.
// The record is written whatever happens on the way.
void DefaultProgramInfo(const char* commandKey, const char* key) {
    std::string value;
    LogAndGoOn([&] {
        RegistryAccessor reg(HKEY_CLASSES_ROOT);
        if (!reg.OpenKeyReadOnly(commandKey)) return;
        std::string file = ExtractExistingFile(reg.ReadString(""));
        if (file.empty()) return;
        VersionInfoReader reader(file);
        std::string description, version;
        reader.Get(viDescription, description);
        reader.Get(viVersion, version);
        value = Trim(description + " " + version);
    });
    core::AddQuotedResultLine(kInternet, key, value);
}

bool CookiesFromZoneValue(RegistryAccessor& reg, const char* name, const char* one) {
    if (!reg.OpenKeyReadOnly(kInternetZoneKey)) return false;
    std::optional<int> number = FindRegInteger(name, reg);
    bool found = number.has_value();
    AddAction("CookiesStatut", number, "always", one, "disable");
    reg.CloseKey();
    return found;
}

}  // namespace

void DefaultBrowserInfo() { DefaultProgramInfo("HTMLFILE\\SHELL\\OPEN\\COMMAND", "DefaultBrowser"); }

void DefaultMailInfo() { DefaultProgramInfo("MAILTO\\SHELL\\OPEN\\COMMAND", "DefaultMail"); }

void InternetExplorerInfo() {
    getIEExtention();
    LogAndGoOn([] {
        RegistryAccessor reg(HKEY_CURRENT_USER);
        if (reg.OpenKeyReadOnly("\\Software\\Microsoft\\Internet Explorer\\Main"))
            AddExplorer("StartPage", ReadRegValueAsString("Start Page", reg));
        if (reg.OpenKeyReadOnly(kSettingsKey)) {
            if (ReadRegValueAsString("ProxyEnable", reg) == "1") {
                AddExplorer("ProxyEnable", "YES");
                AddExplorer("ProxyConfig", ReadRegValueAsString("ProxyServer", reg));
            } else {
                AddExplorer("ProxyEnable", "NO");
            }
        }
        if (reg.OpenKeyReadOnly(kInternetZoneKey)) {
            int level = TextToInteger(ReadRegValueAsString("CurrentLevel", reg), "CurrentLevel");
            if (level == 0)
                IEZoneSecurity(reg);
            else if (const char* name = LevelTemplate(level))
                AddExplorer("SecurityLevel", name);
        }
    });
}

void getIEExtention() {
    core::WriteLog("Enter getIEExtention");
    LogAndGoOn([] {
        std::vector<std::string> names;
        {
            RegistryAccessor reg(HKEY_LOCAL_MACHINE);
            if (!reg.OpenKeyReadOnly(kExtensionsKey)) return;
            names = reg.GetKeyNames();
        }
        int n = 1;
        for (const std::string& name : names) {
            RegistryAccessor reg(HKEY_LOCAL_MACHINE);
            if (!reg.OpenKeyReadOnly(std::string(kExtensionsKey) + "\\" + name)) continue;
            std::optional<std::string> value;
            if (std::optional<std::string> exec = FindRegText("Exec", reg))
                value = DescriptionOrPathAndVersion(ExtractExistingFile(*exec));
            else if (std::optional<std::string> button = FindRegText("ButtonText", reg))
                value = *button;
            else
                value = FindRegText("MenuText", reg);
            if (!value) continue;
            AddExplorer("Extension" + std::to_string(n), *value);
            ++n;
        }
    });
}

void IEZoneSecurity(RegistryAccessor& zone) {
    AddExplorer("SecurityLevel", "Personalized");
    std::optional<int> java =
        zone.GetDataType("1C00") == REG_BINARY ? ReadBinaryDwordBE("1C00", zone) : FindRegInteger("1C00", zone);
    if (java) AddExplorer("JavaPrameters", JavaPermissions(*java));
    AddAction("ActiveScript", FindRegInteger("1400", zone), "always", "query", "disable");
    AddAction("JavaApplet", FindRegInteger("1402", zone), "always", "query", "disable");
}

int ReadBinaryDwordBE(std::string_view name, RegistryAccessor& reg) {
    unsigned char bytes[4] = {0, 0, 0, 0};
    if (reg.ReadBinaryData(name, bytes, sizeof bytes) == 0) return -1;
    std::uint32_t n = std::uint32_t{bytes[0]} << 24 | std::uint32_t{bytes[1]} << 16 | std::uint32_t{bytes[2]} << 8 | bytes[3];
    return static_cast<int>(n);
}

void CookiesInfo() {
    LogAndGoOn([] {
        RegistryAccessor reg(HKEY_CURRENT_USER);
        if (CookiesFromSettingsKey(reg)) return;
        if (CookiesFromZone1A10(reg)) return;
        CookiesFromZone1A02(reg);
    });
}

bool CookiesFromSettingsKey(RegistryAccessor& reg) {
    if (!reg.OpenKeyReadOnly(kSettingsKey)) return false;
    std::optional<int> number = FindRegInteger("AllowCookies", reg);
    bool found = number.has_value();
    AddAction("CookiesStatut", number, "query", "always", "disable");
    reg.CloseKey();
    return found;
}

bool CookiesFromZone1A10(RegistryAccessor& reg) { return CookiesFromZoneValue(reg, "1A10", "others"); }

bool CookiesFromZone1A02(RegistryAccessor& reg) { return CookiesFromZoneValue(reg, "1A02", "query"); }

}  // namespace qm::collectors
