#pragma once
// The registry object the programs use: one root, at most one open key, and typed reads and
// writes that raise RegistryError where the data does not have the type asked for.

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry.h"

namespace qm::platform {

class RegistryError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class RegistryAccessor {
public:
    explicit RegistryAccessor(HKEY root = HKEY_CURRENT_USER);
    ~RegistryAccessor();
    RegistryAccessor(const RegistryAccessor&) = delete;
    RegistryAccessor& operator=(const RegistryAccessor&) = delete;

    HKEY RootKey() const { return root_; }
    // Changes the root; the open key is closed.
    void SetRootKey(HKEY root);
    // The open key's handle, 0 when none is open.
    HKEY CurrentKey() const { return current_; }

    // Two kinds of key path, each with its own operations; a trailing backslash is allowed.
    // From the root: the path always starts at the root, whatever key is open (a leading
    // backslash is allowed and means nothing more).
    // Opens a key for reading; false (and the open key unchanged) when it does not open.
    bool OpenKeyReadOnly(std::string_view path);
    // Opens a key for reading and writing; when canCreate, makes it and its parents first.
    bool OpenKey(std::string_view path, bool canCreate);
    // Whether the key exists, without changing the open key (a key that refuses access exists).
    bool KeyExists(std::string_view path);
    // Makes the key and its parents; the open key stays as it was.
    bool CreateKey(std::string_view path);
    // Below the open key: the path is relative to it, and the key opened takes its place;
    // false (and nothing changed) when no key is open or the subkey does not open.
    bool OpenSubKeyReadOnly(std::string_view path);
    bool OpenSubKey(std::string_view path, bool canCreate);
    void CloseKey();

    // Reads of the open key's values; a missing value or key reads as described.
    bool ValueExists(std::string_view name);
    // The registry type, none when the value does not exist.
    std::optional<DWORD> GetDataType(std::string_view name);
    // The data size in bytes, -1 when the value does not exist.
    long GetDataSize(std::string_view name);
    // The text of a REG_SZ or REG_EXPAND_SZ value, up to its first zero; empty when the value
    // does not exist; raises for any other type.
    std::string ReadString(std::string_view name);
    // The number of a REG_DWORD value; raises for a missing value or any other type.
    int ReadInteger(std::string_view name);
    // Copies the data into the buffer and returns its size; raises when the data is larger
    // than the buffer, or is text or a number.
    std::size_t ReadBinaryData(std::string_view name, void* buffer, std::size_t bufferSize);
    std::vector<std::string> GetKeyNames();
    std::vector<std::string> GetValueNames();

    // Writes a REG_SZ value; raises when it cannot.
    void WriteString(std::string_view name, std::string_view value);

private:
    // Opens the path below the base handle with the access asked for, in place of the open key.
    bool Open(HKEY base, std::string_view path, REGSAM access, bool canCreate);
    bool Query(std::string_view name, DWORD& type, std::string& data);

    HKEY root_;
    HKEY current_ = 0;
};

}  // namespace qm::platform
