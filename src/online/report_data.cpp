#include "online/report_data.h"

#include <stdexcept>

#include "core/process_state.h"
#include "core/profile_files.h"
#include "core/result_list.h"
#include "core/sections.h"
#include "delivery/scrambling.h"
#include "online/template_engine.h"
#include "platform/platform.h"
#include "platform/text.h"

namespace qm::online {

using namespace qm::platform;

namespace {

Lines LoadLines(const std::string& path) {
    std::string bytes;
    if (!ReadWholeFile(Files(), path, bytes))
        throw std::runtime_error("Cannot read " + path + " (error " + std::to_string(GetLastError()) + ")");
    return SplitLines(bytes);
}

Lines LoadCatalog(const std::string& path) {
    std::string bytes;
    if (!ReadWholeFile(Files(), path, bytes))
        throw std::runtime_error("Cannot read " + path + " (error " + std::to_string(GetLastError()) + ")");
    return SplitLines(DecodeStream(bytes, delivery::kByteXorKey));
}

std::string AnsiUpper(std::string_view text) { return CodePage().CharUpper(text); }

bool StartsWithAnsiNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && AnsiUpper(text.substr(0, prefix.size())) == AnsiUpper(prefix);
}

bool EqualsAnsiNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && AnsiUpper(a) == AnsiUpper(b);
}

// The value of the last line that begins with the prefix, without its closing quote.
std::string LastValueStartingWith(const Lines& list, std::string_view prefix) {
    std::string value;
    for (const std::string& line : list) {
        if (line.compare(0, prefix.size(), prefix) != 0) continue;
        value = line.substr(prefix.size());
        if (!value.empty()) value.pop_back();
    }
    return value;
}

// The text between the (2n-1)-th and the 2n-th double quote; empty past the last one.
std::string QuotedField(std::string_view line, int n) {
    std::size_t at = 0;
    for (int quote = 1; quote < 2 * n; ++quote) {
        at = line.find('"', at);
        if (at == std::string_view::npos) return std::string();
        ++at;
    }
    std::size_t end = line.find('"', at);
    if (end == std::string_view::npos) return std::string();
    return std::string(line.substr(at, end - at));
}

}  // namespace

std::string DecodeStream(std::string_view source, std::uint16_t key) { return delivery::ScrambleString(source, key); }

Lines SplitTabFields(std::string_view row) {
    std::string text(row);
    text += '\t';
    std::string joined;
    std::size_t start = 0;
    bool firstPiece = true;
    auto addPiece = [&](std::size_t end) {
        if (!firstPiece) joined += "\r\n";
        joined.append(text, start, end - start);
        firstPiece = false;
    };
    char quote = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        char c = text[i];
        if (quote != 0) {
            if (c == quote) quote = 0;
            ++i;
        } else if (c == '"' || c == '\'') {
            quote = c;
            ++i;
        } else if (c == '\t') {
            addPiece(i + 1);
            start = i + 1;
            ++i;
            while (i < text.size() && (text[i] == '\t' || text[i] == '\r' || text[i] == '\n')) ++i;
        } else {
            ++i;
        }
    }
    // An unclosed quote runs to the end of the row: what it holds is the last piece.
    if (start < text.size()) addPiece(text.size());
    std::erase(joined, '\t');
    return SplitLines(joined);
}

std::string FieldAt(const Lines& fields, std::size_t index) {
    return index < fields.size() ? fields[index] : std::string();
}

void MatchCpu(ReportData& data, const Lines& list) {
    data.CpuCache.clear();
    data.CpuVendor.clear();
    data.CpuType.clear();
    std::string vendor = LastValueStartingWith(list, core::RecordPrefix(core::sections::kCpu, "Vendor"));
    std::string brand = LastValueStartingWith(list, core::RecordPrefix(core::sections::kCpu, "BrandID"));
    std::string tfms = LastValueStartingWith(list, core::RecordPrefix(core::sections::kCpu, "TFMS"));
    for (const std::string& row : data.CpuCatalog) {
        Lines columns = SplitTabFields(row);
        std::string prefix = FieldAt(columns, 0);
        std::string brandColumn = FieldAt(columns, 4);
        if (tfms.compare(0, prefix.size(), prefix) != 0) continue;
        if (FieldAt(columns, 2) != vendor) continue;
        if (brandColumn != "NULL" && brandColumn != brand) continue;
        data.CpuCache = FieldAt(columns, 1);
        data.CpuVendor = FieldAt(columns, 2);
        data.CpuType = FieldAt(columns, 3);
        return;
    }
}

