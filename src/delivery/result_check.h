#pragma once
// The check of the local hardware result file and the scrambling of the local result files
// into Results\ beside the agent.

namespace qm::delivery {

// Whether the local hardware result file holds the four records the processing centre cannot
// do without: the asset number, the total memory, the Windows version and the processor
// frequency.
bool CheckHardwareResult();

// Scrambles the local hardware and software result files into Results\ and then deletes them.
// When either cannot be scrambled, both local files stay where they are and the answer is
// false, so that the caller stores no inventory date and the next run takes the inventory
// again. The pair in Results\ is replaced whole or not at all: a pair that waits there from an
// earlier run stays as it was when the new one cannot be written.
bool PakResult();

}  // namespace qm::delivery
