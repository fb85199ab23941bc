// Shell links (.lnk): the reader behind the shell-link interface.

#include "fuzz_machine.h"
#include "platform/sim/code_page_table.h"
#include "platform/sim/sim_shell_links.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const qm::sim::CodePageTable cp(1252);
    qm::sim::LinkData link;
    if (qm::sim::ParseShellLink(qm::fuzz::Bytes(data, size), cp, link)) {
        // What comes back are C strings.
        for (const std::string* text : {&link.description, &link.relativePath, &link.workingDirectory, &link.arguments})
            qm::fuzz::Require(text->find('\0') == std::string::npos);
    }
    return 0;
}
