// The front-end's catalogues: scrambled rows of TAB fields, the processor catalogue matched
// against the sample's processor records, the software catalogue against its programs. The
// first byte chooses which catalogue the rest is.

#include "delivery/scrambling.h"
#include "fuzz_machine.h"
#include "online/report_data.h"
#include "platform/text.h"

using namespace qm::online;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    qm::fuzz::Machine();
    static const Lines hard = qm::fuzz::SampleResultLines("xp-workstation.hrz");
    static const Lines soft = qm::fuzz::SampleResultLines("xp-workstation.sfz");
    if (size == 0) return 0;
    std::string plain = DecodeStream(qm::fuzz::Bytes(data + 1, size - 1), qm::delivery::kByteXorKey);
    Lines rows = qm::platform::SplitLines(plain);
    for (const std::string& row : rows) {
        Lines fields = SplitTabFields(row);
        for (const std::string& field : fields) qm::fuzz::Require(field.find_first_of("\r\n") == std::string::npos);
        (void)FieldAt(fields, 7);
    }
    ReportData report;
    report.Hard = hard;
    report.Soft = soft;
    if (data[0] & 1) {
        report.CpuCatalog = rows;
        MatchCpu(report, hard);
    } else {
        report.SoftCatalog = rows;
        BuildSoftRows(report);
        qm::fuzz::Require(report.SoftRows.size() == soft.size() - 1);
    }
    return 0;
}
