#pragma once
// The hardware and configuration inventory: the layout of the hardware result file, with its
// header line, header block, start options and the collectors in their fixed order, and the
// second pass that takes the asset tag from the BIOS program's UUID or serial number.

#include <vector>

namespace qm::collectors {

// One step of the collector driver: the trace-log marker written right before its calls (none
// for no line), the collectors it calls in their order, and the condition it runs under (none
// for always). Adding a step to the hardware inventory is adding one row to its table.
struct CollectorStep {
    using Call = void (*)();
    const char* marker = nullptr;
    std::vector<Call> calls;
    bool (*condition)() = nullptr;
};

// Runs the steps in order; a step whose condition is false is skipped whole, marker included.
void RunCollectorSteps(const std::vector<CollectorStep>& steps);

// Writes the whole local hardware result file of the first pass.
void HardwareInventory();
// The steps of the hardware inventory: the start options, then every collector in the fixed
// order behind its trace-log marker.
void CollectHardwareSections();
// The "Start Option" records of the options in force.
void WriteStartOptions();
// The header block ("Inventory" and "Identification"), at most once while it is not written.
void WriteInventoryHeader();
// With "/AT" and a deferred asset tag: the BIOS program's UUID and serial number (without
// double quotes, at most 32 characters) go to Chk_ID, the asset tag is decided, and the header
// block goes at the end of the file.
void UpdateUuidAndSerial();

inline constexpr const char* kAgentLanguage = "US";

}  // namespace qm::collectors
