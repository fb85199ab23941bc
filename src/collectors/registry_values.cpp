#include "collectors/registry_values.h"

#include <algorithm>
#include <vector>

#include "collectors/collector_guard.h"
#include "core/trace_log.h"
#include "platform/platform.h"
#include "platform/text.h"

namespace qm::collectors {

using namespace qm::platform;

namespace {

bool IsTextOrNumber(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_DWORD; }

// The value's bytes; raises when they cannot be read.
std::vector<unsigned char> ValueBytes(std::string_view name, RegistryAccessor& reg) {
    long size = reg.GetDataSize(name);
    std::vector<unsigned char> bytes(static_cast<std::size_t>(size > 0 ? size : 0));
    bytes.resize(reg.ReadBinaryData(name, bytes.data(), bytes.size()));
    return bytes;
}

std::string_view StripQuotesOf(std::string_view text) {
    if (text.size() <= 1) return text;
    if (text.front() == '"') text.remove_prefix(1);
    if (!text.empty() && text.back() == '"') text.remove_suffix(1);
    return text;
}

template <typename T>
T CountedAsAbsent(const std::exception& e, T absent) {
    core::WriteLog(std::string(e.what()) + ": counted as absent");
    return absent;
}

}  // namespace

std::string ReadRegText(std::string_view name, RegistryAccessor& reg) {
    try {
        return reg.ReadString(name);
    } catch (const std::exception& e) {
        return CountedAsAbsent(e, std::string());
    }
}

std::optional<std::string> FindRegText(std::string_view name, RegistryAccessor& reg) {
    try {
        if (!reg.ValueExists(name)) return std::nullopt;
        return reg.ReadString(name);
    } catch (const std::exception& e) {
        return CountedAsAbsent(e, std::optional<std::string>());
    }
}

std::optional<int> FindRegInteger(std::string_view name, RegistryAccessor& reg) {
    try {
        if (!reg.ValueExists(name)) return std::nullopt;
        return reg.ReadInteger(name);
    } catch (const std::exception& e) {
        return CountedAsAbsent(e, std::optional<int>());
    }
}

std::string ReadRegValueAsString(std::string_view name, RegistryAccessor& reg) {
    std::string text;
    LogAndGoOn([&] {
        std::optional<DWORD> type = reg.GetDataType(name);
        if (!type) return;
        if (*type == REG_SZ || *type == REG_EXPAND_SZ) {
            text = reg.ReadString(name);
        } else if (*type == REG_DWORD) {
            text = std::to_string(reg.ReadInteger(name));
        } else {
            std::vector<unsigned char> bytes;
            if (!StopSilently([&] { bytes = ValueBytes(name, reg); })) {
                text = "<Binary value>";
                return;
            }
            for (unsigned char b : bytes)
                if (b != 0) text += static_cast<char>(b);
        }
    });
    return text;
}

std::string RegBinaryToDotted(std::string_view name, RegistryAccessor& reg) {
    std::vector<unsigned char> bytes;
    // A failure leaves no bytes.
    StopSilently([&] {
        std::optional<DWORD> type = reg.GetDataType(name);
        if (type && !IsTextOrNumber(*type)) bytes = ValueBytes(name, reg);
    });
    std::string text;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i > 0) text += '.';
        text += std::to_string(bytes[i]);
    }
    return text;
}

std::string StripQuotes(std::string_view text) { return std::string(StripQuotesOf(text)); }

std::string ExtractExistingFile(std::string_view commandLine) {
    std::string_view text = commandLine;
    bool searched = StopSilently([&] {
        // A text as long as MAX_PATH names no file for the file functions: it is shortened
        // without asking them, so that a huge value costs no question per character.
        while (!text.empty() && (text.size() >= MAX_PATH || !FileExists(Files(), text))) {
            text.remove_suffix(1);
            text = StripQuotesOf(TrimmedView(text));
        }
    });
    if (!searched) return std::string();
    return std::string(text.substr(0, text.find('"')));
}

bool MayDescendBelow(std::string_view keyPath) {
    constexpr std::size_t kMaxDepth = 512;
    return static_cast<std::size_t>(std::count(keyPath.begin(), keyPath.end(), '\\')) + 1 < kMaxDepth;
}

}  // namespace qm::collectors
