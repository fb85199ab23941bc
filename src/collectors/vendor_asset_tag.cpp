#include "collectors/vendor_asset_tag.h"

#include <string>
#include <vector>

#include "collectors/collector_guard.h"
#include "collectors/wmi_query.h"
#include "core/identification.h"
#include "core/result_list.h"
#include "core/sections.h"
#include "core/trace_log.h"

namespace qm::collectors {

using core::sections::kDell;

void GetDellAssetTag() {
    StopSilently([] {
        std::string name = core::GetLocalComputerName();
        // The logged text names the asset tag alone; the query asks for all three.
        core::WriteLog("SELECT AssetTag FROM Dell_SystemSummary where Name=\"" + name + "\"");
        MyWmi wmi;
        wmi.Connect("root/Dellomci");
        std::vector<std::string> items =
            wmi.Query("SELECT AssetTag,Location,ServiceTag FROM Dell_SystemSummary where Name=\"" + WqlString(name) + "\"");
        // The provider's keys stand between the three values: they are items 0, 2 and 4.
        core::AddResultLine(kDell, "AssetTag", core::QuoteField(items.at(0)));
        core::AddResultLine(kDell, "Location", core::QuoteField(items.at(2)));
        core::AddResultLine(kDell, "ServiceTag", core::QuoteField(items.at(4)));
        wmi.Disconnect();
    });
}

}  // namespace qm::collectors
