// Writes the seeds the sample machines cannot give as files of their own: version blocks and
// program files, message tables with a message id in front, shortcuts, EDIDs, settings fields,
// made by the same writers as the tests, and machine files that hold their side files. Usage: make_seeds <corpus folder>; each
// target's seeds go to a folder named after it.

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "delivery/scrambling.h"
#include "platform/sim/sim_event_log.h"
#include "support/edid_writer.h"
#include "support/lnk_writer.h"
#include "support/pe_writer.h"
#include "support/test_machine.h"

namespace fs = std::filesystem;
using namespace qm::test;

namespace {

fs::path corpus;

void Seed(const std::string& target, const std::string& name, const std::string& bytes) {
    fs::create_directories(corpus / target);
    std::ofstream(corpus / target / name, std::ios::binary) << bytes;
}

std::string Id(std::uint32_t id) { return std::string(reinterpret_cast<const char*>(&id), 4); }

// The keys of a machine file whose value may name a file beside it instead of holding the data.
const char* const kSideFileKeys[] = {"usb", "wmi", "event_logs"};

// A sample machine's file with each side file it names written in its place: the fuzzed
// machine file has no folder of side files, and a name it cannot read ends the parse there,
// before the side file's parser and every part read after it. Each side file is also a seed
// of its own, in a machine file that holds nothing else, for shorter inputs.
void InlineSampleMachine(const std::string& machine) {
    const std::string folder = std::string(QM_SOURCE_DIR) + "/machines/" + machine + "/";
    std::optional<std::string> text = ReadHostFile(folder + "machine.json");
    if (!text) return;
    nlohmann::json config = nlohmann::json::parse(*text, nullptr, false);
    if (!config.is_object()) return;
    for (const char* key : kSideFileKeys) {
        if (!config.contains(key) || !config[key].is_string()) continue;
        std::optional<std::string> side = ReadHostFile(folder + config[key].get<std::string>());
        if (!side) continue;
        nlohmann::json data = nlohmann::json::parse(*side, nullptr, false);
        if (data.is_discarded()) continue;
        Seed("machine_json", machine + "_" + key, nlohmann::json{{key, data}}.dump(1));
        config[key] = std::move(data);
    }
    Seed("machine_json", machine + "_whole", config.dump(1));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seeds <corpus folder>\n");
        return 2;
    }
    corpus = argv[1];
    VersionResource full;
    full.fixed = FixedVersion{{6, 0, 2900, 2180}, {6, 0, 2900, 2180}};
    full.tables = {{"040904E4", {{"CompanyName", "Example"}, {"FileDescription", "Tool"}, {"ProductVersion", "6.0"}}}};
    full.translations = VersionTranslations{{0x0409, 0x04E4}};
    Seed("version_resource", "block", "\x01" + BuildVersionInfoBlock(full));
    Seed("version_resource", "program", "\x00" + BuildPeFile(full));
    Seed("version_resource", "strings", "\x00" + BuildPeFile(StringVersion({{"ProductName", "Only strings"}})));

    std::string table = BuildMessageTable({{1, "Started %1.", true}, {2, "Stopped %1!-10s! at %2!08X!%n", false}, {0x40000003, "Third", true}});
    Seed("message_table", "unicode", Id(1) + table);
    Seed("message_table", "ansi", Id(2) + table);
    Seed("message_table", "severity", Id(0x40000003) + table);

    ShortcutSpec spec;
    spec.localBasePath = "C:\\Program Files\\App\\app.exe";
    spec.name = "The app";
    spec.arguments = "/quiet";
    spec.workingDirectory = "C:\\Program Files\\App";
    Seed("shell_link", "local", BuildShortcut(spec));
    Seed("shell_link", "share", ShortcutToShare("\\\\SRV\\Apps", "tool.exe", "N:"));

    for (const char* machine : {"xp-workstation", "win98-desktop"})
        if (auto edid = SampleMonitorEdid(machine)) {
            std::vector<std::uint8_t> bytes = edid->Bytes();
            Seed("edid", machine, std::string(bytes.begin(), bytes.end()));
        }

    // The attribute and threshold sectors of a drive with three attributes.
    std::string sectors(1024, '\0');
    const unsigned char attributes[][4] = {{1, 0x0F, 117, 6}, {9, 0x32, 91, 0}, {194, 0x22, 38, 0}};
    sectors[0] = sectors[512] = 0x10;
    for (std::size_t i = 0; i < 3; ++i) {
        std::size_t at = 2 + 12 * i;
        sectors[at] = static_cast<char>(attributes[i][0]);
        sectors[at + 1] = static_cast<char>(attributes[i][1]);
        sectors[at + 3] = sectors[at + 4] = static_cast<char>(attributes[i][2]);
        sectors[at + 5] = static_cast<char>(0x40 + i);
        sectors[512 + at] = static_cast<char>(attributes[i][0]);
        sectors[512 + at + 1] = static_cast<char>(attributes[i][3]);
    }
    Seed("smart_sectors", "three_attributes", sectors);

    qm::sim::EventRecordConfig record;
    record.number = 2;
    record.type = 1;
    record.eventId = 1000;
    record.source = "Fuzzed";
    record.strings = {"first", "second"};
    record.data = "\x01\x02";
    Seed("event_records", "two_strings", qm::sim::EventRecordBytes(record, "PC"));

    // A configuration with one interface and one endpoint, the languages, and a string.
    Seed("usb_descriptors", "configuration",
         std::string("\x00\x09\x02\x19\x00\x01\x01\x00\xA0\x32\x09\x04\x00\x00\x01\x03\x01\x02\x00\x07\x05\x81\x03\x04\x00\x0A", 26));
    Seed("usb_descriptors", "languages", std::string("\x01\x04\x03\x09\x04", 5));
    Seed("usb_descriptors", "string", std::string("\x02\x0A\x03M\0a\0k\0e\0", 11));

    for (const char* machine : {"xp-workstation", "win98-desktop"}) InlineSampleMachine(machine);

    Seed("settings", "field", qm::delivery::EncodeSetting("ftp.example.com", qm::delivery::kSettingsKey, "0123456789abcdef"));
    return 0;
}
