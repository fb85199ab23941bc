// The report's template engine: any template renders over the sample workstation's result
// files, and the tag rule keeps every byte that is no tag of the report's vocabulary.

#include "fuzz_machine.h"
#include "online/template_engine.h"
#include "platform/platform.h"

using namespace qm::online;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto& machine = qm::fuzz::Machine();
    static ReportData report = [] {
        ReportData r;
        r.Hard = qm::fuzz::SampleResultLines("xp-workstation.hrz");
        r.Soft = qm::fuzz::SampleResultLines("xp-workstation.sfz");
        r.Tags = BuildTags();
        BuildSoftRows(r);
        return r;
    }();
    static bool folders = (machine.MakeFolder("C:\\HTML"), machine.MakeFolder("C:\\DONE"), true);
    (void)folders;
    std::string bytes = qm::fuzz::Bytes(data, size);
    machine.WriteFile("C:\\HTML\\fuzz.htm", bytes);
    ProcessTemplate(report, "C:\\HTML\\fuzz.htm", "C:\\DONE\\fuzz.htm");
    // Without a "<" nothing is a tag: the rendering is the template.
    if (bytes.find('<') == std::string::npos) qm::fuzz::Require(machine.ReadFile("C:\\DONE\\fuzz.htm") == bytes);
    return 0;
}
