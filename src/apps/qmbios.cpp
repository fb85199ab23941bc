// Stands in for the outside BIOS program: appends the machine's identification, memory-bank
// and DMI records to the result file named by its one argument, a slash directly followed by
// the path, unquoted, as the real program reads it.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>
#include <exception>
#include <string>
#include <string_view>

#include "core/result_list.h"
#include "core/sections.h"
#include "platform/platform.h"
#include "platform/sim/machine.h"

namespace {

using namespace qm::core::sections;

std::string Field(const std::string& text) { return qm::core::QuoteField(text); }

std::string Record(const std::string& section, const std::string& key, const std::string& value) {
    return Field(section) + "," + Field(key) + "," + Field(value) + "\r\n";
}

// The path after the program and its slash; empty when the command line has another form.
std::string ResultPathOf(std::string_view line) {
    std::size_t at = 0;
    if (!line.empty() && line.front() == '"') {
        at = line.find('"', 1);
        at = at == std::string_view::npos ? line.size() : at + 1;
    } else {
        at = std::min(line.find(' '), line.size());
    }
    while (at < line.size() && line[at] == ' ') ++at;
    std::string_view argument = line.substr(at);
    while (!argument.empty() && argument.back() == ' ') argument.remove_suffix(1);
    if (argument.size() < 2 || argument.front() != '/' || argument.find('"') != std::string_view::npos) return {};
    return std::string(argument.substr(1));
}

}  // namespace

int main(int argc, char** argv) {
    using namespace qm::platform;
    try {
        auto machine = qm::sim::SimMachine::LoadForProgram(argc, argv);
        InstallPlatform(machine);
        const std::string line = Processes().GetCommandLine();
        const auto& bios = machine->Config().biosProgram;
        if (!bios.commandLineFile.empty()) WriteWholeFile(Files(), bios.commandLineFile, line);
        const std::string path = ResultPathOf(line);
        if (path.empty()) {
            std::fprintf(stderr, "QMBios: usage: QMBios /<result file>\n");
            return 2;
        }
        // Real time: the agent that waits for it measures its patience in real time while it runs.
        if (bios.delayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(bios.delayMs));
        std::string text = Record(kIdent, "Manufacturer", bios.manufacturer) + Record(kIdent, "Model", bios.model) +
                           Record(kIdent, "SN", bios.serial) + Record(kIdent, "UUID", bios.uuid);
        int bank = 0;
        for (const auto& [socket, size] : bios.memoryBanks)
            text += Field(kMemBank) + "," + Field(std::to_string(bank++)) + "," + Field(socket) + "," + Field(size) + "\r\n";
        if (!bios.dmiPresent.empty()) text += Record(kDmi, "Present", bios.dmiPresent);
        // This key keeps its comma: it is read by the exact prefix "DMI","Version,",".
        if (!bios.dmiVersion.empty()) text += Field(kDmi) + ",\"Version,\"," + Field(bios.dmiVersion) + "\r\n";
        auto file = Files().CreateFile(path, GENERIC_WRITE, CreationDisposition::OpenExisting);
        if (!file) {
            std::fprintf(stderr, "QMBios: cannot open %s (error %u)\n", path.c_str(), GetLastError());
            return 3;
        }
        DWORD written = 0;
        file->SetFilePointerEx(0, MoveMethod::End, nullptr);
        file->WriteFile(text.data(), static_cast<DWORD>(text.size()), written);
        file.reset();
        InstallPlatform(nullptr);
        return bios.exitCode;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "QMBios: %s\n", e.what());
        return 1;
    }
}
