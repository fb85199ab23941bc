#pragma once
// WMI through its scripting objects, as a late-bound caller sees them: the locator
// (CoCreateInstance of WbemScripting.SWbemLocator), SWbemLocator.ConnectServer, SWbemServices
// .ExecQuery, the enumeration of an SWbemObjectSet, an object's Path_.Path and Properties_,
// and each SWbemProperty's Name, IsArray and Value. Every call answers an HRESULT; context
// objects are never passed, so none appears here. Texts are ANSI.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/types.h"

namespace qm::platform {

using HRESULT = std::int32_t;

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;  // an enumeration's end
inline constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
inline constexpr bool FAILED(HRESULT hr) { return hr < 0; }
inline constexpr HRESULT HResult(std::uint32_t code) { return static_cast<HRESULT>(code); }

inline constexpr HRESULT E_FAIL = HResult(0x80004005);
inline constexpr HRESULT REGDB_E_CLASSNOTREG = HResult(0x80040154);
inline constexpr HRESULT DISP_E_TYPEMISMATCH = HResult(0x80020005);
inline constexpr HRESULT WBEM_E_FAILED = HResult(0x80041001);
inline constexpr HRESULT WBEM_E_NOT_FOUND = HResult(0x80041002);
inline constexpr HRESULT WBEM_E_ACCESS_DENIED = HResult(0x80041003);
inline constexpr HRESULT WBEM_E_PROVIDER_FAILURE = HResult(0x80041004);
inline constexpr HRESULT WBEM_E_INVALID_PARAMETER = HResult(0x80041008);
inline constexpr HRESULT WBEM_E_INVALID_NAMESPACE = HResult(0x8004100E);
inline constexpr HRESULT WBEM_E_INVALID_CLASS = HResult(0x80041010);
inline constexpr HRESULT WBEM_E_INVALID_QUERY = HResult(0x80041017);
inline constexpr HRESULT WBEM_E_INVALID_QUERY_TYPE = HResult(0x80041018);

// The text a scripting error object gives for an HRESULT, as a caller's exception shows it.
std::string WmiErrorText(HRESULT hr);

// Variant types of the values the scripting objects hand back.
using VARTYPE = WORD;
inline constexpr VARTYPE VT_EMPTY = 0;
inline constexpr VARTYPE VT_NULL = 1;
inline constexpr VARTYPE VT_I2 = 2;
inline constexpr VARTYPE VT_I4 = 3;
inline constexpr VARTYPE VT_R4 = 4;
inline constexpr VARTYPE VT_R8 = 5;
inline constexpr VARTYPE VT_BSTR = 8;
inline constexpr VARTYPE VT_BOOL = 11;
inline constexpr VARTYPE VT_UI1 = 17;
inline constexpr VARTYPE VT_UI4 = 19;
inline constexpr VARTYPE VT_ARRAY = 0x2000;  // with the element type

// A VARIANT as far as the scripting objects fill one: the field that its type names holds the
// value (integers of every width in intVal; an array's elements are not carried).
struct VARIANT {
    VARTYPE vt = VT_EMPTY;
    bool boolVal = false;
    std::int64_t intVal = 0;
    double dblVal = 0;
    std::string bstrVal;
};

// VariantChangeTypeEx to VT_BSTR with LOCALE_USER_DEFAULT and no flags: numbers in decimal, a
// fraction with the user's decimal separator, a Boolean as -1 or 0; DISP_E_TYPEMISMATCH for
// NULL and arrays.
HRESULT VariantToText(const VARIANT& value, std::string& text);

class WmiProperty {
public:
    virtual ~WmiProperty() = default;
    virtual HRESULT get_Name(std::string& name) = 0;        // SWbemProperty.Name
    virtual HRESULT get_IsArray(bool& isArray) = 0;         // SWbemProperty.IsArray
    virtual HRESULT get_Value(VARIANT& value) = 0;          // SWbemProperty.Value
};

// An enumeration of Properties_ (IEnumVARIANT::Next, one at a time): S_OK with the next,
// S_FALSE after the last.
class WmiPropertySet {
public:
    virtual ~WmiPropertySet() = default;
    virtual HRESULT Next(std::unique_ptr<WmiProperty>& property) = 0;
};

class WmiObject {
public:
    virtual ~WmiObject() = default;
    virtual HRESULT get_Path(std::string& path) = 0;  // Path_.Path
    virtual HRESULT get_Properties(std::unique_ptr<WmiPropertySet>& properties) = 0;  // Properties_
};

// An enumeration of an SWbemObjectSet: S_OK with the next object, S_FALSE after the last.
class WmiObjectSet {
public:
    virtual ~WmiObjectSet() = default;
    virtual HRESULT Next(std::unique_ptr<WmiObject>& object) = 0;
};

class WmiServices {
public:
    virtual ~WmiServices() = default;
    // SWbemServices.ExecQuery; flags 0 returns when the whole result is ready, so a query
    // that cannot run fails here (WBEM_E_INVALID_CLASS, WBEM_E_INVALID_QUERY, ...).
    virtual HRESULT ExecQuery(std::string_view query, std::string_view language, long flags,
                              std::unique_ptr<WmiObjectSet>& result) = 0;
};

class WmiLocator {
public:
    virtual ~WmiLocator() = default;
    // SWbemLocator.ConnectServer; an empty server is the local computer. WBEM_E_INVALID_NAMESPACE
    // for a namespace the computer lacks, WBEM_E_ACCESS_DENIED for one it refuses.
    virtual HRESULT ConnectServer(std::string_view server, std::string_view nameSpace, std::string_view user,
                                  std::string_view password, std::string_view locale, std::string_view authority,
                                  long securityFlags, std::unique_ptr<WmiServices>& services) = 0;
};

class WmiService {
public:
    virtual ~WmiService() = default;
    // CoCreateInstance of the scripting locator: REGDB_E_CLASSNOTREG where WMI is not installed.
    virtual HRESULT CreateLocator(std::unique_ptr<WmiLocator>& locator) = 0;
};

}  // namespace qm::platform
