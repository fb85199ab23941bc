#include "online/report_tables.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <unordered_set>

#include "core/sections.h"
#include "online/html_text.h"
#include "platform/platform.h"
#include "platform/text.h"

namespace qm::online {

using namespace qm::platform;
namespace sections = core::sections;

namespace {

constexpr std::string_view kFieldSeparator = "\",\"";

bool Shows(const std::vector<int>& shown, int field) {
    // The shown fields were a set of bytes: no field beyond the 255th can be among them.
    return field >= 1 && field <= 255 && std::find(shown.begin(), shown.end(), field) != shown.end();
}

std::string CellText(const ReportData& data, std::string_view value) {
    return data.CellFont + EscapeHtml(value) + data.FontClose;
}

// Cells of the plain and grouped tables.
std::string InnerCell(const ReportData& data, const std::string& bg, const std::string& width, std::string_view value) {
    return "<TD  " + bg + width + ">" + CellText(data, value) + "</TD>";
}

std::string LastCell(const ReportData& data, const std::string& bg, const std::string& width, std::string_view value) {
    return "<TD " + bg + width + ">" + CellText(data, value) + "</TD></TR>";
}

// A row of the drive table, the process list or the software table: the cells' contents as
// they go out (values already escaped, markup such as icons as it stands).
std::string PlainRow(const ReportData& data, const std::string& bg, const std::vector<std::string>& cells) {
    std::string row = "<TR>";
    for (const std::string& cell : cells) row += "<TD " + bg + ">" + data.CellFont + cell + data.FontClose + "</TD>";
    return row + "</TR>";
}

// A number as the result files write them: "." decimals, blanks around allowed.
bool ParseNumber(std::string_view text, double& value) {
    std::string t = Trim(text);
    if (t.empty()) return false;
    const char* end = t.data() + t.size();
    auto [ptr, ec] = std::from_chars(t.data(), end, value);
    return ec == std::errc() && ptr == end && std::isfinite(value);
}

// Up to 15 significant digits, without an exponent for the widths a 60-pixel bar can have.
std::string GeneralNumber(double value) {
    if (std::fabs(value) < 1e-4) return "0";
    char text[64];
    std::snprintf(text, sizeof text, "%.15g", value);
    return text;
}

// Two significant digits, written with one decimal: 25 gives 25.0, 100 gives 100.0.
std::string PercentText(double p) {
    double rounded = 0;
    if (p != 0) {
        double unit = std::pow(10.0, std::floor(std::log10(std::fabs(p))) - 1);
        rounded = std::round(p / unit) * unit;
    }
    char text[64];
    std::snprintf(text, sizeof text, "%.1f", rounded);
    return std::string(text) + "%";
}

std::string UsageBar(double total, double free) {
    double p = std::clamp(free * 100 / total, 0.0, 100.0);
    return "<img border=\"0\" src=\"pourcoff.gif\" width=\"" + GeneralNumber((100 - p) * 60 / 100) +
           "\" height=\"18\"><img border=\"0\" src=\"pourcon.gif\" width=\"" + GeneralNumber(p * 60 / 100) +
           "\" height=\"18\"> " + PercentText(p);
}

std::string CharAt(std::string_view text, std::size_t index) {
    return index < text.size() ? std::string(1, text[index]) : std::string();
}

// The fields of a result line without its outer quotes, TAB-separated, an empty field between
// two others written as a blank so that the TAB field rule does not move the later ones up.
// Each step is one pass into a new text, so a line of many fields costs no more than its length.
std::string TabSeparatedFields(std::string_view text) {
    constexpr std::string_view kEmptyField = "\",\"\",\"";
    std::string spaced;
    spaced.reserve(text.size() + text.size() / 3);
    for (std::size_t i = 0; i < text.size();) {
        if (text.compare(i, kEmptyField.size(), kEmptyField) == 0) {
            // The separator that closes the empty field may open the next one: it is looked at again.
            spaced.append(kFieldSeparator).push_back(' ');
            i += kFieldSeparator.size();
        } else {
            spaced += text[i++];
        }
    }
    std::string tabbed;
    tabbed.reserve(spaced.size());
    for (std::size_t i = 0; i < spaced.size();) {
        if (spaced.compare(i, kFieldSeparator.size(), kFieldSeparator) == 0) {
            tabbed += '\t';
            i += kFieldSeparator.size();
        } else {
            tabbed += spaced[i++];
        }
    }
    return tabbed;
}

std::string DiskRow(const ReportData& data, const std::string& line, int colour, bool& skip) {
    skip = false;
    std::string_view text = line.size() >= 2 ? std::string_view(line).substr(1, line.size() - 2) : std::string_view();
    Lines f = SplitTabFields(TabSeparatedFields(text));
    std::string type = FieldAt(f, 7);
    std::string icon;
    if (type == "Fixed drive") {
        icon = "<img border=\"0\" src=\"drive.gif\">";
    } else if (type == "CDROM drive") {
        skip = true;
        return std::string();
    } else if (type == "Network drive") {
        icon = "<img border=\"0\" src=\"network_drive.gif\">";
    }
    double total = 0, free = 0;
    // A drive whose sizes are not known gets its row all the same, without the bar.
    std::string bar;
    if (ParseNumber(FieldAt(f, 2), total) && ParseNumber(FieldAt(f, 3), free) && total > 0) bar = UsageBar(total, free);
    std::string letter = EscapeHtml(CharAt(FieldAt(f, 1), 6)) + ":";
    return PlainRow(data, RowBackground(data, colour),
                    {icon, letter, EscapeHtml(FieldAt(f, 2)), bar, EscapeHtml(FieldAt(f, 4)), EscapeHtml(FieldAt(f, 6))});
}

// The row's text from the last TAB among its first length-3 characters: for a normalised row,
// TAB folder TAB class TAB.
std::string_view RowTail(std::string_view row) {
    if (row.size() < 3) return row;
    std::size_t tab = row.substr(0, row.size() - 3).rfind('\t');
    return tab == std::string_view::npos ? row : row.substr(tab);
}

bool IsUnknownProgram(std::string_view row) { return row.find("*\t") != std::string_view::npos; }

}  // namespace

const std::string& RowBackground(const ReportData& data, int colour) {
    return colour % 2 == 0 ? data.CellBgFirst : data.CellBgSecond;
}

std::string RenderTable(const ReportData& data, const Lines& list, std::string_view prefix,
                        const std::vector<int>& shown, bool noAdvance, int colour) {
    std::string result;
    for (const std::string& line : list) {
        std::size_t at = line.find(prefix);
        if (at == std::string::npos) continue;
        std::string_view rest = std::string_view(line).substr(at + prefix.size());
        if (!rest.empty()) rest.remove_suffix(1);
        const std::string& bg = RowBackground(data, colour);
        std::string row = "<TR>";
        int f = 1;
        for (std::size_t sep; (sep = rest.find(kFieldSeparator)) != std::string_view::npos; ++f) {
            if (Shows(shown, f)) row += InnerCell(data, bg, "", rest.substr(0, sep));
            rest.remove_prefix(sep + kFieldSeparator.size());
        }
        if (Shows(shown, f)) row += LastCell(data, bg, "", rest);
        result += row;
        if (!noAdvance) ++colour;
    }
    return result;
}

std::string RenderGroupedTable(const ReportData& data, const Lines& list, const GroupedTable& table, int colour,
                               bool tagNoAdvance) {
    std::string result;
    std::string groupKey;
    bool groupOpen = false;
    bool noAdvance = tagNoAdvance;
    auto widthOf = [&](int field) {
        for (const auto& [f, w] : table.widths)
            if (f == field) return " width=\"" + std::to_string(w) + "%\" ";
        return std::string();
    };
    for (std::size_t i = 0; i < list.size();) {
        const std::string& line = list[i];
        bool qualifies = std::all_of(table.required.begin(), table.required.end(),
                                     [&](const std::string& t) { return line.find(t) != std::string::npos; });
        if (qualifies && table.anyOfRequired)
            qualifies = std::any_of(table.anyOf.begin(), table.anyOf.end(),
                                    [&](const std::string& t) { return line.find(t) != std::string::npos; });
        if (!qualifies) {
            ++i;
            continue;
        }
        std::string_view rest = line.size() >= 2 ? std::string_view(line).substr(1, line.size() - 2) : std::string_view();
        std::string row = "<TR>";
        std::string width;
        bool again = false;
        int f = 1;
        for (std::size_t sep; (sep = rest.find(kFieldSeparator)) != std::string_view::npos; ++f) {
            const std::string& bg = RowBackground(data, colour);
            if (f == table.groupField) {
                if (row != groupKey) {
                    noAdvance = true;
                    groupKey = row;
                    if (!groupOpen) {
                        groupOpen = true;
                        row += "<TD><TABLE  border=\"0\" width=\"100%\" height=\"21\"><TR>";
                    } else {
                        // The group ends: its colour is spent, and this line opens the next.
                        noAdvance = tagNoAdvance;
                        groupKey.clear();
                        result += "</TABLE></TD>";
                        groupOpen = false;
                        if (!noAdvance) ++colour;
                        again = true;
                        break;
                    }
                } else {
                    row = "<TR>";
                }
            }
            if (Shows(table.shown, f)) {
                if (f >= table.groupField) width = widthOf(f);
                row += InnerCell(data, bg, width, rest.substr(0, sep));
            }
            rest.remove_prefix(sep + kFieldSeparator.size());
        }
        if (again) continue;
        if (Shows(table.shown, f)) {
            if (f >= table.groupField) width = widthOf(f);
            row += LastCell(data, RowBackground(data, colour), width, rest);
        }
        result += row;
        if (!noAdvance) ++colour;
        ++i;
    }
    if (groupOpen) result += "</TABLE></TD></TR>";
    return result;
}

std::string RenderDiskTable(const ReportData& data, int colour) {
    std::string result;
    for (std::size_t i = 1; i < data.Hard.size(); ++i) {
        const std::string& line = data.Hard[i];
        if (line.find("\"" + std::string(sections::kDiskSizes) + "\",\"Drive") != std::string::npos) {
            bool skip = false;
            std::string row = DiskRow(data, line, colour, skip);
            if (skip) continue;
            result += row;
            ++colour;
        } else if (line.find("\"" + std::string(sections::kCdrom) + "\",\"Drive") != std::string::npos) {
            result += PlainRow(data, RowBackground(data, colour),
                               {"<img border=\"0\" src=\"cd_drive.gif\">", EscapeHtml(CharAt(line, 15)) + ":", "", "", "", ""});
            ++colour;
        }
    }
    return result;
}

std::string GetProcessPath(unsigned processId) {
    std::unique_ptr<ProcessHandle> process =
        ProcessList().OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, false, processId);
    if (!process) return std::string();
    std::vector<HMODULE> modules;
    DWORD needed = 0;
    std::string path;
    // The program is the first module: room for it is enough.
    if (process->EnumProcessModules(modules, 2000, needed) && !modules.empty() &&
        process->GetModuleFileNameEx(modules.front(), path, 256) == 0)
        path.clear();
    return path;
}

