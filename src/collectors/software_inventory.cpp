#include "collectors/software_inventory.h"

#include <algorithm>
#include <exception>
#include <memory>
#include <unordered_set>

#include "collectors/collector_guard.h"
#include "collectors/registry_values.h"
#include "collectors/file_version.h"
#include "core/process_state.h"
#include "core/result_list.h"
#include "core/sections.h"
#include "core/settings.h"
#include "core/switches.h"
#include "core/trace_log.h"
#include "platform/platform.h"
#include "platform/registry_accessor.h"
#include "platform/text.h"
#include "platform/winpath.h"

namespace qm::collectors {

using namespace qm::platform;
using core::WriteLog;
using core::sections::kSoftware;

namespace {

const char* const kShellFolders = "SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\EXPLORER\\SHELL FOLDERS";
const char* const kAppPaths = "SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\APP PATHS";
const char* const kShortcutExtension = ".LNK";
const char* const kExecutableExtensions[] = {".EXE", ".COM"};

constexpr DWORD kFileAttributeVolumeLabel = 0x08;
// The longest path Win32 accepts, with its terminating zero: a shortcut's target is never cut.
constexpr int kLongestPath = 32768;
// Shortcut texts carry a 16-bit length.
constexpr int kLongestShortcutText = 65536;

std::string Upper(std::string_view text) { return CodePage().CharUpper(text); }

// The path forms of the programs already recorded in this scan, each as ComparedForm gives it.
std::unordered_set<std::string>& Seen() { return core::State().softwareSeen; }

// Upper case with every run of backslashes collapsed, those that open a UNC path too: a
// shortcut's forms and an App Paths entry meet whatever spelling each came in.
std::string ComparedForm(const std::string& path) { return core::RemoveDoubleBackslash(Upper(path)); }

// An empty form is never marked, so it is never seen.
bool IsSeen(const std::string& form) { return Seen().count(ComparedForm(form)) != 0; }

// An empty form names no file; keeping it would refuse every later program whose short
// path cannot be had.
void MarkSeen(const std::string& form) {
    if (!form.empty()) Seen().insert(ComparedForm(form));
}

bool IsExecutable(const std::string& path) {
    std::string ext = Upper(ExtensionOf(path));
    return std::any_of(std::begin(kExecutableExtensions), std::end(kExecutableExtensions),
                       [&](const char* e) { return ext == e; });
}

// Doubled backslashes collapsed, keeping the two that open a UNC path.
std::string CollapseKeepingUnc(const std::string& path) {
    if (path.size() < 2 || path[0] != '\\' || path[1] != '\\') return core::RemoveDoubleBackslash(path);
    std::string unc(1, '\\');
    unc += core::RemoveDoubleBackslash(path.substr(1));
    return unc;
}

// The short (8.3) path; empty when the file does not exist.
std::string ShortForm(const std::string& path) {
    std::string shortPath;
    if (Files().GetShortPathName(path, shortPath) == 0) return std::string();
    return shortPath;
}

// The drive of the path with its backslash: "C:\" or "\\SERVER\SHARE\"; "\" when it has none.
std::string RootOf(const std::string& path) { return DriveOf(path) + "\\"; }

bool HasRoot(const std::string& root) { return root != "\\"; }

// Whether a program on the drive is recorded, with its not-fixed flag: fixed and network
// drives are, and anything reached by a UNC path whatever type the system reports for it.
bool DriveFlag(const std::string& root, int& notFixed) {
    unsigned type = Drives().GetDriveType(root);
    notFixed = type == DRIVE_FIXED ? 0 : 1;
    return type == DRIVE_FIXED || type == DRIVE_REMOTE || StartsWithNoCase(root, "\\\\");
}

// No 8.3 names: the scan never reads them.
bool FirstEntry(const std::string& path, FindData& data) {
    std::unique_ptr<FindHandle> find = Files().FindFirstFileEx(path, FindInfoLevel::Basic, data);
    return find != nullptr;
}

std::vector<std::string> WindowsFolderExclusion() {
    std::vector<std::string> exclusions;
    // Without a Windows folder an empty entry would exclude every program.
    std::string windows = core::GetWindowsFolder();
    if (!windows.empty()) exclusions.push_back(Upper(IncludeTrailingBackslash(windows)));
    return exclusions;
}

bool IsExcluded(const std::string& folder, const std::vector<std::string>& exclusions) {
    return std::any_of(exclusions.begin(), exclusions.end(), [&](const std::string& e) {
        return !e.empty() && folder.compare(0, e.size(), e) == 0;
    });
}

void AddShellFolder(RegistryAccessor& reg, std::string_view value, std::string_view below,
                    std::vector<std::string>& folders) {
    if (!reg.ValueExists(value)) return;
    std::string folder = ReadRegText(value, reg);
    // An empty value would make the quick scan walk the whole current drive.
    if (folder.empty()) return;
    folders.push_back(IncludeTrailingBackslash(folder) + std::string(below));
}

void AnalyzeShortcuts(const std::vector<std::string>& shortcuts, bool logged) {
    std::vector<std::string> exclusions = WindowsFolderExclusion();
    if (logged) WriteLog("Start shortcut analyze");
    for (const std::string& shortcut : shortcuts) ShortcutAnalyze(shortcut, exclusions);
    if (logged) WriteLog("End shortcut analyze");
}

core::ShortcutReaderState& Reader() {
    core::ShortcutReaderState& reader = core::State().shortcutReader;
    if (!reader.made) {
        reader.made = true;
        // Stands for CoInitialize and the in-process shell-link object with its two interfaces;
        // without it the reader is not ready.
        StopSilently([&] { reader.link = ShellLinks().CreateShellLink(); });
    }
    return reader;
}

}  // namespace

void SoftwareInventory() {
    WriteLog("Enter SoftwareInventory");
    core::CreateResultList();
    core::AddFieldHeader(11);
    // The records written before a failure are kept.
    LogAndGoOn([] { ScanSoftware(core::HasSwitch("/FS")); });
    // The scan is the reader's only user: no shell-link object outlives the run that used it.
    ReleaseShortcutReader();
    LogAndGoOn([] { core::CloseResultList(core::State().resultFiles.localSoftware); });
    WriteLog("Exit SoftwareInventory");
}

void ScanSoftware(bool full) {
    Seen().clear();
    if (full)
        FullScan();
    else
        QuickScan();
}

void QuickScan() {
    WriteLog("Enter QuickScan");
    try {
        std::vector<std::string> folders;
        getQuickScanDirsList(folders);
        std::vector<std::string> shortcuts;
        // One unreadable folder leaves the others to scan.
        for (const std::string& folder : folders)
            StopSilently([&] { FindFilesByExt(folder, kShortcutExtension, true, shortcuts); });
        AnalyzeShortcuts(shortcuts, true);
        WriteLog("Start ForceScanRegistryAppPath");
        ForceScanRegistryAppPath();
        WriteLog("End ForceScanRegistryAppPath");
    } catch (...) {
        WriteLog("Exit QuickScan");
        throw;
    }
    WriteLog("Exit QuickScan");
}

void FullScan() {
    std::vector<std::string> shortcuts;
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
        std::string root = std::string(1, letter) + ":\\";
        // One unreadable drive leaves the others to scan.
        StopSilently([&] {
            if (Drives().GetDriveType(root) == DRIVE_FIXED) FindFilesByExt(root, kShortcutExtension, true, shortcuts);
        });
    }
    AnalyzeShortcuts(shortcuts, false);
    ForceScanRegistryAppPath();
}

