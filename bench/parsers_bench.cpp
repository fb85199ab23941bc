// Loading large files of outside text: an INI image of many sections and registry files of
// many values or many subkeys in one key, all of which must grow in proportion to the file (the
// subkeys, which the registry keeps in name order, no worse than n log n in whatever order the
// file has them).

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

// Argument 1: the keys in name order, as regedit writes them; 0: in reverse order.
void RegistryFileOfManySubkeys(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    std::string text = "REGEDIT4\r\n\r\n";
    for (int i = 0; i < count; ++i) {
        std::string number = std::to_string(state.range(1) != 0 ? i : count - 1 - i);
        text += "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Many\\Key" + std::string(8 - number.size(), '0') + number + "]\r\n";
    }
    for (auto _ : state) qm::test::TestMachine machine("{}", text);
    state.SetComplexityN(state.range(0));
}
BENCHMARK(RegistryFileOfManySubkeys)
    ->ArgsProduct({{10000, 80000}, {1, 0}})
    ->Complexity(benchmark::oNLogN)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
