#include "core/settings.h"

#include <exception>
#include <stdexcept>

#include "core/process_state.h"
#include "core/profile_files.h"
#include "core/trace_log.h"
#include "platform/ini_image.h"
#include "platform/platform.h"
#include "platform/registry_accessor.h"
#include "platform/text.h"
#include "platform/time.h"
#include "platform/winpath.h"

namespace qm::core {

using namespace qm::platform;

std::string GetServiceImagePath() {
    std::string result;
    try {
        RegistryAccessor reg(HKEY_LOCAL_MACHINE);
        if (reg.OpenKeyReadOnly("SYSTEM\\CurrentControlSet\\Services\\QmagentSrv") && reg.ValueExists("ImagePath"))
            result = reg.ReadString("ImagePath");
    } catch (const RegistryError&) {
        result.clear();  // an "ImagePath" that is not text names no program
    }
    if (!result.empty() && result.front() == '"') {
        // A quoted program path may be followed by quoted arguments: the path is what the
        // first pair of quotes holds.
        std::size_t close = result.find('"', 1);
        result = result.substr(1, close == std::string::npos ? std::string::npos : close - 1);
    } else {
        // An unquoted path may be followed by a quoted argument, whose folder is no concern.
        result = Trim(result.substr(0, result.find('"')));
    }
    if (result.empty()) result = ParamStr(0);
    return result;
}

namespace {

// An unquoted service entry may carry switches after the program ("C:\Svc\QMSrv.exe /S"):
// there only "\" and ":" end a folder, so that the "/" of a switch neither cuts the folder
// short nor hides the program's extension.
std::string ImageFolderOf(std::string_view image) {
    std::size_t end = image.find_last_of("\\:");
    return end == std::string_view::npos ? std::string() : std::string(image.substr(0, end + 1));
}

std::string ImageIniOf(std::string_view image) {
    std::size_t dot = image.find_last_of(".\\:");
    if (dot != std::string_view::npos && image[dot] == '.') image = image.substr(0, dot);
    return std::string(image) + ".ini";
}

// The folder that the service's INI file (read into ini) names, else the service folder, else
// the agent folder.
std::string ServerPathOf(const std::string& image, const IniImage& ini) {
    std::string path = ini.ReadString("SERVER", "PATH", ImageFolderOf(image));
    if (path.empty()) path = AgentFolder();
    return IncludeTrailingBackslash(path);
}

}  // namespace

std::string GetServiceFolder() { return ImageFolderOf(GetServiceImagePath()); }

std::string GetServerPath() {
    std::string image = GetServiceImagePath();
    return ServerPathOf(image, IniImage::FromFile(Files(), ImageIniOf(image)));
}

std::string FindSettingsFile() {
    auto& cache = State().settingsFileCache;
    if (cache) return *cache;
    std::string candidate;
    std::string image = GetServiceImagePath();
    std::string serviceFolder = ImageFolderOf(image);
    if (!serviceFolder.empty()) candidate = serviceFolder + "QMAgent.lic";
    if (candidate.empty() || !FileExists(Files(), candidate)) {
        // Every reader of the settings asks here: a service INI file that cannot be read counts
        // as a missing one rather than ending the reader.
        IniImage ini;
        try {
            ini = IniImage::FromFile(Files(), ImageIniOf(image));
        } catch (const std::exception& e) {
            WriteEarlyLog(std::string("Service INI file not read: ") + e.what());
        }
        candidate = ServerPathOf(image, ini) + "QMAgent.lic";
    }
    cache = candidate;
    return candidate;
}

std::string GetSettingsFileName() {
    std::string beside = AgentFolder() + "QMAgent.lic";
    if (FileExists(Files(), beside)) return beside;
    return FindSettingsFile();
}

bool FolderExists(std::string_view path) { return DirectoryExists(Files(), path); }

bool IsFolderWritable(std::string_view folder) {
    try {
        std::string path = std::string(folder) + "TestAttr.txt";
        auto file = Files().CreateFile(path, GENERIC_WRITE, CreationDisposition::CreateAlways);
        if (!file) return false;
        static constexpr std::string_view kText = "TEST TEST TEST TEST TEST";
        DWORD written = 0;
        bool ok = file->WriteFile(kText.data(), static_cast<DWORD>(kText.size()), written) &&
                  written == kText.size() && file->FlushFileBuffers();
        file.reset();
        if (!ok) return false;
        Files().DeleteFile(path);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

void InitWorkFolder() {
    std::string folder = GetWindowsFolder();
    if (folder.empty() || !FolderExists(folder) || !IsFolderWritable(folder)) {
        folder = "C:\\";
        if (!FolderExists(folder) || !IsFolderWritable(folder)) folder = GetTempFolder();
    }
    State().workFolder = folder;
    State().chkIdPath = folder + "Chk_ID";
}

bool ForceFolders(std::string_view path) {
    if (path.empty()) throw std::runtime_error("Cannot create directory");
    std::string p = ExcludeTrailingBackslash(path);
    if (p.size() < 3 || FolderExists(p) || IsDriveRoot(p)) return true;
    std::string parent = ExcludeTrailingBackslash(ParentOf(p));
    if (parent == p) return true;
    if (!parent.empty() && !ForceFolders(parent)) return false;
    return Files().CreateDirectory(p);
}

namespace {

std::string FolderOrEmpty(DWORD (SystemService::*query)(std::string&)) {
    std::string path;
    DWORD n = (System().*query)(path);
    if (n == 0 || n >= MAX_PATH) return std::string();
    return IncludeTrailingBackslash(path);
}

std::string MadeFolder(std::string folder) {
    if (!FolderExists(folder)) ForceFolders(folder);
    return folder;
}

}  // namespace

std::string GetSystemFolder() { return FolderOrEmpty(&SystemService::GetSystemDirectory); }
std::string GetWindowsFolder() { return FolderOrEmpty(&SystemService::GetWindowsDirectory); }
std::string GetTempFolder() { return FolderOrEmpty(&SystemService::GetTempPath); }

std::string GetResultsFolder() { return MadeFolder(AgentFolder() + "Results\\"); }
std::string GetTransFolder() { return MadeFolder(AgentFolder() + "Trans\\"); }
std::string GetUsageFolder() { return AgentFolder() + "Usage\\"; }
std::string GetSnmpFolder() { return AgentFolder() + "SNMP\\"; }
std::string GetPdaFolder() { return AgentFolder() + "Pda\\"; }

std::int32_t GetFileSizeByName(std::string_view path) {
    FindData data;
    auto find = Files().FindFirstFile(path, data);
    if (!find) return 0;
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(data.nFileSize & 0xFFFFFFFFu));
}

std::string RemoveDoubleBackslash(std::string_view path) {
    std::string out;
    out.reserve(path.size());
    for (char c : path)
        if (!(c == '\\' && !out.empty() && out.back() == '\\')) out += c;
    return out;
}

namespace {

// The last-write time as the packed local DOS date and time; -1 when there is no such file.
long FileAge(const std::string& path) {
    FindData data;
    auto find = Files().FindFirstFile(path, data);
    if (!find || (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return -1;
    WORD date = 0, time = 0;
    if (!FileTimeToDosDateTime(Clock().FileTimeToLocalFileTime(data.ftLastWriteTime), date, time)) return -1;
    return static_cast<long>(date) << 16 | time;
}

void CopyWhenChanged(const std::string& source, const std::string& target) {
    if (FileAge(source) == FileAge(target)) return;
    if (!Files().CopyFile(source, target, false))
        WriteLog("error copy:" + source + "," + target + "," + std::to_string(GetLastError()));
}

}  // namespace

void UpdateControlPanelApplet() {
    try {
        std::string settings = GetSettingsFileName();
        std::string product = ReadProfileString(settings, "QMAGENTINFO", "PRODUCT NAME", kDefaultProductName);
        std::string system = GetSystemFolder();
        std::string sourceApplet = AgentFolder() + "qmagentInfo.cpl", targetApplet = system + "qmagentInfo.cpl";
        std::string sourceIcon = AgentFolder() + "qmagentInfo.ico", targetIcon = system + "qmagentInfo.ico";
        if (ReadProfileString(settings, "SYSTEM", "ADD CONFIG PANEL", "0") == "1") {
            WriteProfileString(State().chkIdPath, "QMAGENTINFO", "PRODUCT NAME", product);
            CopyWhenChanged(sourceApplet, targetApplet);
            CopyWhenChanged(sourceIcon, targetIcon);
        }
        if (ReadProfileString(settings, "SYSTEM", "DEL CONFIG PANEL", "0") == "1") {
            Files().DeleteFile(targetApplet);
            Files().DeleteFile(targetIcon);
        }
    } catch (const std::exception& e) {
        WriteLog(e.what());
    }
}

}  // namespace qm::core
