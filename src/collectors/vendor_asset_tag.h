#pragma once
// "DELL": the asset tag, location and service tag that the vendor's system-management WMI
// provider reports for this computer; nothing on a machine without that provider.

namespace qm::collectors {

void GetDellAssetTag();

}  // namespace qm::collectors
