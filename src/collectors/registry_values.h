#pragma once
// Readers the collectors share: registry values as text whatever their type, binary values as
// dotted bytes, and the existing file a command line starts with. None of them raises.

#include <optional>
#include <string>
#include <string_view>

#include "platform/registry_accessor.h"

namespace qm::collectors {

// The text of a REG_SZ or REG_EXPAND_SZ value, as stored; empty for a missing value. A value
// of another type counts as absent, with a trace-log line, so that it costs no other record.
std::string ReadRegText(std::string_view name, platform::RegistryAccessor& reg);
// The same where presence matters: none for a missing value, and for a value of another type
// (with that trace-log line).
std::optional<std::string> FindRegText(std::string_view name, platform::RegistryAccessor& reg);
// The number of a REG_DWORD value; none for a missing value, and for a value of another type
// (with the same trace-log line).
std::optional<int> FindRegInteger(std::string_view name, platform::RegistryAccessor& reg);
// REG_SZ and REG_EXPAND_SZ as stored (unexpanded), REG_DWORD in signed decimal, any other type
// as its non-zero bytes taken as characters ("<Binary value>" when they cannot be read);
// empty for a missing value or a failure (logged).
std::string ReadRegValueAsString(std::string_view name, platform::RegistryAccessor& reg);
// A value of any type but text and numbers as its bytes in decimal joined by "."
// (C0 A8 00 01 gives 192.168.0.1); empty otherwise.
std::string RegBinaryToDotted(std::string_view name, platform::RegistryAccessor& reg);
// One leading and one trailing double quote removed, each when present, from a text longer
// than one character.
std::string StripQuotes(std::string_view text);
// The existing file that a command line starts with, without quotes; empty when none.
std::string ExtractExistingFile(std::string_view commandLine);

// Whether a walk of registry keys may go below the key: the registry keeps trees at most 512
// levels deep, so a walk that follows its paths deeper was handed a damaged tree.
bool MayDescendBelow(std::string_view keyPath);

}  // namespace qm::collectors
