#include "platform/sim/sim_profile.h"

#include "platform/ini_image.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "platform/winpath.h"

namespace qm::sim {

using namespace qm::platform;

namespace {

struct ProfileLine {
    enum class Kind { Blank, Comment, Section, Entry };
    std::string raw;
    Kind kind = Kind::Blank;
    std::string name;   // section or key, trimmed
    std::string value;  // entry value, trimmed
};

std::vector<ProfileLine> ParseProfile(std::string_view text) {
    std::vector<ProfileLine> lines;
    for (std::string& raw : SplitLines(text)) {
        ProfileLine l;
        std::string_view t = TrimProfileBlanks(raw);
        if (t.empty()) {
            l.kind = ProfileLine::Kind::Blank;
        } else if (t.front() == ';') {
            l.kind = ProfileLine::Kind::Comment;
        } else if (t.front() == '[') {
            l.kind = ProfileLine::Kind::Section;
            std::size_t close = t.find(']');
            l.name = std::string(TrimProfileBlanks(t.substr(1, close == std::string_view::npos ? t.npos : close - 1)));
        } else {
            l.kind = ProfileLine::Kind::Entry;
            std::size_t eq = t.find('=');
            l.name = std::string(TrimProfileBlanks(t.substr(0, eq)));
            if (eq != std::string_view::npos) l.value = std::string(TrimProfileBlanks(t.substr(eq + 1)));
        }
        l.raw = std::move(raw);
        lines.push_back(std::move(l));
    }
    return lines;
}

class ProfileText {
public:
    ProfileText(std::vector<ProfileLine> lines, const CodePageTable& cp) : lines_(std::move(lines)), cp_(cp) {}

    // Index of the section's header line, or npos.
    std::size_t FindSection(std::string_view section) const {
        std::string want = cp_.Upper(TrimProfileBlanks(section));
        for (std::size_t i = 0; i < lines_.size(); ++i)
            if (lines_[i].kind == ProfileLine::Kind::Section && cp_.Upper(lines_[i].name) == want) return i;
        return npos;
    }

    // One past the section's last line.
    std::size_t SectionEnd(std::size_t header) const {
        std::size_t i = header + 1;
        while (i < lines_.size() && lines_[i].kind != ProfileLine::Kind::Section) ++i;
        return i;
    }

    std::size_t FindKey(std::size_t header, std::string_view key) const {
        std::string want = cp_.Upper(TrimProfileBlanks(key));
        for (std::size_t i = header + 1, end = SectionEnd(header); i < end; ++i)
            if (lines_[i].kind == ProfileLine::Kind::Entry && cp_.Upper(lines_[i].name) == want) return i;
        return npos;
    }

    std::vector<ProfileLine>& Lines() { return lines_; }
    const std::vector<ProfileLine>& Lines() const { return lines_; }

    std::string Serialize() const {
        std::string out;
        for (const ProfileLine& l : lines_) {
            out += l.raw;
            out += "\r\n";
        }
        return out;
    }

    static constexpr std::size_t npos = static_cast<std::size_t>(-1);

private:
    std::vector<ProfileLine> lines_;
    const CodePageTable& cp_;
};

// Each entry line of the file's section as the caller takes it, in file order; none when the
// section is missing (last error 2).
template <typename Take>
std::vector<std::string> SectionEntriesOf(const std::string& bytes, const CodePageTable& cp, std::string_view section, Take take) {
    std::vector<std::string> entries;
    ProfileText text(ParseProfile(bytes), cp);
    std::size_t header = text.FindSection(section);
    if (header == ProfileText::npos) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return entries;
    }
    for (std::size_t i = header + 1, end = text.SectionEnd(header); i < end; ++i)
        if (text.Lines()[i].kind == ProfileLine::Kind::Entry) entries.push_back(take(text.Lines()[i]));
    SetLastError(ERROR_SUCCESS);
    return entries;
}

}  // namespace

std::string SimProfile::FileOf(std::string_view fileName) {
    if (fileName.find_first_of("\\/:") != std::string_view::npos) return std::string(fileName);
    std::string windows;
    system_.GetWindowsDirectory(windows);
    return JoinPath(windows, fileName);
}

std::optional<std::string> SimProfile::ReadFileFor(const char* operation, std::string_view fileName) {
    std::string path = FileOf(fileName);
    if (state_.Fails(operation, state_.FullPath(path), false)) return std::nullopt;
    std::string bytes;
    if (!ReadWholeFile(files_, path, bytes)) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return std::nullopt;
    }
    return bytes;
}

std::vector<std::string> SimProfile::GetPrivateProfileSectionNames(std::string_view fileName) {
    std::vector<std::string> names;
    std::optional<std::string> bytes = ReadFileFor("GetPrivateProfileSectionNames", fileName);
    if (!bytes) return names;
    for (const ProfileLine& line : ParseProfile(*bytes))
        if (line.kind == ProfileLine::Kind::Section) names.push_back(line.name);
    SetLastError(ERROR_SUCCESS);
    return names;
}

std::vector<std::string> SimProfile::GetPrivateProfileKeyNames(std::string_view section, std::string_view fileName) {
    std::optional<std::string> bytes = ReadFileFor("GetPrivateProfileString", fileName);
    if (!bytes) return {};
    return SectionEntriesOf(*bytes, state_.CodePage(), section, [](const ProfileLine& line) { return line.name; });
}