void getQuickScanDirsList(std::vector<std::string>& folders) {
    WriteLog("Enter getQuickScanDirsList");
    RegistryAccessor reg(HKEY_CURRENT_USER);
    if (reg.OpenKeyReadOnly(kShellFolders)) {
        AddShellFolder(reg, "APPDATA", "MICROSOFT\\INTERNET EXPLORER\\", folders);
        AddShellFolder(reg, "DESKTOP", "", folders);
        AddShellFolder(reg, "START MENU", "", folders);
    }
    reg.SetRootKey(HKEY_LOCAL_MACHINE);
    if (reg.OpenKeyReadOnly(kShellFolders)) {
        AddShellFolder(reg, "COMMON DESKTOP", "", folders);
        AddShellFolder(reg, "COMMON START MENU", "", folders);
    }
    WriteLog("Exit getQuickScanDirsList");
}

void FindFilesByExt(const std::string& folder, const std::string& ext, bool recursive,
                    std::vector<std::string>& files) {
    struct Subfolder {
        std::string key;
        std::string path;
    };
    std::vector<Subfolder> subfolders;
    {
        FindData data;
        std::unique_ptr<FindHandle> find = Files().FindFirstFileEx(folder + "*.*", FindInfoLevel::Basic, data);
        if (!find) return;
        do {
            const std::string& name = data.cFileName;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                // A reparse point may lead back up the tree, or off this drive.
                if (recursive && name != "." && name != ".." && !(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
                    subfolders.push_back({Upper(name), folder + name + "\\"});
            } else if (!(data.dwFileAttributes & kFileAttributeVolumeLabel) && Upper(ExtensionOf(name)) == ext) {
                files.push_back(folder + name);
            }
        } while (find->FindNextFile(data));
    }  // the search is closed before the subfolders are searched
    std::stable_sort(subfolders.begin(), subfolders.end(),
                     [](const Subfolder& a, const Subfolder& b) { return a.key < b.key; });
    for (const Subfolder& sub : subfolders) FindFilesByExt(sub.path, ext, true, files);
}

void ShortcutAnalyze(const std::string& shortcutPath, const std::vector<std::string>& exclusions) {
    WriteLog("ShortcutAnalyze(" + shortcutPath + ")");
    // One shortcut that cannot be read leaves the others to analyse.
    StopSilently([&] {
        std::string target = CollapseKeepingUnc(Upper(GetShortcutInfo(shortcutPath, kShortcutTarget)));
        std::string folder = FolderOf(target);
        if (IsExcluded(folder, exclusions)) return;
        std::string root = RootOf(target);
        if (!HasRoot(root)) return;
        if (!IsExecutable(target)) return;
        // The two forms ask the network and the file system: only a target that passed the
        // tests on its text pays for them, and the short form, which looks into every folder
        // of the path, only when the expanded one has not been seen.
        std::string expanded = ExpandUncFileName(target);
        if (IsSeen(expanded)) return;
        std::string shortForm = ShortForm(target);
        if (IsSeen(shortForm)) return;
        int notFixed = 0;
        if (!DriveFlag(root, notFixed)) return;
        FindData data;
        if (!FirstEntry(target, data)) return;
        if (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | kFileAttributeVolumeLabel)) return;
        AddSoftware(notFixed, folder, data.cFileName, data.nFileSize, shortcutPath);
        MarkSeen(shortForm);
        MarkSeen(expanded);
    });
}

