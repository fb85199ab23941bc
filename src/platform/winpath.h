#pragma once
// Windows path helpers on ANSI strings. Both "\" and "/" separate, as they do for Win32;
// the helpers never touch the file system.

#include <string>
#include <string_view>
#include <vector>

namespace qm::platform {

inline bool IsPathDelimiter(char c) { return c == '\\' || c == '/'; }

// "C:" for a drive-letter path, "\\server\share" for a UNC path, else empty.
std::string DriveOf(std::string_view path);
// Everything up to and including the last delimiter, or the drive colon ("C:\a\b.txt" -> "C:\a\").
std::string FolderOf(std::string_view path);
// What follows the last delimiter or drive colon.
std::string FileNameOf(std::string_view path);
// The name without the dots and blanks that Windows ignores at its end ("a.htm. " -> "a.htm").
std::string WithoutTrailingDotsAndBlanks(std::string_view name);
// The file name's extension from its last dot, dot included; empty without one.
std::string ExtensionOf(std::string_view path);
// Replaces (or appends) the extension; ext includes its dot, or is empty to drop it.
std::string ChangeExtension(std::string_view path, std::string_view ext);
// The folder that holds the entry, with a trailing backslash only for a drive root:
// "C:\a\b\" -> "C:\a", "C:\a" -> "C:\", "C:\" -> "C:\".
std::string ParentOf(std::string_view path);
// Folder and name joined by exactly one backslash (none added after an empty folder or "C:").
std::string JoinPath(std::string_view folder, std::string_view name);
std::string IncludeTrailingBackslash(std::string_view path);
std::string ExcludeTrailingBackslash(std::string_view path);
// "C:", "C:\", "\\server\share" and "\\server\share\" are drive roots.
bool IsDriveRoot(std::string_view path);
// A drive letter with colon and delimiter, or a UNC path.
bool IsAbsolutePath(std::string_view path);
// The names after the drive, empty names dropped ("C:\a\\b\" -> {"a", "b"}).
std::vector<std::string> PathComponents(std::string_view path);

}  // namespace qm::platform
