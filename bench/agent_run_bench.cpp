// A whole online run of the agent ("/N /ONLINE", as the front-end starts it) on the XP sample
// machine, whose clock is virtual: the run's wall time beside the real time during which the
// programs it started (the command interpreter and the BIOS program) ran, and the real time
// its waits took. The waits may take real time only while those programs run, so the last
// two stand close together and the rest of the run is the agent's own work.

#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <string>

#include "apps/agent.h"
#include "platform/winpath.h"
#include "support/test_machine.h"

namespace {

const char* const kAgent = "C:\\Program Files\\Quarmelin\\QMAgent.exe";

double Milliseconds(std::chrono::nanoseconds t) { return std::chrono::duration<double, std::milli>(t).count(); }

void BM_OnlineRun(benchmark::State& state) {
    double children = 0, slept = 0;
    int exitCode = 0;
    for (auto _ : state) {
        state.PauseTiming();
        // A fresh machine for every run: the run's own files must not carry over.
        auto machine = std::make_unique<qm::test::SampleMachine>("xp-workstation");
        machine->InstallProgram("QMBios.exe", qm::platform::FolderOf(kAgent));
        state.ResumeTiming();
        exitCode = qm::agent::AgentMain({kAgent, "/N", "/ONLINE"});
        state.PauseTiming();
        children += Milliseconds(machine->Machine().TimeChildrenRan());
        slept += Milliseconds(machine->Machine().RealTimeSlept());
        machine.reset();
        state.ResumeTiming();
    }
    if (exitCode != 0) state.SkipWithError("the agent did not end with 0");
    const auto runs = static_cast<double>(state.iterations());
    state.counters["children_ms"] = children / runs;
    state.counters["waits_ms"] = slept / runs;
}

BENCHMARK(BM_OnlineRun)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
