#pragma once
// How the report writes text: markup as it stands, values in HTML-safe form.

#include <string>
#include <string_view>

namespace qm::online {

// Appends the bytes unchanged.
void WriteRaw(std::string& output, std::string_view text);
// Appends text whose markup ("<" up to the next ">") passes unchanged and whose other
// characters go through CharToHtmlEntity.
void WriteHtmlText(std::string& output, std::string_view text);
// A character outside markup: the blank as a non-breaking space, a character of the machine's
// ANSI code page beyond ASCII as the numeric reference of its Unicode code point, anything
// else as it is.
std::string CharToHtmlEntity(char c);
// A value from the machine made text: "&", "<", ">", the double quote and the apostrophe as
// references, so that no value can open markup, end an attribute or start a script.
std::string EscapeHtml(std::string_view value);

}  // namespace qm::online
