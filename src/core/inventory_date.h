#pragma once
// The date of the last completed inventory, kept in Chk_ID, and whether a new one is due.

#include <cstdint>

#include "core/date_time.h"

namespace qm::core {

// Writes the current local date and time as "Inventory"/"Date" (MM/dd/yyyy HH:mm).
void SaveInventoryDate();
// The stored date, or 0 when none can be read.
DateTime LoadInventoryDate();
// Due when no date is stored, in a new month or year, or when the period (40 days, or the
// two digits after "/N") has passed.
bool IsInventoryDue();

std::uint16_t DayOfDate(DateTime value);
std::uint16_t MonthOfDate(DateTime value);
std::uint16_t YearOfDate(DateTime value);

}  // namespace qm::core
