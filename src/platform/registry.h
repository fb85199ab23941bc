#pragma once
// The registry, after the Win32 registry functions (ANSI forms). Unlike the other services,
// each call returns its Win32 error code (ERROR_SUCCESS, 2 not found, 5 access denied,
// 234 more data, 259 no more items, ...). Texts are in the ANSI code page; string data
// carries its terminating zero, as RegQueryValueExA gives it.

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/types.h"

namespace qm::platform {

using HKEY = std::uintptr_t;
using LONG = std::int32_t;
using REGSAM = DWORD;

inline constexpr HKEY HKEY_CLASSES_ROOT = 0x80000000u;
inline constexpr HKEY HKEY_CURRENT_USER = 0x80000001u;
inline constexpr HKEY HKEY_LOCAL_MACHINE = 0x80000002u;
inline constexpr HKEY HKEY_USERS = 0x80000003u;
inline constexpr HKEY HKEY_CURRENT_CONFIG = 0x80000005u;
inline constexpr HKEY HKEY_DYN_DATA = 0x80000006u;

inline constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
inline constexpr REGSAM KEY_SET_VALUE = 0x0002;
inline constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
inline constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
inline constexpr REGSAM KEY_NOTIFY = 0x0010;
inline constexpr REGSAM KEY_READ = 0x20019;
inline constexpr REGSAM KEY_WRITE = 0x20006;
inline constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;

inline constexpr DWORD REG_NONE = 0;
inline constexpr DWORD REG_SZ = 1;
inline constexpr DWORD REG_EXPAND_SZ = 2;
inline constexpr DWORD REG_BINARY = 3;
inline constexpr DWORD REG_DWORD = 4;
inline constexpr DWORD REG_DWORD_BIG_ENDIAN = 5;
inline constexpr DWORD REG_LINK = 6;
inline constexpr DWORD REG_MULTI_SZ = 7;
inline constexpr DWORD REG_RESOURCE_LIST = 8;
inline constexpr DWORD REG_FULL_RESOURCE_DESCRIPTOR = 9;
inline constexpr DWORD REG_RESOURCE_REQUIREMENTS_LIST = 10;
inline constexpr DWORD REG_QWORD = 11;

inline constexpr DWORD REG_CREATED_NEW_KEY = 1;
inline constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

class RegistryService {
public:
    virtual ~RegistryService() = default;
    // RegOpenKeyEx: a subkey path relative to the key ("" opens the key itself).
    virtual LONG RegOpenKeyEx(HKEY key, std::string_view subKey, REGSAM access, HKEY& result) = 0;
    // RegCreateKeyEx: opens the key, making it and its missing parents first.
    virtual LONG RegCreateKeyEx(HKEY key, std::string_view subKey, REGSAM access, HKEY& result,
                                DWORD* disposition) = 0;
    // RegQueryValueEx: with no buffer, only the type and the size; with a buffer smaller than
    // the data, ERROR_MORE_DATA and the size needed. An empty name is the default value.
    virtual LONG RegQueryValueEx(HKEY key, std::string_view valueName, DWORD* type, std::uint8_t* data,
                                 DWORD* dataSize) = 0;
    // RegSetValueEx.
    virtual LONG RegSetValueEx(HKEY key, std::string_view valueName, DWORD type, const std::uint8_t* data,
                               DWORD dataSize) = 0;
    // RegEnumKeyEx: ERROR_NO_MORE_ITEMS past the last subkey.
    virtual LONG RegEnumKeyEx(HKEY key, DWORD index, std::string& name) = 0;
    // RegEnumValue: the name and type of the value at the index.
    virtual LONG RegEnumValue(HKEY key, DWORD index, std::string& name, DWORD* type) = 0;
    // RegDeleteValue.
    virtual LONG RegDeleteValue(HKEY key, std::string_view valueName) = 0;
    // RegCloseKey.
    virtual LONG RegCloseKey(HKEY key) = 0;
};

}  // namespace qm::platform
