#include "collectors/installed_applications.h"

#include <optional>
#include <stdexcept>

#include "collectors/collector_guard.h"
#include "collectors/file_version.h"
#include "collectors/registry_values.h"
#include "core/profile_files.h"
#include "core/result_list.h"
#include "core/sections.h"
#include "platform/collation.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "platform/time.h"

namespace qm::collectors {

using namespace qm::platform;
using core::AddQuotedResultLine;
using core::AddResultLine;
using core::QuoteField;
using core::sections::kAntivirus;
using core::sections::kAutoLogon;
using core::sections::kInstalledSoft;
using core::sections::kInstantMessenger;
using core::sections::kLotusNotes;
using core::sections::kScreenSaver;

namespace {

constexpr const char* kUninstallKey = "SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\UNINSTALL";

void AddAntivirus(const char* product, const char* label, const std::string& text) {
    AddResultLine(kAntivirus, product, QuoteField(label) + "," + QuoteField(text));
}

// A file named by a product's folder value and a name; none when the value is empty, which
// names no folder (it would make the name a path below the current drive or folder).
std::optional<std::string> FileInFolder(const std::string& folder, std::string_view separator, std::string_view name) {
    if (folder.empty()) return std::nullopt;
    return folder + std::string(separator) + std::string(name);
}

// The file's last-modification time in local time; none for a missing file or a folder.
std::optional<core::DateTime> FileDate(const std::string& path) {
    FileAttributeData data;
    if (!Files().GetFileAttributesEx(path, data) || (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return std::nullopt;
    return core::FromSystemTime(FileTimeToSystemTime(Clock().FileTimeToLocalFileTime(data.ftLastWriteTime)));
}

// Dates of the antivirus products: two-digit month and day, four-digit year, with the user's
// date separator.
std::string AntivirusDate(core::DateTime date) { return core::FormatDateTime("mm/dd/yyyy", date); }

void AddFileDate(const char* product, const std::optional<std::string>& file) {
    if (!file) return;
    if (std::optional<core::DateTime> date = FileDate(*file)) AddAntivirus(product, "LastVirusDef", AntivirusDate(*date));
}

// The "Version" record of a version value, by its type; none for another type or no value.
void AddVersionByType(const char* product, std::string_view name, RegistryAccessor& reg) {
    std::optional<DWORD> type = reg.GetDataType(name);
    if (type == REG_SZ || type == REG_EXPAND_SZ)
        AddAntivirus(product, "Version", ReadRegValueAsString(name, reg));
    else if (type == REG_BINARY)
        AddAntivirus(product, "Version", RegBinaryToVersion3(name, reg));
}

// The newest date among the entries of a definitions folder that name one; 0 when none does.
core::DateTime NewestDefinitions(const std::string& folder) {
    core::DateTime best = 0;
    FindData entry;
    std::unique_ptr<FindHandle> find = Files().FindFirstFile(folder + "*", entry);
    for (bool more = find != nullptr; more; more = find->FindNextFile(entry)) {
        if ((entry.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) != 0) continue;
        if (entry.cFileName.find('.') == std::string::npos) continue;
        core::DateTime date = 0;
        if (!StopSilently([&] { date = DefsFolderDate(entry.cFileName); })) continue;
        if (date > best) best = date;
    }
    return best;
}

// The default date of a missing "Minor Version Date": blanks, which the field quoting empties.
const std::string kNoVersionDate(16, ' ');

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int Digits(std::string_view text) {
    int n = 0;
    for (char c : text) n = n * 10 + (c - '0');
    return n;
}

}  // namespace

void CollectUninstallNames(HKEY root, const std::string& path, std::vector<std::string>& names) {
    std::vector<std::string> subkeys;
    {
        RegistryAccessor reg(root);
        if (!reg.OpenKeyReadOnly(path)) return;
        subkeys = reg.GetKeyNames();
        if (std::optional<std::string> name = FindRegText("DISPLAYNAME", reg)) names.push_back(*name);
    }
    if (!MayDescendBelow(path)) return;
    for (const std::string& subkey : subkeys)
        if (!Trim(subkey).empty()) CollectUninstallNames(root, path + "\\" + subkey, names);
}

void SoftwaresFromRegistryInfo() {
    LogAndGoOn([] {
        std::vector<std::string> names;
        // A failure during the walk ends the collector without a line; what is written stays.
        StopSilently([&] {
            CollectUninstallNames(HKEY_LOCAL_MACHINE, kUninstallKey, names);
            CollectUninstallNames(HKEY_CURRENT_USER, kUninstallKey, names);
            SortIgnoringCase(Collation(), names);
            for (std::size_t i = 0; i < names.size(); ++i) AddQuotedResultLine(kInstalledSoft, std::to_string(i + 1), names[i]);
        });
    });
}

void AntiVirusInfo() {
    NortonInfo();
    FProtInfo();
    PandaInfo();
    ETrustInfo();
    KasperskyInfo();
    VirusScanInfo();
}

void NortonInfo() {
    constexpr const char* product = "Norton Anti Virus";
    LogAndGoOn([&] {
        RegistryAccessor reg(HKEY_LOCAL_MACHINE);
        if (!reg.OpenKeyReadOnly("\\Software\\Symantec\\Norton AntiVirus")) return;
        AddVersionByType(product, "CurrentVersion", reg);
        if (!reg.OpenKeyReadOnly("\\Software\\Symantec\\InstalledApps")) return;
        std::optional<std::string> folder = FileInFolder(ReadRegValueAsString("AVENGEDEFS", reg), "\\", "");
        if (!folder) return;
        core::DateTime best = NewestDefinitions(*folder);
        if (best > 0) AddAntivirus(product, "LastVirusDef", AntivirusDate(best));
    });
}

void FProtInfo() {
    constexpr const char* product = "F-Prot";
    LogAndGoOn([&] {
        RegistryAccessor reg(HKEY_LOCAL_MACHINE);
        if (!reg.OpenKeyReadOnly("\\Software\\FRISK Software International\\FP-Win\\Version")) return;
        AddVersionByType(product, "Package version", reg);
        if (!reg.OpenKeyReadOnly("\\Software\\FRISK Software International\\FP-Win")) return;
        std::optional<std::string> file = FileInFolder(ReadRegValueAsString("Program Root", reg), "\\", "sign.def");
        AddFileDate(product, file);
    });
}

void PandaInfo() {
    constexpr const char* product = "Panda";
    LogAndGoOn([&] {
        RegistryAccessor reg(HKEY_LOCAL_MACHINE);
        if (!reg.OpenKeyReadOnly("\\Software\\Panda Software\\Setup")) return;
        AddAntivirus(product, "Version", ReadRegValueAsString("Client", reg));
        if (!reg.OpenKeyReadOnly("\\Software\\Panda Software")) return;
        // The product's folder is the "Path" of one of the subkeys: the first whose folder
        // holds the signature file.
        for (const std::string& subkey : reg.GetKeyNames()) {
            RegistryAccessor entry(HKEY_LOCAL_MACHINE);
            if (!entry.OpenKeyReadOnly("\\Software\\Panda Software\\" + subkey)) continue;
            std::optional<std::string> file = FileInFolder(ReadRegValueAsString("Path", entry), "", "Pav.sig");
            if (file && FileExists(Files(), *file)) {
                AddFileDate(product, file);
                return;
            }
        }
    });
}

void ETrustInfo() {
    constexpr const char* product = "ETrust";
    LogAndGoOn([&] {
        RegistryAccessor reg(HKEY_LOCAL_MACHINE);
        if (!reg.OpenKeyReadOnly("\\Software\\ComputerAssociates\\Anti-Virus\\Resident")) return;
        std::optional<std::string> file = FileInFolder(ReadRegValueAsString("VetPath", reg), "\\", "version.inf");
        if (!file) throw std::runtime_error("No folder of the ETrust version file");
        std::vector<std::string> sections = core::ReadProfileSectionNames(*file);
        if (sections.empty()) throw std::runtime_error("No section in " + *file);
        const std::string& first = sections.front();
        AddAntivirus(product, "Version", core::ReadProfileString(*file, first, "Version Text", ""));
        AddAntivirus(product, "LastVirusDef", core::ReadProfileString(*file, first, "Minor Version Date", kNoVersionDate).substr(0, 10));
    });
}

void KasperskyInfo() {
    constexpr const char* product = "Kaspersky";
    LogAndGoOn([&] {
        RegistryAccessor reg(HKEY_LOCAL_MACHINE);
        if (!reg.OpenKeyReadOnly("\\Software\\KasperskyLab\\InstalledProducts\\Kaspersky Anti-Virus Personal")) return;
        AddAntivirus(product, "Version",
                     ReadRegValueAsString("VerBuild", reg) + "." + ReadRegValueAsString("VerMajor", reg) + "." +
                         ReadRegValueAsString("VerMinor", reg));
        if (!reg.OpenKeyReadOnly("\\Software\\KasperskyLab\\Components\\100")) return;
        AddAntivirus(product, "LastVirusDef",
                     ReadRegValueAsString("VerPatch", reg) + "/" + ReadRegValueAsString("VerBuild", reg) + "/" +
                         ReadRegValueAsString("VerMajor", reg));
    });
}

void VirusScanInfo() {
    constexpr const char* product = "VirusScan";
    constexpr const char* engineKey = "\\Software\\Network Associates\\TVD\\Shared Components\\VirusScan Engine";
    LogAndGoOn([&] {
        RegistryAccessor reg(HKEY_LOCAL_MACHINE);
        if (!reg.OpenKeyReadOnly(engineKey)) return;
        std::vector<std::string> engines = reg.GetKeyNames();
        if (engines.empty()) throw std::runtime_error("The VirusScan engine key has no subkey");
        if (!reg.OpenKeyReadOnly(std::string(engineKey) + "\\" + engines.front())) return;
        AddAntivirus(product, "Version", ReadRegValueAsString("szEngineVer", reg));
        bool virDefDate = reg.ValueExists("szVirDefDate");
        if (virDefDate)
            AddAntivirus(product, "LastVirusDef", ReadRegValueAsString("szVirDefDate", reg));
        else if (reg.ValueExists("szDatDate"))
            AddAntivirus(product, "LastVirusDef", ReadRegValueAsString("szDatDate", reg));
        if (virDefDate) AddAntivirus(product, "LastVirusVer", ReadRegValueAsString("szVirDefVer", reg));
    });
}

std::string RegBinaryToVersion3(std::string_view name, RegistryAccessor& reg) {
    unsigned char bytes[3] = {0, 0, 0};
    if (reg.ReadBinaryData(name, bytes, sizeof bytes) == 0) return std::string();
    return std::to_string(bytes[0]) + "." + std::to_string(bytes[1]) + "." + std::to_string(bytes[2]);
}

core::DateTime DefsFolderDate(std::string_view name) {
    if (name.size() < 8) return 0;
    for (char c : name.substr(0, 8))
        if (!IsDigit(c)) return 0;
    core::DateTime date = 0;
    if (!core::TryEncodeDate(Digits(name.substr(0, 4)), Digits(name.substr(4, 2)), Digits(name.substr(6, 2)), date))
        throw std::runtime_error("'" + std::string(name.substr(0, 8)) + "' is not a valid date");
    return date;
}

void AutoLogonInfo() {
    LogAndGoOn([] {
        RegistryAccessor reg(HKEY_LOCAL_MACHINE);
        bool opened = reg.OpenKeyReadOnly("\\SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\WINLOGON");
        // The NT family keeps the value under its own key, while the first key may exist there
        // without it.
        if (!opened || !reg.ValueExists("AutoAdminLogon"))
            opened = reg.OpenKeyReadOnly("\\SOFTWARE\\MICROSOFT\\WINDOWS NT\\CURRENTVERSION\\WINLOGON") || opened;
        if (!opened) return;
        AddQuotedResultLine(kAutoLogon, "Active", ReadRegValueAsString("AutoAdminLogon", reg) == "1" ? "YES" : "NO");
    });
}

void ScreenSaverInfo() {
    LogAndGoOn([] {
        RegistryAccessor reg(HKEY_CURRENT_USER);
        if (!reg.OpenKeyReadOnly("CONTROL PANEL\\DESKTOP")) return;
        if (ReadRegValueAsString("ScreenSaveActive", reg) != "1") {
            AddQuotedResultLine(kScreenSaver, "Active", "NO");
            return;
        }
        AddQuotedResultLine(kScreenSaver, "Active", "YES");
        AddQuotedResultLine(kScreenSaver, "isSecure", ReadRegValueAsString("ScreenSaverIsSecure", reg) == "1" ? "YES" : "NO");
        AddQuotedResultLine(kScreenSaver, "TimeOut", ReadRegValueAsString("ScreenSaveTimeOut", reg));
        AddQuotedResultLine(kScreenSaver, "EXE", DescriptionOrPathAndVersion(ExtractExistingFile(ReadRegValueAsString("SCRNSAVE.EXE", reg))));
    });
}

void LotusNotesInfo() {
    LogAndGoOn([] {
        std::vector<std::string> releases;
        {
            RegistryAccessor reg(HKEY_LOCAL_MACHINE);
            if (!reg.OpenKeyReadOnly("\\Software\\Lotus\\Notes")) return;
            releases = reg.GetKeyNames();
        }
        std::string release = "0.0";
        for (const std::string& name : releases)
            if (name > release) release = name;  // ordinal: by character codes
        AddQuotedResultLine(kLotusNotes, "Version", release);
        RegistryAccessor reg(HKEY_LOCAL_MACHINE);
        if (!reg.OpenKeyReadOnly("\\Software\\Lotus\\Notes\\" + release)) return;
        std::string folderValue = ReadRegValueAsString("Path", reg);
        std::string folder = folderValue + "\\";
        std::optional<std::string> program = FileInFolder(folderValue, "\\", ReadRegValueAsString("Name", reg));
        std::optional<core::DateTime> date = program ? FileDate(*program) : std::nullopt;
        if (!date) throw std::runtime_error("The Lotus Notes program " + program.value_or(folder) + " has no date");
        int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, ms = 0;
        core::DecodeDateTime(*date, year, month, day, hour, minute, second, ms);
        AddQuotedResultLine(kLotusNotes, "Date", std::to_string(day) + "/" + std::to_string(month) + "/" + std::to_string(year));
        std::string formats = folder + "formats.ini";
        for (const std::string& section : core::ReadProfileSectionNames(formats)) {
            if (!EqualsNoCase(section, "General")) continue;
            AddQuotedResultLine(kLotusNotes, "IniVersion", core::ReadProfileString(formats, "General", "version", ""));
            break;
        }
    });
}

void InstantMessengerInfo() {
    LogAndGoOn([] {
        const std::pair<const char*, const char*> messengers[] = {
            {"Icq", "\\Software\\Mirabilis\\ICQ"},
            {"MSN Messenger", "\\Software\\Microsoft\\MessengerService"},
            {"Yahoo Messenger", "\\Software\\Yahoo\\Pager\\profiles"}};
        for (const auto& [key, path] : messengers) {
            RegistryAccessor reg(HKEY_CURRENT_USER);
            AddQuotedResultLine(kInstantMessenger, key, reg.OpenKeyReadOnly(path) ? "YES" : "NO");
        }
    });
}

}  // namespace qm::collectors
