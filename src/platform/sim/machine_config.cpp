#include "platform/sim/machine_config.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "platform/devices.h"
#include "platform/sim/code_page_table.h"
#include "platform/sim/machine_file_reader.h"
#include "platform/text.h"
#include "platform/winpath.h"

namespace qm::sim {

using nlohmann::json;
using platform::DWORD;
using platform::WORD;

namespace {

DWORD ParseSerial(const MachineFileReader& r, const std::string& key) {
    if (!r.Has(key)) return 0;
    const json& v = r.Raw(key);
    if (v.is_number_unsigned()) {
        auto n = v.get<std::uint64_t>();
        if (n > 0xFFFFFFFFu) r.Fail(key, "serial number out of range");
        return static_cast<DWORD>(n);
    }
    if (!v.is_string()) r.Fail(key, "expected a serial number such as \"1C2D-3E4F\"");
    std::string s = v.get<std::string>();
    std::string hex;
    for (char c : s)
        if (c != '-') hex += c;
    if (hex.empty() || hex.size() > 8 || hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        r.Fail(key, "expected a serial number such as \"1C2D-3E4F\"");
    return static_cast<DWORD>(std::stoul(hex, nullptr, 16));
}

unsigned ParseDriveType(const MachineFileReader& r, const std::string& key) {
    static const std::pair<const char*, unsigned> kTypes[] = {
        {"unknown", platform::DRIVE_UNKNOWN}, {"no_root", platform::DRIVE_NO_ROOT_DIR},
        {"removable", platform::DRIVE_REMOVABLE}, {"fixed", platform::DRIVE_FIXED},
        {"remote", platform::DRIVE_REMOTE}, {"cdrom", platform::DRIVE_CDROM}, {"ramdisk", platform::DRIVE_RAMDISK}};
    std::string t = r.String(key, "fixed");
    for (const auto& [name, value] : kTypes)
        if (t == name) return value;
    r.Fail(key, "unknown drive type \"" + t + "\" (removable, fixed, remote, cdrom, ramdisk, unknown, no_root)");
}

// "2026-12-09T07:03:05.042" or "2026-12-09 07:03:05".
platform::SYSTEMTIME ParseTimestamp(const MachineFileReader& r, const std::string& key) {
    std::string s = r.String(key);
    platform::SYSTEMTIME t;
    unsigned y = 0, mo = 0, d = 0, h = 0, mi = 0, se = 0, ms = 0;
    char sep = 0;
    int n = std::sscanf(s.c_str(), "%4u-%2u-%2u%c%2u:%2u:%2u.%3u", &y, &mo, &d, &sep, &h, &mi, &se, &ms);
    if (n < 7 || (sep != 'T' && sep != ' ') || mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || se > 59)
        r.Fail(key, "expected a time such as \"2026-12-09T07:03:05.042\", or \"now\"");
    t.wYear = static_cast<WORD>(y);
    t.wMonth = static_cast<WORD>(mo);
    t.wDay = static_cast<WORD>(d);
    t.wHour = static_cast<WORD>(h);
    t.wMinute = static_cast<WORD>(mi);
    t.wSecond = static_cast<WORD>(se);
    t.wMilliseconds = static_cast<WORD>(n == 8 ? ms : 0);
    return t;
}

TransitionDate ParseTransition(const MachineFileReader& parent, const std::string& key) {
    TransitionDate d;
    if (!parent.Has(key)) return d;
    MachineFileReader r = parent.Object(key);
    r.OnlyKeys({"month", "day_of_week", "week", "hour", "minute"});
    d.month = static_cast<WORD>(r.Integer("month", 0, 0, 12));
    d.dayOfWeek = static_cast<WORD>(r.Integer("day_of_week", 0, 0, 6));
    d.day = static_cast<WORD>(r.Integer("week", 1, 1, 5));
    d.hour = static_cast<WORD>(r.Integer("hour", 2, 0, 23));
    d.minute = static_cast<WORD>(r.Integer("minute", 0, 0, 59));
    return d;
}

DWORD ParseAttributeLetters(const MachineFileReader& r, const std::string& key, const std::string& letters) {
    DWORD a = 0;
    for (char c : letters) {
        switch (platform::AsciiUpper(c)) {
            case 'R': a |= platform::FILE_ATTRIBUTE_READONLY; break;
            case 'H': a |= platform::FILE_ATTRIBUTE_HIDDEN; break;
            case 'S': a |= platform::FILE_ATTRIBUTE_SYSTEM; break;
            case 'A': a |= platform::FILE_ATTRIBUTE_ARCHIVE; break;
            default: r.Fail(key, "attributes are letters of \"RHSA\"");
        }
    }
    return a;
}

// A drive folder of the machine file: absolute, or relative to the machine folder.
std::string DriveFolderOnHost(const std::string& machineFolder, const std::string& folder) {
    if (folder.empty() || folder.front() == '/') return folder;
    return machineFolder + "/" + folder;
}

void ParseVersion(const MachineFileReader& r, platform::OsVersionInfoEx& v, bool& extended) {
    r.OnlyKeys({"platform_id", "major", "minor", "build", "service_pack", "service_pack_major", "service_pack_minor",
                "suite_mask", "product_type", "extended"});
    v.dwPlatformId = static_cast<DWORD>(r.Integer("platform_id", v.dwPlatformId, 0, 3));
    v.dwMajorVersion = static_cast<DWORD>(r.Integer("major", v.dwMajorVersion, 0, 100));
    v.dwMinorVersion = static_cast<DWORD>(r.Integer("minor", v.dwMinorVersion, 0, 100));
    v.dwBuildNumber = static_cast<DWORD>(r.Integer("build", v.dwBuildNumber, 0, 0xFFFFFFFF));
    v.szCSDVersion = r.String("service_pack", v.szCSDVersion);
    v.wServicePackMajor = static_cast<WORD>(r.Integer("service_pack_major", v.wServicePackMajor, 0, 0xFFFF));
    v.wServicePackMinor = static_cast<WORD>(r.Integer("service_pack_minor", v.wServicePackMinor, 0, 0xFFFF));
    v.wSuiteMask = static_cast<WORD>(r.Integer("suite_mask", v.wSuiteMask, 0, 0xFFFF));
    v.wProductType = static_cast<std::uint8_t>(r.Integer("product_type", v.wProductType, 0, 255));
    // The extended structure came with NT 4.0 SP6; the 9x family never knew it.
    bool known = v.dwPlatformId == platform::VER_PLATFORM_WIN32_NT && v.dwMajorVersion >= 5;
    extended = r.Boolean("extended", known);
}

PrinterConfig ParsePrinter(const MachineFileReader& r) {
    r.OnlyKeys({"name", "server", "share", "port", "driver", "comment", "location", "print_processor", "datatype",
                "parameters", "attributes", "connection"});
    PrinterConfig p;
    p.info.printerName = r.String("name");
    if (p.info.printerName.empty()) r.Fail("name", "a printer needs its name");
    p.info.serverName = r.String("server");
    p.info.shareName = r.String("share");
    p.info.portName = r.String("port");
    p.info.driverName = r.String("driver");
    p.info.comment = r.String("comment");
    p.info.location = r.String("location");
    p.info.printProcessor = r.String("print_processor", "WinPrint");
    p.info.datatype = r.String("datatype", "RAW");
    p.info.parameters = r.String("parameters");
    p.info.attributes = static_cast<DWORD>(r.Integer("attributes", 0, 0, 0xFFFFFFFF));
    p.connection = r.Boolean("connection", false);
    return p;
}

void ParseLocale(const MachineFileReader& r, std::map<platform::LCTYPE, std::string>& locale) {
    static const std::pair<const char*, platform::LCTYPE> kKeys[] = {
        {"language_id", platform::LOCALE_ILANGUAGE},      {"language", platform::LOCALE_SLANGUAGE},
        {"country", platform::LOCALE_SCOUNTRY},           {"decimal", platform::LOCALE_SDECIMAL},
        {"thousand", platform::LOCALE_STHOUSAND},         {"date_separator", platform::LOCALE_SDATE},
        {"time_separator", platform::LOCALE_STIME},       {"short_date", platform::LOCALE_SSHORTDATE},
        {"long_date", platform::LOCALE_SLONGDATE},        {"english_language", platform::LOCALE_SENGLANGUAGE},
        {"english_country", platform::LOCALE_SENGCOUNTRY}, {"time_format", platform::LOCALE_STIMEFORMAT},
        {"am", platform::LOCALE_S1159},                   {"pm", platform::LOCALE_S2359}};
    for (auto it = r.Self().begin(); it != r.Self().end(); ++it) {
        if (it.key() == "code_page") continue;
        bool known = false;
        for (const auto& [name, type] : kKeys) {
            if (it.key() != name) continue;
            locale[type] = r.String(name);
            known = true;
        }
        if (!known) r.Fail(it.key(), "unknown locale value");
    }
}

DriveConfig ParseDrive(const MachineFileReader& r, const std::string& machineFolder) {
    r.OnlyKeys({"letter", "type", "folder", "media", "listed", "label", "file_system", "serial", "file_system_flags",
                "total_bytes", "free_bytes", "free_to_caller", "unc", "user"});
    DriveConfig d;
    std::string letter = r.String("letter");
    if (letter.size() != 1 || !std::isalpha(static_cast<unsigned char>(letter[0])))
        r.Fail("letter", "expected a drive letter from A to Z");
    d.letter = platform::AsciiUpper(letter[0]);
    d.type = ParseDriveType(r, "type");
    d.hostFolder = DriveFolderOnHost(machineFolder, r.String("folder"));
    d.media = r.Boolean("media", true);
    d.listed = r.Boolean("listed", true);
    d.label = r.String("label");
    d.fileSystem = r.String("file_system", d.type == platform::DRIVE_CDROM ? "CDFS" : "NTFS");
    d.serial = ParseSerial(r, "serial");
    d.fileSystemFlags = static_cast<DWORD>(r.Integer("file_system_flags", 0, 0, 0xFFFFFFFF));
    d.totalBytes = static_cast<std::uint64_t>(r.Integer("total_bytes", 0, 0, INT64_MAX));
    d.freeBytes = static_cast<std::uint64_t>(r.Integer("free_bytes", 0, 0, INT64_MAX));
    if (r.Has("free_to_caller"))
        d.freeToCaller = static_cast<std::uint64_t>(r.Integer("free_to_caller", 0, 0, INT64_MAX));
    d.unc = r.String("unc");
    d.user = r.String("user");
    if (d.media && d.hostFolder.empty() && d.type != platform::DRIVE_NO_ROOT_DIR)
        r.Fail("folder", "a drive with media needs a host folder");
    return d;
}


void AppendLittleEndian(std::string& out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

void ParseProcessor(const MachineFileReader& r, ProcessorConfig& p) {
    r.OnlyKeys({"host", "count", "vendor", "leaves", "frequencies_mhz"});
    p.host = r.Boolean("host", false);
    p.count = static_cast<unsigned>(r.Integer("count", 1, 1, 64));
    p.vendor = r.String("vendor", p.vendor);
    if (p.vendor.size() > 12) r.Fail("vendor", "a vendor text has at most 12 characters");
    if (r.Has("leaves")) {
        MachineFileReader leaves = r.Object("leaves");
        for (auto it = leaves.Self().begin(); it != leaves.Self().end(); ++it) {
            std::uint32_t leaf = ParseWord(leaves, it.key(), json(it.key()));
            if (!it.value().is_array() || it.value().size() != 4)
                leaves.Fail(it.key(), "expected the four registers EAX, EBX, ECX, EDX");
            std::array<std::uint32_t, 4> regs{};
            for (std::size_t i = 0; i < 4; ++i) regs[i] = ParseWord(leaves, it.key(), it.value()[i]);
            p.leaves[leaf] = regs;
        }
    }
    if (r.Has("frequencies_mhz")) {
        const json& f = r.Array("frequencies_mhz");
        if (f.empty()) r.Fail("frequencies_mhz", "give at least one frequency");
        p.frequenciesMHz.clear();
        for (const json& v : f) p.frequenciesMHz.push_back(ParseWord(r, "frequencies_mhz", v));
    }
}

// A physical disk as the device that answers the geometry request (or does not).
DeviceConfig ParsePhysicalDisk(const MachineFileReader& r, std::size_t index) {
    r.OnlyKeys({"answers", "cylinders", "media_type", "tracks_per_cylinder", "sectors_per_track", "bytes_per_sector"});
    DeviceConfig d;
    d.name = "\\\\.\\PHYSICALDRIVE" + std::to_string(index);
    DeviceControl geometry;
    geometry.code = platform::IOCTL_DISK_GET_DRIVE_GEOMETRY;
    if (!r.Boolean("answers", true)) {
        // A disk that opens but has no medium to measure.
        geometry.error = platform::ERROR_NOT_READY;
        d.controls.push_back(std::move(geometry));
        return d;
    }
    AppendLittleEndian(geometry.output, static_cast<std::uint64_t>(r.Integer("cylinders", 0, 0, INT64_MAX)), 8);
    AppendLittleEndian(geometry.output, static_cast<std::uint64_t>(r.Integer("media_type", 12, 0, 0xFFFFFFFF)), 4);
    AppendLittleEndian(geometry.output, static_cast<std::uint64_t>(r.Integer("tracks_per_cylinder", 255, 0, 0xFFFFFFFF)), 4);
    AppendLittleEndian(geometry.output, static_cast<std::uint64_t>(r.Integer("sectors_per_track", 63, 0, 0xFFFFFFFF)), 4);
    AppendLittleEndian(geometry.output, static_cast<std::uint64_t>(r.Integer("bytes_per_sector", 512, 0, 0xFFFFFFFF)), 4);
    d.controls.push_back(std::move(geometry));
    return d;
}

DeviceConfig ParseDevice(const MachineFileReader& r) {
    r.OnlyKeys({"name", "controls"});
    DeviceConfig d;
    d.name = r.String("name");
    if (d.name.empty()) r.Fail("name", "a device needs its name, such as \"\\\\.\\SMARTVSD\"");
    if (r.Has("controls")) {
        const json& controls = r.Array("controls");
        for (std::size_t i = 0; i < controls.size(); ++i) {
            MachineFileReader c(controls[i], r.File(), r.Pointer("controls") + "/" + std::to_string(i), r.CodePage());
            c.OnlyKeys({"code", "input_prefix", "output", "error"});
            if (!c.Has("code")) c.Fail("code", "a control request needs its code");
            DeviceControl control;
            control.code = ParseWord(c, "code", c.Raw("code"));
            control.inputPrefix = ParseHexBytes(c, "input_prefix", c.String("input_prefix"));
            control.output = ParseHexBytes(c, "output", c.String("output"));
            control.error = static_cast<DWORD>(c.Integer("error", 0, 0, 0xFFFFFFFF));
            d.controls.push_back(std::move(control));
        }
    }
    return d;
}

FaultConfig ParseFault(const MachineFileReader& r) {
    r.OnlyKeys({"op", "path", "error", "raise", "times", "after"});
    FaultConfig f;
    f.op = r.String("op");
    if (f.op.empty()) r.Fail("op", "expected the name of an operation, \"write\" or \"*\"");
    f.path = r.String("path");
    f.error = static_cast<DWORD>(r.Integer("error", platform::ERROR_ACCESS_DENIED, 0, 0xFFFFFFFF));
    f.raise = r.Boolean("raise", false);
    f.times = static_cast<int>(r.Integer("times", -1, -1, 1'000'000));
    f.after = static_cast<int>(r.Integer("after", 0, 0, 1'000'000));
    return f;
}

// A library file bound to one of the simulator's modules; users only for the user list.
LibraryConfig ParseLibrary(const MachineFileReader& r) {
    r.OnlyKeys({"path", "module", "missing", "users", "user_count"});
    LibraryConfig l;
    l.path = r.String("path");
    if (!platform::IsAbsolutePath(l.path)) r.Fail("path", "expected the full Windows path of the library file");
    std::string module = r.String("module");
    if (module == "CondMgr") l.module = SimModuleKind::CondMgr;
    else if (module == "UserData") l.module = SimModuleKind::UserData;
    else r.Fail("module", "expected \"CondMgr\" or \"UserData\"");
    if (r.Has("missing")) {
        const json& missing = r.Array("missing");
        const std::vector<std::string>& names = ExportNames(l.module);
        for (std::size_t i = 0; i < missing.size(); ++i) {
            std::string where = "missing/" + std::to_string(i);
            if (!missing[i].is_string()) r.Fail(where, "expected the name of an export");
            std::string name = missing[i].get<std::string>();
            if (std::find(names.begin(), names.end(), name) == names.end())
                r.Fail(where, "the module " + module + " exports no " + name);
            l.missing.push_back(name);
        }
    }
    if ((r.Has("users") || r.Has("user_count")) && l.module != SimModuleKind::UserData)
        r.Fail(r.Has("users") ? "users" : "user_count", "only the module UserData has users");
    if (r.Has("users")) {
        const json& users = r.Array("users");
        for (std::size_t i = 0; i < users.size(); ++i) {
            MachineFileReader u(users[i], r.File(), r.Pointer("users") + "/" + std::to_string(i), r.CodePage());
            u.OnlyKeys({"id", "folder"});
            if (!u.Has("id")) u.Fail("id", "a user needs its identifier");
            SyncUserConfig user;
            user.id = static_cast<DWORD>(u.Integer("id", 0, 0, 0xFFFFFFFF));
            user.folder = u.String("folder");
            l.users.push_back(std::move(user));
        }
    }
    // A negative count stands for the error return of the same 16 bits.
    if (r.Has("user_count")) l.userCount = static_cast<WORD>(r.Integer("user_count", 0, -32768, 65535));
    return l;
}

}  // namespace

std::map<platform::LCTYPE, std::string> DefaultLocale() {
    return {{platform::LOCALE_ILANGUAGE, "0409"},
            {platform::LOCALE_SLANGUAGE, "English (United States)"},
            {platform::LOCALE_SCOUNTRY, "United States"},
            {platform::LOCALE_SDECIMAL, "."},
            {platform::LOCALE_STHOUSAND, ","},
            {platform::LOCALE_SDATE, "/"},
            {platform::LOCALE_STIME, ":"},
            {platform::LOCALE_SSHORTDATE, "M/d/yyyy"},
            {platform::LOCALE_SLONGDATE, "dddd, MMMM dd, yyyy"},
            {platform::LOCALE_SENGLANGUAGE, "English"},
            {platform::LOCALE_SENGCOUNTRY, "United States"},
            {platform::LOCALE_STIMEFORMAT, "h:mm:ss tt"},
            {platform::LOCALE_S1159, "AM"},
            {platform::LOCALE_S2359, "PM"}};
}

namespace {

// The tree the library builds, except that a refused text (a syntax error, or a number too
// large for a double, which the library reports without a place) names the file and the line
// and column where it stops.
class PlacedDomParser : public nlohmann::detail::json_sax_dom_parser<json> {
public:
    PlacedDomParser(json& tree, const std::string& text, const std::string& fileName)
        : json_sax_dom_parser<json>(tree, true), text_(text), fileName_(fileName) {}

    template <class Exception>
    bool parse_error(std::size_t position, const std::string& token, const Exception& e) {
        std::string what = e.what();
        if (what.find(" at line ") == std::string::npos) {
            // The place where the refused token starts.
            std::size_t start = std::min(position, text_.size());
            start -= std::min(start, token.size());
            std::string_view before = std::string_view(text_).substr(0, start);
            std::size_t lineStart = before.rfind('\n');
            std::size_t line = 1 + static_cast<std::size_t>(std::count(before.begin(), before.end(), '\n'));
            std::size_t column = 1 + before.size() - (lineStart == std::string_view::npos ? 0 : lineStart + 1);
            what = "line " + std::to_string(line) + ", column " + std::to_string(column) + ": " + what;
        }
        throw MachineError(fileName_ + ": " + what);
    }

private:
    const std::string& text_;
    const std::string& fileName_;
};

}  // namespace

json ParseJsonText(const std::string& text, const std::string& fileName) {
    json root;
    PlacedDomParser parser(root, text, fileName);
    json::sax_parse(text, &parser);
    return root;
}

WORD LanguageOfLocale(const std::map<platform::LCTYPE, std::string>& locale) {
    auto it = locale.find(platform::LOCALE_ILANGUAGE);
    if (it == locale.end() || it->second.empty() || it->second.size() > 4 ||
        it->second.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        return 0x0409;
    return static_cast<WORD>(std::stoul(it->second, nullptr, 16));
}

MachineConfig ParseMachineConfig(const std::string& jsonText, const std::string& hostFolder,
                                 const std::string& fileName) {
    json root = ParseJsonText(jsonText, fileName);
    MachineConfig c;
    c.folder = hostFolder;
    c.version.dwMajorVersion = 5;
    c.version.dwMinorVersion = 1;
    c.version.dwBuildNumber = 2600;
    c.version.dwPlatformId = platform::VER_PLATFORM_WIN32_NT;
    c.version.szCSDVersion = "Service Pack 2";
    c.version.wServicePackMajor = 2;
    c.version.wProductType = platform::VER_NT_WORKSTATION;
    c.locale = DefaultLocale();

    // The code page comes first: every other text is converted to it.
    {
        MachineFileReader top(root, fileName, "", nullptr);
        if (top.Has("locale")) {
            MachineFileReader loc = top.Object("locale");
            c.codePage = static_cast<unsigned>(loc.Integer("code_page", 1252, 1, 65535));
        }
    }
    std::unique_ptr<CodePageTable> cp;
    try {
        cp = std::make_unique<CodePageTable>(c.codePage);
    } catch (const std::runtime_error& e) {
        throw MachineError(fileName + ": /locale/code_page: " + e.what());
    }
    MachineFileReader r(root, fileName, "", cp.get());
    r.OnlyKeys({"description", "version", "computer_name", "user_name", "folders", "environment", "locale", "time_zone",
                "clock", "drives", "host_drive", "current_directory", "guids", "directories", "attributes", "faults", "dialogs", "memory", "processor",
                "physical_disks", "devices", "system_locale", "screen", "network_user", "printers", "programs", "bios_program", "processes",
                "event_logs", "network", "libraries", "wmi", "smart", "usb"});

    if (r.Has("version")) ParseVersion(r.Object("version"), c.version, c.versionExtended);
    c.computerName = r.String("computer_name", c.computerName);
    c.userName = r.String("user_name", c.userName);
    if (r.Has("folders")) {
        MachineFileReader f = r.Object("folders");
        f.OnlyKeys({"windows", "system", "temp"});
        c.windowsFolder = f.String("windows", c.windowsFolder);
        c.systemFolder = f.String("system", c.systemFolder);
        c.tempFolder = f.String("temp", c.tempFolder);
    }
    if (r.Has("environment")) {
        MachineFileReader e = r.Object("environment");
        for (auto it = e.Self().begin(); it != e.Self().end(); ++it)
            c.environment.emplace_back(e.Ansi(it.key()), e.String(it.key()));
    }
    if (r.Has("locale")) ParseLocale(r.Object("locale"), c.locale);
    c.systemLocale = c.locale;
    if (r.Has("system_locale")) ParseLocale(r.Object("system_locale"), c.systemLocale);
    if (r.Has("screen")) {
        MachineFileReader sc = r.Object("screen");
        sc.OnlyKeys({"width", "height"});
        c.screenWidth = static_cast<int>(sc.Integer("width", c.screenWidth, 0, 100000));
        c.screenHeight = static_cast<int>(sc.Integer("height", c.screenHeight, 0, 100000));
    }
    c.networkUser = r.String("network_user");
    if (r.Has("bios_program")) {
        MachineFileReader b = r.Object("bios_program");
        b.OnlyKeys({"manufacturer", "model", "serial", "uuid", "memory_banks", "dmi_present", "dmi_version", "exit_code",
                    "delay_ms", "command_line_file"});
        BiosProgramConfig& bp = c.biosProgram;
        bp.manufacturer = b.String("manufacturer");
        bp.model = b.String("model");
        bp.serial = b.String("serial");
        bp.uuid = b.String("uuid");
        if (b.Has("memory_banks")) {
            const json& banks = b.Array("memory_banks");
            for (std::size_t i = 0; i < banks.size(); ++i) {
                MachineFileReader bank(banks[i], fileName, b.Pointer("memory_banks") + "/" + std::to_string(i), cp.get());
                bank.OnlyKeys({"socket", "size"});
                bp.memoryBanks.emplace_back(bank.String("socket"), bank.String("size"));
            }
        }
        bp.dmiPresent = b.String("dmi_present");
        bp.dmiVersion = b.String("dmi_version");
        bp.exitCode = static_cast<int>(b.Integer("exit_code", 0, 0, 255));
        bp.delayMs = static_cast<unsigned>(b.Integer("delay_ms", 0, 0, 600000));
        bp.commandLineFile = b.String("command_line_file");
    }
    if (r.Has("programs")) {
        MachineFileReader programs = r.Object("programs");
        for (auto it = programs.Self().begin(); it != programs.Self().end(); ++it)
            c.programs.emplace_back(cp->Upper(programs.Ansi(it.key())), programs.String(it.key()));
    }
    if (r.Has("printers")) {
        const json& printers = r.Array("printers");
        for (std::size_t i = 0; i < printers.size(); ++i)
            c.printers.push_back(ParsePrinter(MachineFileReader(printers[i], fileName, r.Pointer("printers") + "/" + std::to_string(i), cp.get())));
    }
    if (r.Has("time_zone")) {
        MachineFileReader t = r.Object("time_zone");
        t.OnlyKeys({"bias", "standard_name", "standard_bias", "standard_date", "daylight_name", "daylight_bias",
                    "daylight_date"});
        c.timeZone.bias = static_cast<int>(t.Integer("bias", 0, -24 * 60, 24 * 60));
        c.timeZone.standardName = t.String("standard_name", c.timeZone.standardName);
        c.timeZone.standardBias = static_cast<int>(t.Integer("standard_bias", 0, -24 * 60, 24 * 60));
        c.timeZone.standardDate = ParseTransition(t, "standard_date");
        c.timeZone.daylightName = t.String("daylight_name", c.timeZone.daylightName);
        c.timeZone.daylightBias = static_cast<int>(t.Integer("daylight_bias", -60, -24 * 60, 24 * 60));
        c.timeZone.daylightDate = ParseTransition(t, "daylight_date");
        if ((c.timeZone.standardDate.month == 0) != (c.timeZone.daylightDate.month == 0))
            t.Fail("daylight_date", "give both transition dates or neither");
    }
    if (r.Has("clock")) {
        MachineFileReader k = r.Object("clock");
        k.OnlyKeys({"virtual", "start", "uptime_ms"});
        c.clock.isVirtual = k.Boolean("virtual", false);
        if (k.Has("start") && k.String("start") == "now") c.clock.startNow = true;
        else if (k.Has("start")) c.clock.start = ParseTimestamp(k, "start");
        else if (c.clock.isVirtual) k.Fail("start", "a virtual clock needs its start time");
        c.clock.uptimeMs = static_cast<std::uint64_t>(k.Integer("uptime_ms", 3'600'000, 0, INT64_MAX));
    }
    if (r.Has("drives")) {
        const json& drives = r.Array("drives");
        for (std::size_t i = 0; i < drives.size(); ++i) {
            MachineFileReader d(drives[i], fileName, r.Pointer("drives") + "/" + std::to_string(i), cp.get());
            DriveConfig drive = ParseDrive(d, hostFolder);
            for (const DriveConfig& other : c.drives)
                if (other.letter == drive.letter) d.Fail("letter", std::string("drive ") + drive.letter + ": twice");
            c.drives.push_back(std::move(drive));
        }
    }
    if (r.Has("host_drive")) {
        std::string h = r.String("host_drive");
        if (h.size() != 1 || !std::isalpha(static_cast<unsigned char>(h[0])))
            r.Fail("host_drive", "expected a drive letter, or null for none");
        c.hostDrive = platform::AsciiUpper(h[0]);
    } else if (root.contains("host_drive")) {
        c.hostDrive.reset();
    }
    if (c.hostDrive)
        for (const DriveConfig& d : c.drives)
            if (d.letter == *c.hostDrive) r.Fail("host_drive", std::string("drive ") + d.letter + ": is also in drives");
    c.currentDirectory = r.String("current_directory");
    if (r.Has("guids")) {
        const json& g = r.Array("guids");
        for (std::size_t i = 0; i < g.size(); ++i) {
            if (!g[i].is_string()) r.Fail("guids/" + std::to_string(i), "expected a GUID text");
            c.guids.push_back(g[i].get<std::string>());
        }
    }
    if (r.Has("directories")) {
        const json& d = r.Array("directories");
        for (std::size_t i = 0; i < d.size(); ++i) {
            if (!d[i].is_string()) r.Fail("directories/" + std::to_string(i), "expected a Windows folder");
            c.directories.push_back(cp->FromUtf8(d[i].get<std::string>()));
        }
    }
    if (r.Has("attributes")) {
        MachineFileReader a = r.Object("attributes");
        for (auto it = a.Self().begin(); it != a.Self().end(); ++it)
            c.attributes.emplace_back(a.Ansi(it.key()), ParseAttributeLetters(a, it.key(), a.String(it.key())));
    }
    if (r.Has("faults")) {
        const json& f = r.Array("faults");
        for (std::size_t i = 0; i < f.size(); ++i)
            c.faults.push_back(ParseFault(MachineFileReader(f[i], fileName, r.Pointer("faults") + "/" + std::to_string(i), cp.get())));
    }
    if (r.Has("memory")) {
        MachineFileReader m = r.Object("memory");
        m.OnlyKeys({"total_bytes", "available_bytes", "extended_call"});
        c.memory.totalBytes = static_cast<std::uint64_t>(m.Integer("total_bytes", static_cast<std::int64_t>(c.memory.totalBytes), 0, INT64_MAX));
        c.memory.availableBytes = static_cast<std::uint64_t>(
            m.Integer("available_bytes", static_cast<std::int64_t>(c.memory.totalBytes / 2), 0, INT64_MAX));
        c.memory.extendedCall = m.Boolean("extended_call", true);
    }
    if (r.Has("network")) c.network = ParseNetworkConfig(r.Raw("network"), fileName, r.Pointer("network"), *cp);
    if (r.Has("usb")) c.usb = ParseUsbConfig(r.Raw("usb"), fileName, hostFolder, *cp);
    if (r.Has("processor")) ParseProcessor(r.Object("processor"), c.processor);
    // The host's time-stamp counter runs in real time: measured against a virtual clock it
    // would give nonsense.
    if (c.processor.host && c.clock.isVirtual) r.Fail("processor", "a host processor needs the real clock");
    if (r.Has("physical_disks")) {
        const json& disks = r.Array("physical_disks");
        for (std::size_t i = 0; i < disks.size(); ++i)
            c.devices.push_back(
                ParsePhysicalDisk(MachineFileReader(disks[i], fileName, r.Pointer("physical_disks") + "/" + std::to_string(i), cp.get()), i));
    }
    if (r.Has("devices")) {
        const json& devices = r.Array("devices");
        for (std::size_t i = 0; i < devices.size(); ++i)
            c.devices.push_back(ParseDevice(MachineFileReader(devices[i], fileName, r.Pointer("devices") + "/" + std::to_string(i), cp.get())));
    }
    if (r.Has("libraries")) {
        const json& libraries = r.Array("libraries");
        for (std::size_t i = 0; i < libraries.size(); ++i)
            c.libraries.push_back(ParseLibrary(MachineFileReader(libraries[i], fileName, r.Pointer("libraries") + "/" + std::to_string(i), cp.get())));
    }
    if (r.Has("smart")) c.smart = ParseSmartConfig(r.Object("smart"), c.version.dwPlatformId);
    if (r.Has("wmi")) c.wmi = ParseWmiConfig(r.Raw("wmi"), fileName, "/wmi", hostFolder, *cp);
    if (r.Has("processes")) c.processes = ParseProcessList(r.Raw("processes"), fileName, *cp);
    if (r.Has("event_logs")) c.eventLogs = ParseEventLogs(r.Raw("event_logs"), fileName, hostFolder, *cp);
    if (r.Has("dialogs")) {
        MachineFileReader d = r.Object("dialogs");
        d.OnlyKeys({"asset_tag", "connection", "main_window_stays_open"});
        if (d.Has("asset_tag")) {
            const json& answers = d.Array("asset_tag");
            for (std::size_t i = 0; i < answers.size(); ++i) {
                if (answers[i].is_null()) c.dialogs.assetTagAnswers.emplace_back(std::nullopt);
                else if (answers[i].is_string()) c.dialogs.assetTagAnswers.emplace_back(cp->FromUtf8(answers[i].get<std::string>()));
                else d.Fail("asset_tag/" + std::to_string(i), "expected the text typed before OK, or null for Cancel");
            }
        }
        if (d.Has("connection")) {
            const json& answers = d.Array("connection");
            for (std::size_t i = 0; i < answers.size(); ++i) {
                MachineFileReader a(answers[i], fileName, d.Pointer("connection") + "/" + std::to_string(i), cp.get());
                a.OnlyKeys({"type", "press"});
                ConnectionDialogAnswerConfig answer;
                if (a.Has("type")) {
                    const json& typed = a.Raw("type");
                    if (!typed.is_object()) a.Fail("type", "expected an object of edit names and the texts typed");
                    for (auto it = typed.begin(); it != typed.end(); ++it) {
                        if (!it.value().is_string()) a.Fail("type/" + it.key(), "expected the text typed");
                        answer.typed.emplace_back(it.key(), cp->FromUtf8(it.value().get<std::string>()));
                    }
                }
                answer.press = a.String("press", "");
                c.dialogs.connectionAnswers.push_back(std::move(answer));
            }
        }
        c.dialogs.mainWindowStaysOpen = d.Boolean("main_window_stays_open", false);
    }
    return c;
}

}  // namespace qm::sim