void RenderProcessList(const ReportData& data, std::string& output) {
    OsVersionInfo version;
    if (!System().GetVersionEx(version)) return;
    if (version.dwPlatformId == VER_PLATFORM_WIN32_NT) {
        std::vector<DWORD> ids;
        DWORD returned = 0;
        // A full buffer may have left processes out: it grows until they all fit.
        for (DWORD bytes = 2000;; bytes *= 2) {
            if (!ProcessList().EnumProcesses(ids, bytes, returned)) return;
            if (returned < bytes || bytes >= (1u << 24)) break;
        }
        for (std::size_t i = 0; i < ids.size(); ++i)
            WriteHtmlText(output, PlainRow(data, RowBackground(data, static_cast<int>(i)), {EscapeHtml(GetProcessPath(ids[i]))}));
        return;
    }
    std::unique_ptr<ToolhelpSnapshot> snapshot = ProcessList().CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (!snapshot) return;
    PROCESSENTRY32 entry;
    int written = 0;
    for (bool more = snapshot->Process32First(entry); more; more = snapshot->Process32Next(entry)) {
        if (entry.szExeFile.empty()) continue;
        WriteHtmlText(output, PlainRow(data, RowBackground(data, written++), {EscapeHtml(entry.szExeFile)}));
    }
}

