#include "online/template_engine.h"

#include <stdexcept>

#include "core/date_time.h"
#include "core/identification.h"
#include "core/process_state.h"
#include "core/result_list.h"
#include "core/sections.h"
#include "online/html_text.h"
#include "online/report_tables.h"
#include "platform/platform.h"
#include "platform/text.h"

namespace qm::online {

using namespace qm::platform;
namespace sections = core::sections;

namespace {

enum class Kind {
    Software,          // the software table, all programs
    SoftwareClassed,   // the software table, programs whose class is not "0"
    Date,              // the current local date and time
    ComputerName,
    Value,             // a value of the hardware file
    HardTable,         // a table of the hardware file
    SoftTable,         // a table of the software file
    Disk,
    Processes,
    Header,
    Footer,
    Office,
    Usb,
    CpuVendor,
    CpuType,
    CpuCache,
};

struct TagRule {
    const char* name;
    Kind kind;
    const char* section = "";
    const char* key = "";  // for a value; a table's prefix is the section alone
    std::vector<int> fields = {};
};

std::vector<int> Range(int first, int last) {
    std::vector<int> fields;
    for (int f = first; f <= last; ++f) fields.push_back(f);
    return fields;
}

// One rule per tag pair, in index order: pair k is the opening tag at index 2k.
const std::vector<TagRule>& TagTable() {
    static const std::vector<TagRule> table = {
        {"LOGICIEL", Kind::Software},
        {"DATE_INVENTAIRE", Kind::Date},
        {"VERSION", Kind::Value, sections::kInventory, "QMAgent version"},
        {"COMPUTERNAME", Kind::ComputerName},
        {"MANUFACTURER", Kind::Value, sections::kIdent, "Manufacturer"},
        {"MODEL", Kind::Value, sections::kIdent, "Model"},
        {"SERIAL", Kind::Value, sections::kIdent, "SN"},
        {"HOTFIX", Kind::HardTable, sections::kHotFix, "", {1, 2}},
        {"PROCESSORVENDOR2", Kind::Value, sections::kCpu, "Vendor"},
        {"BIOS", Kind::HardTable, sections::kBios, "", {1, 2}},
        {"MEMORY", Kind::Value, sections::kMemory, "Total"},
        {"PROCESSORFREQ", Kind::Value, sections::kCpu, "Freq in reg"},
        {"OS", Kind::Value, sections::kWindows, "Version"},
        {"OSDOMAIN", Kind::Value, sections::kWindows, "WorkGroup or NT domain"},
        {"OSREGISTEREDORG", Kind::Value, sections::kWindows, "RegisteredOrganization"},
        {"OSPRODUCTID", Kind::Value, sections::kWindows, "ProductId"},
        {"OSREGISTEREDUSER", Kind::Value, sections::kWindows, "RegisteredOwner"},
        {"DISK", Kind::Disk},
        {"PRINTER", Kind::HardTable, sections::kPrinters, "", {2, 3, 5, 6}},
        {"VIDEO", Kind::Value, sections::kVideo, "Video adapter"},
        {"PERIPHERALS", Kind::HardTable, sections::kPeripheralsTree, "", {2}},
        {"RUNNING PROCESS", Kind::Processes},
        {"ANTIVIRUS", Kind::HardTable, sections::kAntivirus, "", {1, 2, 3}},
        {"AUTOLOGON", Kind::HardTable, sections::kAutoLogon, "", {1, 2}},
        {"SCREENSAVER", Kind::HardTable, sections::kScreenSaver, "", {1, 2}},
        {"NETWORK", Kind::HardTable, sections::kIpConfig, "", {1, 2}},
        {"QNLHEADER", Kind::Header},
        {"QNLBOTTOM", Kind::Footer},
        {"OFFICEID", Kind::Value, sections::kOffice, "ProductId"},
        {"OFFICE", Kind::Office},
        {"IP", Kind::HardTable, sections::kIpAddress, "", {2}},
        {"MAC", Kind::HardTable, sections::kMacAddress, "", {2}},
        {"NETWORK_ADAP", Kind::HardTable, sections::kNetworkAdapter, "", {2}},
        {"USB", Kind::Usb},
        {"UUID", Kind::Value, sections::kIdent, "UUID"},
        {"SCREENRES", Kind::Value, sections::kWindows, "Screen resolution"},
        {"DEFAULTPRINTER", Kind::Value, sections::kWindows, "Default printer"},
        {"USERID", Kind::Value, sections::kWindows, "User ID"},
        {"TIMEZONE", Kind::Value, sections::kWindows, "Time zone"},
        {"SYSTEMROOT", Kind::Value, sections::kWindows, "SystemRoot"},
        {"OSCOUNTRY", Kind::Value, sections::kWindows, "Country"},
        {"OSLANGUAGE", Kind::Value, sections::kWindows, "System language"},
        {"USERLANGUAGE", Kind::Value, sections::kWindows, "User language"},
        {"PROCESSORVENDOR", Kind::CpuVendor},
        {"PROCESSORTYPE", Kind::CpuType},
        {"PROCESSORCACHE", Kind::CpuCache},
        {"INTERNETDBROWSER", Kind::Value, sections::kInternet, "DefaultBrowser"},
        {"INTERNETDMAIL", Kind::Value, sections::kInternet, "DefaultMail"},
        {"IESPAGE", Kind::Value, sections::kInternetExplorer, "StartPage"},
        {"IEPROXY", Kind::Value, sections::kInternetExplorer, "ProxyEnable"},
        {"INSTANTMESS", Kind::HardTable, sections::kInstantMessenger, "", {1, 2}},
        {"MEMBANK", Kind::HardTable, sections::kMemBank, "", {2}},
        {"DMIP", Kind::Value, sections::kDmi, "Present"},
        {"DMIV", Kind::Value, sections::kDmi, "Version,"},  // the key holds a comma
        {"IEPROXYCFG", Kind::Value, sections::kInternetExplorer, "ProxyConfig"},
        {"BOOT", Kind::HardTable, sections::kBoot, "", {1, 2}},
        {"SOFTANTIVIRUS", Kind::SoftwareClassed},
        {"RAWSOFTWARE", Kind::SoftTable, sections::kSoftware, "", Range(1, 11)},
        {"MONITOR", Kind::HardTable, sections::kMonitor, "", {1, 2}},
        {"SMARTDISK", Kind::HardTable, sections::kSmart, "", Range(1, 15)},
        {"DELL", Kind::HardTable, sections::kDell, "", Range(1, 15)},
        {"ASSETTAG", Kind::Value, sections::kIdentification, "AssetTag#"},
    };
    return table;
}

std::string TablePrefix(std::string_view section) { return "\"" + std::string(section) + "\",\""; }

void WriteValue(std::string& output, std::string_view value) { WriteHtmlText(output, EscapeHtml(value)); }

void Render(const ReportData& data, std::string& output, const TagRule& rule, bool noAdvance, int colour) {
    std::string exeFolder = core::AgentFolder();
    switch (rule.kind) {
        case Kind::Software: RenderSoftwareTable(data, output, colour, 0); break;
        case Kind::SoftwareClassed: RenderSoftwareTable(data, output, colour, 1); break;
        case Kind::Date: WriteValue(output, core::FormatDateTime("mm/dd/yyyy hh:nn", core::Now())); break;
        case Kind::ComputerName: WriteValue(output, core::GetLocalComputerName()); break;
        case Kind::Value: WriteValue(output, core::FindValue(data.Hard, core::RecordPrefix(rule.section, rule.key))); break;
        case Kind::HardTable:
            WriteHtmlText(output, RenderTable(data, data.Hard, TablePrefix(rule.section), rule.fields, noAdvance, colour));
            break;
        case Kind::SoftTable:
            WriteHtmlText(output, RenderTable(data, data.Soft, TablePrefix(rule.section), rule.fields, noAdvance, colour));
            break;
        case Kind::Disk: WriteHtmlText(output, RenderDiskTable(data, colour)); break;
        case Kind::Processes: RenderProcessList(data, output); break;
        case Kind::Header: CopyFileToStream(output, exeFolder + "QNLHEADER.HTM"); break;
        case Kind::Footer: CopyFileToStream(output, exeFolder + "QNLBOTTOM.HTM"); break;
        case Kind::Office: {
            GroupedTable office;
            office.required = {"Microsoft", "Office ", TablePrefix(sections::kInstalledSoft)};
            office.shown = {3};
            WriteHtmlText(output, RenderGroupedTable(data, data.Hard, office, colour, noAdvance));
            break;
        }
        case Kind::Usb: {
            GroupedTable usb;
            usb.anyOfRequired = true;
            usb.required = {"\"" + std::string(sections::kUsb) + "\",\"USB"};
            usb.anyOf = {"\",\"Product\",\"", "\",\"Manufacturer\",\"", "\",\"SN\",\""};
            usb.shown = {2, 3, 4};
            usb.groupField = 3;
            usb.widths = {{3, 25}, {4, 75}};
            WriteHtmlText(output, RenderGroupedTable(data, data.Hard, usb, colour, noAdvance));
            break;
        }
        case Kind::CpuVendor: WriteValue(output, data.CpuVendor); break;
        case Kind::CpuType: WriteValue(output, data.CpuType); break;
        case Kind::CpuCache: WriteValue(output, data.CpuCache); break;
    }
}

std::size_t FindTag(const Lines& tags, std::string_view text) {
    for (std::size_t i = 0; i < tags.size(); ++i)
        if (EqualsNoCase(tags[i], text)) return i;
    return tags.size();
}

}  // namespace

Lines BuildTags() {
    Lines tags;
    for (const TagRule& rule : TagTable()) {
        tags.push_back("<" + std::string(rule.name) + ">");
        tags.push_back("</" + std::string(rule.name) + ">");
    }
    return tags;
}

void RenderTag(const ReportData& data, std::string& output, std::string_view tag) {
    bool noAdvance = false;
    int colour = 2;
    std::size_t index = FindTag(data.Tags, tag);
    if (index == data.Tags.size()) {
        std::size_t blank = tag.find(' ');
        std::string bare = std::string(blank == std::string_view::npos ? std::string_view() : tag.substr(0, blank)) + ">";
        index = FindTag(data.Tags, bare);
        if (index != data.Tags.size()) {
            noAdvance = tag.find("LINE_OFF") != std::string_view::npos;
            if (tag.find("COLOR_2") != std::string_view::npos) colour = 3;
        }
    }
    if (index == data.Tags.size()) {
        WriteRaw(output, tag);
        return;
    }
    // Only the opening tag of a pair renders; the table holds them both in its order.
    if (index % 2 == 0 && index / 2 < TagTable().size()) Render(data, output, TagTable()[index / 2], noAdvance, colour);
}

void ProcessTemplate(const ReportData& data, std::string_view source, std::string_view target) {
    std::string bytes;
    if (!ReadWholeFile(Files(), source, bytes))
        throw std::runtime_error("Cannot read " + std::string(source) + " (error " + std::to_string(GetLastError()) + ")");
    std::string output;
    std::string tag;
    bool inTag = false;
    for (char c : bytes) {
        if (!inTag) {
            if (c == '<') {
                inTag = true;
                tag.assign(1, c);
            } else {
                output += c;
            }
        } else {
            tag += c;
            if (c == '>') {
                inTag = false;
                RenderTag(data, output, tag);
            }
        }
    }
    // A tag still open at the end is dropped; an empty rendering still replaces the target,
    // so that no report of an earlier run survives under the template's name.
    if (!ReplaceFileSafely(Files(), target, output))
        throw std::runtime_error("Cannot write " + std::string(target) + " (error " + std::to_string(GetLastError()) + ")");
}

}  // namespace qm::online
