#include "platform/sim/sim_libraries.h"

#include <algorithm>
#include <cstring>

#include "platform/platform.h"
#include "platform/sim/machine_state.h"
#include "platform/sync_manager.h"
#include "platform/text.h"

namespace qm::sim {

using namespace qm::platform;
namespace sm = qm::platform::sync_manager;

// A loaded library bound to one of the simulator's modules.
class SimModule final : public LibraryModule {
public:
    SimModule(SimLibraries& owner, const LibraryConfig& config, std::string path)
        : owner_(owner), config_(config), path_(std::move(path)) {}
    ~SimModule() override {
        if (!freed_) FreeLibrary();
    }

    FARPROC GetProcAddress(std::string_view name) override;
    bool FreeLibrary() override;

    SimLibraries& Owner() { return owner_; }
    const LibraryConfig& Config() const { return config_; }
    // Whether a fault makes the export's call fail; the last error then holds its code.
    bool Fails(const char* function) { return owner_.State().Fails(function, path_, false); }

private:
    SimLibraries& owner_;
    const LibraryConfig& config_;
    std::string path_;
    bool freed_ = false;
};

namespace {

// The exports reach the module they belong to through the one loaded last of its kind, as a
// real library's code reaches its own data: a function pointer carries nothing else.
std::mutex activeMutex;
SimModule* active[2] = {nullptr, nullptr};

std::size_t Slot(SimModuleKind kind) { return kind == SimModuleKind::CondMgr ? 0 : 1; }

SimModule* Active(SimModuleKind kind) {
    std::lock_guard lock(activeMutex);
    return active[Slot(kind)];
}

// The error code an export returns for a fault: the fault's Win32 code as a negative number.
long FaultCode() { return -static_cast<long>(GetLastError()); }

// The export answers with an error when its library was freed: a real one would crash.
constexpr long kNoLibrary = -1;
constexpr long kNotFound = -2;
constexpr long kBadArgument = -3;
constexpr long kTooSmall = -4;

// The notifier values the sync manager calls after a synchronisation, under its key.
const char* const kNotifierPrefix = "Notifier";

std::string HotSyncManagerSubKey() { return std::string(sm::kHotSyncManagerKey).substr(1); }

std::vector<std::pair<std::string, std::string>> NotifierValues(RegistryService& registry, HKEY key) {
    std::vector<std::pair<std::string, std::string>> found;
    std::string name;
    DWORD type = 0;
    for (DWORD i = 0; registry.RegEnumValue(key, i, name, &type) == ERROR_SUCCESS; ++i) {
        if (type != REG_SZ || name.rfind(kNotifierPrefix, 0) != 0) continue;
        DWORD size = 0;
        if (registry.RegQueryValueEx(key, name, nullptr, nullptr, &size) != ERROR_SUCCESS) continue;
        std::string data(size, '\0');
        if (registry.RegQueryValueEx(key, name, nullptr, reinterpret_cast<std::uint8_t*>(data.data()), &size) !=
            ERROR_SUCCESS)
            continue;
        data.resize(std::min<std::size_t>(size, std::strlen(data.c_str())));
        found.emplace_back(name, data);
    }
    return found;
}

long NmRegisterExport(const char* notifierPath) {
    SimModule* m = Active(SimModuleKind::CondMgr);
    std::string path = notifierPath != nullptr ? notifierPath : "";
    if (m == nullptr) return kNoLibrary;
    m->Owner().Record(std::string(sm::kNmRegister) + " " + path);
    if (m->Fails(sm::kNmRegister)) return FaultCode();
    if (notifierPath == nullptr || path.empty()) return kBadArgument;
    RegistryService& registry = m->Owner().Registry();
    HKEY key = 0;
    if (registry.RegCreateKeyEx(HKEY_CURRENT_USER, HotSyncManagerSubKey(), KEY_ALL_ACCESS, key, nullptr) != ERROR_SUCCESS)
        return FaultCode();
    std::vector<std::pair<std::string, std::string>> values = NotifierValues(registry, key);
    long result = 0;
    if (std::none_of(values.begin(), values.end(), [&](const auto& v) { return EqualsNoCase(v.second, path); })) {
        // The first free number names the new notifier.
        std::string name;
        for (int n = 0;; ++n) {
            name = kNotifierPrefix + std::to_string(n);
            if (std::none_of(values.begin(), values.end(), [&](const auto& v) { return EqualsNoCase(v.first, name); })) break;
        }
        if (registry.RegSetValueEx(key, name, REG_SZ, reinterpret_cast<const std::uint8_t*>(path.c_str()),
                                   static_cast<DWORD>(path.size() + 1)) != ERROR_SUCCESS)
            result = FaultCode();
    }
    registry.RegCloseKey(key);
    return result;
}

long NmUnregisterExport(const char* notifierPath) {
    SimModule* m = Active(SimModuleKind::CondMgr);
    std::string path = notifierPath != nullptr ? notifierPath : "";
    if (m == nullptr) return kNoLibrary;
    m->Owner().Record(std::string(sm::kNmUnregister) + " " + path);
    if (m->Fails(sm::kNmUnregister)) return FaultCode();
    RegistryService& registry = m->Owner().Registry();
    HKEY key = 0;
    if (registry.RegOpenKeyEx(HKEY_CURRENT_USER, HotSyncManagerSubKey(), KEY_ALL_ACCESS, key) != ERROR_SUCCESS)
        return kNotFound;
    long result = kNotFound;
    for (const auto& [name, data] : NotifierValues(registry, key))
        if (EqualsNoCase(data, path) && registry.RegDeleteValue(key, name) == ERROR_SUCCESS) result = 0;
    registry.RegCloseKey(key);
    return result;
}

WORD UmGetUserCountExport() {
    SimModule* m = Active(SimModuleKind::UserData);
    if (m == nullptr) return static_cast<WORD>(kNoLibrary);
    m->Owner().Record(sm::kUmGetUserCount);
    if (m->Fails(sm::kUmGetUserCount)) return static_cast<WORD>(FaultCode());
    const LibraryConfig& c = m->Config();
    return c.userCount ? *c.userCount : static_cast<WORD>(std::min<std::size_t>(c.users.size(), 0x7FFF));
}

long UmGetUserIDExport(WORD index, DWORD* userId) {
    SimModule* m = Active(SimModuleKind::UserData);
    if (m == nullptr) return kNoLibrary;
    m->Owner().Record(std::string(sm::kUmGetUserID) + " " + std::to_string(index));
    if (m->Fails(sm::kUmGetUserID)) return FaultCode();
    const std::vector<SyncUserConfig>& users = m->Config().users;
    if (userId == nullptr) return kBadArgument;
    if (index >= users.size()) return kNotFound;
    *userId = users[index].id;
    return 0;
}

long UmGetUserDirectoryExport(DWORD userId, char* buffer, std::int16_t* size) {
    SimModule* m = Active(SimModuleKind::UserData);
    if (m == nullptr) return kNoLibrary;
    m->Owner().Record(std::string(sm::kUmGetUserDirectory) + " " + std::to_string(userId));
    if (m->Fails(sm::kUmGetUserDirectory)) return FaultCode();
    if (buffer == nullptr || size == nullptr || *size < 0) return kBadArgument;
    const std::vector<SyncUserConfig>& users = m->Config().users;
    auto user = std::find_if(users.begin(), users.end(), [&](const SyncUserConfig& u) { return u.id == userId; });
    if (user == users.end()) return kNotFound;
    std::size_t room = static_cast<std::size_t>(*size);
    if (user->folder.size() + 1 > room) {
        // As a careless library does: the buffer filled to its end, without a terminator.
        std::memcpy(buffer, user->folder.data(), room);
        return kTooSmall;
    }
    std::memcpy(buffer, user->folder.c_str(), user->folder.size() + 1);
    *size = static_cast<std::int16_t>(user->folder.size());
    return 0;
}

struct Export {
    const char* name;
    FARPROC function;
};

const std::vector<Export>& Exports(SimModuleKind kind) {
    static const std::vector<Export> condMgr{
        {sm::kNmRegister, reinterpret_cast<FARPROC>(&NmRegisterExport)},
        {sm::kNmUnregister, reinterpret_cast<FARPROC>(&NmUnregisterExport)}};
    static const std::vector<Export> userData{
        {sm::kUmGetUserCount, reinterpret_cast<FARPROC>(&UmGetUserCountExport)},
        {sm::kUmGetUserID, reinterpret_cast<FARPROC>(&UmGetUserIDExport)},
        {sm::kUmGetUserDirectory, reinterpret_cast<FARPROC>(&UmGetUserDirectoryExport)}};
    return kind == SimModuleKind::CondMgr ? condMgr : userData;
}

// The functions' own types are those the callers cast to.
static_assert(std::is_same_v<decltype(NmRegisterExport), sm::NmRegisterFunction>);
static_assert(std::is_same_v<decltype(NmUnregisterExport), sm::NmUnregisterFunction>);
static_assert(std::is_same_v<decltype(UmGetUserCountExport), sm::UmGetUserCountFunction>);
static_assert(std::is_same_v<decltype(UmGetUserIDExport), sm::UmGetUserIDFunction>);
static_assert(std::is_same_v<decltype(UmGetUserDirectoryExport), sm::UmGetUserDirectoryFunction>);

}  // namespace

const std::vector<std::string>& ExportNames(SimModuleKind kind) {
    static const auto names = [](SimModuleKind k) {
        std::vector<std::string> out;
        for (const Export& e : Exports(k)) out.emplace_back(e.name);
        return out;
    };
    static const std::vector<std::string> condMgr = names(SimModuleKind::CondMgr);
    static const std::vector<std::string> userData = names(SimModuleKind::UserData);
    return kind == SimModuleKind::CondMgr ? condMgr : userData;
}

FARPROC SimModule::GetProcAddress(std::string_view name) {
    owner_.Record("GetProcAddress " + std::string(name));
    if (freed_) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (owner_.State().Fails("GetProcAddress", path_, false)) return nullptr;
    bool left = std::find(config_.missing.begin(), config_.missing.end(), name) != config_.missing.end();
    for (const Export& e : Exports(config_.module))
        if (!left && name == e.name) return e.function;
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
}

bool SimModule::FreeLibrary() {
    owner_.Record("FreeLibrary " + path_);
    if (freed_) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    freed_ = true;
    owner_.Forget(this);
    return true;
}

SimLibraries::SimLibraries(MachineState& state, RegistryService& registry) : state_(state), registry_(registry) {}

SimLibraries::~SimLibraries() {
    // A module that outlives its machine reaches nothing through its exports.
    std::lock_guard lock(activeMutex);
    for (SimModule*& m : active)
        if (m != nullptr && &m->Owner() == this) m = nullptr;
}

std::unique_ptr<LibraryModule> SimLibraries::LoadLibrary(std::string_view path) {
    std::string full = state_.FullPath(path);
    Record("LoadLibrary " + full);
    if (state_.Fails("LoadLibrary", full, false)) return nullptr;
    ResolvedPath file = state_.Resolve(full);
    if (file.error != ERROR_SUCCESS || !file.exists) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    if (file.isDirectory) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    for (const LibraryConfig& library : state_.Config().libraries) {
        ResolvedPath bound = state_.Resolve(library.path);
        if (bound.error != ERROR_SUCCESS || !bound.exists || bound.host != file.host) continue;
        auto module = std::make_unique<SimModule>(*this, library, file.windowsPath);
        std::lock_guard lock(activeMutex);
        active[Slot(library.module)] = module.get();
        return module;
    }
    SetLastError(ERROR_BAD_EXE_FORMAT);
    return nullptr;
}

void SimLibraries::Forget(SimModule* module) {
    std::lock_guard lock(activeMutex);
    for (SimModule*& m : active)
        if (m == module) m = nullptr;
}

std::vector<std::string> SimLibraries::Calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
}

void SimLibraries::ClearCalls() {
    std::lock_guard lock(mutex_);
    calls_.clear();
}

void SimLibraries::Record(std::string call) {
    std::lock_guard lock(mutex_);
    calls_.push_back(std::move(call));
}

}  // namespace qm::sim