std::vector<std::string> SimProfile::GetPrivateProfileSection(std::string_view section, std::string_view fileName) {
    std::optional<std::string> bytes = ReadFileFor("GetPrivateProfileSection", fileName);
    if (!bytes) return {};
    return SectionEntriesOf(*bytes, state_.CodePage(), section, [](const ProfileLine& line) {
        return line.raw.find('=') == std::string::npos ? line.name : line.name + "=" + line.value;
    });
}

std::string SimProfile::GetPrivateProfileString(std::string_view section, std::string_view key,
                                                std::string_view defaultValue, std::string_view fileName) {
    std::string def(defaultValue);
    while (!def.empty() && def.back() == ' ') def.pop_back();
    std::optional<std::string> bytes = ReadFileFor("GetPrivateProfileString", fileName);
    if (!bytes) return def;
    ProfileText text(ParseProfile(*bytes), state_.CodePage());
    std::size_t header = text.FindSection(section);
    if (header == ProfileText::npos) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return def;
    }
    std::size_t line = text.FindKey(header, key);
    if (line == ProfileText::npos) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return def;
    }
    SetLastError(ERROR_SUCCESS);
    return ProfileValueUnquoted(text.Lines()[line].value);
}

int SimProfile::GetPrivateProfileInt(std::string_view section, std::string_view key, int defaultValue,
                                     std::string_view fileName) {
    std::string v = GetPrivateProfileString(section, key, "", fileName);
    if (v.empty()) return defaultValue;
    std::size_t i = 0;
    while (i < v.size() && IsProfileBlank(v[i])) ++i;
    bool negative = false;
    if (i < v.size() && (v[i] == '-' || v[i] == '+')) negative = v[i++] == '-';
    unsigned base = 10;
    if (i + 1 < v.size() && v[i] == '0' && (v[i + 1] == 'x' || v[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    std::uint32_t n = 0;
    for (; i < v.size(); ++i) {
        char c = v[i];
        unsigned d = (c >= '0' && c <= '9')                  ? static_cast<unsigned>(c - '0')
                     : (base == 16 && c >= 'a' && c <= 'f') ? static_cast<unsigned>(c - 'a' + 10)
                     : (base == 16 && c >= 'A' && c <= 'F') ? static_cast<unsigned>(c - 'A' + 10)
                                                            : 99;
        if (d >= base) break;
        n = n * base + d;  // wraps like the 32-bit value Windows returns
    }
    if (negative) n = 0u - n;
    return static_cast<int>(n);
}

bool SimProfile::WritePrivateProfileString(std::string_view section, std::optional<std::string_view> key,
                                           std::optional<std::string_view> value, std::string_view fileName) {
    std::string path = FileOf(fileName);
    if (state_.Fails("WritePrivateProfileString", state_.FullPath(path), true)) return false;
    std::string bytes;
    bool existed = ReadWholeFile(files_, path, bytes);
    if (!existed && GetLastError() != ERROR_FILE_NOT_FOUND) return false;
    ProfileText text(ParseProfile(bytes), state_.CodePage());
    auto& lines = text.Lines();
    std::size_t header = text.FindSection(section);

    if (!key) {
        if (header == ProfileText::npos) return true;
        lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(header),
                    lines.begin() + static_cast<std::ptrdiff_t>(text.SectionEnd(header)));
    } else if (!value) {
        if (header == ProfileText::npos) return true;
        std::size_t line = text.FindKey(header, *key);
        if (line == ProfileText::npos) return true;
        lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(line));
    } else if (header == ProfileText::npos) {
        ProfileLine h;
        h.kind = ProfileLine::Kind::Section;
        h.name = std::string(section);
        h.raw = "[" + h.name + "]";
        ProfileLine e;
        e.kind = ProfileLine::Kind::Entry;
        e.name = std::string(*key);
        e.raw = e.name + "=" + std::string(*value);
        lines.push_back(std::move(h));
        lines.push_back(std::move(e));
    } else {
        std::size_t line = text.FindKey(header, *key);
        if (line != ProfileText::npos) {
            lines[line].raw = lines[line].name + "=" + std::string(*value);
        } else {
            // After the section's last line that is not blank.
            std::size_t at = header + 1;
            for (std::size_t i = header + 1, end = text.SectionEnd(header); i < end; ++i)
                if (lines[i].kind != ProfileLine::Kind::Blank) at = i + 1;
            ProfileLine e;
            e.kind = ProfileLine::Kind::Entry;
            e.name = std::string(*key);
            e.raw = e.name + "=" + std::string(*value);
            lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at), std::move(e));
        }
    }
    // The file is written over in place, so that a hidden or system file takes the change
    // and keeps its attributes.
    auto file = files_.CreateFile(path, GENERIC_WRITE, CreationDisposition::OpenAlways);
    if (!file) return false;
    std::string serialized = text.Serialize();
    DWORD written = 0;
    return file->WriteFile(serialized.data(), static_cast<DWORD>(serialized.size()), written) && file->SetEndOfFile() &&
           file->FlushFileBuffers();
}

std::string SimProfile::GetProfileString(std::string_view section, std::string_view key, std::string_view defaultValue) {
    return GetPrivateProfileString(section, key, defaultValue, "win.ini");
}

}  // namespace qm::sim