void ForceScanRegistryAppPath() {
    WriteLog("Enter ForceScanRegistryAppPath");
    try {
        std::vector<std::string> paths;
        RegistryAccessor reg(HKEY_LOCAL_MACHINE);
        if (reg.OpenKeyReadOnly(kAppPaths)) {
            WriteLog("Read Registry");
            for (const std::string& name : reg.GetKeyNames()) {
                std::string key = std::string(kAppPaths) + "\\" + name;
                WriteLog("Analyze :" + key);
                if (reg.OpenKeyReadOnly(key)) paths.push_back(ReadRegText("", reg));
            }
            WriteLog("End Read Registry");
        }
        WriteLog("Start search File for each registry key");
        for (const std::string& path : paths) {
            WriteLog("Shortcut analyze 1 :" + path);
            // Used as registered: quotes and variables are not removed.
            std::string target = Upper(path);
            std::string root = RootOf(target);
            if (!HasRoot(root)) continue;
            // Both forms, as for a shortcut: a program that a shortcut reached through a
            // mapped drive or its share is recorded once, whichever of the two names it here.
            std::string expanded = ExpandUncFileName(target);
            if (IsSeen(expanded)) continue;
            std::string shortForm = ShortForm(target);
            if (IsSeen(shortForm)) continue;
            WriteLog("Shortcut analyze 2:" + path);
            if (!IsExecutable(target)) continue;
            int notFixed = 0;
            if (!DriveFlag(root, notFixed)) continue;
            FindData data;
            if (!FirstEntry(target, data)) continue;
            AddSoftware(notFixed, FolderOf(target), data.cFileName, data.nFileSize, std::string());
            MarkSeen(shortForm);
            MarkSeen(expanded);
        }
    } catch (...) {
        WriteLog("Exit ForceScanRegistryAppPath");
        throw;
    }
    WriteLog("Exit ForceScanRegistryAppPath");
}

