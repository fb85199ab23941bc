// The report's drive table on a result line of many empty fields, which must grow in
// proportion to the line.

#include <benchmark/benchmark.h>

#include <string>

#include "online/report_tables.h"

namespace {

void DriveLineOfManyEmptyFields(benchmark::State& state) {
    qm::online::ReportData data;
    std::string line = "\"Disk sizes\",\"Drive c\",\"100\",\"25\",\"C:\\\",\"SYSTEM\",\"NTFS\",\"Fixed drive\",\"1C2D\"";
    for (int i = 0; i < state.range(0); ++i) line += ",\"\"";
    data.Hard = {"\"F1\"", line};
    for (auto _ : state) benchmark::DoNotOptimize(qm::online::RenderDiskTable(data, 2));
    state.SetComplexityN(state.range(0));
}
BENCHMARK(DriveLineOfManyEmptyFields)->Arg(10000)->Arg(80000)->Complexity()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