void RenderSoftwareTable(const ReportData& data, std::string& output, int colour, int mode) {
    Lines sorted = data.SoftRows;
    SortIgnoringCase(Collation(), sorted);
    std::unordered_set<std::string_view> knownTails;
    for (const std::string& row : sorted)
        if (!row.empty() && !IsUnknownProgram(row)) knownTails.insert(RowTail(row));
    for (const std::string& row : sorted) {
        if (row.empty()) continue;
        if (IsUnknownProgram(row) && (knownTails.count(RowTail(row)) != 0 || row.find("Microsoft") != std::string::npos))
            continue;
        Lines f = SplitTabFields(row);
        if (mode == 1 && FieldAt(f, 4) == "0") continue;
        WriteHtmlText(output, PlainRow(data, RowBackground(data, colour),
                                       {EscapeHtml(FieldAt(f, 0)), EscapeHtml(FieldAt(f, 1)), EscapeHtml(FieldAt(f, 2)),
                                        EscapeHtml(FieldAt(f, 3))}));
        ++colour;
    }
}

void CopyFileToStream(std::string& output, std::string_view fileName) {
    std::string bytes;
    if (FileExists(Files(), fileName) && ReadWholeFile(Files(), fileName, bytes)) output += bytes;
}

}  // namespace qm::online
