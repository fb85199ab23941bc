#pragma once
// The table rows the report's table tags expand to; the template holds the table markup
// around them. Every cell is dressed the same way from the report look: the row's
// background attribute, the cell font before the text and its closing after it. Values from
// the machine are escaped before they are wrapped.

#include <string>
#include <string_view>
#include <vector>

#include "online/report_data.h"

namespace qm::online {

// A grouped table with no grouping field.
inline constexpr int kNoGrouping = 65535;

// The background attribute of a row: the first one for an even colour counter.
const std::string& RowBackground(const ReportData& data, int colour);

// Rows of the lines that hold the prefix (the quoted section, a comma and an opening quote),
// one cell per shown field (1 the key, 2 and on the values); a row whose last field is not
// shown has no "</TR>". The counter advances after each row unless noAdvance.
std::string RenderTable(const ReportData& data, const Lines& list, std::string_view prefix,
                        const std::vector<int>& shown, bool noAdvance, int colour);

struct GroupedTable {
    bool anyOfRequired = false;         // mode 1: a line must also hold one of anyOf
    std::vector<std::string> required;  // texts every line holds
    std::vector<std::string> anyOf;
    std::vector<int> shown;             // fields counted from the section (1)
    int groupField = kNoGrouping;
    std::vector<std::pair<int, int>> widths;  // field, width in percent
};
// Rows of the qualifying lines; lines whose cells before the grouping field are the same
// share one colour and a nested table that holds their later fields.
std::string RenderGroupedTable(const ReportData& data, const Lines& list, const GroupedTable& table, int colour,
                               bool noAdvance);

// The drive table over the hardware lines: icon, letter, size, usage bar, root, file system;
// CD-ROM drives with their icon and letter.
std::string RenderDiskTable(const ReportData& data, int colour);

// One row per running process with its program path (NT family) or program name (9x).
void RenderProcessList(const ReportData& data, std::string& output);
// The program path of a process; empty when it cannot be opened or read.
std::string GetProcessPath(unsigned processId);

// The software table: every program (mode 0) or only those whose class is not "0" (mode 1),
// sorted in the user's collation order without regard to case; an unknown program is left
// out when a known one of the same folder and class is listed, or when it comes from the
// maker of the system's own programs.
void RenderSoftwareTable(const ReportData& data, std::string& output, int colour, int mode);

// Appends the file's bytes; nothing when it does not exist.
void CopyFileToStream(std::string& output, std::string_view fileName);

}  // namespace qm::online
