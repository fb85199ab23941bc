#include "core/machine_id.h"

#include <algorithm>
#include <random>

#include "core/date_time.h"
#include "core/process_state.h"
#include "core/profile_files.h"
#include "core/result_list.h"
#include "core/settings.h"
#include "core/switches.h"
#include "core/trace_log.h"
#include "platform/ini_image.h"
#include "platform/platform.h"
#include "platform/registry_accessor.h"
#include "platform/winpath.h"

namespace qm::core {

using namespace qm::platform;

namespace {

struct KeyText {
    HKEY root;
    std::string path;
};

constexpr std::pair<const char*, HKEY> kRoots[] = {
    {"HKEY_CURRENT_USER", HKEY_CURRENT_USER}, {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
    {"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT}, {"HKEY_USERS", HKEY_USERS},
    {"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG}};

KeyText SplitKeyText(const std::string& line) {
    std::size_t slash = line.find('\\');
    if (slash == std::string::npos) return {HKEY_CURRENT_USER, line};
    return {GetRootKey(line.substr(0, slash)), line.substr(slash + 1)};
}

// The candidates with the defaults inserted where the scan-after flag puts them.
std::vector<std::string> WithDefaults(std::vector<std::string> defaults) {
    bool scanAfter = false;
    std::vector<std::string> lines = GetGuidCandidates(scanAfter);
    std::size_t at = scanAfter && !lines.empty() ? lines.size() - 1 : 0;
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at), defaults.begin(), defaults.end());
    return lines;
}

// A stored identifier is the machine's identity and is kept as it is; only one that could not
// name the result files (a control character or a character Windows refuses in a file name)
// counts as none.
bool CanNameFiles(const std::string& text) { return std::all_of(text.begin(), text.end(), IsFileNameCharacter); }

// The text with its control characters shown as "?", so that it stays on one log line.
std::string Printable(std::string text) {
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 32) c = '?';
    return text;
}

std::string Today() { return FormatDateTime("mm/dd/yyyy", Now()); }

std::string IdentifierOf(const Guid& guid) {
    std::string id;
    for (char c : GuidToString(guid))
        if (c != '{' && c != '}' && c != '-') id += c;
    return id;
}

// A new identifier; when the system makes no GUID, one from the process's own random source,
// so that the run never goes on without an identifier.
std::string NewIdentifier() {
    Guid guid;
    std::string failure;
    // The system call may also raise; that must not end the run without an identifier either.
    try {
        if (Guids().CoCreateGuid(guid)) return IdentifierOf(guid);
        failure = "error " + std::to_string(GetLastError());
    } catch (const std::exception& e) {
        failure = e.what();
    }
    WriteLog("GUID creation failed, " + failure);
    std::random_device random;
    guid.data1 = random();
    guid.data2 = static_cast<std::uint16_t>(random());
    guid.data3 = static_cast<std::uint16_t>((random() & 0x0FFF) | 0x4000);
    for (auto& b : guid.data4) b = static_cast<std::uint8_t>(random());
    guid.data4[0] = static_cast<std::uint8_t>((guid.data4[0] & 0x3F) | 0x80);
    return IdentifierOf(guid);
}

}  // namespace

std::vector<std::string> GetGuidCandidates(bool& scanAfter) {
    IniImage settings = IniImage::FromFile(Files(), GetSettingsFileName());
    scanAfter = !settings.ReadString("GUID_DIRECTORY", "DEFAUL_SCAN_AFTER", "").empty();
    return settings.SectionLines("GUID_DIRECTORY");
}

HKEY GetRootKey(const std::string& rootName) {
    for (const auto& [name, key] : kRoots)
        if (rootName == name) return key;
    return HKEY_CURRENT_USER;
}

std::string GetQMGUIDFile() {
    std::string folder;
    for (const std::string& line : WithDefaults({GetWindowsFolder(), "C:\\"}))
        if (!line.empty() && FolderExists(line) && IsFolderWritable(line)) {
            folder = line;
            break;
        }
    if (folder.empty()) folder = GetTempFolder();
    std::string result = folder + "QMGuid.ini";
    WriteLog("GetQMGUIDFile : " + result);
    return result;
}

std::string GetQMGUIDFileReadOnly() {
    std::string folder;
    bool found = false;
    for (const std::string& line : WithDefaults({GetWindowsFolder(), "C:\\", GetTempFolder()}))
        if (!line.empty() && FolderExists(line) && FileExists(Files(), line + "QMGuid.ini")) {
            folder = line;
            found = true;
            break;
        }
    if (!found) folder = FolderOf(GetQMGUIDFile());
    std::string result = folder + "QMGuid.ini";
    WriteLog("GetQMGUIDFileReadOnly : " + result);
    return result;
}

std::string getRegistryGUIDkeyRO() {
    std::string result = kDefaultGuidKey;
    for (const std::string& line : WithDefaults({kDefaultGuidKey})) {
        KeyText key = SplitKeyText(line);
        RegistryAccessor reg(key.root);
        if (reg.OpenKeyReadOnly(key.path) && reg.ValueExists("GUID")) {
            result = line;
            break;
        }
    }
    WriteLog("getRegistryGUIDkeyRO : " + result);
    return result;
}

std::string getRegistryGUIDkeyRw() {
    std::string result = kDefaultGuidKey;
    for (const std::string& line : WithDefaults({kDefaultGuidKey})) {
        KeyText key = SplitKeyText(line);
        RegistryAccessor reg(key.root);
        if (reg.OpenKey(key.path, true)) {
            result = line;
            break;
        }
    }
    WriteLog("getRegistryGUIDkeyRw : " + result);
    return result;
}

bool IsNewGuidForced(const std::string& fileGuid, const std::string& registryGuid) {
    std::string value;
    if (!GetSwitchValue("/FORCE_NEW_GUID", value)) return false;
    if (value.empty()) return true;
    return (fileGuid == value && registryGuid == value) || (fileGuid == value && registryGuid.empty()) ||
           (registryGuid == value && fileGuid.empty());
}

void InitAgentGuid() {
    auto& s = State();
    s.machineId.clear();
    std::string registryGuid, registryDate, fileGuid, fileDate;
    // A store that cannot be read counts as empty.
    try {
        KeyText key = SplitKeyText(getRegistryGUIDkeyRO());
        RegistryAccessor reg(key.root);
        if (reg.OpenKeyReadOnly(key.path)) {
            if (reg.ValueExists("GUID")) registryGuid = reg.ReadString("GUID");
            WriteLog("RGUID = " + registryGuid);
            if (reg.ValueExists("DATE")) registryDate = reg.ReadString("DATE");
        }
    } catch (const std::exception& e) {
        WriteLog(std::string("Machine identifier not read from the registry: ") + e.what());
        registryGuid.clear();
        registryDate.clear();
    }
    try {
        std::string file = GetQMGUIDFileReadOnly();
        fileGuid = ReadProfileString(file, "GUID", "GUID", "");
        fileDate = ReadProfileString(file, "GUID", "DATE", "");
        WriteLog("RGUID = " + fileGuid);
    } catch (const std::exception& e) {
        WriteLog(std::string("Machine identifier not read from QMGuid.ini: ") + e.what());
        fileGuid.clear();
        fileDate.clear();
    }

    for (std::string* stored : {&registryGuid, &fileGuid})
        if (!stored->empty() && !CanNameFiles(*stored)) {
            WriteLog("Machine identifier refused: " + Printable(*stored));
            stored->clear();
        }
    if ((fileGuid.empty() && registryGuid.empty()) || IsNewGuidForced(fileGuid, registryGuid)) {
        WriteLog("Created new GUID");
        s.machineId = NewIdentifier();
        registryDate = fileDate = Today();
        registryGuid.clear();
        fileGuid.clear();
    }
    if (registryGuid.empty() && !fileGuid.empty()) {
        s.machineId = fileGuid;
        registryDate = fileDate;
    } else if (!registryGuid.empty()) {
        s.machineId = registryGuid;
    }

    if (fileGuid.empty() || registryGuid.empty() || registryGuid != fileGuid) {
        WriteLog("Warning GUID not found");
        if (registryDate.empty()) registryDate = Today();
        // The two stores are written apart: one refusing does not keep the other unwritten.
        try {
            std::string file = GetQMGUIDFile();
            WriteProfileString(file, "GUID", "GUID", s.machineId);
            WriteProfileString(file, "GUID", "DATE", registryDate);
        } catch (const std::exception& e) {
            WriteLog(std::string("Machine identifier not stored in QMGuid.ini: ") + e.what());
        }
        try {
            KeyText key = SplitKeyText(getRegistryGUIDkeyRw());
            RegistryAccessor reg(key.root);
            if (reg.OpenKey(key.path, true)) {
                reg.WriteString("GUID", s.machineId);
                reg.WriteString("DATE", registryDate);
            } else {
                WriteLog("Machine identifier not stored in the registry: the key does not open");
            }
        } catch (const std::exception& e) {
            WriteLog(std::string("Machine identifier not stored in the registry: ") + e.what());
        }
    }
    s.machineIdDate = registryDate;
    WriteLog("GGUID:" + s.machineId);
}

}  // namespace qm::core
