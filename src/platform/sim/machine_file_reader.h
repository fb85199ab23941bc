#pragma once
// The reader of machine.json's objects that every part of the machine file is parsed with: it
// names the file and the JSON pointer of anything it refuses, and converts texts to the
// machine's ANSI code page.

#include <cctype>
#include <cstdint>
#include <initializer_list>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "platform/sim/code_page_table.h"
#include "platform/sim/host_files.h"
#include "platform/sim/machine_config.h"

namespace qm::sim {

// Reads one JSON object, naming the file and the JSON pointer of anything it refuses.
class MachineFileReader {
public:
    MachineFileReader(const nlohmann::json& j, std::string file, std::string pointer, const CodePageTable* cp)
        : j_(j), file_(std::move(file)), pointer_(std::move(pointer)), cp_(cp) {
        if (!j_.is_object()) Fail("", "expected an object");
    }

    [[noreturn]] void Fail(const std::string& key, const std::string& what) const {
        throw MachineError(file_ + ": " + Where(key) + ": " + what);
    }

    std::string Where(const std::string& key) const {
        std::string p = key.empty() ? pointer_ : pointer_ + "/" + key;
        return p.empty() ? "/" : p;
    }

    bool Has(const std::string& key) const { return j_.contains(key) && !j_.at(key).is_null(); }

    std::string String(const std::string& key, const std::string& def = "") const {
        if (!Has(key)) return def;
        const nlohmann::json& v = j_.at(key);
        if (!v.is_string()) Fail(key, "expected a string");
        return Ansi(v.get<std::string>());
    }

    std::int64_t Integer(const std::string& key, std::int64_t def, std::int64_t min, std::int64_t max) const {
        if (!Has(key)) return def;
        const nlohmann::json& v = j_.at(key);
        if (!v.is_number_integer()) Fail(key, "expected a whole number");
        // A whole number beyond the signed range is beyond every range asked for.
        bool beyond = v.is_number_unsigned() && v.get<std::uint64_t>() > static_cast<std::uint64_t>(INT64_MAX);
        std::int64_t n = beyond ? 0 : v.get<std::int64_t>();
        if (beyond || n < min || n > max)
            Fail(key, "expected a number from " + std::to_string(min) + " to " + std::to_string(max));
        return n;
    }

    bool Boolean(const std::string& key, bool def) const {
        if (!Has(key)) return def;
        const nlohmann::json& v = j_.at(key);
        if (!v.is_boolean()) Fail(key, "expected true or false");
        return v.get<bool>();
    }

    MachineFileReader Object(const std::string& key) const {
        return MachineFileReader(j_.at(key), file_, pointer_ + "/" + key, cp_);
    }

    const nlohmann::json& Raw(const std::string& key) const { return j_.at(key); }
    const nlohmann::json& Self() const { return j_; }
    std::string Pointer(const std::string& key) const { return pointer_ + "/" + key; }
    const std::string& File() const { return file_; }
    const CodePageTable* CodePage() const { return cp_; }

    std::string Ansi(const std::string& utf8) const { return cp_ ? cp_->FromUtf8(utf8) : utf8; }

    const nlohmann::json& Array(const std::string& key) const {
        const nlohmann::json& v = j_.at(key);
        if (!v.is_array()) Fail(key, "expected an array");
        return v;
    }

    void OnlyKeys(std::initializer_list<const char*> allowed) const {
        for (auto it = j_.begin(); it != j_.end(); ++it) {
            bool known = false;
            for (const char* a : allowed) known = known || it.key() == a;
            if (!known) Fail(it.key(), "unknown entry");
        }
    }

private:
    const nlohmann::json& j_;
    std::string file_;
    std::string pointer_;
    const CodePageTable* cp_;
};

// A 32-bit number: decimal, or hexadecimal text such as "0x70000".
inline std::uint32_t ParseWord(const MachineFileReader& r, const std::string& key, const nlohmann::json& v) {
    if (v.is_number_unsigned() && v.get<std::uint64_t>() <= 0xFFFFFFFFu) return static_cast<std::uint32_t>(v.get<std::uint64_t>());
    if (v.is_string()) {
        std::string t = v.get<std::string>();
        std::size_t used = 0;
        try {
            unsigned long n = std::stoul(t, &used, 0);
            if (used == t.size() && n <= 0xFFFFFFFFul) return static_cast<std::uint32_t>(n);
        } catch (const std::exception&) {
        }
    }
    r.Fail(key, "expected a 32-bit number (decimal, or hexadecimal text such as \"0x70000\")");
}

// Bytes written as hexadecimal pairs, blanks and commas allowed between them.
inline std::string ParseHexBytes(const MachineFileReader& r, const std::string& key, const std::string& text) {
    std::string bytes, digits;
    for (char c : text) {
        if (c == ' ' || c == ',') continue;
        if (!std::isxdigit(static_cast<unsigned char>(c))) r.Fail(key, "expected bytes in hexadecimal pairs");
        digits += c;
    }
    if (digits.size() % 2 != 0) r.Fail(key, "expected bytes in hexadecimal pairs");
    for (std::size_t i = 0; i < digits.size(); i += 2)
        bytes += static_cast<char>(std::stoi(digits.substr(i, 2), nullptr, 16));
    return bytes;
}

// The host path of a file beside machine.json that an entry names in place of its content;
// empty for a name that would reach another folder.
inline std::string FileBesideMachine(const std::string& name, const std::string& machineFolder) {
    if (name.empty() || name.find_first_of("/\\:") != std::string::npos || name == "." || name == "..") return {};
    return machineFolder + "/" + name;
}

// The JSON of a host file, none when it cannot be read; throws MachineError naming the file
// when it is no JSON.
inline std::optional<nlohmann::json> ReadJsonFile(const std::string& path) {
    std::optional<std::string> text = ReadHostFile(path);
    if (!text) return std::nullopt;
    return ParseJsonText(*text, path);
}

}  // namespace qm::sim
