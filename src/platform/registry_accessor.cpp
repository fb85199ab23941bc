#include "platform/registry_accessor.h"

#include <cstring>

#include "platform/platform.h"

namespace qm::platform {

namespace {

std::string Quoted(std::string_view name) { return "'" + std::string(name) + "'"; }

[[noreturn]] void InvalidType(std::string_view name) {
    throw RegistryError("Invalid data type for " + Quoted(name));
}

}  // namespace

RegistryAccessor::RegistryAccessor(HKEY root) : root_(root) {}

RegistryAccessor::~RegistryAccessor() { CloseKey(); }

void RegistryAccessor::SetRootKey(HKEY root) {
    CloseKey();
    root_ = root;
}

namespace {

// A path as the registry functions take it below their key: no backslash at either end.
std::string_view Relative(std::string_view path) {
    if (!path.empty() && path.back() == '\\') path.remove_suffix(1);
    if (!path.empty() && path.front() == '\\') path.remove_prefix(1);
    return path;
}

}  // namespace

bool RegistryAccessor::Open(HKEY base, std::string_view path, REGSAM access, bool canCreate) {
    HKEY key = 0;
    LONG r = canCreate ? Registry().RegCreateKeyEx(base, path, access, key, nullptr)
                       : Registry().RegOpenKeyEx(base, path, access, key);
    if (r != ERROR_SUCCESS) return false;
    CloseKey();
    current_ = key;
    return true;
}

bool RegistryAccessor::OpenKeyReadOnly(std::string_view path) { return Open(root_, Relative(path), KEY_READ, false); }

bool RegistryAccessor::OpenKey(std::string_view path, bool canCreate) {
    return Open(root_, Relative(path), KEY_ALL_ACCESS, canCreate);
}

bool RegistryAccessor::OpenSubKeyReadOnly(std::string_view path) {
    return current_ != 0 && Open(current_, Relative(path), KEY_READ, false);
}

bool RegistryAccessor::OpenSubKey(std::string_view path, bool canCreate) {
    return current_ != 0 && Open(current_, Relative(path), KEY_ALL_ACCESS, canCreate);
}

void RegistryAccessor::CloseKey() {
    if (current_ != 0) Registry().RegCloseKey(current_);
    current_ = 0;
}

bool RegistryAccessor::KeyExists(std::string_view path) {
    HKEY key = 0;
    LONG r = Registry().RegOpenKeyEx(root_, Relative(path), KEY_QUERY_VALUE, key);
    if (r == ERROR_SUCCESS) Registry().RegCloseKey(key);
    return r == ERROR_SUCCESS || r == static_cast<LONG>(ERROR_ACCESS_DENIED);
}

bool RegistryAccessor::CreateKey(std::string_view path) {
    HKEY key = 0;
    if (Registry().RegCreateKeyEx(root_, Relative(path), KEY_ALL_ACCESS, key, nullptr) != ERROR_SUCCESS) return false;
    Registry().RegCloseKey(key);
    return true;
}

bool RegistryAccessor::Query(std::string_view name, DWORD& type, std::string& data) {
    if (current_ == 0) return false;
    DWORD size = 0;
    if (Registry().RegQueryValueEx(current_, name, &type, nullptr, &size) != ERROR_SUCCESS) return false;
    data.assign(size, '\0');
    for (;;) {
        LONG r = Registry().RegQueryValueEx(current_, name, &type, reinterpret_cast<std::uint8_t*>(data.data()), &size);
        if (r == ERROR_SUCCESS) {
            data.resize(size);
            return true;
        }
        if (r != static_cast<LONG>(ERROR_MORE_DATA)) return false;
        data.assign(size, '\0');  // it grew between the two calls
    }
}

bool RegistryAccessor::ValueExists(std::string_view name) {
    DWORD type = 0, size = 0;
    return current_ != 0 && Registry().RegQueryValueEx(current_, name, &type, nullptr, &size) == ERROR_SUCCESS;
}

std::optional<DWORD> RegistryAccessor::GetDataType(std::string_view name) {
    DWORD type = 0, size = 0;
    if (current_ == 0 || Registry().RegQueryValueEx(current_, name, &type, nullptr, &size) != ERROR_SUCCESS)
        return std::nullopt;
    return type;
}

long RegistryAccessor::GetDataSize(std::string_view name) {
    DWORD type = 0, size = 0;
    if (current_ == 0 || Registry().RegQueryValueEx(current_, name, &type, nullptr, &size) != ERROR_SUCCESS) return -1;
    return static_cast<long>(size);
}

std::string RegistryAccessor::ReadString(std::string_view name) {
    DWORD type = 0;
    std::string data;
    if (!Query(name, type, data)) return std::string();
    if (type != REG_SZ && type != REG_EXPAND_SZ) InvalidType(name);
    std::size_t zero = data.find('\0');
    if (zero != std::string::npos) data.resize(zero);
    return data;
}

int RegistryAccessor::ReadInteger(std::string_view name) {
    DWORD type = 0;
    std::string data;
    if (!Query(name, type, data) || type != REG_DWORD || data.size() != 4) InvalidType(name);
    std::uint32_t n = 0;
    std::memcpy(&n, data.data(), 4);
    return static_cast<int>(n);
}

std::size_t RegistryAccessor::ReadBinaryData(std::string_view name, void* buffer, std::size_t bufferSize) {
    DWORD type = 0;
    std::string data;
    if (!Query(name, type, data) || type == REG_SZ || type == REG_EXPAND_SZ || type == REG_DWORD) InvalidType(name);
    if (data.size() > bufferSize)
        throw RegistryError("The data of " + Quoted(name) + " (" + std::to_string(data.size()) +
                            " bytes) does not fit a buffer of " + std::to_string(bufferSize) + " bytes");
    if (!data.empty()) std::memcpy(buffer, data.data(), data.size());
    return data.size();
}

std::vector<std::string> RegistryAccessor::GetKeyNames() {
    std::vector<std::string> names;
    if (current_ == 0) return names;
    std::string name;
    for (DWORD i = 0; Registry().RegEnumKeyEx(current_, i, name) == ERROR_SUCCESS; ++i) names.push_back(name);
    return names;
}

std::vector<std::string> RegistryAccessor::GetValueNames() {
    std::vector<std::string> names;
    if (current_ == 0) return names;
    std::string name;
    for (DWORD i = 0; Registry().RegEnumValue(current_, i, name, nullptr) == ERROR_SUCCESS; ++i) names.push_back(name);
    return names;
}

void RegistryAccessor::WriteString(std::string_view name, std::string_view value) {
    std::string data(value);
    data += '\0';
    LONG r = current_ == 0 ? static_cast<LONG>(ERROR_INVALID_HANDLE)
                           : Registry().RegSetValueEx(current_, name, REG_SZ, reinterpret_cast<const std::uint8_t*>(data.data()),
                                                 static_cast<DWORD>(data.size()));
    if (r != ERROR_SUCCESS) throw RegistryError("Failed to set data for " + Quoted(name));
}

}  // namespace qm::platform
