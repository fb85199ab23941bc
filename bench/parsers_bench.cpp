// Loading large files of outside text: an INI image of many sections and a registry file of
// many values in one key, both of which must grow in proportion to the file.

#include <benchmark/benchmark.h>

#include <string>

#include "platform/ini_image.h"
#include "support/test_machine.h"

namespace {

void IniImageOfManySections(benchmark::State& state) {
    std::string text;
    for (int i = 0; i < state.range(0); ++i) text += "[Section" + std::to_string(i) + "]\r\nKey=Value\r\n";
    for (auto _ : state) benchmark::DoNotOptimize(qm::platform::IniImage::FromText(text));
    state.SetComplexityN(state.range(0));
}
BENCHMARK(IniImageOfManySections)->Arg(10000)->Arg(80000)->Complexity()->Unit(benchmark::kMillisecond);

void RegistryFileOfManyValues(benchmark::State& state) {
    std::string text = "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Many]\r\n";
    for (int i = 0; i < state.range(0); ++i) text += "\"Value" + std::to_string(i) + "\"=dword:00000001\r\n";
    for (auto _ : state) qm::test::TestMachine machine("{}", text);
    state.SetComplexityN(state.range(0));
}
BENCHMARK(RegistryFileOfManyValues)->Arg(10000)->Arg(80000)->Complexity()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
