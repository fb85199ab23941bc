#include "platform/sim/sim_registry.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <optional>

#include "platform/platform.h"
#include "platform/sim/host_files.h"
#include "platform/text.h"

namespace qm::sim {

using namespace qm::platform;

namespace {

constexpr REGSAM kWriteAccess = KEY_SET_VALUE | KEY_CREATE_SUB_KEY;

const char* RootName(HKEY key) {
    switch (key) {
        case HKEY_CLASSES_ROOT: return "HKEY_CLASSES_ROOT";
        case HKEY_CURRENT_USER: return "HKEY_CURRENT_USER";
        case HKEY_LOCAL_MACHINE: return "HKEY_LOCAL_MACHINE";
        case HKEY_USERS: return "HKEY_USERS";
        case HKEY_CURRENT_CONFIG: return "HKEY_CURRENT_CONFIG";
        case HKEY_DYN_DATA: return "HKEY_DYN_DATA";
        default: return nullptr;
    }
}

// The registry file's bytes, or the text that stands in for a file; none for a registry
// made from nothing.
std::optional<std::string> RegistryBytes(const std::string& file, std::string_view text) {
    if (!file.empty()) return ReadHostFile(file);
    if (!text.empty()) return std::string(text);
    return std::nullopt;
}

}  // namespace

SimRegistry::SimRegistry(MachineState& state, std::string file, std::string_view text)
    : state_(state),
      tree_(state.CodePage(), RegistryBytes(file, text), file.empty() ? "registry.reg" : file),
      file_(std::move(file)),
      // A registry made from nothing is saved in the format of its Windows family.
      format_(tree_.FormatRead().value_or(state.Config().version.dwPlatformId == VER_PLATFORM_WIN32_NT
                                              ? RegFileFormat::Regedit5
                                              : RegFileFormat::Regedit4)) {}

LONG SimRegistry::Fault(std::string_view op, const RegKey* key, const std::vector<std::string>& below, bool writes) {
    if (!state_.HasFaults()) return ERROR_SUCCESS;
    std::string path = tree_.NameToAnsi(tree_.PathOf(key));
    for (const std::string& n : below) path += "\\" + n;
    if (!state_.Fails(op, path, writes)) return ERROR_SUCCESS;
    return static_cast<LONG>(GetLastError());
}

LONG SimRegistry::KeyOf(HKEY key, REGSAM needed, RegKey*& result) {
    result = nullptr;
    if (const char* root = RootName(key)) {
        result = tree_.Root(root);
        return ERROR_SUCCESS;
    }
    auto it = handles_.find(key);
    if (it == handles_.end()) return ERROR_INVALID_HANDLE;
    if ((it->second.access & needed) != needed) return ERROR_ACCESS_DENIED;
    result = it->second.key;
    return ERROR_SUCCESS;
}

LONG SimRegistry::SubkeyNames(std::string_view subKey, std::vector<std::string>& names) const {
    std::string_view path = subKey;
    if (!path.empty() && path.back() == '\\') path.remove_suffix(1);
    names = SplitKeyPath(path);
    for (const std::string& n : names)
        if (n.empty()) return ERROR_BAD_PATHNAME;
    return ERROR_SUCCESS;
}

std::vector<std::string> SimRegistry::TreeNames(const std::vector<std::string>& ansiNames) const {
    std::vector<std::string> names;
    names.reserve(ansiNames.size());
    for (const std::string& n : ansiNames) names.push_back(tree_.NameFromAnsi(n));
    return names;
}

LONG SimRegistry::Opened(RegKey* key, REGSAM access, HKEY& result) {
    result = nextHandle_;
    nextHandle_ += 4;
    handles_[result] = Handle{key, access};
    return ERROR_SUCCESS;
}

LONG SimRegistry::RegOpenKeyEx(HKEY key, std::string_view subKey, REGSAM access, HKEY& result) {
    std::lock_guard lock(mutex_);
    result = 0;
    RegKey* from = nullptr;
    std::vector<std::string> names;
    if (LONG e = KeyOf(key, 0, from); e != ERROR_SUCCESS) return e;
    if (LONG e = SubkeyNames(subKey, names); e != ERROR_SUCCESS) return e;
    if (LONG e = Fault("RegOpenKeyEx", from, names, (access & kWriteAccess) != 0); e != ERROR_SUCCESS) return e;
    RegKey* target = tree_.Find(from, TreeNames(names));
    if (target == nullptr) return ERROR_FILE_NOT_FOUND;
    return Opened(target, access, result);
}

LONG SimRegistry::RegCreateKeyEx(HKEY key, std::string_view subKey, REGSAM access, HKEY& result, DWORD* disposition) {
    std::lock_guard lock(mutex_);
    result = 0;
    RegKey* from = nullptr;
    std::vector<std::string> names;
    if (LONG e = KeyOf(key, KEY_CREATE_SUB_KEY, from); e != ERROR_SUCCESS) return e;
    if (LONG e = SubkeyNames(subKey, names); e != ERROR_SUCCESS) return e;
    if (LONG e = Fault("RegCreateKeyEx", from, names, true); e != ERROR_SUCCESS) return e;
    bool created = false;
    RegKey* firstMade = nullptr;
    RegKey* target = tree_.Create(from, TreeNames(names), created, &firstMade);
    // What cannot be kept on disk is not kept at all, and the caller learns of it.
    if (created && !Save()) {
        tree_.Delete(firstMade);
        return static_cast<LONG>(ERROR_REGISTRY_IO_FAILED);
    }
    if (disposition != nullptr) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    return Opened(target, access, result);
}

LONG SimRegistry::RegQueryValueEx(HKEY key, std::string_view valueName, DWORD* type, std::uint8_t* data,
                                  DWORD* dataSize) {
    std::lock_guard lock(mutex_);
    RegKey* k = nullptr;
    if (LONG e = KeyOf(key, KEY_QUERY_VALUE, k); e != ERROR_SUCCESS) return e;
    if (LONG e = Fault("RegQueryValueEx", k, {}, false); e != ERROR_SUCCESS) return e;
    const RegValue* v = k->FindValue(tree_.Upper(tree_.NameFromAnsi(valueName)));
    if (v == nullptr) return ERROR_FILE_NOT_FOUND;
    if (type != nullptr) *type = v->type;
    const std::string bytes = tree_.DataToAnsi(*v);
    auto size = static_cast<DWORD>(bytes.size());
    if (data == nullptr) {
        if (dataSize != nullptr) *dataSize = size;
        return ERROR_SUCCESS;
    }
    if (dataSize == nullptr) return ERROR_INVALID_PARAMETER;
    if (*dataSize < size) {
        *dataSize = size;
        return ERROR_MORE_DATA;
    }
    std::memcpy(data, bytes.data(), size);
    *dataSize = size;
    return ERROR_SUCCESS;
}

LONG SimRegistry::RegSetValueEx(HKEY key, std::string_view valueName, DWORD type, const std::uint8_t* data,
                                DWORD dataSize) {
    std::lock_guard lock(mutex_);
    RegKey* k = nullptr;
    if (LONG e = KeyOf(key, KEY_SET_VALUE, k); e != ERROR_SUCCESS) return e;
    if (LONG e = Fault("RegSetValueEx", k, {}, true); e != ERROR_SUCCESS) return e;
    RegValue v;
    v.name = tree_.NameFromAnsi(valueName);
    std::string upper = tree_.Upper(v.name);
    std::optional<RegValue> before;
    if (const RegValue* old = k->FindValue(upper)) before = *old;
    v.type = type;
    if (data != nullptr) v.data = tree_.DataFromAnsi(type, std::string_view(reinterpret_cast<const char*>(data), dataSize));
    k->SetValue(std::move(v), upper);
    if (!Save()) {
        if (before) k->SetValue(*before, upper);
        else k->RemoveValue(upper);
        return static_cast<LONG>(ERROR_REGISTRY_IO_FAILED);
    }
    return ERROR_SUCCESS;
}

LONG SimRegistry::RegEnumKeyEx(HKEY key, DWORD index, std::string& name) {
    std::lock_guard lock(mutex_);
    RegKey* k = nullptr;
    if (LONG e = KeyOf(key, KEY_ENUMERATE_SUB_KEYS, k); e != ERROR_SUCCESS) return e;
    if (LONG e = Fault("RegEnumKeyEx", k, {}, false); e != ERROR_SUCCESS) return e;
    if (index >= k->Subkeys().size()) return ERROR_NO_MORE_ITEMS;
    name = tree_.NameToAnsi(k->Subkeys()[index]->Name());
    return ERROR_SUCCESS;
}

LONG SimRegistry::RegEnumValue(HKEY key, DWORD index, std::string& name, DWORD* type) {
    std::lock_guard lock(mutex_);
    RegKey* k = nullptr;
    if (LONG e = KeyOf(key, KEY_QUERY_VALUE, k); e != ERROR_SUCCESS) return e;
    if (LONG e = Fault("RegEnumValue", k, {}, false); e != ERROR_SUCCESS) return e;
    if (index >= k->Values().size()) return ERROR_NO_MORE_ITEMS;
    name = tree_.NameToAnsi(k->Values()[index].name);
    if (type != nullptr) *type = k->Values()[index].type;
    return ERROR_SUCCESS;
}

LONG SimRegistry::RegDeleteValue(HKEY key, std::string_view valueName) {
    std::lock_guard lock(mutex_);
    RegKey* k = nullptr;
    if (LONG e = KeyOf(key, KEY_SET_VALUE, k); e != ERROR_SUCCESS) return e;
    if (LONG e = Fault("RegDeleteValue", k, {}, true); e != ERROR_SUCCESS) return e;
    std::string upper = tree_.Upper(tree_.NameFromAnsi(valueName));
    const RegValue* old = k->FindValue(upper);
    if (old == nullptr) return ERROR_FILE_NOT_FOUND;
    RegValue before = *old;
    k->RemoveValue(upper);
    if (!Save()) {
        k->SetValue(std::move(before), upper);
        return static_cast<LONG>(ERROR_REGISTRY_IO_FAILED);
    }
    return ERROR_SUCCESS;
}

LONG SimRegistry::RegCloseKey(HKEY key) {
    std::lock_guard lock(mutex_);
    if (RootName(key) != nullptr) return ERROR_SUCCESS;
    return handles_.erase(key) == 1 ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

std::string SimRegistry::Export(RegFileFormat format) const {
    std::lock_guard lock(mutex_);
    return tree_.Write(format);
}

std::size_t SimRegistry::OpenHandles() const {
    std::lock_guard lock(mutex_);
    return handles_.size();
}

bool SimRegistry::Save() {
    if (state_.Fails("RegistrySave", "", true)) return false;
    if (file_.empty()) return true;
    std::string temp = file_ + ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out << tree_.Write(format_);
        out.flush();
        if (!out) {
            std::remove(temp.c_str());
            return false;
        }
    }
    if (std::rename(temp.c_str(), file_.c_str()) != 0) {
        std::remove(temp.c_str());
        return false;
    }
    return true;
}

}  // namespace qm::sim
