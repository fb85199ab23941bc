#pragma once
// Locale-free text helpers on ANSI byte strings: ASCII case, trimming of blanks and control
// characters, line splitting. Case rules of the machine's code page are the CodePage service's.

#include <string>
#include <string_view>
#include <vector>

namespace qm::platform {

inline char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }
inline char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

std::string AsciiUpper(std::string_view s);
std::string AsciiLower(std::string_view s);
bool EqualsNoCase(std::string_view a, std::string_view b);
bool StartsWithNoCase(std::string_view s, std::string_view prefix);
bool EndsWithNoCase(std::string_view s, std::string_view suffix);

// Blanks and control characters (codes 0 to 32) count as white space, as the agent's
// trimming has always treated them.
inline bool IsBlankOrControl(char c) { return static_cast<unsigned char>(c) <= 32; }
// Whether the text holds a character below the blank or DEL: what a protocol line or a mail
// header must never carry.
bool HasControlCharacter(std::string_view s);
// The text with each of those characters made a blank: one line of a log, whatever it holds.
std::string BlankControlCharacters(std::string_view s);
std::string Trim(std::string_view s);
// The same without a copy: the part of the text between its white space.
std::string_view TrimmedView(std::string_view s);
std::string TrimLeft(std::string_view s);
std::string TrimRight(std::string_view s);

// Splits text into lines; a line ends at CR, LF or CR LF. A final line without an end counts;
// an empty text gives no lines.
std::vector<std::string> SplitLines(std::string_view text);

}  // namespace qm::platform
