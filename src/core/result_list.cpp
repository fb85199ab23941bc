#include "core/result_list.h"

#include <stdexcept>

#include "core/identification.h"
#include "core/process_state.h"
#include "core/settings.h"
#include "core/trace_log.h"
#include "platform/platform.h"
#include "platform/text.h"

namespace qm::core {

using namespace qm::platform;

std::string QuoteField(std::string_view text) {
    std::string t(text);
    for (char& c : t)
        if (c == '"' || c == '\'' || c == ',' || c == '\r' || c == '\n') c = ' ';
    return "\"" + Trim(t) + "\"";
}

std::string QuoteFields(std::initializer_list<std::string> fields) {
    std::string out;
    for (const std::string& f : fields) {
        if (!out.empty()) out += ',';
        out += QuoteField(f);
    }
    return out;
}

void CreateResultList() { State().resultList.emplace(); }

void LoadResultList(std::string_view path) {
    auto& list = State().resultList;
    list.emplace();
    if (!FileExists(Files(), path)) return;
    // A file that is there but cannot be read must not come back as an empty list: saved,
    // that list would replace the whole file.
    std::string bytes;
    if (!ReadWholeFile(Files(), path, bytes)) {
        list.reset();
        throw std::runtime_error("Cannot read " + std::string(path) + " (error " + std::to_string(GetLastError()) + ")");
    }
    *list = SplitLines(bytes);
}

void SaveResultList(std::string_view path) {
    const auto& list = State().resultList;
    if (!list) return;
    std::string text;
    for (const std::string& line : *list) {
        text += line;
        text += "\r\n";
    }
    if (!ReplaceFileSafely(Files(), path, text))
        throw std::runtime_error("Cannot write " + std::string(path) + " (error " + std::to_string(GetLastError()) +
                                 ")");
}

std::string FindResultLine(std::string_view text) {
    const auto& list = State().resultList;
    if (!list) return std::string();
    return FindLine(*list, text);
}

std::string FindLine(const std::vector<std::string>& lines, std::string_view text) {
    for (auto it = lines.rbegin(); it != lines.rend(); ++it)
        if (it->find(text) != std::string::npos) return *it;
    return std::string();
}

std::string FindValue(const std::vector<std::string>& lines, std::string_view prefix) {
    std::string line = FindLine(lines, prefix);
    std::size_t at = line.find(prefix);
    if (at == std::string::npos) return std::string();
    std::string value = line.substr(at + prefix.size());
    if (!value.empty()) value.pop_back();
    return value;
}

std::vector<std::string> LastResultLines(std::size_t count) {
    const auto& list = State().resultList;
    if (!list) return {};
    std::size_t first = list->size() > count ? list->size() - count : 0;
    return std::vector<std::string>(list->begin() + static_cast<std::ptrdiff_t>(first), list->end());
}

void CloseResultList(std::string_view path) {
    auto& list = State().resultList;
    if (!list) return;
    // The owner is done with the list either way: a failed save must not leave it current.
    try {
        SaveResultList(path);
    } catch (...) {
        list.reset();
        throw;
    }
    list.reset();
}

void AddResultLine(std::string_view section, std::string_view key, std::string_view value) {
    auto& list = State().resultList;
    if (!list) throw std::logic_error("no result list to add a line to");
    list->push_back(QuoteField(section) + "," + QuoteField(key) + "," + std::string(value));
    WriteLog("RES : " + list->back());
}

void AddQuotedResultLine(std::string_view section, std::string_view key, std::string_view text) {
    AddResultLine(section, key, QuoteField(text));
}

void AddFieldHeader(int count) {
    if (count < 1) throw std::invalid_argument("a header line names at least one field");
    std::string line;
    for (int i = 1; i <= count; ++i) {
        if (i > 1) line += ',';
        line += "\"F" + std::to_string(i) + "\"";
    }
    auto& list = State().resultList;
    if (!list) throw std::logic_error("no result list to add a line to");
    list->push_back(std::move(line));
}

bool IsFileNameCharacter(char c) {
    return static_cast<unsigned char>(c) >= 32 && std::string_view("<>:\"/\\|?*").find(c) == std::string_view::npos;
}

namespace {

// CON, PRN, AUX, NUL, COM1 to COM9 and LPT1 to LPT9 name devices, whatever the extension and
// the blanks that end the name.
bool IsReservedDeviceName(std::string_view name) {
    std::string base = platform::AsciiUpper(name.substr(0, name.find('.')));
    while (!base.empty() && base.back() == ' ') base.pop_back();
    if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL") return true;
    return base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) && base[3] >= '1' &&
           base[3] <= '9';
}

}  // namespace

std::string FileNamePart(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (!IsFileNameCharacter(c)) c = '_';
    if (IsReservedDeviceName(out)) out.insert(0, "_");
    return out;
}

void SetResultFileNames(bool resultsByIdentifier) {
    auto& s = State();
    std::string asset = FileNamePart(GetAssetId());
    s.resultFiles.localHardware = s.workFolder + asset + ".hrz";
    s.resultFiles.localSoftware = s.workFolder + asset + ".sfz";
    // A stored machine identifier that holds a character a file name refuses is refused when
    // it is read; a device name is guarded here.
    s.resultFiles.serverBaseName = resultsByIdentifier ? FileNamePart(s.machineId) : asset;
    std::string results = GetResultsFolder();
    s.resultFiles.serverHardware = results + s.resultFiles.serverBaseName + ".hrz";
    s.resultFiles.serverSoftware = results + s.resultFiles.serverBaseName + ".sfz";
}

std::string RecordPrefix(std::string_view section, std::string_view key) {
    return "\"" + std::string(section) + "\",\"" + std::string(key) + "\",\"";
}

std::string ReadResultValue(std::string_view section, std::string_view key) {
    const auto& list = State().resultList;
    if (!list) return std::string();
    return FindValue(*list, RecordPrefix(section, key));
}

std::vector<std::string> ResultFields(std::string_view line) {
    std::vector<std::string> fields;
    if (line.size() < 2 || line.front() != '"' || line.back() != '"') return fields;
    // QuoteField leaves no quote in a field: each quote, comma, quote parts two fields.
    std::string_view rest = line.substr(1, line.size() - 2);
    for (;;) {
        std::size_t sep = rest.find("\",\"");
        fields.emplace_back(rest.substr(0, sep));
        if (sep == std::string_view::npos) break;
        rest.remove_prefix(sep + 3);
    }
    return fields;
}

}  // namespace qm::core
