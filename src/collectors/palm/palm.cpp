#include "collectors/palm/palm.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "collectors/collector_guard.h"
#include "collectors/registry_values.h"
#include "core/process_state.h"
#include "core/result_list.h"
#include "core/sections.h"
#include "core/trace_log.h"
#include "platform/platform.h"
#include "platform/registry_accessor.h"
#include "platform/sync_manager.h"
#include "platform/winpath.h"

namespace qm::collectors {

using namespace qm::platform;
namespace sm = qm::platform::sync_manager;
using core::QuoteField;
using core::WriteLog;
using core::sections::kApplication;
using core::sections::kBattery;
using core::sections::kGeneral;
using core::sections::kHost;
using core::sections::kMemory;
using core::sections::kNetwork;
using core::sections::kOthers;

namespace {

// The database's layout: a header whose last two bytes count the records, a list of eight
// bytes per record, a gap of two bytes, then the records.
constexpr std::size_t kHeaderSize = 78;
constexpr std::size_t kRecordCountAt = 76;
constexpr std::size_t kRecordListEntrySize = 8;
constexpr std::size_t kGapSize = 2;
// No database with a 16-bit record count is longer: the rest of a larger file is never read.
constexpr std::size_t kLongestDatabase = kHeaderSize + kGapSize + (kRecordListEntrySize + kPalmRecordSize) * 0xFFFF;

// The key whose value names the handheld, with its trailing blank.
constexpr std::string_view kIdentifierKey = "GUID ";
// The handheld result file's header names ten fields.
constexpr int kPalmFieldCount = 10;

core::SyncManagerLibraries& Held() { return core::State().syncManager; }

const char* SectionOf(std::string_view letter) {
    switch (letter.empty() ? '\0' : letter.front()) {
        case 'A': return kApplication;
        case 'B': return kBattery;
        case 'G': return kGeneral;
        case 'M': return kMemory;
        case 'N': return kNetwork;
        default: return kOthers;
    }
}

// Two decimal digits, blanks allowed in front of them as the handheld application may pad.
bool ParseLengthField(std::string_view text, std::size_t& length) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    if (text.empty()) return false;
    length = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        length = length * 10 + static_cast<std::size_t>(c - '0');
    }
    return true;
}

// The libraries are loaded by a full path only: a relative one would be looked for in the
// folders Windows searches, where another library of the same name may lie.
std::unique_ptr<LibraryModule> LoadSyncManagerLibrary(const char* fileName) {
    std::string folder = GetHotSyncDir();
    if (!IsAbsolutePath(folder)) return nullptr;
    return platform::Libraries().LoadLibrary(folder + fileName);
}

// A module freed without raising: the callers free in their clean-up.
void FreeModule(std::unique_ptr<LibraryModule>& module) {
    if (!module) return;
    StopSilently([&] { module->FreeLibrary(); });
    module.reset();
}

// The user's folder names a folder below the sync manager's own: a library's answer never
// leads the reading elsewhere.
bool IsUserFolderName(const std::string& folder) {
    if (folder.empty() || IsPathDelimiter(folder.front()) || folder.find(':') != std::string::npos) return false;
    for (const std::string& part : PathComponents(folder))
        if (part == "..") return false;
    return true;
}

// One user of the sync manager: its identifier, its folder, then its database.
void ReadUser(int index) {
    core::SyncManagerLibraries& l = Held();
    // Zeroed before the calls, so that a call that fails leaves no stale or unterminated answer.
    DWORD userId = 0;
    l.umGetUserId(static_cast<WORD>(index), &userId);
    char buffer[sm::kUserDirectorySize] = {};
    std::int16_t size = sm::kUserDirectorySize;
    l.umGetUserDirectory(userId, buffer, &size);
    std::string folder(buffer, strnlen(buffer, sizeof buffer));
    if (!IsUserFolderName(folder)) {
        WriteLog("Handheld user " + std::to_string(index) + ": no folder of its own (\"" + folder + "\"), skipped");
        return;
    }
    std::string syncFolder = GetHotSyncDir();
    if (!IsAbsolutePath(syncFolder)) return;
    ReadPalmUser(syncFolder + folder + "\\Backup\\", core::State().workFolder);
}

}  // namespace

