// Writes the EDID of each sample machine's monitor into its registry file: the value line
// "EDID"=hex:... (with its continuation lines) is replaced by the bytes of the test writer.
// Run it from the source folder after changing the sample monitors:
//   cmake --build --preset default --target make_sample_edid && build/bin/make_sample_edid

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "support/edid_writer.h"

namespace {

// The value line as regedit writes it: lines of at most 80 characters, continued by a
// backslash and indented by two blanks.
std::string EdidLine(const std::vector<std::uint8_t>& bytes) {
    std::string out = "\"EDID\"=hex:";
    std::size_t width = out.size();
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02x", bytes[i]);
        bool last = i + 1 == bytes.size();
        std::string item = std::string(hex) + (last ? "" : ",");
        if (!last && width + item.size() > 77) {
            out += item + "\\\r\n  ";
            width = 2;
        } else {
            out += item;
            width += item.size();
        }
    }
    return out + "\r\n";
}

bool Rewrite(const std::string& machine) {
    const std::string file = "machines/" + machine + "/registry.reg";
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    std::string reg = text.str();
    std::size_t start = reg.find("\"EDID\"=hex:");
    if (!in || start == std::string::npos) {
        std::fprintf(stderr, "%s: no \"EDID\" value line to replace\n", file.c_str());
        return false;
    }
    std::size_t end = start;
    for (;;) {
        std::size_t eol = reg.find("\r\n", end);
        if (eol == std::string::npos) {
            end = reg.size();
            break;
        }
        bool continued = eol > 0 && reg[eol - 1] == '\\';
        end = eol + 2;
        if (!continued) break;
    }
    reg.replace(start, end - start, EdidLine(qm::test::SampleMonitorEdid(machine)->Bytes()));
    std::ofstream(file, std::ios::binary | std::ios::trunc) << reg;
    std::printf("%s\n", file.c_str());
    return true;
}

}  // namespace

int main() {
    bool ok = true;
    for (const char* machine : {"xp-workstation", "win98-desktop"}) ok = Rewrite(machine) && ok;
    return ok ? 0 : 1;
}