void AddSoftware(int notFixed, const std::string& folder, const std::string& fileName, std::uint64_t size,
                 const std::string& shortcutPath) {
    // The version items come from the path as found: collapsing first would turn a UNC
    // folder into a path on the current drive.
    std::string file = folder + fileName;
    VersionInfoReader versions(file);
    std::string company, product, version, language;
    versions.Get(viEditeur, company);
    versions.Get(viNomProduit, product);
    versions.Get(viVersion, version);
    versions.Get(viLangue, language);
    // The low 32 bits as a signed number, as the file has always shown sizes.
    auto low = static_cast<std::int32_t>(static_cast<std::uint32_t>(size & 0xFFFFFFFFu));
    WriteSoftwareLine(notFixed, core::RemoveDoubleBackslash(folder), fileName, std::to_string(low), company, product,
                      version, language, shortcutPath);
}

void WriteSoftwareLine(int notFixed, const std::string& folder, const std::string& fileName, const std::string& size,
                       const std::string& company, const std::string& product, const std::string& version,
                       const std::string& language, const std::string& shortcutPath) {
    int number = ++core::State().softwareRecordCounter;
    std::string value = core::QuoteField(std::to_string(notFixed));
    for (const std::string* text : {&folder, &fileName, &size, &company, &product, &version, &language, &shortcutPath}) {
        value += ',';
        value += core::QuoteField(*text);
    }
    core::AddResultLine(kSoftware, std::to_string(number), value);
}

std::string GetShortcutInfo(std::string_view shortcutPath, int item) {
    core::ShortcutReaderState& reader = Reader();
    if (!reader.link) return std::string();
    if (!reader.link->Load(CodePage().MultiByteToWideChar(shortcutPath))) return std::string();
    std::string text;
    bool read = false;
    switch (item) {
        case kShortcutTarget:
            read = reader.link->GetPath(text, kLongestPath, SLGP_UNCPRIORITY);
            break;
        case kShortcutShortPath:
            read = reader.link->GetPath(text, kLongestPath, SLGP_SHORTPATH);
            break;
        case kShortcutDescription:
            read = reader.link->GetDescription(text, kLongestShortcutText);
            break;
        case kShortcutArguments:
            read = reader.link->GetArguments(text, kLongestShortcutText);
            break;
        case kShortcutWorkingDirectory:
            read = reader.link->GetWorkingDirectory(text, kLongestPath);
            break;
        default:
            break;
    }
    if (!read) return std::string();
    std::size_t zero = text.find('\0');
    return zero == std::string::npos ? text : text.substr(0, zero);
}

bool ShortcutReaderReady() { return Reader().link != nullptr; }

void ReleaseShortcutReader() { core::State().shortcutReader = core::ShortcutReaderState{}; }

}  // namespace qm::collectors
