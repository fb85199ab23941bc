#pragma once
// The simulated registry: a tree of keys with values, names compared without regard to case
// and kept as written. As in Windows, a key's subkeys are in the order of their upper-cased
// names (UTF-16 code unit by unit), whatever order the file or the calls made them in, and its
// values in the order they were made; names and text data are held in Unicode whatever the
// file they came from, so that nothing outside the ANSI code page is lost or merged; the ANSI
// calls convert them where they read and write.
// It reads and writes the two regedit file formats: "REGEDIT4" (ANSI text in the code page)
// and "Windows Registry Editor Version 5.00" (UTF-16LE with a byte-order mark).

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/sim/code_page_table.h"
#include "platform/types.h"

namespace qm::sim {

// Names are held in WTF-8 (UTF-8 that also carries unpaired surrogates, so that every UTF-16
// name goes through it and back unchanged).
struct RegValue {
    std::string name;
    platform::DWORD type = 0;
    std::string data;  // as the registry stores it: text types in UTF-16LE, as RegQueryValueExW gives them
};

class RegKey {
public:
    RegKey(std::string name, std::string upperName, RegKey* parent)
        : name_(std::move(name)), upperName_(std::move(upperName)), parent_(parent) {}

    const std::string& Name() const { return name_; }
    const std::string& UpperName() const { return upperName_; }
    RegKey* Parent() const { return parent_; }
    const std::vector<std::unique_ptr<RegKey>>& Subkeys() const { return subkeys_; }
    const std::vector<RegValue>& Values() const { return values_; }

    RegKey* FindSubkey(const std::string& upperName) const;
    // Made in its place among the subkeys.
    RegKey* AddSubkey(std::string name, std::string upperName);
    // Made after the subkeys, for a file read in whatever order it has; SortSubkeys puts them
    // in place afterwards, in one sort rather than one insertion each.
    RegKey* AppendSubkey(std::string name, std::string upperName);
    void SortSubkeys();
    void RemoveSubkey(const std::string& upperName);
    const RegValue* FindValue(const std::string& upperName) const;
    void SetValue(RegValue value, const std::string& upperName);
    bool RemoveValue(const std::string& upperName);

private:
    std::string name_;
    std::string upperName_;
    RegKey* parent_;
    std::vector<std::unique_ptr<RegKey>> subkeys_;  // sorted by upper-cased name
    std::unordered_map<std::string_view, RegKey*> subkeyIndex_;  // viewing each subkey's own upperName_
    std::vector<RegValue> values_;
    std::unordered_map<std::string, std::size_t> valueIndex_;  // upper-cased name to its place in values_
};

enum class RegFileFormat { Regedit4, Regedit5 };

class RegistryTree {
public:
    // The roots, with what the regedit file holds when there is one (a malformed line throws
    // MachineError naming the file and line), and HKEY_LOCAL_MACHINE\SOFTWARE\Classes, which
    // every registry has, after it.
    RegistryTree(const CodePageTable& cp, const std::optional<std::string>& fileBytes, const std::string& fileName);

    // The key of a root name ("HKEY_LOCAL_MACHINE", ...); HKEY_CLASSES_ROOT is the key
    // HKEY_LOCAL_MACHINE\SOFTWARE\Classes. Null for any other name. A lookup never changes
    // the tree.
    RegKey* Root(std::string_view rootName) const;
    // The path with a leading HKEY_CLASSES_ROOT spelt as the key it shows; other paths as
    // they are.
    static std::string WithoutClassesView(std::string_view keyPath);
    // The full name of a key ("HKEY_LOCAL_MACHINE\SOFTWARE\Classes\.txt").
    std::string PathOf(const RegKey* key) const;

    // Subkey lookups and creation along a path of names; null when a name is missing.
    RegKey* Find(RegKey* from, const std::vector<std::string>& names) const;
    // created tells whether a key was made; firstMade, when asked, is the uppermost key made.
    RegKey* Create(RegKey* from, const std::vector<std::string>& names, bool& created, RegKey** firstMade = nullptr);
    void Delete(RegKey* key);
    // A name in upper case, as the registry compares names.
    static std::string Upper(std::string_view name);

    // What the ANSI calls see and give: names from and to the code page ("?" for a character
    // it lacks), and text data converted from and to UTF-16LE.
    std::string NameFromAnsi(std::string_view ansi) const { return cp_.ToUtf8(ansi); }
    std::string NameToAnsi(std::string_view name) const;
    std::string DataToAnsi(const RegValue& value) const;
    std::string DataFromAnsi(platform::DWORD type, std::string_view ansi) const;

    std::string Write(RegFileFormat format) const;
    // The format of the file the tree was read from; none when there was no file.
    std::optional<RegFileFormat> FormatRead() const { return format_; }

private:
    void Read(std::string_view fileBytes, const std::string& fileName);
    void SortAllSubkeys();
    // HKEY_LOCAL_MACHINE\SOFTWARE\Classes, made when it is missing.
    RegKey* MakeClassesKey();

    const CodePageTable& cp_;
    std::vector<std::unique_ptr<RegKey>> roots_;
    std::optional<RegFileFormat> format_;
    bool reading_ = false;  // keys made while reading are sorted once the file is read
};

// Splits a key path at its backslashes; empty names (doubled, leading or trailing
// backslashes) are kept as empty strings, so callers can refuse them.
std::vector<std::string> SplitKeyPath(std::string_view path);

}  // namespace qm::sim
