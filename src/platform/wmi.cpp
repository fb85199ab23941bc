#include "platform/wmi.h"

#include <cstdio>

#include "platform/platform.h"

namespace qm::platform {

std::string WmiErrorText(HRESULT hr) {
    switch (hr) {
        case WBEM_E_FAILED: return "Generic failure";
        case WBEM_E_NOT_FOUND: return "Not found";
        case WBEM_E_ACCESS_DENIED: return "Access denied";
        case WBEM_E_PROVIDER_FAILURE: return "Provider failure";
        case WBEM_E_INVALID_PARAMETER: return "Invalid parameter";
        case WBEM_E_INVALID_NAMESPACE: return "Invalid namespace";
        case WBEM_E_INVALID_CLASS: return "Invalid class";
        case WBEM_E_INVALID_QUERY: return "Invalid query";
        case WBEM_E_INVALID_QUERY_TYPE: return "Invalid query type";
        case REGDB_E_CLASSNOTREG: return "Class not registered";
        case DISP_E_TYPEMISMATCH: return "Type mismatch";
        default: break;
    }
    char text[32];
    std::snprintf(text, sizeof text, "OLE error %08X", static_cast<unsigned>(hr));
    return text;
}

HRESULT VariantToText(const VARIANT& value, std::string& text) {
    if ((value.vt & VT_ARRAY) != 0) return DISP_E_TYPEMISMATCH;
    switch (value.vt) {
        case VT_EMPTY: text.clear(); return S_OK;
        case VT_BOOL: text = value.boolVal ? "-1" : "0"; return S_OK;
        case VT_I2:
        case VT_I4:
        case VT_UI1:
        case VT_UI4: text = std::to_string(value.intVal); return S_OK;
        case VT_BSTR: text = value.bstrVal; return S_OK;
        case VT_R4:
        case VT_R8: {
            // The digits a single or a double holds, with the user's decimal separator.
            char digits[40];
            std::snprintf(digits, sizeof digits, value.vt == VT_R4 ? "%.7G" : "%.15G", value.dblVal);
            std::string separator = System().GetLocaleInfo(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL);
            if (separator.empty()) separator = ".";
            text.clear();
            for (const char* c = digits; *c != '\0'; ++c) {
                if (*c == '.') text += separator;
                else text += *c;
            }
            return S_OK;
        }
        default: return DISP_E_TYPEMISMATCH;
    }
}

}  // namespace qm::platform