void PalmInventory() {
    StopSilently([] {
        if (!ConduitFilesPresent() || !RegisterConduit() || !LoadUserData()) return;
        struct Release {
            ~Release() { FreeUserData(); }
        } release;
        // The count is 16 bits; read as a signed number, a negative one is the error return.
        int count = static_cast<std::int16_t>(Held().umGetUserCount());
        for (int i = 0; i < count; ++i) StopSilently([i] { ReadUser(i); });
    });
}

bool ConduitFilesPresent() {
    std::string folder = core::AgentFolder();
    return FileExists(Files(), folder + kPalmApplicationFile) && FileExists(Files(), folder + kPalmNotifierFile);
}

bool RegisterConduit() {
    if (GetHotSyncDir().empty() || !LoadCondMgr()) return false;
    struct Release {
        ~Release() { FreeCondMgr(); }
    } release;
    return StopSilently([] {
        CopyConduitFiles();
        // Whether the sync manager took the registration is not known to the caller either way.
        std::string notifier = GetHotSyncDir() + kPalmNotifierFile;
        Held().nmUnregister(notifier.c_str());
        Held().nmRegister(notifier.c_str());
    });
}

void CopyConduitFiles() {
    std::string folder = GetHotSyncDir();
    if (!IsAbsolutePath(folder)) return;
    std::string agent = core::AgentFolder();
    Files().CreateDirectory(folder + "add-on");
    Files().CopyFile(agent + kPalmApplicationFile, folder + "add-on\\" + kPalmApplicationFile, false);
    Files().CopyFile(agent + kPalmNotifierFile, folder + kPalmNotifierFile, false);
}

std::string GetHotSyncDir() {
    RegistryAccessor reg(HKEY_CURRENT_USER);
    if (!reg.OpenKeyReadOnly(sm::kCoreKey)) return std::string();
    std::string path = ReadRegText("Path", reg);
    return path.empty() ? path : IncludeTrailingBackslash(path);
}

bool LoadCondMgr() {
    FreeCondMgr();
    core::SyncManagerLibraries& l = Held();
    return StopSilently([&] {
        std::unique_ptr<LibraryModule> module = LoadSyncManagerLibrary(sm::kCondMgrFile);
        if (!module) return;
        auto* registerNotifier = GetProc<sm::NmRegisterFunction>(*module, sm::kNmRegister);
        auto* unregisterNotifier = GetProc<sm::NmUnregisterFunction>(*module, sm::kNmUnregister);
        if (registerNotifier == nullptr || unregisterNotifier == nullptr) {
            FreeModule(module);
            return;
        }
        l.condMgr = std::move(module);
        l.nmRegister = registerNotifier;
        l.nmUnregister = unregisterNotifier;
    }) && l.condMgr != nullptr;
}

void FreeCondMgr() {
    core::SyncManagerLibraries& l = Held();
    l.nmRegister = nullptr;
    l.nmUnregister = nullptr;
    FreeModule(l.condMgr);
}

bool LoadUserData() {
    FreeUserData();
    core::SyncManagerLibraries& l = Held();
    return StopSilently([&] {
        std::unique_ptr<LibraryModule> module = LoadSyncManagerLibrary(sm::kUserDataFile);
        if (!module) return;
        auto* count = GetProc<sm::UmGetUserCountFunction>(*module, sm::kUmGetUserCount);
        auto* id = GetProc<sm::UmGetUserIDFunction>(*module, sm::kUmGetUserID);
        auto* directory = GetProc<sm::UmGetUserDirectoryFunction>(*module, sm::kUmGetUserDirectory);
        if (count == nullptr || id == nullptr || directory == nullptr) {
            FreeModule(module);
            return;
        }
        l.userData = std::move(module);
        l.umGetUserCount = count;
        l.umGetUserId = id;
        l.umGetUserDirectory = directory;
    }) && l.userData != nullptr;
}

