#include "collectors/registry_values.h"

#include <vector>

#include "core/trace_log.h"
#include "platform/platform.h"
#include "platform/text.h"

namespace qm::collectors {

using namespace qm::platform;

namespace {

bool IsTextOrNumber(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_DWORD; }

}  // namespace

std::string ReadRegText(std::string_view name, RegistryAccessor& reg) {
    try {
        return reg.ReadString(name);
    } catch (const std::exception& e) {
        core::WriteLog(std::string(e.what()) + ": counted as absent");
        return std::string();
    }
}

std::string ReadRegValueAsString(std::string_view name, RegistryAccessor& reg) {
    try {
        std::optional<DWORD> type = reg.GetDataType(name);
        if (!type) return std::string();
        if (*type == REG_SZ || *type == REG_EXPAND_SZ) return reg.ReadString(name);
        if (*type == REG_DWORD) return std::to_string(reg.ReadInteger(name));
        try {
            long size = reg.GetDataSize(name);
            std::vector<char> bytes(static_cast<std::size_t>(size > 0 ? size : 0));
            std::size_t read = reg.ReadBinaryData(name, bytes.data(), bytes.size());
            std::string text;
            for (std::size_t i = 0; i < read; ++i)
                if (bytes[i] != '\0') text += bytes[i];
            return text;
        } catch (const std::exception&) {
            return "<Binary value>";
        }
    } catch (const std::exception& e) {
        core::WriteLog(e.what());
        return std::string();
    }
}

std::string RegBinaryToDotted(std::string_view name, RegistryAccessor& reg) {
    try {
        std::optional<DWORD> type = reg.GetDataType(name);
        if (!type || IsTextOrNumber(*type)) return std::string();
        long size = reg.GetDataSize(name);
        std::vector<unsigned char> bytes(static_cast<std::size_t>(size > 0 ? size : 0));
        std::size_t read = reg.ReadBinaryData(name, bytes.data(), bytes.size());
        std::string text;
        for (std::size_t i = 0; i < read; ++i) {
            if (i > 0) text += '.';
            text += std::to_string(bytes[i]);
        }
        return text;
    } catch (const std::exception&) {
        return std::string();
    }
}

std::string StripQuotes(std::string_view text) {
    if (text.size() <= 1) return std::string(text);
    if (text.front() == '"') text.remove_prefix(1);
    if (!text.empty() && text.back() == '"') text.remove_suffix(1);
    return std::string(text);
}

std::string ExtractExistingFile(std::string_view commandLine) {
    std::string text(commandLine);
    try {
        while (!text.empty() && !FileExists(Files(), text)) {
            text.pop_back();
            text = StripQuotes(Trim(text));
        }
    } catch (const std::exception&) {
        return std::string();
    }
    std::size_t quote = text.find('"');
    return quote == std::string::npos ? text : text.substr(0, quote);
}

}  // namespace qm::collectors
