// The .reg reader: any bytes load or are refused with MachineError; what a loaded registry
// saves reads back as the same registry.

#include <optional>

#include "fuzz_machine.h"
#include "platform/sim/code_page_table.h"
#include "platform/sim/machine_config.h"
#include "platform/sim/registry_tree.h"

using namespace qm::sim;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const CodePageTable cp(1252);
    std::optional<RegistryTree> tree;
    try {
        tree.emplace(cp, qm::fuzz::Bytes(data, size), "fuzz.reg");
    } catch (const MachineError&) {
        return 0;
    }
    // A version 5 file keeps everything; a REGEDIT4 file everything its code page can spell, so
    // only a registry read from one is sure to go through one unchanged.
    for (RegFileFormat format : {RegFileFormat::Regedit4, RegFileFormat::Regedit5}) {
        if (format == RegFileFormat::Regedit4 && tree->FormatRead() != RegFileFormat::Regedit4) continue;
        std::string saved = tree->Write(format);
        RegistryTree again(cp, saved, "saved.reg");
        qm::fuzz::Require(again.Write(format) == saved);
    }
    return 0;
}
