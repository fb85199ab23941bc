#pragma once
// What the report shows, loaded before any template is rendered: the agent's plain result
// files, the front-end's two scrambled catalogues, the look of the report tables from
// qnlonline.ini, the processor texts matched in the processor catalogue and one normalised
// row per installed program.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qm::online {

using Lines = std::vector<std::string>;

struct ReportData {
    Lines Hard;         // the hardware result file, line 0 its header line
    Lines Soft;         // the software result file, line 0 its header line
    Lines SoftCatalog;  // data.dta, decoded
    Lines CpuCatalog;   // datap.dta, decoded
    Lines Tags;         // the template tags in index order
    Lines SoftRows;     // one normalised row per software line after the header, empty ones too

    std::string ZipName;
    std::string CellFont;   // put before every cell value
    std::string FontClose;  // put after it: "</FONT>" when CellFont holds "FONT"
    std::string CellBgFirst;
    std::string CellBgSecond;

    std::string CpuCache;
    std::string CpuVendor;
    std::string CpuType;
};

// The front-end's settings file, in the folder of its program file.
inline constexpr const char* kSettingsFileName = "qnlonline.ini";
inline constexpr const char* kSoftwareCatalog = "data.dta";
inline constexpr const char* kProcessorCatalog = "datap.dta";

// Loads everything above; raises when a result file or a catalogue is missing or unreadable.
void LoadReportData(ReportData& data);

// The bytes of a scrambled catalogue made plain: each XOR the high byte of the key.
std::string DecodeStream(std::string_view source, std::uint16_t key);

// The fields of a row by the TAB field rule: a TAB ends a field unless it stands between an
// opening quote character (double quote or apostrophe) and the next same one; a run of TABs
// separates like one, so empty fields vanish (all but a leading one); the TABs inside quotes
// are dropped, joining the texts on either side; a CR or LF also separates.
Lines SplitTabFields(std::string_view row);
// The field at the index, empty past the last one.
std::string FieldAt(const Lines& fields, std::size_t index);

// Sets the processor's cache, vendor and type texts from the first processor catalogue row
// that matches the "CPU" records of the lines; all three empty when none does.
void MatchCpu(ReportData& data, const Lines& list);
// One software record as a normalised row: publisher, product, version text, an empty text,
// folder and class, each followed by a TAB; empty when the publisher or product is empty, or
// for an unknown program of a folder already seen. An unknown program is marked by "*" after
// its product and takes the class "0".
std::string NormaliseSoftware(const ReportData& data, std::string_view line, Lines& seen);
void BuildSoftRows(ReportData& data);

}  // namespace qm::online
