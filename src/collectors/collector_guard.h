#pragma once
// The ways a collector's failure may end, each named where a collector follows it:
// - LogAndGoOn: the failure's message goes to the trace log and the collector returns; what it
//   wrote so far stays and the next collector runs. Most collectors follow it.
// - StopSilently: the collector (or the one entry it was busy with) ends without a log line.
// - Letting it escape: a collector whose failure is to end the pass of the hardware inventory is
//   simply not wrapped; its exception reaches the handler of HardwareInventory, which logs it.

#include <exception>

#include "core/trace_log.h"

namespace qm::collectors {

// Runs the body; an exception that leaves it is written to the trace log by its message (one
// without a message is dropped) and goes no further. True when the body ran to its end.
template <typename Body>
bool LogAndGoOn(Body&& body) {
    try {
        body();
        return true;
    } catch (const std::exception& e) {
        core::WriteLog(e.what());
    } catch (...) {
        // Nothing to tell; the failure still ends only the body.
    }
    return false;
}

// Runs the body; an exception that leaves it goes no further, and nothing is logged. True when
// the body ran to its end.
template <typename Body>
bool StopSilently(Body&& body) {
    try {
        body();
        return true;
    } catch (...) {
        return false;
    }
}

}  // namespace qm::collectors
