#pragma once
// The software result file: the program files that a user of the machine can start, found
// through the targets of shortcut files (a few shell folders, or every fixed drive with
// "/FS") and then through the programs registered under App Paths. Every distinct program
// becomes one "Software" record with its folder, name, size and version items.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qm::collectors {

// Writes the local software result file: header line, scan, save.
void SoftwareInventory();
// Forgets the programs already recorded, then scans fully or quickly.
void ScanSoftware(bool full);
// The shortcuts of the quick-scan folders, then App Paths.
void QuickScan();
// The shortcuts of every fixed drive, then App Paths.
void FullScan();
// The quick-scan folders, each with a trailing backslash, in order.
void getQuickScanDirsList(std::vector<std::string>& folders);
// Appends folder + name of each file of the folder (trailing backslash) whose extension in
// upper case is ext (upper case, with its dot); when recursive, a folder's own files come
// before those of its subfolders, which are visited alphabetically without regard to case.
void FindFilesByExt(const std::string& folder, const std::string& ext, bool recursive,
                    std::vector<std::string>& files);
// Records the program that the shortcut leads to, when it passes every test.
void ShortcutAnalyze(const std::string& shortcutPath, const std::vector<std::string>& exclusions);
// Records the programs named under App Paths that no shortcut recorded.
void ForceScanRegistryAppPath();
// Gathers the value texts of one program and writes its record.
void AddSoftware(int notFixed, const std::string& folder, const std::string& fileName, std::uint64_t size,
                 const std::string& shortcutPath);
// Numbers and adds one "Software" record: the flag, then folder, name, size, company,
// product, version, language and shortcut path.
void WriteSoftwareLine(int notFixed, const std::string& folder, const std::string& fileName, const std::string& size,
                       const std::string& company, const std::string& product, const std::string& version,
                       const std::string& language, const std::string& shortcutPath);

// The items of a shortcut that GetShortcutInfo reads.
enum ShortcutItem : int {
    kShortcutTarget = 0,            // the target, in its network form when it has one
    kShortcutShortPath = 1,         // the target's short (8.3) path
    kShortcutDescription = 2,
    kShortcutArguments = 3,
    kShortcutWorkingDirectory = 4,
};

// One item of a shortcut file; empty when the reader is not ready, the file does not load
// or the item cannot be read.
std::string GetShortcutInfo(std::string_view shortcutPath, int item);
// Whether the shell-link object could be made; the first call makes it.
bool ShortcutReaderReady();
// Releases the shell-link object; the next use makes a new one.
void ReleaseShortcutReader();

}  // namespace qm::collectors
