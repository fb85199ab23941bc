#include "platform/sim/registry_tree.h"

#include <algorithm>
#include <cstdio>

#include "platform/registry.h"
#include "platform/sim/machine_config.h"
#include "platform/text.h"

namespace qm::sim {

using platform::DWORD;

namespace {

constexpr const char* kRootNames[] = {"HKEY_LOCAL_MACHINE", "HKEY_CURRENT_USER", "HKEY_USERS", "HKEY_CURRENT_CONFIG",
                                      "HKEY_DYN_DATA"};
// HKEY_CLASSES_ROOT is a view of this key of HKEY_LOCAL_MACHINE.
constexpr std::string_view kClassesRoot = "HKEY_CLASSES_ROOT";
constexpr std::string_view kClassesKey = "SOFTWARE\\Classes";
constexpr std::string_view kHeader4 = "REGEDIT4";
constexpr std::string_view kHeader5 = "Windows Registry Editor Version 5.00";

bool IsTextType(DWORD type) {
    return type == platform::REG_SZ || type == platform::REG_EXPAND_SZ || type == platform::REG_MULTI_SZ;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool ParseHexNumber(std::string_view s, std::size_t maxDigits, std::uint32_t& value) {
    if (s.empty() || s.size() > maxDigits) return false;
    value = 0;
    for (char c : s) {
        int d = HexDigit(c);
        if (d < 0) return false;
        value = value * 16 + static_cast<std::uint32_t>(d);
    }
    return true;
}

class LineError {
public:
    LineError(const std::string& file, std::size_t line) : file_(file), line_(line) {}
    [[noreturn]] void operator()(const std::string& what) const {
        throw MachineError(file_ + ":" + std::to_string(line_) + ": " + what);
    }

private:
    const std::string& file_;
    std::size_t line_;
};

// A double-quoted text from s[pos] (the opening quote) with the escapes \\ and \"; pos ends
// after the closing quote.
bool ParseQuoted(std::string_view s, std::size_t& pos, std::string& out) {
    out.clear();
    for (std::size_t i = pos + 1; i < s.size(); ++i) {
        char c = s[i];
        if (c == '"') {
            pos = i + 1;
            return true;
        }
        if (c == '\\' && i + 1 < s.size() && (s[i + 1] == '\\' || s[i + 1] == '"')) c = s[++i];
        out += c;
    }
    return false;
}

std::string Quote(std::string_view s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out + "\"";
}

bool RestIsBlankOrComment(std::string_view s, std::size_t pos) {
    for (; pos < s.size(); ++pos) {
        if (s[pos] == ';') return true;
        if (!platform::IsBlankOrControl(s[pos])) return false;
    }
    return true;
}

// Windows orders subkeys by their upper-cased names compared as UTF-16 code units, where WTF-8
// bytes would put a name beyond the basic plane after U+E000..U+FFFF; the two orders agree on
// ASCII, which nearly every name is.
bool SortsBefore(std::string_view upperA, std::string_view upperB) {
    if (IsAscii(upperA) && IsAscii(upperB)) return upperA < upperB;
    return Wtf8ToUtf16(upperA) < Wtf8ToUtf16(upperB);
}

bool KeySortsBefore(const std::unique_ptr<RegKey>& key, const std::string& upperName) {
    return SortsBefore(key->UpperName(), upperName);
}

}  // namespace

std::vector<std::string> SplitKeyPath(std::string_view path) {
    std::vector<std::string> names;
    if (path.empty()) return names;
    std::size_t start = 0;
    for (;;) {
        std::size_t sep = path.find('\\', start);
        names.emplace_back(path.substr(start, sep == std::string_view::npos ? std::string_view::npos : sep - start));
        if (sep == std::string_view::npos) break;
        start = sep + 1;
    }
    return names;
}

RegKey* RegKey::FindSubkey(const std::string& upperName) const {
    auto it = subkeyIndex_.find(upperName);
    return it == subkeyIndex_.end() ? nullptr : it->second;
}

RegKey* RegKey::AddSubkey(std::string name, std::string upperName) {
    if (subkeys_.empty() || SortsBefore(subkeys_.back()->UpperName(), upperName))
        return AppendSubkey(std::move(name), std::move(upperName));
    auto place = std::lower_bound(subkeys_.begin(), subkeys_.end(), upperName, KeySortsBefore);
    RegKey* key = subkeys_.insert(place, std::make_unique<RegKey>(std::move(name), std::move(upperName), this))->get();
    subkeyIndex_.emplace(key->UpperName(), key);
    return key;
}

RegKey* RegKey::AppendSubkey(std::string name, std::string upperName) {
    RegKey* key = subkeys_.emplace_back(std::make_unique<RegKey>(std::move(name), std::move(upperName), this)).get();
    subkeyIndex_.emplace(key->UpperName(), key);
    return key;
}

void RegKey::SortSubkeys() {
    auto before = [](const auto& a, const auto& b) { return SortsBefore(a->UpperName(), b->UpperName()); };
    if (!std::is_sorted(subkeys_.begin(), subkeys_.end(), before)) std::sort(subkeys_.begin(), subkeys_.end(), before);
}

void RegKey::RemoveSubkey(const std::string& upperName) {
    auto it = subkeyIndex_.find(upperName);
    if (it == subkeyIndex_.end()) return;
    RegKey* key = it->second;
    subkeyIndex_.erase(it);
    subkeys_.erase(std::find_if(subkeys_.begin(), subkeys_.end(), [&](const auto& k) { return k.get() == key; }));
}

const RegValue* RegKey::FindValue(const std::string& upperName) const {
    auto it = valueIndex_.find(upperName);
    return it == valueIndex_.end() ? nullptr : &values_[it->second];
}

void RegKey::SetValue(RegValue value, const std::string& upperName) {
    auto [it, added] = valueIndex_.try_emplace(upperName, values_.size());
    if (added) {
        values_.push_back(std::move(value));
        return;
    }
    // A value set again keeps its name as first written and its place.
    values_[it->second].type = value.type;
    values_[it->second].data = std::move(value.data);
}

bool RegKey::RemoveValue(const std::string& upperName) {
    auto it = valueIndex_.find(upperName);
    if (it == valueIndex_.end()) return false;
    std::size_t place = it->second;
    valueIndex_.erase(it);
    values_.erase(values_.begin() + static_cast<std::ptrdiff_t>(place));
    for (auto& [name, at] : valueIndex_)
        if (at > place) --at;
    return true;
}

std::string RegistryTree::Upper(std::string_view name) {
    if (IsAscii(name)) return platform::AsciiUpper(name);
    return Utf16ToWtf8(UpperUtf16(Wtf8ToUtf16(name)));
}

std::string RegistryTree::NameToAnsi(std::string_view name) const { return cp_.FromUtf16(Wtf8ToUtf16(name)); }

std::string RegistryTree::DataToAnsi(const RegValue& value) const {
    return IsTextType(value.type) ? cp_.FromUtf16LeBytes(value.data) : value.data;
}

std::string RegistryTree::DataFromAnsi(DWORD type, std::string_view ansi) const {
    return IsTextType(type) ? Utf16LeBytes(cp_.ToUtf16(ansi)) : std::string(ansi);
}

RegistryTree::RegistryTree(const CodePageTable& cp, const std::optional<std::string>& fileBytes,
                           const std::string& fileName)
    : cp_(cp) {
    for (const char* name : kRootNames) roots_.push_back(std::make_unique<RegKey>(name, name, nullptr));
    if (fileBytes) {
        reading_ = true;
        Read(*fileBytes, fileName);
        reading_ = false;
        SortAllSubkeys();
    }
    MakeClassesKey();
}

RegKey* RegistryTree::MakeClassesKey() {
    bool created = false;
    return Create(roots_[0].get(), SplitKeyPath(kClassesKey), created);
}

RegKey* RegistryTree::Root(std::string_view rootName) const {
    for (const auto& r : roots_)
        if (r->Name() == rootName) return r.get();
    if (rootName == kClassesRoot) return Find(roots_[0].get(), SplitKeyPath(kClassesKey));
    return nullptr;
}

std::string RegistryTree::WithoutClassesView(std::string_view keyPath) {
    bool view = keyPath.substr(0, kClassesRoot.size()) == kClassesRoot &&
                (keyPath.size() == kClassesRoot.size() || keyPath[kClassesRoot.size()] == '\\');
    if (!view) return std::string(keyPath);
    return std::string(kRootNames[0]) + "\\" + std::string(kClassesKey) + std::string(keyPath.substr(kClassesRoot.size()));
}

std::string RegistryTree::PathOf(const RegKey* key) const {
    std::string path = key->Name();
    for (const RegKey* k = key->Parent(); k != nullptr; k = k->Parent()) path = k->Name() + "\\" + path;
    return path;
}

RegKey* RegistryTree::Find(RegKey* from, const std::vector<std::string>& names) const {
    RegKey* k = from;
    for (const std::string& n : names) {
        k = k->FindSubkey(Upper(n));
        if (k == nullptr) return nullptr;
    }
    return k;
}

RegKey* RegistryTree::Create(RegKey* from, const std::vector<std::string>& names, bool& created, RegKey** firstMade) {
    created = false;
    if (firstMade != nullptr) *firstMade = nullptr;
    RegKey* k = from;
    for (const std::string& n : names) {
        std::string upper = Upper(n);
        RegKey* next = k->FindSubkey(upper);
        if (next == nullptr) {
            next = reading_ ? k->AppendSubkey(n, std::move(upper)) : k->AddSubkey(n, std::move(upper));
            if (!created && firstMade != nullptr) *firstMade = next;
            created = true;
        }
        k = next;
    }
    return k;
}

void RegistryTree::Delete(RegKey* key) {
    if (key->Parent() != nullptr) key->Parent()->RemoveSubkey(key->UpperName());
}

void RegistryTree::SortAllSubkeys() {
    // Without recursion: a file's key paths may nest as deep as its lines are long.
    std::vector<RegKey*> pending;
    for (const auto& root : roots_) pending.push_back(root.get());
    while (!pending.empty()) {
        RegKey* key = pending.back();
        pending.pop_back();
        key->SortSubkeys();
        for (const auto& sub : key->Subkeys()) pending.push_back(sub.get());
    }
}

void RegistryTree::Read(std::string_view bytes, const std::string& fileName) {
    bool unicode = bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
                   static_cast<unsigned char>(bytes[1]) == 0xFE;
    // The file's own names and texts are kept: a version 5 file's whole, a REGEDIT4 file's
    // as its code page reads them.
    std::string text = unicode ? Utf16ToWtf8(Utf16FromLeBytes(bytes.substr(2))) : cp_.ToUtf8(bytes);
    std::vector<std::string> lines = platform::SplitLines(text);
    bool headerSeen = false;
    RegKey* key = nullptr;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        LineError fail(fileName, i + 1);
        std::string t = platform::Trim(lines[i]);
        if (t.empty() || t[0] == ';') continue;
        if (!headerSeen) {
            if (t == kHeader5) {
                if (!unicode) fail("a \"Windows Registry Editor Version 5.00\" file must be UTF-16LE with a byte-order mark");
                format_ = RegFileFormat::Regedit5;
            } else if (t == kHeader4) {
                if (unicode) fail("a \"REGEDIT4\" file must be ANSI text, not UTF-16");
                format_ = RegFileFormat::Regedit4;
            } else {
                fail("expected \"REGEDIT4\" or \"Windows Registry Editor Version 5.00\" as the first line");
            }
            headerSeen = true;
            continue;
        }
        if (t[0] == '[') {
            if (t.back() != ']') fail("a key line ends with \"]\"");
            std::string inner = t.substr(1, t.size() - 2);
            bool remove = !inner.empty() && inner[0] == '-';
            if (remove) inner.erase(0, 1);
            std::size_t sep = inner.find('\\');
            std::string rootName = inner.substr(0, sep);
            RegKey* root = rootName == kClassesRoot ? MakeClassesKey() : Root(rootName);
            if (root == nullptr) fail("unknown root key \"" + rootName + "\"");
            std::string rest = sep == std::string::npos ? std::string() : inner.substr(sep + 1);
            if (!rest.empty() && rest.back() == '\\') rest.pop_back();
            std::vector<std::string> names = SplitKeyPath(rest);
            for (const std::string& n : names)
                if (n.empty()) fail("empty key name in \"" + inner + "\"");
            if (remove) {
                if (RegKey* k = Find(root, names); k != nullptr && k != root) Delete(k);
                key = nullptr;
            } else {
                bool created = false;
                key = Create(root, names, created);
            }
            continue;
        }
        if (t[0] != '"' && t[0] != '@') fail("expected a key line, a value line or a comment");
        if (key == nullptr) fail("a value needs a key line above it");
        std::string name;
        std::size_t pos = 1;
        if (t[0] == '"' && !(pos = 0, ParseQuoted(t, pos, name))) fail("the value name has no closing quote");
        while (pos < t.size() && (t[pos] == ' ' || t[pos] == '\t')) ++pos;
        if (pos >= t.size() || t[pos] != '=') fail("expected \"=\" after the value name");
        ++pos;
        while (pos < t.size() && (t[pos] == ' ' || t[pos] == '\t')) ++pos;
        std::string_view rest = std::string_view(t).substr(pos);
        std::string upper = Upper(name);
        RegValue v;
        v.name = name;
        if (rest == "-") {
            key->RemoveValue(upper);
            continue;
        }
        if (!rest.empty() && rest[0] == '"') {
            std::size_t p = 0;
            std::string s;
            if (!ParseQuoted(rest, p, s)) fail("the text value has no closing quote");
            if (!RestIsBlankOrComment(rest, p)) fail("unexpected text after the closing quote");
            v.type = platform::REG_SZ;
            v.data = Utf16LeBytes(Wtf8ToUtf16(s)) + std::string(2, '\0');
        } else if (platform::StartsWithNoCase(rest, "dword:")) {
            std::uint32_t n = 0;
            if (!ParseHexNumber(platform::Trim(rest.substr(6)), 8, n)) fail("a dword value has one to eight hex digits");
            v.type = platform::REG_DWORD;
            for (int b = 0; b < 4; ++b) v.data += static_cast<char>((n >> (8 * b)) & 0xFF);
        } else if (platform::StartsWithNoCase(rest, "hex")) {
            std::size_t colon = rest.find(':');
            if (colon == std::string_view::npos) fail("expected \"hex:\" or \"hex(n):\"");
            std::string_view kind = rest.substr(3, colon - 3);
            std::uint32_t type = platform::REG_BINARY;
            if (!kind.empty()) {
                if (kind.size() < 3 || kind.front() != '(' || kind.back() != ')' ||
                    !ParseHexNumber(kind.substr(1, kind.size() - 2), 8, type))
                    fail("expected \"hex:\" or \"hex(n):\" with a hexadecimal type number");
            }
            std::string list(rest.substr(colon + 1));
            // A backslash at the end continues the byte list on the next line.
            for (;;) {
                std::string trimmed = platform::TrimRight(list);
                if (trimmed.empty() || trimmed.back() != '\\') {
                    list = trimmed;
                    break;
                }
                trimmed.pop_back();
                if (i + 1 >= lines.size()) fail("the byte list goes on past the end of the file");
                list = trimmed + platform::Trim(lines[++i]);
            }
            std::string data;
            std::string_view l = list;
            while (!l.empty()) {
                std::size_t comma = l.find(',');
                std::string item = platform::Trim(l.substr(0, comma));
                l = comma == std::string_view::npos ? std::string_view() : l.substr(comma + 1);
                if (item.empty() && l.empty() && comma != std::string_view::npos) break;  // a final comma
                std::uint32_t byte = 0;
                if (!ParseHexNumber(item, 2, byte)) fail("bad byte \"" + item + "\" in a hex value");
                data += static_cast<char>(byte);
            }
            v.type = type;
            // Text in a REGEDIT4 file's bytes is in the code page.
            v.data = !unicode && IsTextType(type) ? Utf16LeBytes(cp_.ToUtf16(data)) : data;
        } else {
            fail("unknown kind of value (a quoted text, dword:, hex: or hex(n): was expected)");
        }
        key->SetValue(std::move(v), upper);
    }
    if (!headerSeen) throw MachineError(fileName + ": the file is empty (it needs a \"REGEDIT4\" first line)");
}

namespace {

void AppendHex(std::string& out, std::string_view prefix, std::string_view data) {
    std::string line(prefix);
    for (std::size_t i = 0; i < data.size(); ++i) {
        char byte[4];
        std::snprintf(byte, sizeof byte, "%02x", static_cast<unsigned char>(data[i]));
        line += byte;
        if (i + 1 == data.size()) break;
        line += ',';
        if (line.size() > 76) {
            out += line + "\\\r\n";
            line = "  ";
        }
    }
    out += line + "\r\n";
}

// A text value that a quoted text gives back as it is: whole UTF-16 units up to one final
// zero, no other zero, no line break.
bool PrintableAsText(const RegValue& v) {
    if (v.type != platform::REG_SZ || v.data.size() < 2 || v.data.size() % 2 != 0) return false;
    std::u16string text = Utf16FromLeBytes(v.data);
    if (text.back() != u'\0') return false;
    text.pop_back();
    return text.find_first_of(std::u16string_view(u"\0\r\n", 3)) == std::u16string::npos;
}

}  // namespace

std::string RegistryTree::Write(RegFileFormat format) const {
    std::string out(format == RegFileFormat::Regedit5 ? kHeader5 : kHeader4);
    out += "\r\n\r\n";
    auto writeKey = [&](const RegKey& key, auto& self) -> void {
        if (key.Parent() != nullptr || !key.Values().empty()) {
            out += "[" + PathOf(&key) + "]\r\n";
            for (const RegValue& v : key.Values()) {
                std::string prefix = (v.name.empty() ? std::string("@") : Quote(v.name)) + "=";
                if (PrintableAsText(v)) {
                    out += prefix + Quote(Utf16ToWtf8(Utf16FromLeBytes(v.data.substr(0, v.data.size() - 2)))) + "\r\n";
                } else if (v.type == platform::REG_DWORD && v.data.size() == 4) {
                    std::uint32_t n = 0;
                    for (int b = 3; b >= 0; --b) n = n << 8 | static_cast<unsigned char>(v.data[static_cast<std::size_t>(b)]);
                    char buf[24];
                    std::snprintf(buf, sizeof buf, "dword:%08x", n);
                    out += prefix + buf + "\r\n";
                } else {
                    char kind[16];
                    if (v.type == platform::REG_BINARY) std::snprintf(kind, sizeof kind, "hex:");
                    else std::snprintf(kind, sizeof kind, "hex(%x):", v.type);
                    bool ansi = format == RegFileFormat::Regedit4 && IsTextType(v.type);
                    AppendHex(out, prefix + kind, ansi ? cp_.FromUtf16LeBytes(v.data) : v.data);
                }
            }
            out += "\r\n";
        }
        for (const auto& sub : key.Subkeys()) self(*sub, self);
    };
    for (const auto& root : roots_) writeKey(*root, writeKey);
    // A REGEDIT4 file is in the code page, which may lack some of the names and texts.
    if (format == RegFileFormat::Regedit4) return cp_.FromUtf16(Wtf8ToUtf16(out));
    return "\xFF\xFE" + Utf16LeBytes(Wtf8ToUtf16(out));
}

}  // namespace qm::sim
