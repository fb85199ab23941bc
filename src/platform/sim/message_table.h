#pragma once
// Message tables as modules hold them (the RT_MESSAGETABLE resource: MESSAGE_RESOURCE_DATA
// with its blocks of ids and MESSAGE_RESOURCE_ENTRY texts, ANSI or UTF-16), and the filling
// of a message text as FormatMessage does it.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sim/code_page_table.h"
#include "platform/types.h"

namespace qm::sim {

// The text of a message id in a table: an ANSI entry as it stands, a UTF-16 one in the code
// page, each up to its first zero. False when the table has no such id or is damaged where
// the id's entry lies.
bool FindMessageText(std::string_view table, std::uint32_t id, const CodePageTable& cp, std::string& text);

// A message text with its inserts and escapes filled in:
//   %1 to %99   the argument of that number (one or two digits: "%100" is %10 and a "0"),
//               with an optional printf format between "!" signs ("%1!-10s!", "%2!08X!"); "s"
//               and "S" take the text, the other conversions (c d i u x X o, with h, hh, l,
//               ll, I, I32, I64 or w) its value as a whole number; a "*" width or precision
//               takes the argument of the insert's number and the value the next one
//   %0          ends the message here (no line break follows)
//   %n          CR LF; %r CR; %t a tab; "% " a blank; %% "%"; "%." "."; "%!" "!"
// Any other character after "%" stands for itself. The result must stay below limit
// characters (it and its terminator fit a buffer of that size). Returns ERROR_SUCCESS,
// ERROR_INVALID_PARAMETER for an insert without its argument (none at all when arguments is
// null) or a format it cannot read, and ERROR_INSUFFICIENT_BUFFER when the result does not
// fit.
platform::DWORD FormatMessageText(std::string_view text, const std::vector<std::string>* arguments,
                                  std::size_t limit, std::string& out);

}  // namespace qm::sim
