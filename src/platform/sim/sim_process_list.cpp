#include "platform/sim/sim_process_list.h"

#include <nlohmann/json.hpp>

#include "platform/platform.h"
#include "platform/sim/machine_state.h"
#include "platform/winpath.h"

namespace qm::sim {

using namespace qm::platform;
using nlohmann::json;

namespace {

constexpr HMODULE kFirstModule = 0x00400000;
constexpr HMODULE kModuleStride = 0x00010000;

// The program first, then the modules it loaded.
std::vector<std::string> ModulesOf(const ProcessConfig& p) {
    std::vector<std::string> modules;
    if (!p.path.empty()) modules.push_back(p.path);
    modules.insert(modules.end(), p.modules.begin(), p.modules.end());
    return modules;
}

class SimProcessHandle final : public ProcessHandle {
public:
    SimProcessHandle(MachineState& state, ProcessConfig process) : state_(state), process_(std::move(process)) {}

    bool EnumProcessModules(std::vector<HMODULE>& modules, DWORD bufferBytes, DWORD& bytesNeeded) override {
        modules.clear();
        bytesNeeded = 0;
        if (state_.Fails("EnumProcessModules", process_.path, false)) return false;
        std::vector<std::string> all = ModulesOf(process_);
        if (all.empty()) {
            SetLastError(ERROR_PARTIAL_COPY);
            return false;
        }
        bytesNeeded = static_cast<DWORD>(all.size() * sizeof(DWORD));
        for (std::size_t i = 0; i < all.size() && (i + 1) * sizeof(DWORD) <= bufferBytes; ++i)
            modules.push_back(kFirstModule + i * kModuleStride);
        return true;
    }