std::string NormaliseSoftware(const ReportData& data, std::string_view line, Lines& seen) {
    std::string folder = QuotedField(line, 4);
    std::string file = QuotedField(line, 5);
    std::string company = QuotedField(line, 7);
    std::string product = QuotedField(line, 8);
    std::string version = QuotedField(line, 9);

    std::string publisher = company;
    std::string productName = product;
    std::string versionText = version;
    std::string className;
    bool matched = false;
    std::string upperVersion = AnsiUpper(version);
    for (const std::string& row : data.SoftCatalog) {
        if (!StartsWithAnsiNoCase(row, file + "\t")) continue;
        Lines columns = SplitTabFields(row);
        std::string versionPrefix = FieldAt(columns, 2);
        std::string companyColumn = FieldAt(columns, 4);
        if (!EqualsAnsiNoCase(companyColumn, company) && !EqualsAnsiNoCase(companyColumn, "NULL")) continue;
        bool anyVersion = EqualsAnsiNoCase(versionPrefix, "NULL");
        if (!anyVersion && upperVersion.compare(0, versionPrefix.size(), versionPrefix) != 0) continue;
        publisher = FieldAt(columns, 5);
        if (versionPrefix != "NULL") versionText = FieldAt(columns, 3) + " (" + version + ")";
        productName = FieldAt(columns, 1);
        className = FieldAt(columns, 6);
        matched = true;
        break;
    }
    if (publisher.empty() || productName.empty()) return std::string();
    if (versionText.empty()) versionText = " ";
    auto row = [](std::initializer_list<std::string_view> texts) {
        std::string out;
        for (std::string_view t : texts) {
            out += t;
            out += '\t';
        }
        return out;
    };
    if (matched) {
        seen.push_back(folder);
        return row({publisher, productName, versionText, "", folder, className});
    }
    for (const std::string& known : seen)
        if (EqualsAnsiNoCase(known, folder)) return std::string();
    seen.push_back(folder);
    return row({publisher, productName + "*", versionText, "", folder, "0"});
}

void BuildSoftRows(ReportData& data) {
    data.SoftRows.clear();
    Lines seen;
    for (std::size_t i = 1; i < data.Soft.size(); ++i) data.SoftRows.push_back(NormaliseSoftware(data, data.Soft[i], seen));
}

void LoadReportData(ReportData& data) {
    data = ReportData{};
    const core::ResultFileNames& names = core::State().resultFiles;
    data.Hard = LoadLines(names.localHardware);
    data.Soft = LoadLines(names.localSoftware);
    std::string exeFolder = core::AgentFolder();
    data.SoftCatalog = LoadCatalog(exeFolder + kSoftwareCatalog);
    data.CpuCatalog = LoadCatalog(exeFolder + kProcessorCatalog);
    data.Tags = BuildTags();
    std::string settings = exeFolder + kSettingsFileName;
    data.ZipName = core::ReadProfileString(settings, "Global", "ZIPNAME");
    data.CellFont = core::ReadProfileString(settings, "Global", "DEFAULT_FONT");
    // Only a tag in capitals is closed: what the settings have always meant.
    data.FontClose = data.CellFont.find("FONT") != std::string::npos ? "</FONT>" : "";
    data.CellBgFirst = core::ReadProfileString(settings, "Global", "DEFAULT_CELL_BACKGROUND_FIRST");
    data.CellBgSecond = core::ReadProfileString(settings, "Global", "DEFAULT_CELL_BACKGROUND_SECOND");
    MatchCpu(data, data.Hard);
    BuildSoftRows(data);
}

}  // namespace qm::online