void FreeUserData() {
    core::SyncManagerLibraries& l = Held();
    l.umGetUserCount = nullptr;
    l.umGetUserId = nullptr;
    l.umGetUserDirectory = nullptr;
    FreeModule(l.userData);
}

void ReadPalmUser(const std::string& backupFolder, const std::string& workFolder) {
    std::string database = backupFolder + kPalmDatabaseFile;
    if (!FileExists(Files(), database)) return;
    std::string contents;
    if (!ReadFileStart(Files(), database, kLongestDatabase, contents)) return;
    // The user's list is the collector's own: whatever ends this user, no list outlives it.
    struct Forget {
        ~Forget() { core::State().resultList.reset(); }
    } forget;
    core::CreateResultList();
    core::AddFieldHeader(kPalmFieldCount);
    std::string identifier;
    try {
        ParsePalmDatabase(contents, kPalmFieldPositions, kPalmFieldLengths, identifier);
    } catch (const PalmDatabaseError& e) {
        WriteLog(database + " is damaged: " + e.what());
        return;
    }
    core::AddResultLine(kHost, "GUID", QuoteField(core::State().machineId));
    PalmHotSyncInfo();
    // The identifier comes from the handheld: it names a file of the work folder and nothing else.
    core::CloseResultList(workFolder + core::FileNamePart(identifier) + ".pdz");
}

void ParsePalmDatabase(std::string_view contents, const PalmFieldList& positions, const PalmFieldList& lengths,
                       std::string& identifier) {
    if (contents.size() < kHeaderSize)
        throw PalmDatabaseError(std::to_string(contents.size()) + " bytes, shorter than the header");
    std::size_t count = static_cast<std::size_t>(static_cast<unsigned char>(contents[kRecordCountAt])) << 8 |
                        static_cast<unsigned char>(contents[kRecordCountAt + 1]);
    std::size_t first = kHeaderSize + kRecordListEntrySize * count + kGapSize;
    std::size_t needed = first + kPalmRecordSize * count;
    if (contents.size() < needed)
        throw PalmDatabaseError(std::to_string(count) + " records need " + std::to_string(needed) + " bytes, the file has " +
                                std::to_string(contents.size()));
    for (std::size_t i = 0; i < count; ++i) {
        std::string_view record = contents.substr(first + kPalmRecordSize * i, kPalmRecordSize);
        // A record is text up to its first NUL: what lies after it reads as empty.
        record = record.substr(0, record.find('\0'));
        auto field = [&](std::size_t f, std::size_t length) {
            return positions[f] < record.size() ? record.substr(positions[f], length) : std::string_view();
        };
        std::string_view letter = field(0, lengths[0]);
        std::string_view key = field(1, lengths[1]);
        std::size_t length = 0;
        if (!ParseLengthField(field(2, lengths[2]), length))
            throw PalmDatabaseError("record " + std::to_string(i) + " has the length \"" + std::string(field(2, lengths[2])) +
                                    "\"");
        std::string value(field(3, std::min(length, lengths[3])));
        if (key == kIdentifierKey) identifier = value;
        core::AddQuotedResultLine(SectionOf(letter), key, value);
    }
}

void PalmHotSyncInfo() {
    RegistryAccessor reg(HKEY_CURRENT_USER);
    if (!reg.OpenKeyReadOnly(sm::kHotSyncManagerKey)) return;
    for (const std::string& name : reg.GetValueNames())
        if (name.find("Notifier") != std::string::npos)
            core::AddResultLine(kHost, name, QuoteField(ReadRegValueAsString(name, reg)));
    if (reg.ValueExists("LastSync"))
        core::AddResultLine(kHost, "Last HotSync", QuoteField(ReadRegValueAsString("LastSync", reg)));
}

}  // namespace qm::collectors