    DWORD GetModuleFileNameEx(HMODULE module, std::string& fileName, DWORD size) override {
        fileName.clear();
        std::vector<std::string> all = ModulesOf(process_);
        std::size_t index = (module - kFirstModule) / kModuleStride;
        if (module < kFirstModule || (module - kFirstModule) % kModuleStride != 0 || index >= all.size()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return 0;
        }
        if (state_.Fails("GetModuleFileNameEx", all[index], false)) return 0;
        if (size == 0) {
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return 0;
        }
        fileName = all[index].substr(0, size - 1);
        return static_cast<DWORD>(fileName.size());
    }

private:
    MachineState& state_;
    ProcessConfig process_;
};

class SimSnapshot final : public ToolhelpSnapshot {
public:
    SimSnapshot(std::vector<PROCESSENTRY32> entries) : entries_(std::move(entries)) {}
    bool Process32First(PROCESSENTRY32& entry) override {
        next_ = 0;
        return Process32Next(entry);
    }
    bool Process32Next(PROCESSENTRY32& entry) override {
        if (entry.dwSize != PROCESSENTRY32{}.dwSize) {
            SetLastError(ERROR_BAD_LENGTH);
            return false;
        }
        if (next_ >= entries_.size()) {
            SetLastError(ERROR_NO_MORE_FILES);
            return false;
        }
        entry = entries_[next_++];
        return true;
    }

private:
    std::vector<PROCESSENTRY32> entries_;
    std::size_t next_ = 0;
};

[[noreturn]] void Refuse(const std::string& fileName, const std::string& where, const std::string& what) {
    throw MachineError(fileName + ": /processes" + where + ": " + what);
}

DWORD Number(const json& entry, const char* key, DWORD def, const std::string& fileName, const std::string& where) {
    if (!entry.contains(key)) return def;
    const json& v = entry.at(key);
    if (!v.is_number_unsigned() || v.get<std::uint64_t>() > 0xFFFFFFFFu)
        Refuse(fileName, where + "/" + key, "expected a whole number from 0 to 4294967295");
    return static_cast<DWORD>(v.get<std::uint64_t>());
}

std::string Text(const json& v, const CodePageTable& cp, const std::string& fileName, const std::string& where) {
    if (!v.is_string()) Refuse(fileName, where, "expected a Windows path");
    return cp.FromUtf8(v.get<std::string>());
}

}  // namespace

std::vector<ProcessConfig> ParseProcessList(const json& node, const std::string& fileName, const CodePageTable& cp) {
    if (!node.is_array()) Refuse(fileName, "", "expected an array");
    std::vector<ProcessConfig> list;
    for (std::size_t i = 0; i < node.size(); ++i) {
        const json& entry = node[i];
        std::string where = "/" + std::to_string(i);
        if (!entry.is_object()) Refuse(fileName, where, "expected an object");
        for (auto it = entry.begin(); it != entry.end(); ++it)
            if (it.key() != "pid" && it.key() != "parent" && it.key() != "threads" && it.key() != "path" &&
                it.key() != "modules" && it.key() != "opens")
                Refuse(fileName, where + "/" + it.key(), "unknown entry");
        if (!entry.contains("pid")) Refuse(fileName, where + "/pid", "missing");
        ProcessConfig p;
        p.pid = Number(entry, "pid", 0, fileName, where);
        p.parentPid = Number(entry, "parent", 0, fileName, where);
        p.threads = Number(entry, "threads", 1, fileName, where);
        if (entry.contains("path")) p.path = Text(entry.at("path"), cp, fileName, where + "/path");
        if (entry.contains("modules")) {
            const json& modules = entry.at("modules");
            if (!modules.is_array()) Refuse(fileName, where + "/modules", "expected an array");
            for (std::size_t m = 0; m < modules.size(); ++m)
                p.modules.push_back(Text(modules[m], cp, fileName, where + "/modules/" + std::to_string(m)));
        }
        if (entry.contains("opens")) {
            if (!entry.at("opens").is_boolean()) Refuse(fileName, where + "/opens", "expected true or false");
            p.opens = entry.at("opens").get<bool>();
        }
        for (const ProcessConfig& other : list)
            if (other.pid == p.pid) Refuse(fileName, where + "/pid", "a second process of identifier " + std::to_string(p.pid));
        list.push_back(std::move(p));
    }
    return list;
}

bool SimProcessList::EnumProcesses(std::vector<DWORD>& processIds, DWORD bufferBytes, DWORD& bytesReturned) {
    processIds.clear();
    bytesReturned = 0;
    if (!state_.IsNtFamily()) {
        SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
        return false;
    }
    if (state_.Fails("EnumProcesses", "", false)) return false;
    for (const ProcessConfig& p : state_.Config().processes) {
        if ((processIds.size() + 1) * sizeof(DWORD) > bufferBytes) break;
        processIds.push_back(p.pid);
    }
    bytesReturned = static_cast<DWORD>(processIds.size() * sizeof(DWORD));
    return true;
}

std::unique_ptr<ProcessHandle> SimProcessList::OpenProcess(DWORD access, bool, DWORD processId) {
    if (!state_.IsNtFamily()) {
        SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
        return nullptr;
    }
    for (const ProcessConfig& p : state_.Config().processes) {
        if (p.pid != processId) continue;
        // The idle process opens for nobody.
        if (p.pid == 0) break;
        if (state_.Fails("OpenProcess", p.path, false)) return nullptr;
        if (!p.opens && (access & (PROCESS_QUERY_INFORMATION | PROCESS_VM_READ)) != 0) {
            SetLastError(ERROR_ACCESS_DENIED);
            return nullptr;
        }
        return std::make_unique<SimProcessHandle>(state_, p);
    }
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
}

std::unique_ptr<ToolhelpSnapshot> SimProcessList::CreateToolhelp32Snapshot(DWORD flags, DWORD) {
    const auto& version = state_.Config().version;
    if (state_.IsNtFamily() && version.dwMajorVersion < 5) {
        SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
        return nullptr;
    }
    if (state_.Fails("CreateToolhelp32Snapshot", "", false)) return nullptr;
    std::vector<PROCESSENTRY32> entries;
    if ((flags & TH32CS_SNAPPROCESS) != 0) {
        for (const ProcessConfig& p : state_.Config().processes) {
            PROCESSENTRY32 e;
            e.th32ProcessID = p.pid;
            e.th32ParentProcessID = p.parentPid;
            e.cntThreads = p.threads;
            // The 9x family names the program by its path, the NT family by its file name.
            e.szExeFile = (state_.IsNtFamily() ? FileNameOf(p.path) : p.path).substr(0, MAX_PATH - 1);
            entries.push_back(std::move(e));
        }
    }
    return std::make_unique<SimSnapshot>(std::move(entries));
}

}  // namespace qm::sim
